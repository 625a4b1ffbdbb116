# Compiles each target's source files several to a unit: most of a file's build time goes to the
# headers it reads (the standard library's, GoogleTest's, CLI11's) and to the templates they
# instantiate, which a unit does once for all its files. Off for the lint's compilation database,
# whose clang-tidy reads each file on its own (and scripts/compile-alone compiles each so).
option(CARDWRIGHT_UNITY_BUILD "Compile the source files several to a unit" ON)

if(CARDWRIGHT_UNITY_BUILD)
    set(CMAKE_UNITY_BUILD ON)
    set(CMAKE_UNITY_BUILD_BATCH_SIZE 8)
endif()

# A batch size of a target's own.
function(cardwright_unity_build target batch_size)
    if(CARDWRIGHT_UNITY_BUILD)
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON
            UNITY_BUILD_BATCH_SIZE ${batch_size})
    endif()
endfunction()
