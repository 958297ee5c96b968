// The retimer's register registry.
#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "zel/zel_dev_zota_util.h"

namespace {
[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irtm_test_registry", line);
}
}  // namespace

IRTM_FF* IRTM_MANAGER::create_irtm_ff(VOK_ATOM_NODE* atom) {
  if (!atom || !atom->is_ff() || atom->get_location_gid() == 0xFFFFFFFFu) return nullptr;
  if (IRTM_FF* found = get_irtm_ff(atom->get_location_gid())) {
    if (found->get_atom() != atom) ie("irtm_ff->get_atom() == atom", __LINE__);
    return found;
  }
  const auto id = static_cast<std::uint32_t>(atom->get_id());
  IRTM_FF* ff;
  auto retired = m_retired.find(id);
  if (retired != m_retired.end()) {
    ff = retired->second;
    if (!ff->is_deleted()) ie("irtm_ff->is_deleted()", __LINE__);
    m_retired.erase(retired);
    ff->m_atom = atom;
    ff->m_deleted = 0;
    ff->m_data_slack = ff->m_output_slack = ff->m_secondary_slack_a = ff->m_secondary_slack_b = IRTM_NO_SLACK;
    ff->m_last_move = 0;
    ff->m_move_type = IRTM_MOVE::None;
    ff->m_hold = 0;
    ff->m_atom_id = id;
  } else {
    ff = new IRTM_FF(atom);
  }
  ff->update_slack(false);
  m_live[id] = ff;
  return ff;
}

IRTM_FF* IRTM_MANAGER::get_irtm_ff(std::uint32_t gid) { return find_irtm_ff(PLACE_DB::get_atom(gid)); }

IRTM_FF* IRTM_MANAGER::get_irtm_ff(const VOK_ATOM_LOGICAL_PORT& port) {
  VOK_ATOM_NETLIST* netlist = m_env ? m_env->get_atom_netlist() : nullptr;
  return netlist ? create_irtm_ff(netlist->get_atom_by_id(static_cast<int>(port.get_atom_id()))) : nullptr;
}

IRTM_FF* IRTM_MANAGER::find_irtm_ff(VOK_ATOM_NODE* atom) {
  if (!atom) return nullptr;
  auto it = m_live.find(static_cast<std::uint32_t>(atom->get_id()));
  if (it == m_live.end()) return nullptr;
  if (it->second->get_atom() != atom) ie("result->get_atom() == atom", __LINE__);
  return it->second;
}

int IRTM_MANAGER::erase_irtm_ff_by_id(std::uint32_t atom_id) {
  auto it = m_live.find(atom_id);
  if (it == m_live.end()) return 0;
  IRTM_FF* ff = it->second;
  ff->m_deleted = 1;
  ff->m_atom = nullptr;
  m_live.erase(it);
  if (!m_retired.emplace(atom_id, ff).second) ie("iter2.second", __LINE__);
  return 1;
}

void IRTM_MANAGER::erase_irtm_ff(std::uint32_t gid) {
  const DEV_DIE_INFO* die = IRTM_UTIL::s_instance ? IRTM_UTIL::s_instance->get_die_info() : nullptr;
  if (!ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, gid)) ie("util()->is_zota_gid(re_gid)", __LINE__);
  VOK_ATOM_NODE* atom = PLACE_DB::get_atom(gid);
  const int erased = atom ? erase_irtm_ff_by_id(static_cast<std::uint32_t>(atom->get_id())) : 0;
  if (erased != 1) ie("num_erased == 1", __LINE__);
}

void IRTM_MANAGER::cleanup_irtm_ffs() {
  const int n = static_cast<int>(m_retired.size());
  for (auto& [id, ff] : m_retired) {
    if (!ff->is_deleted()) ie("irtm_ff->is_deleted()", __LINE__);
    delete ff;
  }
  m_retired.clear();
  if (n > 0) msg_vdebug_impl(2, "Deleted ZOTA ATOMS %d", n);
}
