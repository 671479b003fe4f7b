# End-to-end tests: network namespaces and the camera simulator (Python 3 standard library).
# Without root or iproute2 the namespace tests exit 77, which ctest reports as skipped.
add_test(NAME e2e.harness COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/harness.py --selftest)
set_tests_properties(e2e.harness PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 60)
add_test(NAME e2e.camsim.unit COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_camsim.py --unit)
set_tests_properties(e2e.camsim.unit PROPERTIES LABELS e2e TIMEOUT 60)
add_test(NAME e2e.camsim COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_camsim.py)
set_tests_properties(e2e.camsim PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 300)
