# The Windows side of the build: the Win32 layer of the module, its
# resources, the stand-ins of the testbed and the test executables that run
# under Wine (one CTest test per executable, so one Wine start per suite).

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Static checks of what ships, run without Wine (so also for the i686 files
# where 32-bit code cannot run): PE machine, exact exports, system imports
# only, the shared section. Labelled "static" so a run can pick them alone.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(QL_PE_MACHINE x86-64)
else()
  set(QL_PE_MACHINE i386)
endif()
# FILE checks a copy of the target's file (the stripped one that ships)
# under the test name NAME.
function(ql_check_pe target)
  cmake_parse_arguments(PE "" "SHARED_SECTION;FILE;NAME" "EXPORTS" ${ARGN})
  list(JOIN PE_EXPORTS "," exports)
  if(NOT PE_FILE)
    set(PE_FILE $<TARGET_FILE:${target}>)
  endif()
  if(NOT PE_NAME)
    set(PE_NAME pe_${target})
  endif()
  add_test(NAME ${PE_NAME}
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=${PE_FILE}
                   -DMACHINE=${QL_PE_MACHINE} -DEXPORTS=${exports}
                   -DSHARED_SECTION=${PE_SHARED_SECTION} -P ${CMAKE_SOURCE_DIR}/cmake/check_pe.cmake)
  set_tests_properties(${PE_NAME} PROPERTIES LABELS static)
endfunction()

# Every Windows target knows the product version as the text QL_VERSION (the
# About box shows it); VERSIONINFO and the installer need four numbers.
add_compile_definitions(QL_VERSION="${PROJECT_VERSION}")
set(QL_VERSION_NUMBERS)
foreach(part MAJOR MINOR PATCH TWEAK)
  if(PROJECT_VERSION_${part} STREQUAL "")
    list(APPEND QL_VERSION_NUMBERS 0)
  else()
    list(APPEND QL_VERSION_NUMBERS ${PROJECT_VERSION_${part}})
  endif()
endforeach()
list(JOIN QL_VERSION_NUMBERS "," QL_VERSION_COMMAS)
list(JOIN QL_VERSION_NUMBERS "." QL_VERSION_DOTS)

# A VERSIONINFO resource for a file that ships, from the project version.
function(ql_version_resource target description)
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(QL_VERSION_NAME ${name})
  set(QL_VERSION_DESCRIPTION "${description}")
  if(type STREQUAL "SHARED_LIBRARY")
    set(QL_VERSION_FILE ${name}.dll)
    set(QL_VERSION_FILE_TYPE VFT_DLL)
  else()
    set(QL_VERSION_FILE ${name}.exe)
    set(QL_VERSION_FILE_TYPE VFT_APP)
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_BINARY_DIR}/version/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/version/${target}.rc)
endfunction()

# Every Windows test executable runs in a job that ends what its tests
# started; ql_test_main is GoogleTest's main with that job.
add_library(ql_test_job STATIC ${CMAKE_SOURCE_DIR}/tests/support/process_job_win.cpp)
target_include_directories(ql_test_job PUBLIC ${CMAKE_SOURCE_DIR})
add_library(ql_test_main STATIC ${CMAKE_SOURCE_DIR}/tests/support/gtest_main_win.cpp)
target_link_libraries(ql_test_main PUBLIC ql_test_job GTest::gtest)

set(QL_WIN_SOURCES)
foreach(dir ${QL_SUBSYSTEMS})
  file(GLOB found CONFIGURE_DEPENDS ${dir}/*_win.cpp)
  list(APPEND QL_WIN_SOURCES ${found})
endforeach()

add_library(qlnet_win STATIC ${QL_WIN_SOURCES})
target_link_libraries(qlnet_win PUBLIC qlnet_text user32 gdi32 kernel32)
target_compile_definitions(qlnet_win PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)
set_target_properties(qlnet_win PROPERTIES LINKER_LANGUAGE CXX)

set(QL_RESOURCES ${CMAKE_SOURCE_DIR}/resources/qlnet.rc)
# windres does not report the files qlnet.rc includes, so name them here or a
# changed string would not reach the binaries.
file(GLOB QL_RESOURCE_PARTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
list(REMOVE_ITEM QL_RESOURCE_PARTS ${QL_RESOURCES})
set_source_files_properties(${QL_RESOURCES} PROPERTIES OBJECT_DEPENDS "${QL_RESOURCE_PARTS}")

file(GLOB QL_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*_test.cpp)
list(APPEND QL_WIN_TESTS ${CMAKE_SOURCE_DIR}/tests/win/win_test_main.cpp
  ${CMAKE_SOURCE_DIR}/tests/win/support/dialog_answerer.cpp)
add_executable(qlnet_win_tests ${QL_WIN_TESTS} ${QL_RESOURCES})
target_link_libraries(qlnet_win_tests PRIVATE qlnet_win ql_test_job GTest::gtest)
set_target_properties(qlnet_win_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_dependencies(qlnet_win_tests pgp)
add_test(NAME win32_layer COMMAND qlnet_win_tests)
set_tests_properties(win32_layer PROPERTIES TIMEOUT 600)

file(GLOB QL_TESTBED_DIRS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testbed/*/CMakeLists.txt)
foreach(list_file ${QL_TESTBED_DIRS})
  get_filename_component(dir ${list_file} DIRECTORY)
  add_subdirectory(${dir})
endforeach()

# The launcher finds the module by GetProcAddress, so it links nothing of it.
add_executable(quillnet WIN32 ${CMAKE_SOURCE_DIR}/launcher/quillnet.cpp)
target_include_directories(quillnet PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(quillnet PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# qlnet.dll: the Win32 layer and the text core with the resources and the
# export list. Statically linked, so it imports system DLLs only.
add_library(qlnet SHARED ${QL_WIN_SOURCES} ${QL_RESOURCES} ${CMAKE_SOURCE_DIR}/startup/qlnet.def)
target_link_libraries(qlnet PRIVATE qlnet_text user32 gdi32 kernel32)
target_compile_definitions(qlnet PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
set_target_properties(qlnet PROPERTIES PREFIX "" OUTPUT_NAME qlnet
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
target_link_options(qlnet PRIVATE -Wl,--enable-stdcall-fixup)
ql_version_resource(qlnet "Quillnet: PGP for the Eudora mail client")
ql_version_resource(quillnet "Quillnet launcher: starts Eudora with the PGP extension")
set(QL_QLNET_EXPORTS P01 P02 P03 P05 P06 P07 P08 P09 P10 P11)
ql_check_pe(qlnet EXPORTS ${QL_QLNET_EXPORTS} SHARED_SECTION .shr)
ql_check_pe(quillnet)

# The whole system under Wine: launcher, module, stand-in client and PGP.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/e2e ${CMAKE_BINARY_DIR}/tests/e2e)
endif()
