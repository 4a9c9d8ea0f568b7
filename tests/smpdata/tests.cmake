# Channel tables past the first group (over 500 MB): opt-in, not part of `make test`.
corvena_test(test_smpdata_group ${CMAKE_CURRENT_LIST_DIR}/test_smpdata_group.cpp)
set_tests_properties(test_smpdata_group PROPERTIES LABELS opt-in)
