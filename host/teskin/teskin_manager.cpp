#include "teskin/teskin_manager.h"

#include <memory>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"

namespace {
struct TESKIN_STATE {
  std::unique_ptr<TESKIN::MANAGER> manager = std::make_unique<TESKIN::MANAGER>();
};
}  // namespace

namespace TESKIN {
MANAGER* MANAGER::get() { return host_world_slot<TESKIN_STATE>().manager.get(); }
MANAGER::MANAGER() = default;
MANAGER::~MANAGER() = default;
bool MANAGER::initialize(VOK_ATOM_NETLIST* netlist) {
  host::log_call("TESKIN::MANAGER::initialize", netlist);
  return host::script::next<bool>("TESKIN::MANAGER::initialize", true);
}
}  // namespace TESKIN
