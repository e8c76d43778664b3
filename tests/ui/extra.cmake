# The terminal backend: unit tests, and a probe program that the same test
# program drives in a private tmux server.
add_executable(ui_terminal_probe ${CMAKE_CURRENT_SOURCE_DIR}/ui/terminal_probe/probe.cpp)
target_compile_options(ui_terminal_probe PRIVATE ${DURANDEX_WARNINGS})
target_link_libraries(ui_terminal_probe PRIVATE durandex_platform)
file(GLOB ui_terminal_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/terminal_tests/*.cpp)
add_executable(ui_terminal_tests ${ui_terminal_test_sources})
target_compile_options(ui_terminal_tests PRIVATE ${DURANDEX_WARNINGS})
target_include_directories(ui_terminal_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(ui_terminal_tests PRIVATE UI_TERMINAL_PROBE="$<TARGET_FILE:ui_terminal_probe>")
target_link_libraries(ui_terminal_tests PRIVATE durandex_platform GTest::gtest_main GTest::gmock)
add_dependencies(ui_terminal_tests ui_terminal_probe)
gtest_discover_tests(ui_terminal_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
