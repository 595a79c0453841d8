# Who may include whom, so that a fault cannot hide on both sides of a line:
# - the module's folders depend on each other in one direction only,
#     common <- core <- settings <- runner <- command <- host <- startup
#   (resources/ holds ids every folder may use): a file may include its own
#   folder and the folders to its left, never one to its right;
# - the launcher uses the module only through its exports: common, core and
#   resources;
# - tools (pgp2gpg) and the stand-ins in testbed/ (the mail client, PGP, the
#   UI driver) share nothing of the module but common/, so that a fault in
#   the module cannot be repeated by the stand-in it is tested against; the
#   tour drives the system as the end-to-end tests do (their harness, which
#   holds nothing of the module either); the module benchmarks in testbed/
#   may include the module.
# Includes in quotes and in angle brackets count alike.
# settings/ and runner/ report failures as values and open no window of
# their own: what the user sees is decided in command/ and host/.
#   cmake -DSOURCE_DIR=<repository> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

set(layers common core settings runner command host startup)
set(project_folders ${layers} resources launcher tools testbed tests fuzz bench)

if(NOT DEFINED SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR is not set")
endif()

set(violations "")
set(checked 0)

# check(<glob root> <recursive: ON|OFF> <allowed folders...>)
function(check root recursive)
  set(allowed ${ARGN})
  if(recursive)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${root}/*.h" "${SOURCE_DIR}/${root}/*.cpp")
  else()
    file(GLOB sources "${SOURCE_DIR}/${root}/*.h" "${SOURCE_DIR}/${root}/*.cpp")
  endif()
  foreach(source IN LISTS sources)
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+[\"<][^\">/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+[\"<]([^\">/]+)/.*" "\\1" target "${line}")
      list(FIND project_folders ${target} ours)
      list(FIND allowed ${target} fine)
      if(ours GREATER -1 AND fine EQUAL -1)
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        string(STRIP "${line}" line)
        list(APPEND violations "${name}: ${line}")
      endif()
    endforeach()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
  set(checked ${checked} PARENT_SCOPE)
endfunction()

set(below "")
foreach(folder IN LISTS layers)
  list(APPEND below ${folder})
  check(${folder} OFF ${below} resources)
endforeach()
check(launcher ON common core resources)
check(tools ON common)
file(GLOB standins LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/testbed/*")
foreach(standin IN LISTS standins)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/${standin}" OR standin MATCHES "/bench")
    continue()  # the module benchmarks measure the module itself
  endif()
  if(standin STREQUAL "testbed/tour")
    check(${standin} ON common testbed tests)
  else()
    check(${standin} ON common testbed)
  endif()
endforeach()
check(tests/e2e/support ON common testbed tests)

foreach(folder settings runner)
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" calls
         REGEX "(MessageBox|DialogBox|CreateDialog|ShowMessageBox)[A-Za-z]*[ \t]*\\(")
    foreach(line IN LISTS calls)
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
      string(STRIP "${line}" line)
      string(REPLACE ";" "," line "${line}")  # a list separator in CMake
      list(APPEND violations "${name} opens a window: ${line}")
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  list(JOIN layers " <- " order)
  message(FATAL_ERROR "against the rules (module folders ${order}; "
                      "tools and stand-ins: common/ only; no window from settings/ "
                      "or runner/):\n  ${text}")
endif()
message(STATUS "${checked} files include only what their folder may")
