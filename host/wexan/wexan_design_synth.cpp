// Synthesized atoms: unique names, the design's registration, the
// boundary-port manager and netlist-modification rows.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "omz/omz_instance_name.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_bpm.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"

namespace {
struct SYNTH_STATE {
  std::vector<std::unique_ptr<OMZ_INSTANCE_NAME>> names;
  std::set<std::string> issued;
  std::unique_ptr<WEXAN_BOUNDARY_PORT_MANAGER> bpm;
};
SYNTH_STATE& state() { return host_world_slot<SYNTH_STATE>(); }

bool name_taken(const std::string& path) {
  if (state().issued.count(path)) return true;
  for (VOK_ATOM_NODE* a : host::vok::top_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (a->get_string_hpath() == path) return true;
  return false;
}
}  // namespace

OMZ_INSTANCE_NAME* WEXAN_DESIGN::create_unique_synthesized_name(const OMZ_INSTANCE_NAME* base, const char* suffix,
                                                               bool) {
  std::string stem = (base ? base->path() : std::string()) + "~" + (suffix ? suffix : "");
  std::string path = stem;
  for (int n = 1; name_taken(path); ++n) path = stem + "~" + std::to_string(n);
  state().issued.insert(path);
  state().names.push_back(std::make_unique<OMZ_INSTANCE_NAME>(path));
  return state().names.back().get();
}

void WEXAN_DESIGN::insert_atom(VOK_ATOM_NODE* atom, bool flag) {
  host::log_call("WEXAN_DESIGN::insert_atom", host::vok::arg(atom), flag);
}

void WEXAN_DESIGN::delete_atom_no_free(VOK_ATOM_NODE* atom, bool flag) {
  host::log_call("WEXAN_DESIGN::delete_atom_no_free", host::vok::arg(atom), flag);
  if (atom == nullptr) return;
  host::constraints::set_current(atom->get_id(), TIBEX_LOCATION_CONSTRAINT());
}

void WEXAN_DESIGN::insert_fanout(VOK_ATOM_ITERM* iterm, VOK_ATOM_OTERM* oterm) {
  host::log_call("WEXAN_DESIGN::insert_fanout", host::vok::arg(iterm), host::vok::arg(oterm));
  vok_connect(oterm, iterm);
}

WEXAN_BOUNDARY_PORT_MANAGER* WEXAN_ENV::get_boundary_port_manager() const { return state().bpm.get(); }

int WEXAN_BOUNDARY_PORT_MANAGER::get_partition_id(const VOK_ATOM_NODE* atom) const {
  auto it = m_partition_of.find(atom->get_id());
  return it == m_partition_of.end() ? BPM_OPEN : it->second;
}

void WEXAN_BOUNDARY_PORT_MANAGER::assign_atom_to_partition(const VOK_ATOM_NODE* atom, int pid) {
  host::log_call("WEXAN_BOUNDARY_PORT_MANAGER::assign_atom_to_partition", host::vok::arg(atom), pid);
  m_partition_of[atom->get_id()] = pid;
}

void WEXAN_PIZ_TABLE::add_netlist_modification(const WEXAN_PIZ_NETLIST_MOD& mod) {
  std::vector<std::string> row{mod.name, std::to_string(mod.wysiwyg_type), std::to_string(mod.action), mod.port};
  if (!mod.dest_name.empty()) {
    row.push_back(mod.dest_name);
    row.push_back(std::to_string(mod.dest_wysiwyg_type));
    if (!mod.dest_port.empty()) row.push_back(mod.dest_port);
  }
  add_row(std::move(row));
}

namespace host::wexan {
void set_boundary_port_manager(bool on) {
  if (on && !state().bpm) state().bpm = std::make_unique<WEXAN_BOUNDARY_PORT_MANAGER>();
  if (!on) state().bpm.reset();
}
}  // namespace host::wexan

void WEXAN_DESIGN::update_atom_info_for_high_fanout_depop() {
  host::log_call("WEXAN_DESIGN::update_atom_info_for_high_fanout_depop");
}

void WEXAN_DESIGN::clear_early_retime_atoms() { host::log_call("WEXAN_DESIGN::clear_early_retime_atoms"); }

void WEXAN_DESIGN::update_atom_info_for_early_retime(const std::list<VOK_ATOM_NODE*>& atoms, bool flag) {
  host::log_call("WEXAN_DESIGN::update_atom_info_for_early_retime", static_cast<int>(atoms.size()), flag);
}
