# Packs the release into a scratch folder and checks that the zip holds the
# program, both READMEs and the licence, and nothing else.
#   cmake -DBUILD=<build folder> -DPROGRAM=<program file name> -P cmake/check-zip.cmake
set(scratch ${BUILD}/zip-check)
file(REMOVE_RECURSE ${scratch})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP -B ${scratch} --config ${BUILD}/CPackConfig.cmake
                RESULT_VARIABLE packed OUTPUT_QUIET)
file(GLOB zips ${scratch}/*.zip)
list(LENGTH zips count)
if(NOT packed EQUAL 0 OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made no zip (status ${packed})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zips} OUTPUT_VARIABLE listing
                RESULT_VARIABLE listed)
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" names "${listing}")
list(SORT names)
set(expected LICENSE README.ja.md README.md ${PROGRAM})
list(SORT expected)
file(REMOVE_RECURSE ${scratch})
if(NOT listed EQUAL 0 OR NOT names STREQUAL expected)
  message(FATAL_ERROR "the zip holds '${names}', not '${expected}'")
endif()
