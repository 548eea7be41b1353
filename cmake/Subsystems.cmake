# One static library per subsystem: every .cpp under the subsystem's folder belongs to it, so adding a
# file pair needs no change here. Tests mirror the sources: tests/<folder>/*_test.cpp make one test
# program per subsystem.

function(kvr_add_subsystem name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# A library of helpers that test programs share (tests/support), built once: `sources` are its files,
# the rest what it links. The helpers come in layers like the code they help to test.
function(kvr_add_test_support name sources)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PUBLIC ${ARGN} GTest::gtest)
  target_compile_definitions(${name} PUBLIC
    KVR_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KVR_BINARY_DIR="${PROJECT_BINARY_DIR}")
endfunction()

# One test program per subsystem, linking what follows the folder: the subsystem's library and the
# test helpers of its layer.
function(kvr_add_subsystem_tests name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${folder}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name}_tests ${sources})
  target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name}_tests PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name}_tests PRIVATE
    KVR_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KVR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KVR_TEST_TMPDIR=${PROJECT_BINARY_DIR}/test-tmp")
endfunction()
