#include "common/host_clock.h"

#include <mutex>
#include <optional>

namespace host::clock {
namespace {
std::mutex g_mutex;
std::optional<time_point> g_frozen;
std::chrono::milliseconds g_step{0};
}  // namespace

time_point now() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_frozen) return std::chrono::steady_clock::now();
  const time_point t = *g_frozen;
  *g_frozen += g_step;
  return t;
}
void freeze(time_point t) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_frozen = t;
  g_step = std::chrono::milliseconds(0);
}
void advance(std::chrono::milliseconds d) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_frozen) *g_frozen += d;
}
void advance_on_each_read(std::chrono::milliseconds d) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_step = d;
}
void unfreeze() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_frozen.reset();
  g_step = std::chrono::milliseconds(0);
}
bool frozen() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_frozen.has_value();
}
}  // namespace host::clock
