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
// While frozen, every later read moves the clock on by `d` after it (0: it
// stays), so that a test's operation sees time pass as it goes.
HOST_API void advance_on_each_read(std::chrono::milliseconds d);
HOST_API void unfreeze();
HOST_API bool frozen();
}  // namespace host::clock
