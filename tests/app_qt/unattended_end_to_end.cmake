# The program itself, started as another program starts it: `vantrel "ref.mdb|loc.mdb"`. It
# must update the local copy, compact it and close on its own.
#   cmake -DVANTREL=... -DCORPUS=... -DWORK=... -P unattended_end_to_end.cmake
if(NOT EXISTS "${CORPUS}/jet4/testV2000.mdb")
  message("no sample databases: skipped")
  return()
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY_FILE "${CORPUS}/jet4/queryTestV2000.mdb" "${WORK}/ref.mdb")
file(COPY_FILE "${CORPUS}/jet4/testV2000.mdb" "${WORK}/loc.mdb")
file(CHMOD "${WORK}/loc.mdb" PERMISSIONS OWNER_READ OWNER_WRITE)
file(SIZE "${WORK}/loc.mdb" size_before)

execute_process(COMMAND "${VANTREL}" "${WORK}/ref.mdb|${WORK}/loc.mdb"
                RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vantrel ended with ${status}")
endif()
file(SIZE "${WORK}/loc.mdb" size_after)
if(NOT size_after LESS size_before)
  message(FATAL_ERROR "loc.mdb was not compacted: ${size_before} -> ${size_after} bytes")
endif()
if(EXISTS "${WORK}/loc.md~" OR EXISTS "${WORK}/loc.ldb")
  message(FATAL_ERROR "files were left beside the database")
endif()
file(REMOVE_RECURSE "${WORK}")
