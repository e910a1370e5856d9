# Toolchain for the 32-bit Windows build: the DLL and every Windows test program.
#
#   cmake --preset win32      (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QZ_MINGW_TRIPLE i686-w64-mingw32)

# SSE arithmetic instead of x87: x87 keeps 80-bit intermediates, so single-precision
# results would round differently from the native build. With SSE enabled, mingw's
# gcc realigns the stack on entry where needed, since 32-bit Windows callers only
# guarantee 4-byte alignment.
set(CMAKE_C_FLAGS_INIT   "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
