# Cross build for 64-bit Windows with Debian's MinGW-w64 (the -posix flavour, whose libstdc++
# has std::thread and std::mutex on winpthreads).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVU_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVU_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVU_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVU_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVU_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run on this machine through Wine.
find_program(TARVU_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TARVU_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVU_WINE})
endif()
