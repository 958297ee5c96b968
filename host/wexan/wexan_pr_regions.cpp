#include <map>

#include "common/host_world.h"
#include "wexan/wexan_finalize_services.h"

namespace {
struct PR_REGIONS {
  std::map<unsigned, unsigned> region_of;
};
PR_REGIONS& regions() { return host_world_slot<PR_REGIONS>(); }
}  // namespace

unsigned WEXAN_JOV_PR_UTILITY::get_region_of_routing_gid(unsigned gid) const {
  const auto& m = regions().region_of;
  auto it = m.find(gid & 0x7FFFFFFFu);
  return it == m.end() ? 0u : it->second;
}

namespace host::wexan {
void set_routing_region(unsigned gid, unsigned region) { regions().region_of[gid & 0x7FFFFFFFu] = region; }
}  // namespace host::wexan
