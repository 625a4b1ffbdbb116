cmake_minimum_required(VERSION 3.25)
# A program holds the library's stateful core (its clock, link, connection and exports) once:
# through the shared library or linked in, never both, or it would run two clocks and two
# connections that know nothing of each other. Every program that loads the shared library is
# looked at: none may define a symbol that the core's archive defines.
#   NM, OBJDUMP  the tools of the toolchain that built the programs
#   CORE         the stateful core's static archive
#   SHARED       the shared library as programs name it (libcarvex.so.1, carvex.dll)
#   PROGRAMS     the programs of the build
execute_process(COMMAND ${NM} --defined-only --extern-only ${CORE}
                OUTPUT_VARIABLE core_listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${CORE}")
endif()
# Only strong definitions: an inline function or a template instance (weak) may be anywhere.
string(REGEX MATCHALL "[ \t][TDBR] [^\r\n]+" core_lines "${core_listing}")
set(core_symbols)
foreach(line IN LISTS core_lines)
    string(REGEX REPLACE "^[ \t][TDBR] " "" symbol "${line}")
    list(APPEND core_symbols "${symbol}")
endforeach()
list(LENGTH core_symbols core_count)
if(core_count EQUAL 0)
    message(FATAL_ERROR "${CORE} defines no symbol: not the core's archive?")
endif()

string(REPLACE "." "[.]" shared_pattern "${SHARED}")
set(loading 0)
foreach(program IN LISTS PROGRAMS)
    execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE headers
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} failed on ${program}")
    endif()
    if(NOT headers MATCHES "(NEEDED|DLL Name:)[ \t]+${shared_pattern}[\r\n]")
        continue()
    endif()
    math(EXPR loading "${loading} + 1")
    execute_process(COMMAND ${NM} --defined-only ${program} OUTPUT_VARIABLE defined
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${NM} failed on ${program}")
    endif()
    string(APPEND defined "\n")
    # A Windows program holds a small thunk, named as the function, for each function it imports
    # from the DLL: a call, not a copy.
    set(imported)
    string(REPLACE "\n" ";" header_lines "${headers}")
    set(in_table FALSE)
    foreach(line IN LISTS header_lines)
        if(line MATCHES "DLL Name: (.+)$")
            string(COMPARE EQUAL "${CMAKE_MATCH_1}" "${SHARED}" in_table)
        elseif(in_table AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+  ([A-Za-z_][A-Za-z0-9_@]*)$")
            list(APPEND imported "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    set(copies)
    foreach(symbol IN LISTS core_symbols)
        # A PE archive shows the standard library's template instances and type information as
        # strong definitions, though the linker keeps one copy of each: they belong to no core.
        # 32-bit names carry a leading underscore, and a __stdcall function's its argument bytes
        # (_InitCommPort@0), where the import table names the plain InitCommPort.
        string(REGEX REPLACE "^_([A-Za-z][A-Za-z0-9_]*)@[0-9]+$" "\\1" plain "${symbol}")
        if(symbol MATCHES "^_?_Z(T[ISV]N?|Z?NK?)?St" OR plain IN_LIST imported)
            continue()
        endif()
        string(FIND "${defined}" " ${symbol}\n" at)
        if(NOT at EQUAL -1)
            list(APPEND copies "${symbol}")
        endif()
    endforeach()
    if(copies)
        list(LENGTH copies count)
        list(SUBLIST copies 0 5 shown)
        list(JOIN shown "\n  " shown)
        message(FATAL_ERROR "${program} loads ${SHARED} and holds ${count} symbols of the "
                            "stateful core besides, among them:\n  ${shown}\nIt must link the "
                            "core's stateless support (carvex_support) instead of carvex_core.")
    endif()
endforeach()
message(STATUS "${loading} programs load ${SHARED}; none holds a copy of the stateful core")
