# 64-bit Windows. Not shipped: it lets the Windows tests run under 64-bit Wine on
# machines that cannot execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RECLAIMA_MINGW_TRIPLE x86_64-w64-mingw32)
set(RECLAIMA_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
