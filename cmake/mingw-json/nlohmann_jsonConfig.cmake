# nlohmann/json for the MinGW-w64 build. The build machine's package points
# at /usr/include, which would put the Linux C library's headers before
# MinGW's; this copies only the header-only library's own folder into the
# build tree and points the target there.
set(_worker_json_include ${CMAKE_BINARY_DIR}/mingw-json-include)
if(NOT EXISTS ${_worker_json_include}/nlohmann/json.hpp)
    if(NOT EXISTS /usr/include/nlohmann/json.hpp)
        set(nlohmann_json_FOUND FALSE)
        set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann/json.hpp not found: run scripts/setup first")
        return()
    endif()
    file(COPY /usr/include/nlohmann DESTINATION ${_worker_json_include})
endif()
if(NOT TARGET nlohmann_json::nlohmann_json)
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${_worker_json_include})
endif()
