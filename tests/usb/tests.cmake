# Tests against the emulated analyzer: the transport runs over real libusb
# while umockdev-wrapper redirects /dev and /sys to a test bed.
pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
find_program(UMOCKDEV_WRAPPER umockdev-wrapper)

if(UMOCKDEV_FOUND AND UMOCKDEV_WRAPPER)
  add_library(corvena_emu STATIC
    ${CMAKE_CURRENT_LIST_DIR}/EmuAnalyzer.cpp ${CMAKE_CURRENT_LIST_DIR}/EmuAnalyzer.h)
  target_link_libraries(corvena_emu PUBLIC corvena_test_support PkgConfig::UMOCKDEV)
  target_include_directories(corvena_emu PUBLIC ${CMAKE_CURRENT_LIST_DIR})

  # The preload library has to come first; leak checks would see umockdev's
  # own allocations, and the preload confuses ASan's link-order check.
  set(CORVENA_EMU_ENV ${CORVENA_TEST_ENV})
  list(FILTER CORVENA_EMU_ENV EXCLUDE REGEX "^ASAN_OPTIONS=")
  list(APPEND CORVENA_EMU_ENV
    "ASAN_OPTIONS=halt_on_error=1:detect_leaks=0:abort_on_error=0:verify_asan_link_order=0")
  list(APPEND CORVENA_EMU_ENV CORVENA_OBJCOPY=${CMAKE_OBJCOPY})

  file(GLOB USB_TEST_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_*.cpp)
  foreach(f ${USB_TEST_FILES})
    get_filename_component(n ${f} NAME_WE)
    # As corvena_test, but the test runs under umockdev-wrapper.
    add_executable(${n} ${f})
    target_link_libraries(${n} PRIVATE corvena_emu)
    set_target_properties(${n} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${n} COMMAND ${UMOCKDEV_WRAPPER} $<TARGET_FILE:${n}>)
    set_tests_properties(${n} PROPERTIES ENVIRONMENT "${CORVENA_EMU_ENV}" TIMEOUT 300 LABELS usb)
  endforeach()
  # Its captures whose threads the system refuses.
  corvena_refusing_test(test_usb_capture)
else()
  message(WARNING "umockdev not found: the emulated-analyzer tests are not built (run tools/deps.sh test)")
endif()
