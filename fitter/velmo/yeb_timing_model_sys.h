#pragma once
// The base timing model's switch delays. Included at the end of the host's
// timing-model header.
#include <vector>

#include "yeb/yeb_timing_model.h"

inline void YEB_TIMING_MODEL::get_switch_delays(unsigned, std::vector<YEB_DELAY>&) const {}
