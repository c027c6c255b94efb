# Our own code builds with every warning as an error; third-party headers come in as system
# headers so their warnings do not stop us.
function(brivano_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# One static library per folder of src/, named brivano_<folder>, holding every source file there
# except those named after EXCLUDE (a program's main file, which belongs to the executable).
function(brivano_library folder)
    cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
    foreach(excluded ${ARG_EXCLUDE})
        list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/${excluded})
    endforeach()
    add_library(brivano_${folder} STATIC ${sources})
    target_include_directories(brivano_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    brivano_defaults(brivano_${folder})
endfunction()

# One test executable per folder of tests/, from every *_test.cpp there. LABELS (one label) lets
# the thread-heavy suites, labelled "threads", run once more under ThreadSanitizer.
function(brivano_test folder)
    cmake_parse_arguments(ARG "" "" "LIBRARIES;LABELS;LOCKS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${folder}_tests ${sources})
    target_link_libraries(${folder}_tests PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
    target_include_directories(${folder}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    brivano_defaults(${folder}_tests)
    # Suites named *Child are what a test runs in a re-executed copy of its own program (a
    # process whose environment or sink must be fresh); they are not tests of their own.
    # LOCKS names what the suite's tests must not share with another suite's at the same time
    # under ctest -j. An empty property value would vanish from the list and shift the pairs.
    set(properties)
    if(ARG_LABELS)
        list(APPEND properties LABELS "${ARG_LABELS}")
    endif()
    if(ARG_LOCKS)
        list(APPEND properties RESOURCE_LOCK "${ARG_LOCKS}")
    endif()
    gtest_discover_tests(${folder}_tests DISCOVERY_MODE PRE_TEST TEST_FILTER "-*Child.*"
                         PROPERTIES ${properties})
endfunction()
