# Toolchain for the 64-bit Windows build: the same DLL and test programs as PE32+.
#
#   cmake --preset win64      (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake)
#
# x86-64 computes with SSE2 already, so no flags of its own are needed for results
# that match the native build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QZ_MINGW_TRIPLE x86_64-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
