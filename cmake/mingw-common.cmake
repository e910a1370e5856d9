# What both Windows toolchains share; cmake/mingw-i686.cmake and cmake/mingw-x86_64.cmake
# set QZ_MINGW_TRIPLE (and the processor's own flags) and include this file.
#
# The -posix compilers are the ones with std::thread and std::mutex; the -win32
# flavour lacks them.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${QZ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QZ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QZ_MINGW_TRIPLE}-windres)

# Headers and libraries come from the cross sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: libgcc, libstdc++ and winpthread are linked in, so the DLL and the
# test programs load on any Windows of their width (and under Wine) with no extra files.
set(QZ_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "${QZ_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${QZ_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${QZ_MINGW_STATIC_RUNTIME}")

# ctest runs every Windows program through Wine, in a prefix private to this build
# folder (see cmake/wine-run; it reads the folder's width from the file the top-level
# CMakeLists.txt writes there).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;--build-dir=${CMAKE_BINARY_DIR}")
