# Toolchain for the 32-bit Windows build: the DLL and every Windows test program.
#
#   cmake --preset win32      (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)
#
# The -posix compilers are the ones with std::thread and std::mutex; the -win32
# flavour lacks them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QZ_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${QZ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QZ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QZ_MINGW_TRIPLE}-windres)

# Headers and libraries come from the cross sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE arithmetic instead of x87: x87 keeps 80-bit intermediates, so single-precision
# results would round differently from the native build. With SSE enabled, mingw's
# gcc realigns the stack on entry where needed, since 32-bit Windows callers only
# guarantee 4-byte alignment.
set(CMAKE_C_FLAGS_INIT   "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Static runtime: libgcc, libstdc++ and winpthread are linked in, so the DLL and the
# test programs load on any 32-bit Windows (and under Wine) with no extra files.
set(QZ_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "${QZ_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${QZ_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${QZ_MINGW_STATIC_RUNTIME}")

# ctest runs every Windows program through Wine, in a prefix private to this build
# folder (see cmake/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;--build-dir=${CMAKE_BINARY_DIR}")
