#include "muvo/muvo_entry.h"

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "cfg/cfg.h"
#include "msg/msg_internal_error.h"
#include "wexan/wexan_env.h"

namespace {
struct MUVO_STATE {
  std::vector<std::string> tricks;
};
MUVO_STATE& state() { return host_world_slot<MUVO_STATE>(); }
}  // namespace

namespace host::muvo {
std::vector<std::string> tricks_seen() { return state().tricks; }
}  // namespace host::muvo

bool muvo(MUVO_STRATEGY_TYPE strategy) {
  host::log_call("muvo", static_cast<int>(strategy));
  // A run needs a fit: without the fitter environment (before start-up or
  // after shut-down) there is nothing to resynthesise.
  if (WEXAN_ENV::get_env() == nullptr) MSG_INTERNAL_ERROR::report("fitter environment", "HOST", "muvo_entry", __LINE__);
  state().tricks.push_back(cfg_get_value("muvo_post_route_zota_tricks"));
  host::script::fire("muvo");
  return host::script::next<bool>("muvo", true);
}
