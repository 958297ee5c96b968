# libFuzzer targets of the BLIF reader and the settings parser (clang only;
# configured with -DVELMO_FUZZ=ON in their own build directory, see `make
# fuzz`). The host code they reach is built with coverage, AddressSanitizer
# and UndefinedBehaviorSanitizer.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VELMO_FUZZ needs clang (configure with CXX=clang++)")
endif()
foreach(_target fuzz_blif fuzz_settings)
  add_executable(${_target} ${CMAKE_SOURCE_DIR}/tests/fuzz/${_target}.cpp)
  target_link_libraries(${_target} PRIVATE velmo_host_builder)
  target_link_options(${_target} PRIVATE -fsanitize=fuzzer)
endforeach()
