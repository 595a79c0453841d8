# Checks a built Windows file the way a user's system will see it, without
# running it (so it works for the i686 files on machines that cannot execute
# 32-bit code):
#   cmake -DOBJDUMP=<objdump> -DFILE=<file> -DMACHINE=i386|x86-64
#         [-DEXPORTS=P01,P02,...] [-DSHARED_SECTION=.shr] -P check_pe.cmake
# - the PE machine is MACHINE;
# - the export names are exactly EXPORTS (none when EXPORTS is empty): no
#   decorated twin like "P01@12", no stray helper a caller could bind to;
# - every imported DLL is a system DLL (the runtime is linked statically);
# - SHARED_SECTION, when given, exists and is marked shared;
# - the header holds no build time (a zero stamp), so the same sources give
#   the same file.
cmake_minimum_required(VERSION 3.25)

foreach(required OBJDUMP FILE MACHINE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "check_pe: ${required} is not set")
  endif()
endforeach()
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "check_pe: ${FILE} does not exist")
endif()
get_filename_component(name "${FILE}" NAME)

function(run_objdump flag out)
  execute_process(COMMAND "${OBJDUMP}" ${flag} "${FILE}" OUTPUT_VARIABLE text
                  RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "check_pe: ${OBJDUMP} ${flag} ${FILE} failed: ${error}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(failures "")

# Machine.
run_objdump(-f header)
if(MACHINE STREQUAL "i386")
  set(format "pei-i386")
else()
  set(format "pei-x86-64")
endif()
string(REGEX MATCH "file format ([^\n]+)" found "${header}")
if(NOT CMAKE_MATCH_1 STREQUAL format)
  list(APPEND failures "machine: expected ${format}, found '${CMAKE_MATCH_1}'")
endif()

# Exports and imports.
run_objdump(-p private)
set(exported "")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)" table "${private}")
# Each row "\t[   0] P01" becomes one list element (no bracket may stay:
# CMake does not split a list inside square brackets).
string(REGEX REPLACE "[ \t]+\\[[ 0-9]+\\] ([^\n]+)\n" "\\1;" exported "${CMAKE_MATCH_1}")
list(REMOVE_ITEM exported "")
set(expected "")
if(DEFINED EXPORTS AND NOT EXPORTS STREQUAL "")
  string(REPLACE "," ";" expected "${EXPORTS}")
endif()
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  list(APPEND failures "exports: expected [${expected}], found [${exported}]")
endif()

string(REGEX MATCH "Time/Date[ \t]+([^\n]+)" stamp "${private}")
set(stamp "${CMAKE_MATCH_1}")
if(NOT stamp MATCHES "1970$")
  list(APPEND failures "header: stamped with the build time '${stamp}'")
endif()

set(system_dlls kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comctl32.dll
    comdlg32.dll ole32.dll msvcrt.dll ucrtbase.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${private}")
foreach(entry IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  list(FIND system_dlls "${lower}" known)
  if(known EQUAL -1 AND NOT lower MATCHES "^api-ms-win-")
    list(APPEND failures "imports: ${dll} is not a system DLL")
  endif()
endforeach()

# The shared section.
if(DEFINED SHARED_SECTION AND NOT SHARED_SECTION STREQUAL "")
  run_objdump(-h sections)
  string(REGEX MATCH "[ \t]${SHARED_SECTION}[ \t][^\n]*\n[^\n]*" section "${sections}")
  if(section STREQUAL "")
    list(APPEND failures "section ${SHARED_SECTION}: missing")
  elseif(NOT section MATCHES "SHARED")
    list(APPEND failures "section ${SHARED_SECTION}: not marked shared")
  endif()
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${name} (${MACHINE}):\n  ${text}")
endif()
list(LENGTH imports import_count)
message(STATUS "${name}: ${format}, exports [${exported}], ${import_count} system DLLs imported")
