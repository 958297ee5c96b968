#pragma once
// The injectable clock: real time in velmo-fit, frozen in tests so elapsed
// texts read "00:00:00".
#include <chrono>
#include "common/host_api.h"

namespace host::clock {
using time_point = std::chrono::steady_clock::time_point;
HOST_API time_point now();
HOST_API void freeze(time_point t = time_point{});
HOST_API void advance(std::chrono::milliseconds d);  // only while frozen
HOST_API void unfreeze();
HOST_API bool frozen();
}  // namespace host::clock
