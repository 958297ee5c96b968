#pragma once
// The host's post-route resynthesis entry.
#include "common/host_api.h"

// Strategies of the resynthesis run (the driver uses 32, post-route).
enum MUVO_STRATEGY_TYPE : int { MUVO_STRATEGY_POST_ROUTE = 32 };

// recorded: one resynthesis run of the strategy; scripted under "muvo",
// default true.
HOST_API bool muvo(MUVO_STRATEGY_TYPE strategy);
