# Two kinds of test executable, never mixed (component statics are frozen once
# per process, so ctest runs every test case in its own process):
#  - velmo_tests: unit tests of the host and of the component's objects
#    (linked statically through velmo_static);
#  - velmo_load_tests: link only the host and dlopen libvelmo.so per test.
file(GLOB_RECURSE VELMO_UNIT_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/host/*.cpp ${CMAKE_SOURCE_DIR}/tests/velmo/*.cpp)
# The fuzz regressions replay velmo-fit's command-line parser too, and the
# progress tests print velmo-fit's final-stage and routing lines. The
# library that refuses thread starts on request (VELMO_TEST_THREADS_STARTED)
# is linked in, for the host's parallel helpers' failure paths.
add_executable(velmo_tests ${VELMO_UNIT_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_options.cpp
  ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_progress.cpp
  ${CMAKE_SOURCE_DIR}/tests/fit/shim/thread_start_failure.c)
target_include_directories(velmo_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools/velmo_fit)
target_link_libraries(velmo_tests PRIVATE velmo_static velmo_host_gtest GTest::gmock_main)
target_compile_definitions(velmo_tests PRIVATE
  VELMO_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
  VELMO_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/examples/designs"
  VELMO_FUZZ_REGRESSIONS_DIR="${CMAKE_SOURCE_DIR}/tests/fuzz/regressions")
gtest_discover_tests(velmo_tests DISCOVERY_MODE PRE_TEST)
# Any filter and order of the unit tests in one process gives the results
# each gives alone: here the register packer's and the blackboxing driver's
# groups, whose tests latch switches read once per process.
add_test(NAME velmo_tests_one_process_filtered COMMAND velmo_tests
  --gtest_filter=Regpack*)

# A small library that reads a configuration value when it is loaded, standing
# in for any library opened after the host was preset.
add_library(velmo_test_loadprobe SHARED ${CMAKE_SOURCE_DIR}/tests/load/probe/load_probe.cpp)
target_link_libraries(velmo_test_loadprobe PRIVATE velmo_host)

file(GLOB VELMO_LOAD_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/load/*.cpp)
add_executable(velmo_load_tests ${VELMO_LOAD_TEST_SOURCES})
add_dependencies(velmo_load_tests velmo velmo_test_loadprobe fitter_govin zarn_yun velmo_exports)
target_include_directories(velmo_load_tests PRIVATE ${CMAKE_BINARY_DIR}/generated ${TCL_INCLUDE_PATH})
target_link_libraries(velmo_load_tests PRIVATE velmo_host_gtest GTest::gmock_main ${TCL_LIBRARY})
# The stand-in host's Tcl package loaded in-process, for changes between its
# commands.
add_dependencies(velmo_load_tests velmo_fit_tcl)
target_compile_definitions(velmo_load_tests PRIVATE VELMO_FIT_TCL_LIB="$<TARGET_FILE:velmo_fit_tcl>"
  VELMO_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/examples/designs")
gtest_discover_tests(velmo_load_tests DISCOVERY_MODE PRE_TEST)

# velmo-fit as a subprocess: command line, exit codes, output.
file(GLOB VELMO_FIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fit/*.cpp)
add_executable(velmo_fit_tests ${VELMO_FIT_TEST_SOURCES})
# Preloaded into velmo-fit to make thread creation fail on purpose.
add_library(velmo_test_thread_start_failure SHARED ${CMAKE_SOURCE_DIR}/tests/fit/shim/thread_start_failure.c)
target_link_libraries(velmo_test_thread_start_failure PRIVATE ${CMAKE_DL_LIBS})
# Preloaded into velmo-fit to move atoms after the last stage.
add_library(velmo_test_swap_atoms SHARED ${CMAKE_SOURCE_DIR}/tests/fit/shim/swap_atoms.cpp)
target_link_libraries(velmo_test_swap_atoms PRIVATE velmo_host ${CMAKE_DL_LIBS})
# Preloaded into velmo-fit to change the file system once a chosen file is
# renamed into place.
add_library(velmo_test_after_rename SHARED ${CMAKE_SOURCE_DIR}/tests/fit/shim/after_rename.c)
target_link_libraries(velmo_test_after_rename PRIVATE ${CMAKE_DL_LIBS})
# Preloaded into velmo-fit to make its monotonic clock run fast.
add_library(velmo_test_fast_clock SHARED ${CMAKE_SOURCE_DIR}/tests/fit/shim/fast_clock.c)
target_link_libraries(velmo_test_fast_clock PRIVATE ${CMAKE_DL_LIBS} Threads::Threads)
add_dependencies(velmo_fit_tests velmo-fit velmo_fit_tcl velmo_test_thread_start_failure velmo_test_swap_atoms
  velmo_test_after_rename velmo_test_fast_clock)
target_compile_definitions(velmo_fit_tests PRIVATE VELMO_FIT_EXE="$<TARGET_FILE:velmo-fit>"
  VELMO_THREAD_START_FAILURE_LIB="$<TARGET_FILE:velmo_test_thread_start_failure>"
  VELMO_SWAP_ATOMS_LIB="$<TARGET_FILE:velmo_test_swap_atoms>"
  VELMO_AFTER_RENAME_LIB="$<TARGET_FILE:velmo_test_after_rename>"
  VELMO_FAST_CLOCK_LIB="$<TARGET_FILE:velmo_test_fast_clock>"
  VELMO_FIT_TCL_LIB="$<TARGET_FILE:velmo_fit_tcl>"
  VELMO_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/examples/designs"
  VELMO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(velmo_fit_tests PRIVATE GTest::gmock_main)
# The fit tests write designs, settings and reports into the test temporary
# directory: one per build, so that two builds' test runs never share files.
set(VELMO_FIT_TEST_TMPDIR ${CMAKE_BINARY_DIR}/fit-test-tmp)
file(MAKE_DIRECTORY ${VELMO_FIT_TEST_TMPDIR})
gtest_discover_tests(velmo_fit_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "TEST_TMPDIR=${VELMO_FIT_TEST_TMPDIR}/")

# Component code includes only host/<family>/ headers; host code includes
# component files only from the base layer.
add_test(NAME layering_check COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR}
  -P ${CMAKE_SOURCE_DIR}/cmake/layering_check.cmake)

# Unit tests that need their own configuration preset, read when the component
# is loaded: the delay chains of family 46 switched off.
file(GLOB VELMO_PRESET_M10_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/preset/delay_chain_m10_off_test.cpp)
add_executable(velmo_preset_m10_tests ${VELMO_PRESET_M10_TEST_SOURCES})
target_link_libraries(velmo_preset_m10_tests PRIVATE velmo_static velmo_host_gtest GTest::gmock_main)
gtest_discover_tests(velmo_preset_m10_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "VELMO_CFG=enable_m10_io_delay_chain=off")
# The periphery-core group solve with no retry (p2c_effort_level 0).
add_executable(velmo_preset_p2c_effort_tests ${CMAKE_SOURCE_DIR}/tests/preset/p2c_effort_zero_test.cpp)
target_link_libraries(velmo_preset_p2c_effort_tests PRIVATE velmo_static velmo_host_gtest GTest::gmock_main)
gtest_discover_tests(velmo_preset_p2c_effort_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "VELMO_CFG=p2c_effort_level=0")

# Guardbands read when the component is loaded: pulse values at the ends of
# int and windows with different relative guardbands at their two ends.
add_executable(velmo_preset_guardband_tests ${CMAKE_SOURCE_DIR}/tests/preset/guardbands_test.cpp)
target_link_libraries(velmo_preset_guardband_tests PRIVATE velmo_static velmo_host_gtest GTest::gmock_main)
gtest_discover_tests(velmo_preset_guardband_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "VELMO_CFG_FILE=${CMAKE_SOURCE_DIR}/tests/preset/guardbands.cfg")

# The equivalence-check scripts velmo-fit has the component write, run by
# tclsh under a stand-in checker; one test per case, so that no one test
# holds every fit.
set(VELMO_EQCHECK_SCRIPT_TESTS)
foreach(_case type2 type3 type4 type3routed type4routed broken some bad paths scripts late full short)
  add_test(NAME eqcheck_scripts_${_case}
    COMMAND sh ${CMAKE_SOURCE_DIR}/tests/eqcheck/eqcheck_scripts.sh $<TARGET_FILE:velmo-fit> ${_case})
  list(APPEND VELMO_EQCHECK_SCRIPT_TESTS eqcheck_scripts_${_case})
endforeach()
# The Tcl host package writes the same equivalence-check files at the same
# stages.
# One test per group of cases: what start and the stages write and refuse,
# and what changes during a fit.
foreach(_case start during)
  add_test(NAME eqcheck_tcl_package_${_case} COMMAND sh ${CMAKE_SOURCE_DIR}/tests/eqcheck/eqcheck_tcl_package.sh
    $<TARGET_FILE:velmo-fit> $<TARGET_FILE:velmo_fit_tcl> ${_case})
endforeach()
# Exit status 77: iverilog or ghdl is missing, the netlist syntax unchecked.
set_tests_properties(${VELMO_EQCHECK_SCRIPT_TESTS} PROPERTIES SKIP_RETURN_CODE 77)
# A bench written for the RTL binds to the fitted netlists of all three
# languages and sees the RTL's outputs (skipped without yosys, iverilog or
# ghdl).
add_test(NAME eqcheck_rtl_bench COMMAND ${CMAKE_SOURCE_DIR}/tests/eqcheck/rtl_bench.sh $<TARGET_FILE:velmo-fit>
  ${CMAKE_SOURCE_DIR}/tools/velmo-synth ${CMAKE_BINARY_DIR}/eqcheck_rtl_bench)
set_tests_properties(eqcheck_rtl_bench PROPERTIES SKIP_RETURN_CODE 77)
# The equivalence-check netlists of fits run in-process, parsed and simulated
# against their snapshot's atoms.
add_executable(velmo_eqcheck_tests ${CMAKE_SOURCE_DIR}/tests/eqcheck/netlist_sim_test.cpp)
add_dependencies(velmo_eqcheck_tests velmo fitter_govin zarn_yun)
target_compile_definitions(velmo_eqcheck_tests PRIVATE VELMO_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/examples/designs")
target_link_libraries(velmo_eqcheck_tests PRIVATE velmo_fit_session GTest::gmock_main TBB::tbb)
gtest_discover_tests(velmo_eqcheck_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "TEST_TMPDIR=${VELMO_FIT_TEST_TMPDIR}/")

# A fit driven from tclsh through the stand-in host's Tcl package, then the
# component's own packages on the routed design. Under the sanitizers the
# uninstrumented tclsh needs their run-times first.
set(VELMO_TCL_PACKAGE_RUN_DIR ${CMAKE_BINARY_DIR}/tcl_package_run)
file(MAKE_DIRECTORY ${VELMO_TCL_PACKAGE_RUN_DIR})
add_test(NAME velmo_fit_tcl_package
  COMMAND tclsh ${CMAKE_SOURCE_DIR}/tests/tcl/velmo_fit_package.tcl $<TARGET_FILE:velmo_fit_tcl> $<TARGET_FILE:velmo>
  WORKING_DIRECTORY ${VELMO_TCL_PACKAGE_RUN_DIR})
# The package's stage sequence against velmo-fit's, per family.
set(VELMO_TCL_SEQUENCE_TESTS)
foreach(_family 46 48 26 15)
  add_test(NAME velmo_fit_tcl_sequence_${_family}
    COMMAND tclsh ${CMAKE_SOURCE_DIR}/tests/tcl/velmo_fit_sequence.tcl $<TARGET_FILE:velmo_fit_tcl>
      $<TARGET_FILE:velmo-fit> ${_family}
    WORKING_DIRECTORY ${VELMO_TCL_PACKAGE_RUN_DIR})
  list(APPEND VELMO_TCL_SEQUENCE_TESTS velmo_fit_tcl_sequence_${_family})
endforeach()
# The component's library and commands around the life of a fit, one
# fresh tclsh per case (a hang is a failure).
foreach(_case early unload stages child independent)
  add_test(NAME velmo_component_lifetime_${_case}
    COMMAND tclsh ${CMAKE_SOURCE_DIR}/tests/tcl/velmo_component_lifetime.tcl ${_case}
            $<TARGET_FILE:velmo_fit_tcl> $<TARGET_FILE:velmo>
    WORKING_DIRECTORY ${VELMO_TCL_PACKAGE_RUN_DIR})
  set_tests_properties(velmo_component_lifetime_${_case} PROPERTIES TIMEOUT 120)
endforeach()
# The component loaded by a plain tclsh, with no host interpreter: a Tcl
# error the script catches, and the process carries on.
add_test(NAME velmo_component_plain_tclsh_load
  COMMAND tclsh ${CMAKE_SOURCE_DIR}/tests/tcl/velmo_component_lifetime.tcl plain
          $<TARGET_FILE:velmo_fit_tcl> $<TARGET_FILE:velmo>
  WORKING_DIRECTORY ${VELMO_TCL_PACKAGE_RUN_DIR})
set_tests_properties(velmo_component_plain_tclsh_load PROPERTIES TIMEOUT 60)
if(VELMO_SANITIZE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so OUTPUT_VARIABLE _asan
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libubsan.so OUTPUT_VARIABLE _ubsan
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  set_tests_properties(velmo_fit_tcl_package ${VELMO_TCL_SEQUENCE_TESTS} velmo_component_lifetime_early
    velmo_component_lifetime_unload velmo_component_lifetime_stages velmo_component_lifetime_child
    velmo_component_lifetime_independent
    velmo_component_plain_tclsh_load
    eqcheck_tcl_package_start eqcheck_tcl_package_during PROPERTIES ENVIRONMENT
    "LD_PRELOAD=${_asan}:${_ubsan};ASAN_OPTIONS=detect_leaks=0")
  # The fit tests' tclsh needs them too, before their own preload.
  target_compile_definitions(velmo_fit_tests PRIVATE VELMO_TCLSH_PRELOAD="${_asan}:${_ubsan}:")
else()
  target_compile_definitions(velmo_fit_tests PRIVATE VELMO_TCLSH_PRELOAD="")
endif()

# Verilog from Debian's packages through tools/velmo-synth and velmo-fit on
# every family (skipped when a package is missing).
foreach(_case "des;/usr/share/doc/iverilog/examples/des.v;iverilog"
              "sqrt32;/usr/share/doc/iverilog/examples/sqrt-virtex.v;iverilog"
              "top;/usr/share/doc/nextpnr-generic/examples/blinky.v;nextpnr-generic")
  list(GET _case 0 _top)
  list(GET _case 1 _file)
  list(GET _case 2 _package)
  set(_args ${CMAKE_SOURCE_DIR}/tests/synth/synth_and_fit.sh $<TARGET_FILE:velmo-fit>
      ${CMAKE_SOURCE_DIR}/tools/velmo-synth ${CMAKE_BINARY_DIR}/synth-test/${_top} ${_top} ${_file} ${_package})
  if(_top STREQUAL "des")
    # A large design: its synthesis, then each family's fit of it, a test
    # of its own.
    add_test(NAME velmo_synth_fit_${_top}_synth COMMAND ${_args} synth)
    set_tests_properties(velmo_synth_fit_${_top}_synth PROPERTIES SKIP_RETURN_CODE 77
      FIXTURES_SETUP velmo_synth_${_top})
    foreach(_family 46 48 26 15)
      add_test(NAME velmo_synth_fit_${_top}_${_family} COMMAND ${_args} ${_family})
      set_tests_properties(velmo_synth_fit_${_top}_${_family} PROPERTIES SKIP_RETURN_CODE 77
        FIXTURES_REQUIRED velmo_synth_${_top})
    endforeach()
  else()
    add_test(NAME velmo_synth_fit_${_top} COMMAND ${_args})
    set_tests_properties(velmo_synth_fit_${_top} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endforeach()
add_test(NAME velmo_synth_recipe
  COMMAND ${CMAKE_SOURCE_DIR}/tests/synth/recipe_cases.sh $<TARGET_FILE:velmo-fit>
    ${CMAKE_SOURCE_DIR}/tools/velmo-synth ${CMAKE_BINARY_DIR}/synth-test/recipe)
set_tests_properties(velmo_synth_recipe PROPERTIES SKIP_RETURN_CODE 77)
# Fitted netlists of recipe designs simulated against their source RTL.
add_test(NAME velmo_synth_fitted_simulation
  COMMAND ${CMAKE_SOURCE_DIR}/tests/synth/fitted_simulation.sh $<TARGET_FILE:velmo-fit>
    ${CMAKE_SOURCE_DIR}/tools/velmo-synth ${CMAKE_BINARY_DIR}/synth-test/simulation)
set_tests_properties(velmo_synth_fitted_simulation PROPERTIES SKIP_RETURN_CODE 77)
# velmo-synth on slips: includes (written and through macros), its output,
# -P values and names, signals, and ended outright.
foreach(_group includes macros output values signals stops)
  add_test(NAME velmo_synth_checks_${_group}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/synth/synth_checks.sh ${CMAKE_SOURCE_DIR}/tools/velmo-synth
      ${CMAKE_BINARY_DIR}/synth-test/checks-${_group} ${_group})
  set_tests_properties(velmo_synth_checks_${_group} PROPERTIES SKIP_RETURN_CODE 77)
endforeach()
# The fuzz build's compile flags: undefined behaviour stops a fuzz target.
add_test(NAME velmo_fuzz_build_flags
  COMMAND sh ${CMAKE_SOURCE_DIR}/tests/fuzz/build_flags.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/fuzz_flags_check)
set_tests_properties(velmo_fuzz_build_flags PROPERTIES TIMEOUT 300)
# `make run` installs and configures only what velmo-fit needs.
add_test(NAME run_dependencies COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR}
  -DWORK=${CMAKE_BINARY_DIR}/run-dependencies-check -P ${CMAKE_SOURCE_DIR}/tests/packaging/run_dependencies.cmake)
# The fault-planting harness (tools/mutants) on its own tiny fixture, its
# numbered sections in several tests that run side by side.
foreach(_sections 1-1 2-3 4-7 8-10 11-12)
  string(REPLACE "-" "_" _name ${_sections})
  add_test(NAME mutants_harness_${_name} COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/mutation/mutants_test.py
    ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/mutants-test-${_name} ${_sections})
  set_tests_properties(mutants_harness_${_name} PROPERTIES TIMEOUT 300)
endforeach()
# The recorder of hand-planted faults (tools/hand_planted) on the same fixture.
add_test(NAME hand_planted_recorder COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/mutation/hand_planted_test.py
  ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/hand-planted-test)
set_tests_properties(hand_planted_recorder PROPERTIES TIMEOUT 120)
