# Each library sees the tree through an include root of its own, in the build tree, that holds
# only its own source folder under its name in the tree ("cardwork/model" -> <source>/cardwork/model). Its
# code and its users write #include "cardwork/model/..." as everywhere else, but a library reaches the
# headers of another only by linking it: the model cannot include the window, nor the library the
# model, by accident.
function(cardwright_include_root target scope folder)
    set(root ${PROJECT_BINARY_DIR}/include-roots/${target})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    target_include_directories(${target} ${scope} ${root})
endfunction()
