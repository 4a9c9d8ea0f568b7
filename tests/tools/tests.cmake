# decode-capture: runs one analyzer plug-in over a signal recorded in a VCD
# file, as the program runs its analyzers. Built with the tests only, into
# the program's directory; never installed.
add_library(corvena_capture_tools STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CaptureTables.h
  ${CMAKE_CURRENT_LIST_DIR}/VcdReader.cpp ${CMAKE_CURRENT_LIST_DIR}/VcdReader.h
  ${CMAKE_CURRENT_LIST_DIR}/PluginRunner.cpp ${CMAKE_CURRENT_LIST_DIR}/PluginRunner.h
  ${CMAKE_CURRENT_LIST_DIR}/ThreadPerRun.h)
set_target_properties(corvena_capture_tools PROPERTIES AUTOMOC OFF)
target_include_directories(corvena_capture_tools PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR})
target_link_libraries(corvena_capture_tools PUBLIC Qt5::Core Analyzer pthread)

add_executable(decode-capture ${CMAKE_CURRENT_LIST_DIR}/decode_capture.cpp)
target_link_libraries(decode-capture PRIVATE corvena_capture_tools)
set_target_properties(decode-capture PROPERTIES AUTOMOC OFF
  RUNTIME_OUTPUT_DIRECTORY ${CORVENA_BIN_DIR} BUILD_RPATH "\$ORIGIN")

# Every test may run plug-ins (these helpers) or decode-capture itself.
file(GLOB capture_tool_users CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
foreach(f ${capture_tool_users})
  get_filename_component(t ${f} NAME_WE)
  target_link_libraries(${t} PRIVATE corvena_capture_tools)
  add_dependencies(${t} decode-capture)
endforeach()
