# Cross build for 64-bit Windows with mingw-w64; tests run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Debian's "wine" starts the 32-bit loader whenever it is installed, even where
# the kernel cannot execute it; this wrapper starts the 64-bit one.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine64)
