// Fuzz target of velmo-fit's --cfg items and the configuration readings: any
// input is taken or refused with its own error; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmo_fuzz::cfg_input(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
