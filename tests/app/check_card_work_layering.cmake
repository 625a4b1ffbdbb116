cmake_minimum_required(VERSION 3.25)
# The layering of the configurator: the card work (cardwork/) is plain C++ that every front end
# builds on, so it holds no Qt and no Win32 window code and includes nothing of a window; the
# windows reach the card only through the card work, so no window file names a library export or
# includes a header of the library's inside (its one public header, carvex/carvex.h, aside).
#   PROGRAMS      programs that link the card work and no window: they may load no Qt
#   CARDWORK_DIR  the card work's sources
#   WINDOW_DIRS   the windows' sources (app/, app_win32/); those not there yet are skipped
#   EXPORTS       the list of the library's exports
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

set(word_start "(^|[^A-Za-z0-9_])")
set(word_end "([^A-Za-z0-9_]|$)")
set(include_of "#[ \t]*include[ \t]*")

# Fails when `text` (the file `name`) matches `pattern`, saying what it holds and why not.
function(refuse name text pattern why)
    if(text MATCHES "${pattern}")
        string(STRIP "${CMAKE_MATCH_0}" found)
        message(FATAL_ERROR "${name} holds \"${found}\": ${why}")
    endif()
endfunction()

file(GLOB_RECURSE cardwork_files ${CARDWORK_DIR}/*.cpp ${CARDWORK_DIR}/*.h)
if(NOT cardwork_files)
    message(FATAL_ERROR "no card-work file found in ${CARDWORK_DIR}")
endif()
file(STRINGS ${EXPORTS} exports)
list(JOIN exports "|" any_export)
# The card seam over the exports is the one file of the card work that calls them; the others
# (the presenter among them) reach the card through CardAccess. A log line may name a call.
set(card_seam card/library_card.cpp)
foreach(path IN LISTS cardwork_files)
    file(RELATIVE_PATH name ${CARDWORK_DIR}/.. ${path})
    file(READ ${path} text)
    refuse(${name} "${text}" "${include_of}<Q[A-Za-z]*(/[^>]*)?>" "the card work holds no Qt")
    refuse(${name} "${text}" "${word_start}Q_OBJECT${word_end}" "the card work holds no Qt")
    refuse(${name} "${text}"
           "${include_of}<([Ww]indows|[Ww]inuser|[Cc]ommctrl|[Cc]ommdlg|[Ss]hellapi)[.]h>"
           "the card work holds no Win32 window code")
    refuse(${name} "${text}"
           "${word_start}(HWND|WNDCLASS[A-Z]*|CreateWindow(Ex)?[AW]?|DefWindowProc[AW]?)${word_end}"
           "the card work holds no Win32 window code")
    refuse(${name} "${text}" "${include_of}\"(app|app_win32)/[^\"]*\""
           "the card work includes nothing of a window")
    if(NOT name STREQUAL "cardwork/${card_seam}")
        refuse(${name} "${text}" "${word_start}(${any_export})[ \t]*\\("
               "only the card seam (${card_seam}) calls the library's exports")
    endif()
endforeach()

set(window_files)
foreach(folder IN LISTS WINDOW_DIRS)
    if(IS_DIRECTORY ${folder})
        file(GLOB_RECURSE files ${folder}/*.cpp ${folder}/*.h)
        list(APPEND window_files ${files})
    endif()
endforeach()
if(NOT window_files)
    message(FATAL_ERROR "no window file found in ${WINDOW_DIRS}")
endif()
foreach(path IN LISTS window_files)
    file(RELATIVE_PATH name ${CARDWORK_DIR}/.. ${path})
    file(READ ${path} text)
    if(text MATCHES "${word_start}(${any_export})${word_end}")
        message(FATAL_ERROR "${name} names the library's ${CMAKE_MATCH_2}: a window calls the "
                            "library only through the card work's card seam (LibraryCard)")
    endif()
    string(REGEX MATCHALL "${include_of}[<\"]carvex/[^\">]+[\">]" includes "${text}")
    foreach(include IN LISTS includes)
        if(NOT include MATCHES "carvex/carvex[.]h")
            message(FATAL_ERROR "${name} holds \"${include}\": a window includes none of the "
                                "library's inside; the card work stands between")
        endif()
    endforeach()
endforeach()
list(LENGTH cardwork_files cardwork_count)
list(LENGTH window_files window_count)
message(STATUS "${cardwork_count} card-work files hold no window code; ${window_count} window "
               "files reach the library only through the card work")
