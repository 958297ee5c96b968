#include "common/host_control.h"

#include <cstdio>
#include <map>
#include <mutex>

#include "cfg/cfg.h"
#include "common/host_world.h"
#include "common/host_lent.h"

namespace {
std::mutex& hooks_mutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, std::function<void()>>& hooks() {
  static auto* h = new std::map<std::string, std::function<void()>>();
  return *h;
}
}  // namespace

void host_register_reset_hook(const std::string& name, std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(hooks_mutex());
  hooks()[name] = std::move(fn);
}

void host_unregister_reset_hook(const std::string& name) {
  std::lock_guard<std::mutex> lock(hooks_mutex());
  hooks().erase(name);
}

bool host_reset() {
  bool ok = true;
  // Objects the component lent must have been taken back; a reset never
  // deletes them (the component owns them).
  auto lent = host::lent();
  if (!lent.empty()) {
    ok = false;
    std::fprintf(stderr, "host_reset: objects still lent to the host:");
    for (const auto& l : lent) std::fprintf(stderr, " %s", l.c_str());
    std::fprintf(stderr, "\n");
  }
  HOST_WORLD::get().clear_slots();
  host::cfg::reset_to_preload();
  std::map<std::string, std::function<void()>> copy;
  {
    std::lock_guard<std::mutex> lock(hooks_mutex());
    copy = hooks();
  }
  for (auto& [name, fn] : copy) fn();
  return ok;
}
