# Shared part of the MinGW-w64 toolchains. The including file sets
# RECLAIMA_MINGW_TRIPLE (the compilers' prefix) and RECLAIMA_WINE_ARCH (win32 or win64).
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX-threads variant: std::thread and std::mutex need it.
set(CMAKE_C_COMPILER ${RECLAIMA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RECLAIMA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RECLAIMA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RECLAIMA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the Windows test programs under the project's Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run ${RECLAIMA_WINE_ARCH})
