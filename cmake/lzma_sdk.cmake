# The LZMA SDK's C decoder as a static library. Its 7zDec.c is left out on purpose: the
# program provides SzAr_DecodeFolder itself (extract/), with progress, pause and cancel.
include(${CMAKE_CURRENT_LIST_DIR}/lzma_sdk_files.cmake)
zelko_check_lzma_sdk("${LZMA_SDK_DIR}")
zelko_lzma_sdk_sources(ZELKO_LZMA_SDK_SOURCES "${LZMA_SDK_DIR}" ${ZELKO_LZMA_SDK_DECODER_FILES} 7zFile)

add_library(lzma_sdk STATIC ${ZELKO_LZMA_SDK_SOURCES})
target_include_directories(lzma_sdk SYSTEM PUBLIC "${LZMA_SDK_DIR}")
target_compile_definitions(lzma_sdk PRIVATE Z7_ST)
target_compile_options(lzma_sdk PRIVATE -w)
# The archive reader, streams and allocator run per archive or per file, not per byte: built
# for size (ZELKO_SIZE_FLAGS, set by the caller). The decoders, filters and CRC keep the speed flags.
set_source_files_properties(${LZMA_SDK_DIR}/7zAlloc.c ${LZMA_SDK_DIR}/7zArcIn.c
  ${LZMA_SDK_DIR}/7zBuf.c ${LZMA_SDK_DIR}/7zFile.c ${LZMA_SDK_DIR}/7zStream.c
  ${LZMA_SDK_DIR}/CpuArch.c PROPERTIES COMPILE_OPTIONS "${ZELKO_SIZE_FLAGS}")
# A zero-filled global in a section of its own is written to the file in full on this target:
# -fdata-sections names it .data$<name>, and the linker places every .data$ in .data. The CRC
# table (12 KiB, filled at start) so stays in .bss, where it costs no bytes of the program.
if(MINGW)
  set_source_files_properties(${LZMA_SDK_DIR}/7zCrc.c PROPERTIES COMPILE_OPTIONS -fno-data-sections)
endif()
