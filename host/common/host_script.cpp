#include "common/host_script.h"

#include "common/host_world.h"

namespace host::script {
namespace {
struct SCRIPT_STATE {
  std::map<std::string, ENTRY> entries;
};
}  // namespace

std::recursive_mutex& mutex() {
  static std::recursive_mutex m;
  return m;
}

ENTRY& entry(const std::string& name) { return host_world_slot<SCRIPT_STATE>().entries[name]; }

void on(const std::string& name, std::function<void()> fn) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  entry(name).callbacks.push_back(std::move(fn));
}

void fire(const std::string& name) {
  std::vector<std::function<void()>> callbacks;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    callbacks = entry(name).callbacks;
  }
  for (auto& cb : callbacks) cb();
}

std::vector<std::string> unconsumed() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  std::vector<std::string> out;
  for (auto& [name, e] : host_world_slot<SCRIPT_STATE>().entries)
    if (!e.queued.empty()) out.push_back(name);
  return out;
}

}  // namespace host::script
