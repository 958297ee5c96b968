#include "wexan/wexan_design.h"

#include <memory>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "vok/vok_atom_netlist.h"

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
  bool ok = host::script::next<bool>("WEXAN_DESIGN::clear_existing_location_constraints", true);
  if (ok) host::constraints::clear();
  return ok;
}

bool WEXAN_DESIGN::load_atom_information_which_requires_basic_information_load() {
  host::log_call("WEXAN_DESIGN::load_atom_information_which_requires_basic_information_load");
  bool ok = host::script::next<bool>("WEXAN_DESIGN::load_atom_information_which_requires_basic_information_load",
                                     true);
  if (ok) host::constraints::reload_from_project();
  return ok;
}

TIBEX_LOCATION_CONSTRAINT WEXAN_DESIGN::get_atom_location_constraint(int atom_id) const {
  return host::constraints::get(atom_id);
}

void WEXAN_DESIGN::set_atom_location_constraint(int atom_id, const TIBEX_LOCATION_CONSTRAINT& c) {
  host::constraints::set_current(atom_id, c);
}

bool WEXAN_DESIGN::copy_atom_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, bool a, bool b) {
  host::log_call("WEXAN_DESIGN::copy_atom_location_constraints", host::vok::arg(from), host::vok::arg(to), a, b);
  if (!from || !to) return false;
  host::constraints::set_current(to->get_id(), host::constraints::get(from->get_id()));
  return true;
}

WEXAN_ECO::WEXAN_ECO() = default;
WEXAN_ECO::~WEXAN_ECO() = default;

WEXAN_ECO* WEXAN_ECO::current() { return state().eco.get(); }

void WEXAN_DESIGN::break_connection_between_iterm_and_oterm(VOK_ATOM_OTERM* oterm, VOK_ATOM_ITERM* iterm) {
  host::log_call("WEXAN_DESIGN::break_connection_between_iterm_and_oterm", host::vok::arg(oterm),
                 host::vok::arg(iterm));
  if (iterm == nullptr || oterm == nullptr || iterm->get_source(VOK_TRAVERSE_AS_STORED) != oterm) return;
  iterm->disconnect_from_source(VOK_NET_ITERM::OPEN);
}

void WEXAN_DESIGN::load_basic_atom_information() { host::log_call("WEXAN_DESIGN::load_basic_atom_information"); }
void WEXAN_DESIGN::set_post_fit_atom_bit_info() { host::log_call("WEXAN_DESIGN::set_post_fit_atom_bit_info"); }
