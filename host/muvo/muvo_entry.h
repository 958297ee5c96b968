#pragma once
// The host's post-route resynthesis entry.
#include <string>
#include <vector>

#include "common/host_api.h"

// Strategies of the resynthesis run (the driver uses 32, post-route).
enum MUVO_STRATEGY_TYPE : int { MUVO_STRATEGY_POST_ROUTE = 32 };

// recorded: one resynthesis run of the strategy; scripted under "muvo",
// default true. Without a fitter environment (no fit running) it raises
// an internal error instead.
// The value of "muvo_post_route_zota_tricks" each run saw is kept.
HOST_API bool muvo(MUVO_STRATEGY_TYPE strategy);

namespace host::muvo {
// The "muvo_post_route_zota_tricks" value of every run so far, in order.
HOST_API std::vector<std::string> tricks_seen();
}  // namespace host::muvo
