# Run by CPack once the packages' files are staged, before it builds the packages: removes from
# every ELF file the compiler's notes (sections .comment and .note), which the plain strip that
# installing runs leaves in place and Debian's packaging tools take out.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS staged)
    if(IS_SYMLINK "${file}")
        continue()
    endif()
    file(READ "${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
        execute_process(
            COMMAND "${CPACK_CARDWRIGHT_STRIP}" --remove-section=.comment --remove-section=.note
                    "${file}"
            COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
