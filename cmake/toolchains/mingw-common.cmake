# What both MinGW-w64 cross builds share; the including file sets TALLYHIVE_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first. POSIX thread model (std::thread, std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TALLYHIVE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALLYHIVE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALLYHIVE_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TALLYHIVE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One program file with no DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
