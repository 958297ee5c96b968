#include "wexan/wexan_design.h"

#include <memory>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"

namespace {
struct DESIGN_STATE {
  std::unique_ptr<WEXAN_DESIGN> design = std::make_unique<WEXAN_DESIGN>();
  std::unique_ptr<WEXAN_ECO> eco = std::make_unique<WEXAN_ECO>();
};
DESIGN_STATE& state() { return host_world_slot<DESIGN_STATE>(); }
}  // namespace

WEXAN_DESIGN::WEXAN_DESIGN() = default;
WEXAN_DESIGN::~WEXAN_DESIGN() = default;

WEXAN_DESIGN* WEXAN_DESIGN::current() { return state().design.get(); }

bool WEXAN_DESIGN::clear_existing_location_constraints() {
  host::log_call("WEXAN_DESIGN::clear_existing_location_constraints");
  return host::script::next<bool>("WEXAN_DESIGN::clear_existing_location_constraints", true);
}

bool WEXAN_DESIGN::load_atom_information_which_requires_basic_information_load() {
  host::log_call("WEXAN_DESIGN::load_atom_information_which_requires_basic_information_load");
  return host::script::next<bool>("WEXAN_DESIGN::load_atom_information_which_requires_basic_information_load",
                                  true);
}

WEXAN_ECO::WEXAN_ECO() = default;
WEXAN_ECO::~WEXAN_ECO() = default;

WEXAN_ECO* WEXAN_ECO::current() { return state().eco.get(); }
