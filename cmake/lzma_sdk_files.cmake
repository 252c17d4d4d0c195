# The LZMA SDK's C files that our decoding core is built with; included by the product build
# (lzma_sdk.cmake) and by the native fuzz and timing projects (fuzz/, bench/native/). The SDK's
# own folder decoder, 7zDec.c, is not among them: extract/ provides SzAr_DecodeFolder. Nor is
# its file layer, 7zFile.c, which only the installer's archive reading adds.
set(ZELKO_LZMA_SDK_DECODER_FILES 7zAlloc 7zArcIn 7zBuf 7zCrc 7zCrcOpt 7zStream
    Bcj2 Bra Bra86 BraIA64 CpuArch Delta Lzma2Dec LzmaDec)

# zelko_lzma_sdk_sources(variable sdk_dir name...): the paths of the SDK's C files `name`.c in
# sdk_dir, the folder holding 7z.h.
function(zelko_lzma_sdk_sources variable sdk_dir)
  set(files ${ARGN})
  list(TRANSFORM files PREPEND "${sdk_dir}/")
  list(TRANSFORM files APPEND ".c")
  set(${variable} ${files} PARENT_SCOPE)
endfunction()
