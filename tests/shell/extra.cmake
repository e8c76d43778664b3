# The end-to-end tests run the built program, and the driver: the program with
# faults armed or commands posted from inside.
if(TARGET shell_tests AND TARGET durandex)
    add_executable(durandex_driver ${CMAKE_CURRENT_SOURCE_DIR}/shell/driver/driver.cpp)
    target_compile_options(durandex_driver PRIVATE ${DURANDEX_WARNINGS})
    target_link_libraries(durandex_driver PRIVATE durandex_core)
    add_dependencies(shell_tests durandex durandex_driver)
    target_compile_definitions(shell_tests PRIVATE DURANDEX_BINARY="$<TARGET_FILE:durandex>"
                                                   DURANDEX_DRIVER="$<TARGET_FILE:durandex_driver>"
                                                   DURANDEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
