# Plays one scenario script with the program and checks how it ended. The script's first line may
# say what to expect: "# exit: N" (0 unless said), and "# exit: N at line L" for a script that must
# stop at that line, whose message then names FILE:L.
#   cmake -DPROGRAM=quillvorn -DSCRIPT=file.scenario -DOUT=dir [-DEXPECT_EXIT=N] -P RunScenario.cmake
file(STRINGS "${SCRIPT}" header LIMIT_COUNT 1)
set(expected 0)
set(line "")
if(header MATCHES "^# exit: ([0-9]+)( at line ([0-9]+))?")
  set(expected ${CMAKE_MATCH_1})
  set(line ${CMAKE_MATCH_3})
endif()
if(DEFINED EXPECT_EXIT)
  set(expected ${EXPECT_EXIT})
endif()
execute_process(COMMAND "${PROGRAM}" --scenario "${SCRIPT}" --out "${OUT}"
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT code STREQUAL "${expected}")
  message(FATAL_ERROR "exit ${code}, expected ${expected}")
endif()
if(line AND NOT err MATCHES "${SCRIPT}:${line}: ")
  message(FATAL_ERROR "the message does not name ${SCRIPT}:${line}")
endif()
