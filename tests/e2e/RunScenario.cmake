# Plays one scenario script with the program and checks how it ended. The script's first line may
# say what to expect: "# exit: N" (0 unless said), and "# exit: N at line L" for a script that must
# stop at that line, whose message then names FILE:L.
#   cmake -DPROGRAM=quillvorn -DSCRIPT=file.scenario -DOUT=dir [-DEXPECT_EXIT=N] -P RunScenario.cmake
# For the command line itself: -DARGS="a;b" runs the program with those arguments instead, and
# -DEXPECT_MESSAGE=REGEX is what its messages must say.
set(expected 0)
set(line "")
if(DEFINED SCRIPT AND NOT IS_DIRECTORY "${SCRIPT}")
  file(STRINGS "${SCRIPT}" header LIMIT_COUNT 1)
  if(header MATCHES "^# exit: ([0-9]+)( at line ([0-9]+))?")
    set(expected ${CMAKE_MATCH_1})
    set(line ${CMAKE_MATCH_3})
  endif()
endif()
if(DEFINED EXPECT_EXIT)
  set(expected ${EXPECT_EXIT})
endif()
if(NOT DEFINED ARGS)
  set(ARGS --scenario "${SCRIPT}" --out "${OUT}")
endif()
execute_process(COMMAND "${PROGRAM}" ${ARGS}
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT code STREQUAL "${expected}")
  message(FATAL_ERROR "exit ${code}, expected ${expected}")
endif()
if(line AND NOT err MATCHES "${SCRIPT}:${line}: ")
  message(FATAL_ERROR "the message does not name ${SCRIPT}:${line}")
endif()
if(DEFINED EXPECT_MESSAGE AND NOT err MATCHES "${EXPECT_MESSAGE}")
  message(FATAL_ERROR "the message does not say \"${EXPECT_MESSAGE}\"")
endif()
