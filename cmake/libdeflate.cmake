# The compressor of libdeflate, built from the copy in third_party for every
# target, so that all of them write the same bytes. Its own warnings are not
# ours to fix; -O2 even under the extractor's size flags, it never goes
# into the extractor.
set(LIBDEFLATE_DIR ${CMAKE_CURRENT_LIST_DIR}/../third_party/libdeflate)
add_library(lockbox_deflate STATIC
    ${LIBDEFLATE_DIR}/lib/adler32.c
    ${LIBDEFLATE_DIR}/lib/deflate_compress.c
    ${LIBDEFLATE_DIR}/lib/utils.c
    ${LIBDEFLATE_DIR}/lib/zlib_compress.c
    ${LIBDEFLATE_DIR}/lib/x86/cpu_features.c
    ${LIBDEFLATE_DIR}/lib/arm/cpu_features.c)
target_compile_options(lockbox_deflate PRIVATE -O2 -w)
target_include_directories(lockbox_deflate PUBLIC ${LIBDEFLATE_DIR})
