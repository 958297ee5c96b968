#include "common/host_lent.h"

#include <map>
#include <mutex>

#include "common/host_world.h"

namespace {
struct LENT_STATE {
  std::mutex mutex;
  std::map<std::string, void*> slots;
};
}  // namespace

namespace host {
void registry_set(const std::string& slot, void* obj) {
  auto& st = host_world_slot<LENT_STATE>();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (obj)
    st.slots[slot] = obj;
  else
    st.slots.erase(slot);
}
void* registry_get(const std::string& slot) {
  auto& st = host_world_slot<LENT_STATE>();
  std::lock_guard<std::mutex> lock(st.mutex);
  auto it = st.slots.find(slot);
  return it == st.slots.end() ? nullptr : it->second;
}
std::vector<std::string> lent() {
  auto& st = host_world_slot<LENT_STATE>();
  std::lock_guard<std::mutex> lock(st.mutex);
  std::vector<std::string> out;
  for (auto& [k, v] : st.slots) out.push_back(k);
  return out;
}
}  // namespace host
