#include "xab/xab_delay_annotator.h"

#include <set>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"

namespace {
struct XAB_STATE {
  bool unload_allowed = true;
};
XAB_STATE& state() { return host_world_slot<XAB_STATE>(); }
}  // namespace

XAB_DELAY_ANNOTATOR::XAB_DELAY_ANNOTATOR(CMP_FACADE* cmp, bool flag) : m_cmp(cmp) {
  host::log_call("XAB_DELAY_ANNOTATOR::XAB_DELAY_ANNOTATOR", cmp, flag);
}

XAB_DELAY_ANNOTATOR::~XAB_DELAY_ANNOTATOR() { host::log_call("XAB_DELAY_ANNOTATOR::~XAB_DELAY_ANNOTATOR"); }

void XAB_DELAY_ANNOTATOR::rebuild_netlist_for_atoms(const std::vector<VOK_ATOM_NODE*>& atoms,
                                                    const std::vector<VOK_ATOM_NODE*>& changed_atoms,
                                                    const std::vector<unsigned>& atom_ids,
                                                    const std::vector<VOK_ATOM_OTERM*>& oterms,
                                                    const std::vector<VOK_ATOM_ITERM*>& iterms) {
  host::log_call("XAB_DELAY_ANNOTATOR::rebuild_netlist_for_atoms", static_cast<int>(atoms.size()),
                 static_cast<int>(changed_atoms.size()), static_cast<int>(atom_ids.size()),
                 static_cast<int>(oterms.size()), static_cast<int>(iterms.size()));
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  if (kem == nullptr) return;
  std::set<int> ids;
  for (const VOK_ATOM_NODE* a : atoms)
    if (a) ids.insert(a->get_id());
  for (const VOK_ATOM_NODE* a : changed_atoms)
    if (a) ids.insert(a->get_id());
  for (unsigned id : atom_ids) ids.insert(static_cast<int>(id));
  std::set<const VOK_ATOM_OTERM*> nets(oterms.begin(), oterms.end());
  std::set<const VOK_ATOM_ITERM*> sinks(iterms.begin(), iterms.end());
  nets.erase(nullptr);
  sinks.erase(nullptr);
  KEM_DIRTY dirty;
  if (!ids.empty()) host::timing::add_pin_buffers(host::vok::top_netlist(), &ids);
  if (!ids.empty()) kem->rebuild_atoms(host::vok::top_netlist(), ids, &dirty);
  if (!nets.empty() || !sinks.empty()) kem->rebuild_nets(nets, sinks, &dirty);
  host::sta::update(kem, dirty);
}

bool XAB_DELAY_ANNOTATOR::build_multicorner(int invoke_mode, bool flag1, const std::vector<KEM_TIMING_MODEL>& models,
                                            bool flag2) {
  std::string names;
  for (const KEM_TIMING_MODEL& m : models) names += (names.empty() ? "" : ",") + m.get_name();
  host::log_call("XAB_DELAY_ANNOTATOR::build_multicorner", invoke_mode, flag1, names, flag2);
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  if (!kem) return false;
  KEM_CORNER_MANAGER* cm = kem->get_corner_manager();
  const int current = cm->get_current_corner_id();
  const KEM_TIMING_MODEL keep = current >= 0 ? cm->get_loaded_corners()[static_cast<std::size_t>(current)] : KEM_TIMING_MODEL();
  bool added = false;
  for (const KEM_TIMING_MODEL& m : models)
    if (!cm->has_corner(m)) {
      cm->change_corner(m);
      added = true;
    }
  if (current >= 0) cm->change_corner(keep);
  if (added) {
    kem->annotate_current_corner();
    host::sta::analyze(kem);
  }
  return true;
}

bool XAB_DELAY_ANNOTATOR::is_unload_all_models_allowed() { return state().unload_allowed; }

void XAB_DELAY_ANNOTATOR::unload_all_models(bool flag) { host::log_call("XAB_DELAY_ANNOTATOR::unload_all_models", flag); }

void host::xab::set_unload_all_models_allowed(bool allowed) { state().unload_allowed = allowed; }
