cmake_minimum_required(VERSION 3.25)
# The layering of the card work: the card-work library links no Qt (the programs built on it
# load none), and no file of the window names a library export but the card seam's own.
#   PROGRAMS    programs that link the card-work library and not the window
#   WINDOW_DIR  the window's sources (app/)
#   EXPORTS     the list of the library's exports
#   CARD_SEAM   the window files that may name them
find_program(LDD ldd REQUIRED)
foreach(program IN LISTS PROGRAMS)
    execute_process(COMMAND ${LDD} ${program} OUTPUT_VARIABLE libraries RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "ldd failed on ${program}")
    endif()
    if(libraries MATCHES "libQt[^ ]*")
        message(FATAL_ERROR "${program} loads ${CMAKE_MATCH_0}: the card work must not need Qt")
    endif()
endforeach()

file(STRINGS ${EXPORTS} exports)
file(GLOB window_files ${WINDOW_DIR}/*.cpp ${WINDOW_DIR}/*.h)
set(checked 0)
foreach(path IN LISTS window_files)
    get_filename_component(name ${path} NAME)
    if(name IN_LIST CARD_SEAM)
        continue()
    endif()
    file(READ ${path} text)
    foreach(export IN LISTS exports)
        if(text MATCHES "(^|[^A-Za-z0-9_])${export}([^A-Za-z0-9_]|$)")
            message(FATAL_ERROR "${name} names the library's ${export}: only the card seam "
                                "(${CARD_SEAM}) may call the library")
        endif()
    endforeach()
    math(EXPR checked "${checked} + 1")
endforeach()
if(checked EQUAL 0)
    message(FATAL_ERROR "no window file found in ${WINDOW_DIR}")
endif()
message(STATUS "no Qt in the card work; ${checked} window files call the library only through the card seam")
