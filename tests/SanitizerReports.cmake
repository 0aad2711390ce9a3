# The sanitizer build's report folder: STEP=clear empties it before the tests, STEP=check prints
# every report the tests' processes left there and fails when there is one.
#   cmake -DREPORTS=folder -DSTEP=clear|check -P SanitizerReports.cmake
if(STEP STREQUAL "clear")
    file(REMOVE_RECURSE ${REPORTS})
    file(MAKE_DIRECTORY ${REPORTS})
    return()
endif()
file(GLOB reports ${REPORTS}/report*)
if(NOT reports)
    message(STATUS "No sanitizer reports in ${REPORTS}")
    return()
endif()
foreach(report ${reports})
    file(READ ${report} text)
    message("==== ${report}\n${text}")
endforeach()
list(LENGTH reports count)
message(FATAL_ERROR "${count} sanitizer report(s), listed above")
