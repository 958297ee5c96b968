#include "belq/belq_env.h"

#include "common/host_call_log.h"
#include "thr/thr_drl.h"
#include "vok/vok_atom_netlist.h"

BELQ_ENV::BELQ_ENV(VOK_ATOM_NETLIST* netlist, CMP_FACADE* cmp, SIV_ATOM_MOD_UTILITY* amu, void* delay_model)
    : m_netlist(netlist) {
  host::log_call("BELQ_ENV::BELQ_ENV", netlist, cmp, amu, delay_model);
  host::counters::add("BELQ_ENV", 1);
}
BELQ_ENV::~BELQ_ENV() { host::counters::add("BELQ_ENV", -1); }
void BELQ_ENV::report_stats(const std::string& label) {
  host::log_call("BELQ_ENV::report_stats", label, static_cast<int>(m_netlist ? m_netlist->size() : 0));
}

// ---- export, resynthesis and import
#include "common/host_control.h"
#include "common/host_script.h"

namespace {
struct BELQ_STORE {
  std::vector<VOK_ATOM_NODE*> added, deleted, changed;
  int last_type = -1;
  BELQ_FIT_INFO_MAP last_export;
  bool hooked = false;
};
BELQ_STORE& belq_store() {
  static BELQ_STORE s;
  if (!s.hooked) {
    s.hooked = true;
    host_register_reset_hook("belq::store", [] {
      BELQ_STORE& st = belq_store();
      st.added.clear();
      st.deleted.clear();
      st.changed.clear();
      st.last_type = -1;
      st.last_export.clear();
    });
  }
  return s;
}
}  // namespace

void BELQ_ENV::export_netlist(WEXAN_HOV_UTILITY* hov, const BELQ_FIT_INFO_MAP* fit) {
  host::log_call("BELQ_ENV::export_netlist", hov != nullptr, static_cast<int>(fit ? fit->size() : 0));
  belq_store().last_export = fit ? *fit : BELQ_FIT_INFO_MAP{};
}
bool BELQ_ENV::resynthesize(int type) {
  host::log_call("BELQ_ENV::resynthesize", type);
  belq_store().last_type = type;
  return host::script::next<bool>("belq_resynthesize", true);
}
void BELQ_ENV::import_netlist(std::vector<VOK_ATOM_NODE*>* added, std::vector<VOK_ATOM_NODE*>* deleted,
                              std::vector<VOK_ATOM_NODE*>* changed) {
  BELQ_STORE& s = belq_store();
  host::log_call("BELQ_ENV::import_netlist", static_cast<int>(s.added.size()), static_cast<int>(s.deleted.size()),
                 static_cast<int>(s.changed.size()));
  if (added) *added = std::move(s.added);
  if (deleted) *deleted = std::move(s.deleted);
  if (changed) *changed = std::move(s.changed);
  s.added.clear();
  s.deleted.clear();
  s.changed.clear();
}

namespace host::belq {
void set_import_result(std::vector<VOK_ATOM_NODE*> added, std::vector<VOK_ATOM_NODE*> deleted,
                       std::vector<VOK_ATOM_NODE*> changed) {
  BELQ_STORE& s = belq_store();
  s.added = std::move(added);
  s.deleted = std::move(deleted);
  s.changed = std::move(changed);
}
int last_resynthesis_type() { return belq_store().last_type; }
const BELQ_FIT_INFO_MAP& last_export() { return belq_store().last_export; }
}  // namespace host::belq

#include "cfg/cfg.h"
#include "vok/vok_atom_term.h"

bool belq_debug_is_on() { return cfg_is_on("belq_debug", false); }
int belq_get_fanout_delay_penalty(const VOK_ATOM_OTERM* oterm) {
  if (oterm == nullptr) return 0;
  int loads = 0;
  for (const VOK_ATOM_ITERM* t : oterm->cfanout(VOK_TRAVERSE_HIERARCHICAL)) {
    (void)t;
    ++loads;
  }
  return loads > 1 ? 5 * (loads - 1) : 0;
}
