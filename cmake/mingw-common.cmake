# Shared settings of the two mingw-w64 cross builds; the toolchain files set
# VK_MINGW_TRIPLE and the emulator that runs the target's programs.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives std::thread and std::mutex to the tests.
set(CMAKE_C_COMPILER ${VK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VK_MINGW_TRIPLE}-windres)
set(CMAKE_MC_COMPILER ${VK_MINGW_TRIPLE}-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/${VK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no runtime DLLs to place beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
