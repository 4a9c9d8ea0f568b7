# Plug-ins for the analyzer host tests: two valid ones, one lacking the
# DestroyAnalyzer export, and a file that only looks like a library. They go
# into a directory of their own that test_analyzerhost points the host at.
set(HOST_PLUGIN_DIR ${CMAKE_BINARY_DIR}/tests/host-plugins)

function(host_test_plugin name)
  add_library(${name} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/host/HostTestPlugin.cpp)
  set_target_properties(${name} PROPERTIES
    AUTOMOC OFF
    LIBRARY_OUTPUT_DIRECTORY ${HOST_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden)
  target_compile_definitions(${name} PRIVATE ${ARGN})
  target_link_libraries(${name} PRIVATE Analyzer)
  add_dependencies(test_analyzerhost ${name})
endfunction()

host_test_plugin(HostTest)
host_test_plugin(HostTestB HOST_TEST_B)
host_test_plugin(HostNoDestroy HOST_TEST_NO_DESTROY)

file(MAKE_DIRECTORY ${HOST_PLUGIN_DIR})
file(WRITE ${HOST_PLUGIN_DIR}/libNotALibrary.so "this is not a shared library\n")
file(WRITE ${HOST_PLUGIN_DIR}/readme.txt "not a plug-in\n")

target_compile_definitions(test_analyzerhost PRIVATE HOST_PLUGIN_DIR="${HOST_PLUGIN_DIR}")

# The main window's decode tests run the test plug-in as well.
add_dependencies(test_mainwindow_road HostTest)
target_compile_definitions(test_mainwindow_road PRIVATE HOST_PLUGIN_DIR="${HOST_PLUGIN_DIR}")
