# The module's folders depend on each other in one direction only:
#   common <- core <- settings <- runner <- command <- host <- startup
# (resources/ holds ids every folder may use). A file may include its own
# folder and the folders to its left, never one to its right.
#   cmake -DSOURCE_DIR=<repository> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

set(layers common core settings runner command host startup)
set(anywhere resources)

if(NOT DEFINED SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR is not set")
endif()

set(violations "")
set(checked 0)
foreach(folder IN LISTS layers)
  list(FIND layers ${folder} rank)
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"/]+)/.*" "\\1" target "${line}")
      list(FIND anywhere ${target} free)
      if(free GREATER -1)
        continue()
      endif()
      list(FIND layers ${target} target_rank)
      if(target_rank EQUAL -1 OR target_rank GREATER rank)
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        string(STRIP "${line}" line)
        list(APPEND violations "${name}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  list(JOIN layers " <- " order)
  message(FATAL_ERROR "includes against the order ${order}:\n  ${text}")
endif()
message(STATUS "${checked} files include only their own folder and the folders below it")
