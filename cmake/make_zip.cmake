# Makes a zip file that depends on nothing but the files' contents and
# names: every entry gets the same time and mode, in the order given, with
# no extra fields (zip -X). Run as
#   cmake -DOUT=<zip> -DFOLDER=<folder inside the zip> -DFILES=<f1;f2;...>
#         -DSOURCE_DIR=<source tree> -P make_zip.cmake
# The time is SOURCE_DATE_EPOCH's when set, else that of the last commit,
# else 1 January 1980.
foreach(var OUT FOLDER FILES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_zip: ${var} is not set")
  endif()
endforeach()
find_program(ZIP zip)
find_program(TOUCH touch)
if(NOT ZIP OR NOT TOUCH)
  message(FATAL_ERROR "make_zip: needs zip and touch (scripts/setup installs them)")
endif()

set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "" AND DEFINED SOURCE_DIR)
  execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800)
  set(epoch 315532800)
endif()

get_filename_component(out "${OUT}" ABSOLUTE)
set(work "${out}.work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/${FOLDER}")
set(entries)
foreach(file ${FILES})
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "make_zip: ${file} is missing")
  endif()
  get_filename_component(name "${file}" NAME)
  file(COPY_FILE "${file}" "${work}/${FOLDER}/${name}")
  file(CHMOD "${work}/${FOLDER}/${name}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  list(APPEND entries "${FOLDER}/${name}")
endforeach()

# zip stores local time: UTC on both sides keeps the entries' time fixed.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${TOUCH} -d @${epoch} ${entries}
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE touched)
file(REMOVE "${out}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -X -D -q -9 "${out}" ${entries}
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE zipped)
file(REMOVE_RECURSE "${work}")
if(NOT touched EQUAL 0 OR NOT zipped EQUAL 0)
  file(REMOVE "${out}")
  message(FATAL_ERROR "make_zip: could not make ${out}")
endif()
