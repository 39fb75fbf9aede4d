# Windows (x86-64) with Debian's mingw-w64, the compiler built for POSIX threads (std::thread
# and std::mutex need it). The runtime is linked in whole, so that the programs run on a bare
# Windows, or under Wine, without their DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# winpthread too: -static takes the archive of every library that has one.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# What runs the programs built here on this machine (the manual is written from the program's
# own help): Wine, where it is installed.
find_program(ZRK_WINE wine)
if(ZRK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZRK_WINE})
endif()
