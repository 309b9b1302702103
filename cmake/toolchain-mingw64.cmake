# Cross-builds for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64).
# The -posix compilers are the ones whose libstdc++ has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

# Libraries built for Windows outside the compiler's tree (the static Qt and SQLite of
# scripts/qt-windows.sh and scripts/sqlite-windows.sh) are found through CMAKE_PREFIX_PATH.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC lets a caller keep values in the registers that its own copy of the called function leaves
# alone (-fipa-ra). On Windows the linker keeps one copy of each template function out of every
# object that made one, and another object's copy may use other registers: Qt's random generator
# lost a register to a test's copy of std::mt19937 and wrote over memory (QSaveFile, QSettings).
# Qt (scripts/qt-windows.sh builds with this file) and the project are both built without it.
set(CMAKE_C_FLAGS_INIT "-fno-ipa-ra")
set(CMAKE_CXX_FLAGS_INIT "-fno-ipa-ra")

# The runtime (libstdc++, libgcc, winpthread) is linked in, so an .exe runs on its own: on a
# Windows machine without the compiler and under Wine alike.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test discovery and CTest run the .exe files through Wine when it is there. Building a library for
# Windows (Qt, scripts/qt-windows.sh) sets QUORVANE_NO_WINE_EMULATOR: its configure checks run nothing.
find_program(WINE_PROGRAM NAMES wine wine64)
if(WINE_PROGRAM AND NOT "$ENV{QUORVANE_NO_WINE_EMULATOR}")
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
