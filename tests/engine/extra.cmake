# Retry texts are checked when the program is compiled: each case compiles a
# text that does not fit its step and must be refused, and the control case
# one that fits. The sources are the same in every build, so the plain debug
# build alone checks them.
if(DURANDEX_SANITIZE STREQUAL "")
    set(site_texts_source ${CMAKE_CURRENT_SOURCE_DIR}/engine/site_texts/site_texts.cpp)
    foreach(case FITTING OTHER_CONVERSION PATH_MISSING LONE_PERCENT)
        add_test(NAME site_texts_${case}
                 COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -D${case} -I${CMAKE_SOURCE_DIR}
                         -I${DURANDEX_GENERATED_DIR} ${site_texts_source})
        if(NOT case STREQUAL "FITTING")
            set_tests_properties(site_texts_${case} PROPERTIES
                                 PASS_REGULAR_EXPRESSION "engine/retry\\.h.*is not a constant expression")
        endif()
    endforeach()
endif()
