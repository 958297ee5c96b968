#include "mub/mub_periph_flow.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool MUB_PERIPH_FLOW::early_place_load() {
  host::log_call("MUB_PERIPH_FLOW::early_place_load");
  return host::script::next<bool>("MUB_PERIPH_FLOW::early_place_load", true);
}

bool MUB_PERIPH_FLOW::late_place_load() {
  host::log_call("MUB_PERIPH_FLOW::late_place_load");
  return host::script::next<bool>("MUB_PERIPH_FLOW::late_place_load", true);
}
