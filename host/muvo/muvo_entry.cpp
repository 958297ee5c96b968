#include "muvo/muvo_entry.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool muvo(MUVO_STRATEGY_TYPE strategy) {
  host::log_call("muvo", static_cast<int>(strategy));
  return host::script::next<bool>("muvo", true);
}
