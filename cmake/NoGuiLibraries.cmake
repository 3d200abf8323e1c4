# Fails when the program BINARY needs Qt Gui or Qt Widgets. Run in script mode as a test, with
# LISTER the command that lists the libraries a program needs: ldd (all of them, also those of
# its libraries), or "objdump -p" for a Windows program (the DLLs it names itself).
separate_arguments(lister UNIX_COMMAND "${LISTER}")
execute_process(COMMAND ${lister} "${BINARY}" OUTPUT_VARIABLE libraries ERROR_VARIABLE errors
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${LISTER} ${BINARY} failed: ${errors}")
endif()
# Qt Core is always there: without it in the list, the list is not what it should be.
if(NOT libraries MATCHES "Qt6Core")
    message(FATAL_ERROR "${LISTER} ${BINARY} names no Qt Core:\n${libraries}")
endif()
string(REGEX MATCHALL "[^ \t\n]*Qt6(Gui|Widgets)[^ \t\n]*" gui "${libraries}")
if(gui)
    message(FATAL_ERROR "${BINARY} needs ${gui}")
endif()
message(STATUS "${BINARY} needs neither Qt Gui nor Qt Widgets")
