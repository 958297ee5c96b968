#include "moz/moz_assignment.h"

#include <map>
#include <utility>

#include "common/host_world.h"

namespace {
struct MOZ_ASSIGNMENTS {
  std::map<std::pair<std::string, int>, MOZ_ASSIGNMENT> table;
};
MOZ_ASSIGNMENTS& assignments() { return host_world_slot<MOZ_ASSIGNMENTS>(); }
}  // namespace

namespace host::moz {
void assign(const std::string& instance, int variable, const std::string& value) {
  auto& t = assignments().table;
  t.insert_or_assign({instance, variable}, MOZ_ASSIGNMENT(value));
}

const MOZ_ASSIGNMENT* find_assignment(const std::string& instance, int variable) {
  const auto& t = assignments().table;
  auto it = t.find({instance, variable});
  return it == t.end() ? nullptr : &it->second;
}
}  // namespace host::moz
