#include "common/host_clock.h"

#include <mutex>
#include <optional>

namespace host::clock {
namespace {
std::mutex g_mutex;
std::optional<time_point> g_frozen;
}  // namespace

time_point now() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_frozen ? *g_frozen : std::chrono::steady_clock::now();
}
void freeze(time_point t) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_frozen = t;
}
void advance(std::chrono::milliseconds d) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_frozen) *g_frozen += d;
}
void unfreeze() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_frozen.reset();
}
bool frozen() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_frozen.has_value();
}
}  // namespace host::clock
