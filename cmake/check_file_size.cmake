# Fails when a file is missing or larger than a limit: cmake -DFILE=path -DLIMIT=bytes -P this.
if(NOT EXISTS "${FILE}")
    message(FATAL_ERROR "${FILE} is missing")
endif()
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
    message(FATAL_ERROR "${FILE} has ${size} bytes, more than ${LIMIT}")
endif()
message(STATUS "${FILE}: ${size} bytes, at most ${LIMIT}")
