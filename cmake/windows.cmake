# The Windows side of the build: the Win32 layer of the module, its
# resources, the stand-ins of the testbed and the test executables that run
# under Wine (one CTest test per executable, so one Wine start per suite).

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

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
target_link_libraries(qlnet_win_tests PRIVATE qlnet_win GTest::gtest)
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
set_target_properties(quillnet PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# qlnet.dll: the Win32 layer and the text core with the resources and the
# export list. Statically linked, so it imports system DLLs only.
add_library(qlnet SHARED ${QL_WIN_SOURCES} ${QL_RESOURCES} ${CMAKE_SOURCE_DIR}/startup/qlnet.def)
target_link_libraries(qlnet PRIVATE qlnet_text user32 gdi32 kernel32)
target_compile_definitions(qlnet PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
set_target_properties(qlnet PROPERTIES PREFIX "" OUTPUT_NAME qlnet
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
target_link_options(qlnet PRIVATE -Wl,--enable-stdcall-fixup)

# The whole system under Wine: launcher, module, stand-in client and PGP.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/e2e ${CMAKE_BINARY_DIR}/tests/e2e)
endif()
