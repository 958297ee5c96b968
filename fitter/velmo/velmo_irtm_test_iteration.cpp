// The retimer's round and iteration state.
#include "cfg/cfg.h"
#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

IRTM_ITERATION::IRTM_ITERATION(WEXAN_ENV* env)
    : m_max_non_crit_iterations(cfg_get_int_value("muvo_zota_max_non_crit_iterations", 1)),
      m_crit_iterations(cfg_get_int_value("muvo_zota_crit_iterations", 100)),
      m_setup_iterations(cfg_get_int_value("muvo_zota_setup_iterations", 4)),
      m_hold_iterations(cfg_get_int_value("muvo_zota_hold_iterations", 8)),
      m_max_batch_size(cfg_get_int_value("muvo_zota_max_batch_size", 12)),
      m_crit_range(cfg_get_int_value("muvo_zota_crit_range", 1)),
      m_env(env),
      m_atoms(env ? env->get_atom_netlist() : nullptr) {}

// Pins left by a caller that did not clean up are freed too.
IRTM_ITERATION::~IRTM_ITERATION() {
  for (auto& e : m_ipins) delete e.second;
}

void IRTM_ITERATION::next_object(IRTM_OBJ* obj) {
  const VOK_ATOM_NODE* atom = obj->get_atom();
  const std::string path = atom ? atom->get_string_hpath() : std::string();
  const std::uint32_t loc = atom ? atom->get_location_gid() : 0xFFFFFFFFu;
  const IRTM_UTIL* util = IRTM_UTIL::s_instance;
  const std::string gid = util ? util->get_gid_string(loc) : std::string("?");
  const bool hold = obj->m_move_type != IRTM_MOVE::None && obj->m_hold;
  std::string type =
      IRTM_MOVE::type_name(obj->m_move_type != IRTM_MOVE::None ? obj->m_move_type : obj->compute_move());
  if (hold) type += " (HOLD)";
  msg_vdebug_impl(2, "%s Yun[%d] %s: input = %d q = %d -- (%u) [%s] (%d)  %s", m_name.c_str(),
                  static_cast<int>(m_object_counter), type.c_str(), obj->min_input_slack(), obj->min_output_slack(), loc,
                  gid.c_str(), atom ? atom->get_id() : -1, path.c_str());
  if (hold) {
    if (m_hold_moves == 0) {
      m_move_cost = m_initial_cost;
      if (util && m_domain) m_move_cost.slack = util->get_domain_wns(*m_domain);
    }
    ++m_hold_moves;
  }
  ++m_object_counter;
}

IRTM_IPIN* IRTM_ITERATION::create_irtm_ipin(const VOK_ATOM_LOGICAL_PORT& port) {
  VOK_ATOM_NODE* atom = m_atoms ? m_atoms->get_atom_by_id(static_cast<int>(port.get_atom_id())) : nullptr;
  if (!atom) return nullptr;
  const int type = vok_port_type_of_symbol(IRTM_INPUT_PORT_SYMBOL(port.get_port()).get());
  const VOK_ATOM_ITERM* t =
      type < 0 ? nullptr : atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(type), port.get_index());
  if (!t) return nullptr;
  const VOK_ATOM_LOGICAL_PORT key = vok_get_logical_port(t);
  auto it = m_ipins.find(key);
  if (it != m_ipins.end()) return it->second;
  auto* pin = new IRTM_IPIN(key);
  m_ipins[key] = pin;
  return pin;
}

void IRTM_ITERATION::cleanup_irtm_ipins() {
  if (m_ipins.empty()) return;
  int wirelut = 0, reroute = 0, wirelut_failed = 0, reroute_failed = 0;
  unsigned count = 0;
  for (auto& e : m_ipins) {
    IRTM_IPIN* pin = e.second;
    if (pin->m_move_type == IRTM_MOVE::Wirelut)
      ++wirelut;
    else if (pin->m_move_type == IRTM_MOVE::Reroute)
      ++reroute;
    else
      MSG_INTERNAL_ERROR::report("pin->m_move_type == Wirelut || pin->m_move_type == Reroute", "VELMO",
                                 "velmo_irtm_test_iteration", __LINE__);
    if (pin->m_failure_mask & (1u << 3)) ++wirelut_failed;
    if (pin->m_failure_mask & (1u << 4)) ++reroute_failed;
    ++count;
  }
  for (auto& e : m_ipins) delete e.second;
  msg_vdebug_impl(2, "Deleted Ipins %u , wl = %d/%d rr = %d/%d", count, wirelut - wirelut_failed, wirelut,
                  reroute - reroute_failed, reroute);
  m_ipins = ZMP_HASH_LITE<VOK_ATOM_LOGICAL_PORT, IRTM_IPIN*, VOK_ATOM_LOGICAL_PORT_OPS>();
}
