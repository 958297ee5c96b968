#include "zel/zel_atom_mod_manager.h"

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_atom_mod_drc.h"

void ZEL_ATOM_MOD_MANAGER::notify() { host::log_call("ZEL_ATOM_MOD_MANAGER::notify"); }

bool ZEL_ATOM_MOD_MANAGER::set_suppress_messages(bool on) {
  host::log_call("ZEL_ATOM_MOD_MANAGER::set_suppress_messages", on);
  const bool old = m_suppress;
  m_suppress = on;
  return old;
}

bool ZEL_ATOM_MOD_MANAGER::set_checking_enabled(bool on) {
  host::log_call("ZEL_ATOM_MOD_MANAGER::set_checking_enabled", on);
  const bool old = m_checking;
  m_checking = on;
  return old;
}

bool ZEL_ATOM_MOD_MANAGER::is_modification_allowed(const VOK_ATOM_NODE* atom, int op, const std::string& client,
                                                   std::uint64_t* reasons, std::uint64_t ignorable) const {
  std::uint64_t r = 0;
  if (atom && (op == 41 || op == 42)) {
    WEXAN_ATOM_MOD_DRC::current()->atom_mod_allowed_for_operation(atom->get_id(), op, &r);
    r &= ~ignorable;
  }
  host::log_call("ZEL_ATOM_MOD_MANAGER::is_modification_allowed", host::vok::arg(atom), op, client);
  if (reasons) *reasons = r;
  return r == 0;
}

ZEL_ATOM_MOD_MANAGER* ZEL_UTIL::get_atom_mod_manager() { return &host_world_slot<ZEL_ATOM_MOD_MANAGER>(); }

