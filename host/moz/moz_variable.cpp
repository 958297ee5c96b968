#include "moz/moz_variable.h"

#include <set>
#include <utility>

#include "common/host_world.h"

namespace {
struct MOZ_STATE {
  std::set<std::pair<int, int>> excluded;
};
}  // namespace

bool moz_variable_includes_family(int variable, int family) {
  return host_world_slot<MOZ_STATE>().excluded.count({variable, family}) == 0;
}

namespace host::moz {
void exclude_family(int variable, int family) { host_world_slot<MOZ_STATE>().excluded.insert({variable, family}); }
}  // namespace host::moz
