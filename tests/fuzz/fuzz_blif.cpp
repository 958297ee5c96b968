// Fuzz target of the BLIF reader and loader: any input loads or is refused
// with a design error; anything else (a crash, another exception, a
// sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmo_fuzz::blif_input(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
