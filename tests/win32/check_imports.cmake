# Fails unless every DLL that MODULE imports is a system DLL present on any Windows
# of its width (32- or 64-bit). A runtime DLL here (libgcc_s, libstdc++,
# libwinpthread) would mean the static runtime was not linked in, and hosts would
# fail to load the filter.
#
#   cmake -DOBJDUMP=<objdump> -DMODULE=<file.dll> -P check_imports.cmake
cmake_minimum_required(VERSION 3.20)
set(allowed kernel32.dll user32.dll gdi32.dll advapi32.dll ole32.dll oleaut32.dll
            comctl32.dll comdlg32.dll msvcrt.dll shell32.dll)

execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}"
                OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed (${status})")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${headers}")
if(NOT lines)
  message(FATAL_ERROR "${MODULE}: no import table found in the objdump output")
endif()

set(refused "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll_lower)
  message(STATUS "imports ${dll}")
  if(NOT dll_lower IN_LIST allowed)
    list(APPEND refused "${dll}")
  endif()
endforeach()

if(refused)
  message(FATAL_ERROR "${MODULE} imports DLLs outside the system set: ${refused}")
endif()
