# `cmake --install` into a temporary prefix, then the installed program started
# through its link. The program runs with umockdev's preload on an empty test
# bed, so its device search never reaches the real USB bus.
find_library(UMOCKDEV_PRELOAD NAMES libumockdev-preload.so.0)

if(UMOCKDEV_PRELOAD)
  add_executable(test_install ${CMAKE_CURRENT_LIST_DIR}/test_install.cpp)
  target_link_libraries(test_install PRIVATE corvena_test_support)
  set_target_properties(test_install PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_dependencies(test_install Corvena)
  add_test(NAME test_install COMMAND test_install)
  set(CORVENA_INSTALL_ENV ${CORVENA_TEST_ENV}
    CORVENA_BUILD=${CMAKE_BINARY_DIR} CORVENA_CMAKE=${CMAKE_COMMAND} CORVENA_UMOCKDEV_PRELOAD=${UMOCKDEV_PRELOAD})
  set_tests_properties(test_install PROPERTIES ENVIRONMENT "${CORVENA_INSTALL_ENV}" TIMEOUT 300)
else()
  message(WARNING "umockdev not found: the install test is not built (run tools/deps.sh test)")
endif()
