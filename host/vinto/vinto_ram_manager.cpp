#include "vinto/vinto_ram_manager.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

VINTO::VINTO() = default;
VINTO::~VINTO() = default;

bool VINTO::perform_lutram_conversion(WEXAN_ENV*) {
  host::log_call("VINTO::perform_lutram_conversion");
  return host::script::next<bool>("VINTO::perform_lutram_conversion", true);
}

bool VINTO::perform_ram_power_opt(WEXAN_ENV*) {
  host::log_call("VINTO::perform_ram_power_opt");
  return host::script::next<bool>("VINTO::perform_ram_power_opt", true);
}
