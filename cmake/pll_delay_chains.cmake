# The generator of the PLL measured-delay table (fitter/velmo/
# velmo_pll_delay_chains_measured_data.inc); a test keeps the committed rows
# equal to what its rule generates.
add_executable(velmo_pll_table_gen ${CMAKE_SOURCE_DIR}/tools/velmo_pll_table_gen/main.cpp)

# The PLL measured-delay table is what its generator's rule gives.
add_test(NAME pll_delay_table_current COMMAND velmo_pll_table_gen --compare
  ${CMAKE_SOURCE_DIR}/fitter/velmo/velmo_pll_delay_chains_measured_data.inc)

# The PLL chains' YEB cell-delay switches, read when the component is loaded:
# the debug lines on, and the cell delays off.
add_executable(velmo_preset_pll_debug_tests ${CMAKE_SOURCE_DIR}/tests/preset/pll_cell_delay_debug_test.cpp)
target_link_libraries(velmo_preset_pll_debug_tests PRIVATE velmo_static velmo_host_gtest GTest::gmock_main)
gtest_discover_tests(velmo_preset_pll_debug_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "VELMO_CFG=wexan_yeb_cell_delay_debug_msg=on")
add_executable(velmo_preset_pll_no_yeb_tests ${CMAKE_SOURCE_DIR}/tests/preset/pll_no_cell_delays_test.cpp)
target_link_libraries(velmo_preset_pll_no_yeb_tests PRIVATE velmo_static velmo_host_gtest GTest::gmock_main)
gtest_discover_tests(velmo_preset_pll_no_yeb_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "VELMO_CFG=wexan_iopll_use_yeb_cell_delays=off")
