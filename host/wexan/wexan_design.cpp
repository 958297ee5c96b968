#include "wexan/wexan_design.h"

#include <fstream>
#include <functional>
#include <memory>
#include <string>

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

namespace {
// Calls fn for every atom of the netlist and of the child netlists of its
// black boxes (depth first, black box before its contents).
void l_for_each_atom(VOK_ATOM_NETLIST* netlist, const std::function<void(VOK_ATOM_NODE*)>& fn) {
  if (!netlist) return;
  for (VOK_ATOM_NODE* atom : netlist->get_atom_list()) {
    fn(atom);
    if (atom->is_box()) l_for_each_atom(static_cast<VOK_ATOM_BLACKBOX*>(atom)->get_child_netlist(), fn);
  }
}

VOK_ATOM_NODE* l_find(VOK_ATOM_NETLIST* netlist, int id) {
  if (!netlist) return nullptr;
  if (VOK_ATOM_NODE* atom = netlist->get_atom_by_id(id)) return atom;
  for (VOK_ATOM_NODE* atom : netlist->get_atom_list())
    if (atom->is_box())
      if (VOK_ATOM_NODE* found = l_find(static_cast<VOK_ATOM_BLACKBOX*>(atom)->get_child_netlist(), id)) return found;
  return nullptr;
}

std::string l_source_text(const VOK_ATOM_ITERM* iterm) {
  const VOK_ATOM_OTERM* src = iterm->get_source(VOK_TRAVERSE_AS_STORED);
  if (!src) return iterm->is_vcc_or_gnd() ? (iterm->is_tie_low() ? "GND" : "VCC") : "OPEN";
  if (!src->get_my_node()) return "GND";
  return src->get_name();
}
}  // namespace

int WEXAN_DESIGN::get_max_atom_id(bool) const {
  int max_id = -1;
  l_for_each_atom(host::vok::top_netlist(), [&](VOK_ATOM_NODE* a) {
    if (a->get_id() > max_id) max_id = a->get_id();
  });
  return max_id;
}

VOK_ATOM_NODE* WEXAN_DESIGN::get_atom_node(int atom_id) const { return l_find(host::vok::top_netlist(), atom_id); }

std::uint64_t WEXAN_DESIGN::get_cookie() const {
  std::uint64_t h = 14695981039346656037ull;
  auto mix = [&h](std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
      h ^= (v >> (8 * i)) & 0xFFu;
      h *= 1099511628211ull;
    }
  };
  l_for_each_atom(host::vok::top_netlist(), [&](VOK_ATOM_NODE* a) {
    mix(static_cast<std::uint64_t>(a->get_id()));
    mix(a->get_location_gid());
    for (std::size_t i = 0; i < a->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = a->get_iterm_slot(i);
      if (!t) continue;
      mix(static_cast<std::uint64_t>(t->get_port_type()));
      const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
      const VOK_ATOM_NODE* from = src ? src->get_my_node() : nullptr;
      mix(from ? static_cast<std::uint64_t>(from->get_id()) : 0xFFFFFFFFull);
      mix(src ? static_cast<std::uint64_t>(src->get_port_type()) : 0xFFFFFFFFull);
    }
  });
  return h;
}

bool WEXAN_DESIGN::dump_current_atom_netlist_to_atm_file(const char* path) const {
  std::ofstream out(path, std::ios::trunc);
  if (!out) return false;
  l_for_each_atom(host::vok::top_netlist(), [&](VOK_ATOM_NODE* a) {
    out << a->get_id() << " " << a->get_atom_type() << " " << a->get_string_hpath();
    for (std::size_t i = 0; i < a->get_iterm_slot_count(); ++i)
      if (const VOK_ATOM_ITERM* t = a->get_iterm_slot(i))
        out << " " << t->get_port_type() << "." << t->get_index() << "<-" << l_source_text(t);
    out << "\n";
  });
  return static_cast<bool>(out);
}

bool WEXAN_DESIGN::dump_locations_annotated_on_atoms(const char* path) const {
  std::ofstream out(path, std::ios::trunc);
  if (!out) return false;
  l_for_each_atom(host::vok::top_netlist(), [&](VOK_ATOM_NODE* a) {
    if (a->is_placed()) out << a->get_string_hpath() << " " << a->get_location_gid() << " " << a->get_location_element() << "\n";
  });
  return static_cast<bool>(out);
}

bool WEXAN_DESIGN::dump_user_location_constraints(const char* path) const {
  std::ofstream out(path, std::ios::trunc);
  if (!out) return false;
  l_for_each_atom(host::vok::top_netlist(), [&](VOK_ATOM_NODE* a) {
    TIBEX_LOCATION_CONSTRAINT c = host::constraints::get(a->get_id());
    for (const auto& e : c.entries()) {
      out << a->get_string_hpath() << " sources=" << e.sources;
      if (e.locked)
        out << " locked " << e.locked_constraint.get_xmin() << " " << e.locked_constraint.get_ymin() << " "
            << e.locked_constraint.get_xmax() << " " << e.locked_constraint.get_ymax() << " "
            << e.locked_constraint.get_sub_location();
      else
        out << " floating " << e.floating_constraint.get_tarnbay_id();
      out << "\n";
    }
  });
  return static_cast<bool>(out);
}

void WEXAN_DESIGN::write_user_location_constraints_to_db() {
  host::log_call("WEXAN_DESIGN::write_user_location_constraints_to_db");
}

void WEXAN_DESIGN::destroy_all_softlocked_constraints(bool flag) {
  host::log_call("WEXAN_DESIGN::destroy_all_softlocked_constraints", flag);
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
