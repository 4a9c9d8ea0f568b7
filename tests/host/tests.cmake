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

# The analyzers panel tests: the host test plug-ins under the file names a
# user's "Analyzer" directory may hold. "main" has none of the four default
# recent plug-ins; "recent" has two of them among twelve plug-ins.
set(PANEL_PLUGIN_DIR ${CMAKE_BINARY_DIR}/tests/panel-plugins)
host_test_plugin(HostPlain HOST_TEST_PLAIN)
# Only its copies are loaded, never this file: the host tests' directory
# keeps its own set.
set_target_properties(HostPlain PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${PANEL_PLUGIN_DIR}/build)
set(panel_copies main/libHostTest.so=HostTest main/libHostTestB.so=HostTestB main/libHostPlain.so=HostPlain
    recent/libUART.so=HostPlain recent/libCAN.so=HostPlain)
foreach(i RANGE 1 10)
  list(APPEND panel_copies recent/libP${i}.so=HostPlain)
endforeach()
set(panel_commands COMMAND ${CMAKE_COMMAND} -E make_directory ${PANEL_PLUGIN_DIR}/main ${PANEL_PLUGIN_DIR}/recent)
foreach(entry ${panel_copies})
  string(REPLACE "=" ";" pair ${entry})
  list(GET pair 0 file)
  list(GET pair 1 plugin)
  list(APPEND panel_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${plugin}>
       ${PANEL_PLUGIN_DIR}/${file})
endforeach()
add_custom_target(panel_plugins ${panel_commands} VERBATIM)
add_dependencies(panel_plugins HostTest HostTestB HostPlain)
foreach(t test_protomanager test_protoedit test_protoexport test_mainwindow_analyzers)
  if(TARGET ${t})
    add_dependencies(${t} panel_plugins)
    target_compile_definitions(${t} PRIVATE PANEL_PLUGIN_DIR="${PANEL_PLUGIN_DIR}")
  endif()
endforeach()

