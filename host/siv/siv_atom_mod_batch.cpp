// Batch mode of the atom-modification utility: removals queued while it is
// on are carried out together by the flush.
#include <utility>
#include <vector>

#include "common/host_call_log.h"
#include "siv/siv_atom_mod_utility.h"
#include "vok/vok_atom_netlist.h"

void SIV_ATOM_MOD_UTILITY::set_batch_mode(bool on) {
  host::log_call("SIV_ATOM_MOD_UTILITY::set_batch_mode", on);
  m_batch = on;
  if (!on && !m_pending.empty()) flush();
}

void SIV_ATOM_MOD_UTILITY::flush() {
  host::log_call("SIV_ATOM_MOD_UTILITY::flush", static_cast<int>(m_pending.size()));
  std::vector<VOK_ATOM_NODE*> pending = std::move(m_pending);
  m_pending.clear();
  for (VOK_ATOM_NODE* atom : pending)
    if (atom->get_parent_netlist() != nullptr) remove_now(atom);
}
