# Compiles the help in a fresh staging folder; run with cmake -P.
#   CHMCMD  the compiler     SOURCES  the help sources (; list)
#   IMAGES  the screenshots  STAGE    the staging folder   OUTPUT  the .chm
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}/images")
file(COPY ${SOURCES} DESTINATION "${STAGE}")
file(COPY ${IMAGES} DESTINATION "${STAGE}/images")
file(REMOVE "${OUTPUT}")

execute_process(COMMAND "${CHMCMD}" --html-scan quarn.hhp
                WORKING_DIRECTORY "${STAGE}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
# chmcmd can end with status 0 after a warning about a file it could not
# use, and crash on others: any warning, error or exception fails the build,
# as does a missing result.
if(NOT result EQUAL 0 OR output MATCHES "Warning|Error|exception" OR NOT EXISTS "${STAGE}/quarn.chm")
  message(FATAL_ERROR "chmcmd could not compile the help (status ${result}):\n${output}")
endif()
file(RENAME "${STAGE}/quarn.chm" "${OUTPUT}")
