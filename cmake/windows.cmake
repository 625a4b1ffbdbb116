# The Windows build: carvex.dll, carvexctl.exe, the configurator's Win32 window cardwright.exe,
# the programs that check them under Wine, and the zip that ships them (cpack -G ZIP).

# The mingw runtime goes into each binary, so that they need only Windows' own DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)

# CLI11 is a header-only Debian package under /usr/include, whose other headers must stay out of
# a Windows build: only its own folder is made visible.
find_path(CLI11_HEADERS CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(cli11_view ${PROJECT_BINARY_DIR}/cli11)
file(MAKE_DIRECTORY ${cli11_view})
file(CREATE_LINK ${CLI11_HEADERS}/CLI ${cli11_view}/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${cli11_view})

# nlohmann-json likewise: only its own folder.
find_path(NLOHMANN_JSON_HEADERS nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
set(nlohmann_json_view ${PROJECT_BINARY_DIR}/nlohmann_json)
file(MAKE_DIRECTORY ${nlohmann_json_view})
file(CREATE_LINK ${NLOHMANN_JSON_HEADERS}/nlohmann ${nlohmann_json_view}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${nlohmann_json_view})

add_subdirectory(carvex)
add_subdirectory(cardwork/model)
add_subdirectory(cardwork/card)
add_subdirectory(cardwork/json)
add_subdirectory(cardwork/batch)
if(EXISTS ${PROJECT_SOURCE_DIR}/cardwork/presenter/CMakeLists.txt)
    add_subdirectory(cardwork/presenter)
    add_subdirectory(app_win32)
endif()
add_subdirectory(tools/carvexctl)
add_subdirectory(packaging/windows)

if(CARDWRIGHT_BUILD_TESTS)
    enable_testing()
    add_subdirectory(tests/windows)
    include(cmake/stateful_core_once.cmake)
    cardwright_check_stateful_core_once()
endif()
