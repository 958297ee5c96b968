#pragma once
// Time spent in profiling bins, from the host clock read at each bin event.
#include <string>
#include "common/host_api.h"

namespace host::bins {
// Seconds spent in bins of that name (outermost openings on each thread,
// opening to matching close); a bin still open counts up to now.
HOST_API double seconds_in(const std::string& name);
}  // namespace host::bins
