# Compiles a target's source files several to a unit, where each of them spends most of its time
# in the same heavy headers (GoogleTest, CLI11). Off for the lint's compilation database, whose
# clang-tidy reads each file on its own.
option(CARDWRIGHT_UNITY_BUILD "Compile the tests and carvexctl's commands several files to a unit" ON)

function(cardwright_unity_build target batch_size)
    if(CARDWRIGHT_UNITY_BUILD)
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON
            UNITY_BUILD_BATCH_SIZE ${batch_size})
    endif()
endfunction()
