#include "yova/yova_util.h"

#include <map>
#include <utility>

#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct YOVA_STATE {
  std::map<int, std::pair<std::string, int>> tools;
};
YOVA_STATE& state() { return host_world_slot<YOVA_STATE>(); }
}  // namespace

YOVA_TOOL* YOVA_UTIL::get_tool(int category) const {
  host::log_call("YOVA_UTIL::get_tool", category);
  auto it = state().tools.find(category);
  if (it == state().tools.end()) return new YOVA_TOOL("simulation", 3);
  return new YOVA_TOOL(it->second.first, it->second.second);
}

namespace host::yova {
void set_tool(int category, const std::string& output_dir, int netlist_type) {
  state().tools[category] = {output_dir, netlist_type};
}
}  // namespace host::yova
