# Cross build for Windows with MinGW-w64 (i686): the shipped 32-bit program.
set(TALLYHIVE_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Tests run as a 32-bit program on 64-bit Windows: Wine's WOW64, with wine32 beside wine64.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
