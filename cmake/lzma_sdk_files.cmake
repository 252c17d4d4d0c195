# The LZMA SDK's C files that our decoding core is built with; included by the product build
# (lzma_sdk.cmake) and by the native fuzz and timing projects (fuzz/, bench/native/). The SDK's
# own folder decoder, 7zDec.c, is not among them: extract/ provides SzAr_DecodeFolder. Nor is
# its file layer, 7zFile.c, which only the installer's archive reading adds.
set(ZELKO_LZMA_SDK_DECODER_FILES 7zAlloc 7zArcIn 7zBuf 7zCrc 7zCrcOpt 7zStream
    Bcj2 Bra Bra86 BraIA64 CpuArch Delta Lzma2Dec LzmaDec)

# The oldest SDK release we build with: the first whose header reader refuses, on its own, a
# names property too short for its first byte and a names, times or attributes property given
# twice (tests/extract prove both on hand-made archives). scripts/setup.sh reads this line too.
set(ZELKO_LZMA_SDK_OLDEST_RELEASE "26.02")

# zelko_lzma_sdk_sources(variable sdk_dir name...): the paths of the SDK's C files `name`.c in
# sdk_dir, the folder holding 7z.h.
function(zelko_lzma_sdk_sources variable sdk_dir)
  set(files ${ARGN})
  list(TRANSFORM files PREPEND "${sdk_dir}/")
  list(TRANSFORM files APPEND ".c")
  set(${variable} ${files} PARENT_SCOPE)
endfunction()

# zelko_check_lzma_sdk(sdk_dir): stops the configure unless sdk_dir holds the SDK's C sources
# of a release we build with, and says which release it found.
function(zelko_check_lzma_sdk sdk_dir)
  if(NOT EXISTS "${sdk_dir}/7z.h")
    message(FATAL_ERROR "LZMA SDK not found in ${sdk_dir}; run scripts/setup.sh "
                        "or pass -DLZMA_SDK_DIR=<folder holding 7z.h>")
  endif()
  set(release "unknown")
  if(EXISTS "${sdk_dir}/7zVersion.h")
    file(STRINGS "${sdk_dir}/7zVersion.h" major REGEX "^#define MY_VER_MAJOR [0-9]+")
    file(STRINGS "${sdk_dir}/7zVersion.h" minor REGEX "^#define MY_VER_MINOR [0-9]+")
    string(REGEX MATCH "[0-9]+$" major "${major}")
    string(REGEX MATCH "[0-9]+$" minor "${minor}")
    if(major MATCHES "^[0-9]+$" AND minor MATCHES "^[0-9]+$")
      math(EXPR major "${major}")
      math(EXPR minor "${minor}")
      if(minor LESS 10)
        set(minor "0${minor}")
      endif()
      set(release "${major}.${minor}")
    endif()
  endif()
  if(release STREQUAL "unknown" OR release VERSION_LESS ZELKO_LZMA_SDK_OLDEST_RELEASE)
    message(FATAL_ERROR "LZMA SDK ${release} in ${sdk_dir} is older than "
                        "${ZELKO_LZMA_SDK_OLDEST_RELEASE}, the oldest release this build supports; "
                        "pass -DLZMA_SDK_DIR=<C folder of LZMA SDK ${ZELKO_LZMA_SDK_OLDEST_RELEASE} "
                        "or later>")
  endif()
  message(STATUS "LZMA SDK ${release} in ${sdk_dir}")
endfunction()
