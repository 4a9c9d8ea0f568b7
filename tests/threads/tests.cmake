# The analyzer library's kill-and-delete test, with the test build's
# sanitizers and against a ThreadSanitizer build of the library and of the
# WS2812 plug-ins: their own copies of the sources, built without the other
# sanitizers (ThreadSanitizer excludes them), laid out as the program's
# (Analyzer/ beside the library).
corvena_test(test_sdk_threads ${CMAKE_CURRENT_SOURCE_DIR}/threads/test_sdk_threads.cpp)
target_link_libraries(test_sdk_threads PRIVATE ${CMAKE_DL_LIBS})

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

file(GLOB TSAN_LED_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/plugins/WS2812-family/*.cpp
     ${CMAKE_SOURCE_DIR}/plugins/common/*.cpp)
add_library(corvena_ws2812_tsan STATIC ${TSAN_LED_SOURCES})
set_target_properties(corvena_ws2812_tsan PROPERTIES
  AUTOMOC OFF
  COMPILE_OPTIONS "${TSAN_FLAGS}"
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden)
target_include_directories(corvena_ws2812_tsan PUBLIC ${CMAKE_SOURCE_DIR}/plugins/WS2812-family
                           ${CMAKE_SOURCE_DIR}/plugins/common)
target_link_libraries(corvena_ws2812_tsan PUBLIC Analyzer_tsan)
set(TSAN_PLUGINS)
foreach(member RGB-WS2812 RGBW-WS2812)
  file(GLOB member_src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/plugins/${member}/*.cpp)
  add_library(${member}_tsan SHARED ${member_src})
  set_target_properties(${member}_tsan PROPERTIES
    AUTOMOC OFF
    OUTPUT_NAME ${member}
    COMPILE_OPTIONS "${TSAN_FLAGS}"
    LINK_OPTIONS -fsanitize=thread
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/tsan/Analyzer
    BUILD_RPATH "\$ORIGIN/.."
    CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${member}_tsan PRIVATE corvena_ws2812_tsan)
  list(APPEND TSAN_PLUGINS ${member}_tsan)
endforeach()

add_executable(test_sdk_threads_tsan ${CMAKE_CURRENT_SOURCE_DIR}/threads/test_sdk_threads.cpp)
set_target_properties(test_sdk_threads_tsan PROPERTIES
  AUTOMOC OFF
  COMPILE_OPTIONS "${TSAN_FLAGS}"
  LINK_OPTIONS -fsanitize=thread
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_include_directories(test_sdk_threads_tsan PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(test_sdk_threads_tsan PRIVATE Analyzer_tsan ${CMAKE_DL_LIBS})
add_dependencies(test_sdk_threads_tsan ${TSAN_PLUGINS})
add_test(NAME test_sdk_threads_tsan COMMAND test_sdk_threads_tsan)
set_tests_properties(test_sdk_threads_tsan PROPERTIES
  ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:exitcode=66;CORVENA_BIN=${CMAKE_BINARY_DIR}/tests/tsan"
  TIMEOUT 600)
