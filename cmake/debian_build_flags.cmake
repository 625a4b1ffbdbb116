# The compiler and linker flags Debian builds its packages with (hardening included), as
# dpkg-buildflags gives them for this machine. Appended to the project's own flags, so that the
# packaged programs are built as a Debian package's are.
find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

function(cardwright_debian_flag variable kind)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DPKG_BUILDFLAGS} --get ${kind}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE flags
        OUTPUT_STRIP_TRAILING_WHITESPACE
        COMMAND_ERROR_IS_FATAL ANY)
    # The path map names this checkout's folder: objects would differ from one checkout to the
    # next, and the compiler cache could not share them.
    string(REGEX REPLACE " *-ffile-prefix-map=[^ ]*" "" flags "${flags}")
    set(${variable} "${flags}" PARENT_SCOPE)
endfunction()

cardwright_debian_flag(debian_cppflags CPPFLAGS)
cardwright_debian_flag(debian_cflags CFLAGS)
cardwright_debian_flag(debian_cxxflags CXXFLAGS)
cardwright_debian_flag(debian_ldflags LDFLAGS)

string(APPEND CMAKE_C_FLAGS " ${debian_cflags} ${debian_cppflags}")
string(APPEND CMAKE_CXX_FLAGS " ${debian_cxxflags} ${debian_cppflags}")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${debian_ldflags}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${debian_ldflags}")
