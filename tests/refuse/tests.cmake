# The refusal of new threads that the tests put the program under (see
# refuse/RefuseThreads.h): a library to preload into the built program, and
# a static one that a test executable links to take pthread_create over in
# its own process (the executable exports it, so that Qt and the C++ library
# find it first).
set(REFUSE_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/refuse/RefuseThreads.cpp)

add_library(cv_refuse_threads SHARED ${REFUSE_SOURCES})
set_target_properties(cv_refuse_threads PROPERTIES
  AUTOMOC OFF
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_link_libraries(cv_refuse_threads PRIVATE ${CMAKE_DL_LIBS})

add_library(corvena_refuse_threads STATIC ${REFUSE_SOURCES})
set_target_properties(corvena_refuse_threads PROPERTIES AUTOMOC OFF)
target_include_directories(corvena_refuse_threads PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/refuse)
target_link_libraries(corvena_refuse_threads PUBLIC ${CMAKE_DL_LIBS})

# A test that refuses threads in its own process.
function(corvena_refusing_test name)
  target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,corvena_refuse_threads>")
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
endfunction()
corvena_refusing_test(test_thread_refusal)
corvena_refusing_test(test_datafile_threads)
corvena_refusing_test(test_sdk_results)
corvena_refusing_test(test_wavedatagen)
corvena_refusing_test(test_filterwindow)
corvena_refusing_test(test_analyzerdatagen)
corvena_refusing_test(test_protomanager)
corvena_refusing_test(test_protoexport)

# The built program under the refusal, preloaded.
corvena_test(test_program_refusal ${CMAKE_CURRENT_SOURCE_DIR}/refuse/test_program_refusal.cpp)
target_link_libraries(test_program_refusal PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(test_program_refusal cv_refuse_threads)
set_property(TEST test_program_refusal APPEND PROPERTY ENVIRONMENT
             CORVENA_REFUSE_PRELOAD=$<TARGET_FILE:cv_refuse_threads>)
