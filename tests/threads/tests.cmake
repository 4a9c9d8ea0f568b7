# The analyzer library's kill-and-delete test, with the test build's
# sanitizers and against a ThreadSanitizer build of the library: its own
# copy of the library's sources, built without the other sanitizers
# (ThreadSanitizer excludes them).
corvena_test(test_sdk_threads ${CMAKE_CURRENT_SOURCE_DIR}/threads/test_sdk_threads.cpp)

file(GLOB TSAN_SDK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sdk/src/*.cpp)
set(TSAN_FLAGS -Wall -Wextra -fsanitize=thread -fno-omit-frame-pointer -g)

add_library(Analyzer_tsan SHARED ${TSAN_SDK_SOURCES})
set_target_properties(Analyzer_tsan PROPERTIES
  AUTOMOC OFF
  COMPILE_OPTIONS "${TSAN_FLAGS}"
  LINK_OPTIONS -fsanitize=thread
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/tsan)
target_include_directories(Analyzer_tsan PUBLIC ${CMAKE_SOURCE_DIR}/sdk/include ${CMAKE_SOURCE_DIR}
                           PRIVATE ${CMAKE_SOURCE_DIR}/sdk/src)
target_link_libraries(Analyzer_tsan PUBLIC pthread)

add_executable(test_sdk_threads_tsan ${CMAKE_CURRENT_SOURCE_DIR}/threads/test_sdk_threads.cpp)
set_target_properties(test_sdk_threads_tsan PROPERTIES
  AUTOMOC OFF
  COMPILE_OPTIONS "${TSAN_FLAGS}"
  LINK_OPTIONS -fsanitize=thread
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_include_directories(test_sdk_threads_tsan PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(test_sdk_threads_tsan PRIVATE Analyzer_tsan)
add_test(NAME test_sdk_threads_tsan COMMAND test_sdk_threads_tsan)
set_tests_properties(test_sdk_threads_tsan PROPERTIES ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:exitcode=66"
                     TIMEOUT 600)
