# `make run` needs only the run list: it installs no test, bench or fuzz
# package, and a build directory configured as it configures one finds
# neither GoogleTest, Google Benchmark nor Abseil (they are made unfindable
# here) and still builds velmo-fit. `make test` installs both lists.
# Run as: cmake -DROOT=<source dir> -DWORK=<scratch dir> -P run_dependencies.cmake
cmake_minimum_required(VERSION 3.25)
set(_test_only libgtest-dev libgmock-dev libbenchmark-dev libabsl-dev libsparsehash-dev clang libclang-rt-14-dev
  iverilog ghdl nextpnr-generic gcovr lcov)
set(_run g++ cmake ninja-build libtbb-dev libboost-dev tcl-dev qtbase5-dev nlohmann-json3-dev yosys python3)

function(_dry_run target out)
  # A make that runs the tests passes its flags down; this dry run takes none.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS --unset=MFLAGS --unset=MAKELEVEL
      make -n -C ${ROOT} ${target} BUILD=${WORK}/none
    OUTPUT_VARIABLE _text ERROR_VARIABLE _err RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "make -n ${target} failed: ${_err}")
  endif()
  set(${out} "${_text}" PARENT_SCOPE)
endfunction()

# The package names as whole words of the install loop's list.
function(_check_installs target want refuse)
  _dry_run(${target} _text)
  string(REGEX MATCHALL "for p in [^;]*;" _lists "${_text}")
  if(NOT _lists)
    message(FATAL_ERROR "make -n ${target} installs nothing:\n${_text}")
  endif()
  # Each "for p in LIST;" of the dry run, as one list of words.
  string(REGEX REPLACE "for p in ([^;]*);" "\\1" _names "${_lists}")
  string(REGEX REPLACE "[ \t\\\n]+" ";" _words "${_names}")
  foreach(_p IN LISTS want)
    if(NOT _p IN_LIST _words)
      message(SEND_ERROR "make ${target} does not install ${_p}: ${_words}")
    endif()
  endforeach()
  foreach(_p IN LISTS refuse)
    if(_p IN_LIST _words)
      message(SEND_ERROR "make ${target} installs ${_p}, which only tests, benches or fuzzing need")
    endif()
  endforeach()
endfunction()

_check_installs(run "${_run}" "${_test_only}")
_check_installs(test "${_run};${_test_only}" "")

# Configure as `make run` does, with the test libraries out of reach.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${ROOT} -B ${WORK} -G Ninja -DVELMO_TESTS=OFF -DVELMO_BENCHES=OFF
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
    -DCMAKE_DISABLE_FIND_PACKAGE_absl=ON
  OUTPUT_VARIABLE _out ERROR_VARIABLE _err RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "configuring without the test libraries failed:\n${_err}")
endif()
execute_process(COMMAND ninja -C ${WORK} -t targets all OUTPUT_VARIABLE _targets RESULT_VARIABLE _rc)
if(NOT _targets MATCHES "(^|\n)velmo-fit:")
  message(SEND_ERROR "the run configuration has no velmo-fit target")
endif()
if(_targets MATCHES "(^|\n)(velmo_bench|velmo_fit_tests|velmo_host_gtest)[:.]")
  message(SEND_ERROR "the run configuration builds tests or benches: ${CMAKE_MATCH_2}")
endif()
file(REMOVE_RECURSE ${WORK})
