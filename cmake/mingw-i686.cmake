# Cross build for 32-bit Windows with mingw-w64; tests run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
