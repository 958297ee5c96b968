// Fuzz target of the settings file's newer keys (partitions, io_delays, eda,
// assignments): any input is applied or refused with a settings error;
// anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmo_fuzz::settings_key_input(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
