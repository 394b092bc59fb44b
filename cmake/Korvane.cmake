# Helpers shared by every folder: one static library per source folder, one way to register a test.

# korvane_library(NAME SOURCES ... [LIBS ...] [PRIVATE_LIBS ...])
# LIBS are the libraries the folder's headers expose to its users; PRIVATE_LIBS only its
# sources use, so they stay out of the users' compilations.
function(korvane_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    korvane_warnings(${name})
endfunction()

# Warnings become errors through the presets (CMAKE_COMPILE_WARNING_AS_ERROR), so a build
# with a newer compiler can still be made by hand with -DCMAKE_COMPILE_WARNING_AS_ERROR=OFF.
function(korvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wconversion
                                             -Wsign-conversion)
endfunction()

# korvane_add_test(NAME SOURCES ... [LIBS ...] [QT])
# korvane_add_test(NAME SCRIPT FILE [DEFINES VAR=VALUE ...])
# A GoogleTest program by default; QT makes it a Qt Test program run on the offscreen platform;
# SCRIPT runs a CMake script (cmake -P) with the given variables, for checks of the source tree.
# Every test runs with its own scratch WINEPREFIX and home, XDG data and configuration folders,
# so that nothing touches a person's ~/.wine, menus or desktop.
function(korvane_add_test name)
    cmake_parse_arguments(ARG "QT" "SCRIPT" "SOURCES;LIBS;DEFINES" ${ARGN})
    if(ARG_SCRIPT)
        list(TRANSFORM ARG_DEFINES PREPEND "-D")
        add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} ${ARG_DEFINES} -P ${ARG_SCRIPT})
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    korvane_warnings(${name})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
    set(scratch ${CMAKE_BINARY_DIR}/test-scratch/${name})
    set(env
        "WINEPREFIX=${scratch}/prefix"
        "HOME=${scratch}/home"
        "XDG_DATA_HOME=${scratch}/home/.local/share"
        "XDG_CONFIG_HOME=${scratch}/home/.config"
        "KORVANE_TEST_SCRATCH=${scratch}"
        "KORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
        "KORVANE_BINARY_DIR=${CMAKE_BINARY_DIR}"
        "QT_QPA_PLATFORM=offscreen"
        "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
    if(ARG_QT)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest_main ${ARG_LIBS})
        include(GoogleTest)
        # The discovered tests' properties pass through one more list expansion: keep the
        # variables one list by escaping their separators.
        string(REPLACE ";" "\\\\\\\\\\\\\\;" escaped_env "${env}")
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT "${escaped_env}")
    endif()
endfunction()
