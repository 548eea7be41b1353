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
  kvr_add_test_labels(${name}_tests "${sources}")
endfunction()

# CTest labels, given in the test sources beside the suites they label, one line each:
#     // Test labels: <Suite> <label>...         every test of the suite
#     // Test labels: <Suite>.<Test> <label>...  one test
# A parameterised suite is named without its instance prefix. The labels in use: "tsan", what
# scripts/test-tsan runs under ThreadSanitizer, and "timed", a test with a generous time or CPU bound,
# which scripts/test-tsan runs once more alone with KVR_TIMED_TESTS set. The labels are set when CTest
# reads the discovered tests.
function(kvr_add_test_labels program sources)
  set(script "")
  foreach(source ${sources})
    file(STRINGS ${source} lines REGEX "^// Test labels: ")
    foreach(line ${lines})
      if(NOT line MATCHES "^// Test labels: ([A-Za-z0-9_]+)(\\.([A-Za-z0-9_]+))? +([a-z ]+)$")
        message(FATAL_ERROR "${source}: a test label line reads \"// Test labels: <Suite>[.<Test>] <label>...\"")
      endif()
      set(pattern "^([^/]*/)?${CMAKE_MATCH_1}\\\\.")
      if(CMAKE_MATCH_3)
        set(pattern "${pattern}${CMAKE_MATCH_3}(/|$| )")
      endif()
      string(REPLACE " " ";" labels "${CMAKE_MATCH_4}")
      foreach(label ${labels})
        string(APPEND script "  if(test MATCHES \"${pattern}\")\n    list(APPEND labels ${label})\n  endif()\n")
      endforeach()
    endforeach()
  endforeach()
  if(NOT script)
    return()
  endif()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${program}_labels.cmake)
  file(WRITE ${file} "foreach(test IN LISTS ${program}_TESTS)\n  set(labels \"\")\n${script}"
                     "  if(labels)\n    list(REMOVE_DUPLICATES labels)\n"
                     "    set_tests_properties(\"\${test}\" PROPERTIES LABELS \"\${labels}\")\n  endif()\n"
                     "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()
