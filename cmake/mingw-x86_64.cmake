# Cross build for x86-64 Windows: the same sources as the i686 build, so that
# the Windows tests (and an x86-64 extractor made for them) run under wine64
# on machines without 32-bit user code. The extractor that ships is the i686 one.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run --64)
