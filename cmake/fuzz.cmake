# libFuzzer targets of the BLIF reader, the settings parser and velmo-fit's
# configuration items (clang only;
# configured with -DVELMO_FUZZ=ON in their own build directory, see `make
# fuzz`). The host code they reach is built with coverage, AddressSanitizer
# and UndefinedBehaviorSanitizer.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VELMO_FUZZ needs clang (configure with CXX=clang++)")
endif()
# The newer settings keys and velmo-fit's --cfg items have targets of their
# own; the inputs share velmo-fit's command-line parser.
foreach(_target fuzz_blif fuzz_settings fuzz_settings_keys fuzz_cfg)
  add_executable(${_target} ${CMAKE_SOURCE_DIR}/tests/fuzz/${_target}.cpp
    ${CMAKE_SOURCE_DIR}/tools/velmo_fit/velmo_fit_options.cpp)
  target_include_directories(${_target} PRIVATE ${CMAKE_SOURCE_DIR}/tools/velmo_fit)
  target_link_libraries(${_target} PRIVATE velmo_host_builder)
  target_link_options(${_target} PRIVATE -fsanitize=fuzzer)
endforeach()
