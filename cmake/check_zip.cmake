# The release zip holds exactly the expected entries, in order, and the zip
# maker gives the same bytes for the same files whatever their times and
# modes on the disk, every entry dated SOURCE_DATE_EPOCH. Run as
#   cmake -DZIP=<zip> -DEXPECTED=<entry;...> -DFOLDER=<folder> -DFILES=<f;...>
#         -DMAKE_ZIP=<make_zip.cmake> -DWORK=<scratch folder> -P check_zip.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${ZIP}" OUTPUT_VARIABLE listing
                RESULT_VARIABLE listed)
if(NOT listed EQUAL 0)
  message(FATAL_ERROR "cannot list ${ZIP}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" entries "${listing}")
if(NOT entries STREQUAL EXPECTED)
  message(FATAL_ERROR "${ZIP} holds\n  ${entries}\nnot\n  ${EXPECTED}")
endif()

# Two copies of the inputs, with other times and modes: the same zip.
file(REMOVE_RECURSE "${WORK}")
set(hashes)
foreach(round 1 2)
  set(copies)
  file(MAKE_DIRECTORY "${WORK}/in${round}")
  foreach(file ${FILES})
    get_filename_component(name "${file}" NAME)
    file(COPY_FILE "${file}" "${WORK}/in${round}/${name}")
    list(APPEND copies "${WORK}/in${round}/${name}")
  endforeach()
  if(round EQUAL 2)
    execute_process(COMMAND touch -d "2001-02-03 04:05:06" ${copies})
    file(CHMOD ${copies} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1700000000
                          ${CMAKE_COMMAND} -DOUT=${WORK}/out${round}.zip -DFOLDER=${FOLDER}
                          "-DFILES=${copies}" -P ${MAKE_ZIP}
                  RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    message(FATAL_ERROR "make_zip failed on ${copies}")
  endif()
  # Every entry carries the given time (1700000000 is 14 November 2023, UTC).
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${CMAKE_COMMAND} -E tar tvf ${WORK}/out${round}.zip
                  OUTPUT_VARIABLE verbose)
  string(REGEX MATCHALL "[^\n]+" lines "${verbose}")
  foreach(line ${lines})
    if(NOT line MATCHES " 14 Nov +2023 ")
      message(FATAL_ERROR "an entry without the fixed time: ${line}")
    endif()
  endforeach()
  file(SHA256 ${WORK}/out${round}.zip hash)
  list(APPEND hashes ${hash})
endforeach()
list(GET hashes 0 first)
list(GET hashes 1 second)
file(REMOVE_RECURSE "${WORK}")
if(NOT first STREQUAL second)
  message(FATAL_ERROR "the same files gave two different zip files")
endif()
message(STATUS "${ZIP}: ${entries}")
