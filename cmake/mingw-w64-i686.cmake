# 32-bit Windows, cross-compiled with the POSIX-threads MinGW-w64 toolchain: the product.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(RECLAIMA_MINGW_TRIPLE i686-w64-mingw32)
set(RECLAIMA_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Every processor that runs the product has SSE2; wider instructions are chosen at run time.
set(CMAKE_CXX_FLAGS_INIT "-msse2")
