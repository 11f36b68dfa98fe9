# One test executable per *_test.cpp file, so a test file only rebuilds and
# relinks itself and ctest can run the files in parallel.
include(GoogleTest)
find_package(GTest REQUIRED)

# Every test executable gets the test kit (test-kit/) with its main.
add_library(marovane_test_main INTERFACE)
target_link_libraries(marovane_test_main INTERFACE GTest::gmock GTest::gtest GTest::gtest_main
                                                   marovane_test_kit Threads::Threads)

# marovane_add_tests(DIR <dir> LIBS <targets...> [LABELS <labels...>])
function(marovane_add_tests)
    cmake_parse_arguments(ARG "" "DIR" "LIBS;LABELS" ${ARGN})
    if(NOT MAROVANE_BUILD_TESTS)
        return()
    endif()
    file(GLOB test_sources CONFIGURE_DEPENDS "${ARG_DIR}/*_test.cpp")
    file(GLOB support_sources CONFIGURE_DEPENDS "${ARG_DIR}/support/*.cpp")
    # Shared test helpers are compiled once per directory.
    set(support_target "")
    if(support_sources)
        string(MD5 dir_hash "${ARG_DIR}")
        string(SUBSTRING "${dir_hash}" 0 8 dir_hash)
        set(support_target "marovane_test_support_${dir_hash}")
        add_library(${support_target} STATIC ${support_sources})
        target_include_directories(${support_target} PUBLIC "${ARG_DIR}" "${ARG_DIR}/support")
        target_link_libraries(${support_target} PUBLIC ${ARG_LIBS} marovane_test_main
                              PRIVATE marovane_warnings)
    endif()
    foreach(src IN LISTS test_sources)
        get_filename_component(name "${src}" NAME_WE)
        set(target "${name}")
        add_executable(${target} "${src}")
        target_include_directories(${target} PRIVATE "${ARG_DIR}")
        target_link_libraries(${target} PRIVATE ${support_target} ${ARG_LIBS} marovane_test_main
                                                marovane_warnings)
        gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}"
                             TIMEOUT 300)
    endforeach()
endfunction()
