# The Windows program: the code above platform/ built against the real Win32
# API, with the small part of the platform layer that Windows lacks
# (platform/windows/) and the resources from a resource script.
enable_language(RC)

# nlohmann/json is header-only: the host's copy serves the cross build, made
# visible on its own so that no other host header is.
find_path(DURANDEX_JSON_INCLUDE nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/json_include)
file(CREATE_LINK ${DURANDEX_JSON_INCLUDE}/nlohmann ${PROJECT_BINARY_DIR}/json_include/nlohmann SYMBOLIC)

# Run alone from a zip, without the compiler's DLLs beside it.
add_link_options(-static -static-libgcc -static-libstdc++)

file(GLOB DURANDEX_PLATFORM_SOURCES CONFIGURE_DEPENDS platform/windows/*.cpp)
list(APPEND DURANDEX_PLATFORM_SOURCES platform/settings.cpp platform/json_result.cpp platform/error_names.cpp)
add_library(durandex_platform STATIC ${DURANDEX_PLATFORM_SOURCES})
target_include_directories(durandex_platform PUBLIC ${CMAKE_SOURCE_DIR} ${DURANDEX_GENERATED_DIR}
                           PRIVATE ${PROJECT_BINARY_DIR}/json_include)
target_compile_options(durandex_platform PRIVATE ${DURANDEX_WARNINGS})
target_link_libraries(durandex_platform PUBLIC user32 gdi32 kernel32 advapi32)

file(GLOB DURANDEX_CORE_SOURCES CONFIGURE_DEPENDS records/*.cpp engine/*.cpp report/*.cpp drives/*.cpp shell/*.cpp)
list(FILTER DURANDEX_CORE_SOURCES EXCLUDE REGEX "shell/main\\.cpp$")
add_library(durandex_core STATIC ${DURANDEX_CORE_SOURCES})
target_compile_options(durandex_core PRIVATE ${DURANDEX_WARNINGS})
target_link_libraries(durandex_core PUBLIC durandex_platform)

add_executable(durandex shell/main.cpp platform/windows/durandex.rc)
target_compile_options(durandex PRIVATE ${DURANDEX_WARNINGS})
target_link_libraries(durandex PRIVATE durandex_core)

if(BUILD_TESTING)
    add_subdirectory(tests/windows)
endif()

# The release artefact: `cpack -G ZIP` gives a zip of durandex.exe, the
# README and the manual as text.
find_program(GROFF_PROGRAM groff REQUIRED)
set(manual_text ${PROJECT_BINARY_DIR}/durandex.txt)
add_custom_command(OUTPUT ${manual_text}
                   COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}/doc/durandex.1 -DOUTPUT=${manual_text}
                           -DGROFF=${GROFF_PROGRAM} -P ${CMAKE_SOURCE_DIR}/cmake/manual_text.cmake
                   DEPENDS ${CMAKE_SOURCE_DIR}/doc/durandex.1 ${CMAKE_SOURCE_DIR}/cmake/manual_text.cmake
                   VERBATIM)
add_custom_target(durandex_manual_text ALL DEPENDS ${manual_text})
install(TARGETS durandex RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${manual_text} ${CMAKE_SOURCE_DIR}/doc/copyright DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME durandex)
set(CPACK_PACKAGE_VENDOR "Durandex developers")
set(CPACK_SYSTEM_NAME windows-x86_64)
set(CPACK_STRIP_FILES ON)
include(CPack)
