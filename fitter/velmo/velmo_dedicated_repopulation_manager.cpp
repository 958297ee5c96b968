#include "velmo_dedicated_repopulation_manager.h"

#include <map>
#include <memory>
#include <string>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_interface.h"
#include "swavo/swavo_recompile_op.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_msgs.h"
#include "velmo_yun_env.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "yos/yos_interface.h"
#include "zel/zel_dev_zota_util.h"

namespace {

constexpr int kMetadataNamespace = 4;
constexpr int kForceP2cAssignment = 833;  // FORCE_ZENTO_REGISTER_FOR_PERIPHERY_CORE_TRANSFER
constexpr int kDelayChainAssignment = 834;
constexpr int kForceC2pAssignment = 835;  // FORCE_ZENTO_REGISTER_FOR_CORE_PERIPHERY_TRANSFER
constexpr int kForcedValue = 2;
constexpr int kDepopulatedBit = 42;
constexpr int kPulseWidthParameter = 72;
constexpr int kClockUsage = 7;
constexpr int kDataInUsage = 20;
constexpr int kPortMapType = 1;
constexpr unsigned kUserSource = 0x80;  // constraints a user made
constexpr unsigned kAnySource = 0x4000;  // constraints of every source
constexpr unsigned kIllegalGid = 0xFFFFFFFFu;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_dedicated_repopulation_manager", line);
}

std::string l_path(const VOK_ATOM_NODE* atom) { return atom->get_string_hpath(); }

// The atom's per-instance assignment value, or -1 when it has none.
int l_assignment(const VOK_ATOM_NODE* atom, int variable) {
  const OMZ_INSTANCE_NAME* name = atom->get_instance_name();
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(name ? name->path() : std::string(), variable, true);
  return option ? option->get_value() : -1;
}

bool l_is_boundary_port(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && (atom->get_basic_type() == 3 || atom->get_basic_type() == 284);
}

// The pulse-width level of an assignment 834 value (220, 221, 222 stand for
// pulses 1, 2 and 4 wide: levels 0, 1, 2).
HOV_PULSE_WIDTH_ENUM l_delay_chain_level(int value) {
  switch (value) {
    case 220: return HOV_PULSE_WIDTH_0;
    case 221: return HOV_PULSE_WIDTH_1;
    case 222: return HOV_PULSE_WIDTH_2;
    default: l_internal_error("Unsupported zento register delay chain setting", __LINE__);
  }
}

const char* l_status_text(int status) {
  switch (status) {
    case VELMO_DEDICATED_REPOPULATION_MGR::SECONDARY_SIGNAL: return "secondary signal usage";
    case VELMO_DEDICATED_REPOPULATION_MGR::DISCONNECTED: return "disconnected core register";
    case VELMO_DEDICATED_REPOPULATION_MGR::MULTIPLE_FANOUT: return "multiple fan-out on connection";
    case VELMO_DEDICATED_REPOPULATION_MGR::BOUNDARY_CROSSING: return "partition boundary crossing";
    default: l_internal_error("Unexpected status flag in warning list", __LINE__);
  }
}

// The engine utility over a fresh adaptor; null is an internal error.
std::unique_ptr<YUN_UTILITY> l_create_engine(VELMO_YUN_ENV& yun_env) {
  std::unique_ptr<YUN_UTILITY> util(yun_env.create_yun_utility(nullptr));
  if (!util) l_internal_error("yun_util", __LINE__);
  return util;
}

}  // namespace

VELMO_DEDICATED_REPOPULATION_MGR::VELMO_DEDICATED_REPOPULATION_MGR(WEXAN_ENV* env)
    : m_verbose_debug(cfg_is_on("velmo_dedicated_repopulation_verbose_debug", false)),
      m_env(env),
      m_r5t(R5T_INTERFACE::get_or_create_instance()),
      m_yos(yos_current_interface()) {
  if (m_r5t == nullptr) l_internal_error("m_r5t", __LINE__);
}

void VELMO_DEDICATED_REPOPULATION_MGR::set_metadata(const VOK_ATOM_NODE* atom, const char* key, const char* value) {
  m_r5t->set_atom_metadata(atom->get_id(), PELK::intern(kMetadataNamespace, key),
                           PELK::intern(kMetadataNamespace, value));
}

bool VELMO_DEDICATED_REPOPULATION_MGR::work() {
  VELMO_SCOPED_PROFILE_BIN bin("P2C Dedicated Depopulation", "VPR - Other", "VELMO");
  if (WEXAN_ENV::get_env() == nullptr) l_internal_error("env", __LINE__);
  if (!ZEL_DEV_ZOTA_UTIL::is_zota_device(m_env->get_cmp(), 0)) {
    msg_vdebug_impl(2, "DEDICATED_REPOPULATION: not a real zota device, skip");
    return true;
  }
  const bool depopulated = depopulation();
  static const bool s_repopulate_in_post_plan = cfg_is_on("yun_do_p2c_repopulation_in_post_plan", true);
  if (s_repopulate_in_post_plan && depopulated) return repopulation();
  return depopulated;
}

bool VELMO_DEDICATED_REPOPULATION_MGR::has_secondary_signal(const VOK_ATOM_NODE* atom) const {
  if (atom == nullptr) l_internal_error("atom", __LINE__);
  if (!atom->is_ff()) l_internal_error("atom->is_ff()", __LINE__);
  for (const VOK_ATOM_ITERM* t : atom->citerms()) {
    if (!t->is_connected()) continue;
    if (t->is_vcc_or_gnd() && t->is_tie_low()) continue;  // tied to logical ground
    if (t->is_used_as(kClockUsage) || t->is_used_as(kDataInUsage)) continue;
    return true;
  }
  return false;
}

bool VELMO_DEDICATED_REPOPULATION_MGR::has_p2c_depopulation_moz_on(const VOK_ATOM_NODE* atom) const {
  return l_assignment(atom, kForceP2cAssignment) == kForcedValue;
}

bool VELMO_DEDICATED_REPOPULATION_MGR::has_c2p_depopulation_moz_on(const VOK_ATOM_NODE* atom) const {
  return l_assignment(atom, kForceC2pAssignment) == kForcedValue;
}

void VELMO_DEDICATED_REPOPULATION_MGR::process_c2p_zota_delay_chain_setting(VOK_ATOM_NODE* atom,
                                                                           HOV_PULSE_WIDTH_ENUM setting) {
  const int own = l_assignment(atom, kDelayChainAssignment);
  if (own >= 0)
    m_yos->set_uint_data(atom, static_cast<YOS_UINT_DATA_ENUM>(kPulseWidthParameter),
                         static_cast<unsigned>(l_delay_chain_level(own)));
  else if (setting != HOV_PULSE_WIDTH_0)
    m_yos->set_uint_data(atom, static_cast<YOS_UINT_DATA_ENUM>(kPulseWidthParameter), static_cast<unsigned>(setting));
}

VELMO_DEDICATED_REPOPULATION_MGR::CANDIDATE_STATUS VELMO_DEDICATED_REPOPULATION_MGR::is_depop_p2c_ff_candidate(
    VOK_ATOM_NODE* atom) {
  if (m_r5t == nullptr) l_internal_error("m_r5t", __LINE__);
  if (atom == nullptr) l_internal_error("atom", __LINE__);
  if (!atom->is_ff()) return NOT_A_CANDIDATE;
  if (m_verbose_debug)
    msg_vdebug_impl(2, "Dedicated Repopulation: working on core ff %d - %s", atom->get_id(), l_path(atom).c_str());

  const bool p2c_forced = has_p2c_depopulation_moz_on(atom);
  const bool c2p_forced = has_c2p_depopulation_moz_on(atom);
  if (m_verbose_debug && p2c_forced) msg_vdebug_impl(2, "   has_p2c_depopulation_moz_on on it");
  if (m_verbose_debug && c2p_forced) msg_vdebug_impl(2, "   has_c2p_depopulation_moz_on on it");
  if (p2c_forced && c2p_forced) {
    msg_post(MSG_VELMO::E::FORCED_ZENTO_REGISTER_HAS_C2P_AND_P2C_CONSTRAINT(l_path(atom)), nullptr);
    return CONFLICTING_ASSIGNMENTS;
  }
  if (p2c_forced || c2p_forced) {
    if (has_secondary_signal(atom)) {
      if (m_verbose_debug) msg_vdebug_impl(2, "Skip depopulation on core atom %d due to secondary signal", atom->get_id());
      return SECONDARY_SIGNAL;
    }
    const TIBEX_LOCATION_CONSTRAINT lc = m_env->get_design()->get_atom_location_constraint(atom->get_id());
    if ((lc.get_sources() & kUserSource) != 0 && lc.has_locked_constraint(kAnySource) &&
        lc.get_locked_constraint(kUserSource).is_specified_exactly())
      msg_post(MSG_VELMO::E::FORCED_ZENTO_REGISTER_HAS_LOCATION_ASSIGNMENT(
                   l_path(atom), p2c_forced ? "FORCE_ZENTO_REGISTER_FOR_PERIPHERY_CORE_TRANSFER"
                                            : "FORCE_ZENTO_REGISTER_FOR_CORE_PERIPHERY_TRANSFER"),
               nullptr);
    if (atom->is_placed()) return NOT_A_CANDIDATE;
    return p2c_or_c2p_test(atom, c2p_forced, p2c_forced);
  }
  if (atom->is_placed()) {
    if (m_verbose_debug) msg_vdebug_impl(2, "Dedicated Repopulation: found one candidate but already placed %d", atom->get_id());
    return NOT_A_CANDIDATE;
  }
  return p2c_or_c2p_test(atom, false, false);
}

VELMO_DEDICATED_REPOPULATION_MGR::CANDIDATE_STATUS VELMO_DEDICATED_REPOPULATION_MGR::accept_p2c(
    VOK_ATOM_NODE* atom, VOK_ATOM_NODE* src_atom, VOK_ATOM_OTERM* src_oterm) {
  if (m_candidate_to_p2c_periphery_atom_oterm_map.exists(atom))
    l_internal_error("m_candidate_to_p2c_periphery_atom_oterm_map.count(atom) == 0", __LINE__);
  m_p2c_candidates.push_back(atom);
  m_candidate_to_p2c_periphery_atom_oterm_map[atom] = {src_atom, src_oterm};
  set_metadata(atom, "P2C_ZOTA", "P2C");
  return DEPOPULATE;
}

VELMO_DEDICATED_REPOPULATION_MGR::CANDIDATE_STATUS VELMO_DEDICATED_REPOPULATION_MGR::p2c_or_c2p_test(
    VOK_ATOM_NODE* atom, bool c2p_forced, bool p2c_forced) {
  static const bool s_disable_p2c = cfg_is_on("ky_disable_depop_emif_p2c", false);
  static const bool s_every = cfg_is_on("ky_emif_depop_ff_for_every_p2c", false);
  static const bool s_skip_boundary = cfg_is_on("ky_p2c_dedicated_depopulation_skip_boundary_port", true);
  if (s_disable_p2c) return c2p_test(atom, c2p_forced);

  VOK_ATOM_ITERM* data_in = atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  VOK_ATOM_OTERM* src_oterm =
      data_in && data_in->is_connected() ? data_in->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
  VOK_ATOM_NODE* src = src_oterm ? src_oterm->get_my_node() : nullptr;
  if (src == nullptr || src->is_ff() || !src->is_placed()) return c2p_test(atom, c2p_forced);

  const int sid = src->get_id();
  const unsigned sloc = src->get_location_gid();
  const int rid = atom->get_id();
  if (has_p2c_depopulation_moz_on(src) || p2c_forced || s_every) {
    if (has_secondary_signal(atom)) {
      if (m_verbose_debug)
        msg_vdebug_impl(2, "Skip depopulation on P2C from Periphery atom %d placed on %u to core ff %d due to secondary signal",
                        sid, sloc, rid);
      return SECONDARY_SIGNAL;
    }
    VOK_ATOM_OTERM* data_out = atom->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
    if (data_out == nullptr || !vok_is_connected(data_out, VOK_TRAVERSE_HIERARCHICAL)) {
      if (m_verbose_debug)
        msg_vdebug_impl(2, "Skip depopulation on P2C from Periphery atom %d placed on %u to core ff %d due to 0 fanout", sid,
                        sloc, rid);
      return DISCONNECTED;
    }
    if (s_skip_boundary) {
      for (VOK_ATOM_ITERM* t : data_out->fanout(VOK_TRAVERSE_AS_STORED)) {
        if (!l_is_boundary_port(t->get_my_node())) continue;
        if (m_verbose_debug)
          msg_vdebug_impl(2, "Skip depopulation on P2C from Periphery atom %d placed on %u to core ff %d due to boundary port",
                          sid, sloc, rid);
        return BOUNDARY_CROSSING;
      }
    }
    if (!src_oterm->has_fanout_less_than(2, VOK_TRAVERSE_HIERARCHICAL) && m_verbose_debug)
      msg_vdebug_impl(2,
                      "Not skipping depopulation on P2C from Periphery atom %d placed on %u to core ff %d though the "
                      "periphery has more than 1 fanout",
                      sid, sloc, rid);
    if (m_verbose_debug)
      msg_vdebug_impl(2, "Depopulation on P2C from Periphery atom %d placed on %u to core ff %d", sid, sloc, rid);
    return accept_p2c(atom, src, src_oterm);
  }
  if (SWAVO_RECOMPILE_OP::is_user_swavo_recompile_flow() && l_path(atom).find("~_Duplicate") != std::string::npos) {
    for (VOK_ATOM_ITERM* t : src_oterm->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
      VOK_ATOM_NODE* other = t->get_my_node();
      if (other == atom || !has_p2c_depopulation_moz_on(other)) continue;
      if (m_verbose_debug)
        msg_vdebug_impl(2, "Depopulation on P2C from Periphery atom %d placed on %u to k-aware duplicated core ff %d", sid,
                        sloc, rid);
      return accept_p2c(atom, src, src_oterm);
    }
  }
  return c2p_test(atom, c2p_forced);
}

VELMO_DEDICATED_REPOPULATION_MGR::CANDIDATE_STATUS VELMO_DEDICATED_REPOPULATION_MGR::c2p_test(VOK_ATOM_NODE* atom,
                                                                                              bool c2p_forced) {
  static const bool s_disable_c2p = cfg_is_on("ky_disable_depop_emif_c2p", false);
  static const bool s_every = cfg_is_on("ky_emif_depop_ff_for_every_p2c", false);
  static const bool s_skip_boundary = cfg_is_on("ky_p2c_dedicated_depopulation_skip_boundary_port", true);
  VOK_ATOM_OTERM* data_out = atom->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  if (s_disable_c2p || data_out == nullptr) return NOT_A_CANDIDATE;

  int found = 0;
  VOK_ATOM_NODE* periphery = nullptr;
  VOK_ATOM_ITERM* periphery_iterm = nullptr;
  HOV_PULSE_WIDTH_ENUM setting = HOV_PULSE_WIDTH_0;
  for (VOK_ATOM_ITERM* t : data_out->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
    VOK_ATOM_NODE* f = t->get_my_node();
    if (f == nullptr || f->is_ff() || !f->is_placed()) continue;
    if (!(c2p_forced || has_c2p_depopulation_moz_on(f) || s_every)) continue;
    if (m_verbose_debug) msg_vdebug_impl(2, "Dedicated Repopulation:  moz on fanout %d - %s", f->get_id(), l_path(f).c_str());
    const int value = l_assignment(f, kDelayChainAssignment);
    setting = value >= 0 ? l_delay_chain_level(value) : HOV_PULSE_WIDTH_0;
    periphery = f;
    periphery_iterm = t;
    if (++found == 2) break;
  }
  const int rid = atom->get_id();
  if (found == 0) {
    if (m_verbose_debug) msg_vdebug_impl(2, "Dedicated Repopulation: found no c2p connection on core ff %d", rid);
    return MULTIPLE_FANOUT;
  }
  if (found == 2 || !data_out->has_fanout_exactly(1, VOK_TRAVERSE_HIERARCHICAL)) {
    if (m_verbose_debug) msg_vdebug_impl(2, "Dedicated Repopulation: found more than one c2p connection on core ff %d", rid);
    return MULTIPLE_FANOUT;
  }
  const int pid = periphery->get_id();
  const unsigned ploc = periphery->get_location_gid();
  if (has_secondary_signal(atom)) {
    if (m_verbose_debug)
      msg_vdebug_impl(2,
                      "Skip depopulation on C2P from Periphery atom %d placed on %u to core ff %d due to secondary control "
                      "signal",
                      pid, ploc, rid);
    return SECONDARY_SIGNAL;
  }
  VOK_ATOM_ITERM* data_in = atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  VOK_ATOM_OTERM* direct_src = data_in ? data_in->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
  if (direct_src == nullptr) {
    if (m_verbose_debug)
      msg_vdebug_impl(2, "Skip depopulation on C2P from Periphery atom %d placed on %u to core ff %d due to no fanin", pid,
                      ploc, rid);
    return DISCONNECTED;
  }
  if (s_skip_boundary && l_is_boundary_port(direct_src->get_my_node())) {
    if (m_verbose_debug)
      msg_vdebug_impl(2, "Skip depopulation on C2P from Periphery atom %d placed on %u to core ff %d due to boundary port",
                      pid, ploc, rid);
    return BOUNDARY_CROSSING;
  }
  if (m_candidate_to_c2p_periphery_atom_iterm_map.exists(atom))
    l_internal_error("m_candidate_to_c2p_periphery_atom_iterm_map.count(atom) == 0", __LINE__);
  m_c2p_candidates.push_back(atom);
  m_candidate_to_c2p_periphery_atom_iterm_map[atom] = {periphery, periphery_iterm};
  set_metadata(atom, "P2C_ZOTA", "C2P");
  process_c2p_zota_delay_chain_setting(atom, setting);
  if (m_verbose_debug)
    msg_vdebug_impl(2, "Depopulation on C2P from Periphery atom %d placed on %u to core ff %d", pid, ploc, rid);
  return DEPOPULATE;
}

bool VELMO_DEDICATED_REPOPULATION_MGR::depopulation() {
  if (m_env == nullptr) l_internal_error("m_env", __LINE__);
  static const int s_max_errors = cfg_get_int_value("velmo_ded_depop_max_errors", 5);
  static const int s_max_warning_nodes = cfg_get_int_value("velmo_ded_depop_max_warning_nodes", 5);

  std::map<int, std::vector<VOK_ATOM_NODE*>> warnings;
  int errors = 0;
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    const CANDIDATE_STATUS status = is_depop_p2c_ff_candidate(atom);
    switch (status) {
      case NOT_A_CANDIDATE: break;
      case SECONDARY_SIGNAL:
      case DISCONNECTED:
      case MULTIPLE_FANOUT:
      case BOUNDARY_CROSSING: warnings[status].push_back(atom); break;
      case CONFLICTING_ASSIGNMENTS: ++errors; break;
      case DEPOPULATE:
        m_depopulated_atoms.push_back(atom);
        set_metadata(atom, "RETIMER_NO_TOUCH", "LOCKED");
        atom->set_bit(kDepopulatedBit, true);
        break;
      default: l_internal_error("Unexpected status flag on depopulation node", __LINE__);
    }
    if (s_max_errors > 0 && errors >= s_max_errors) break;
  }

  for (const auto& [status, atoms] : warnings) {
    msg_vdebug_impl(2, "%d paths cannot be implemented as ZOTA because of %s", static_cast<int>(atoms.size()),
                    l_status_text(status));
    for (int i = 0; i < static_cast<int>(atoms.size()) && i < s_max_warning_nodes; ++i)
      msg_vdebug_impl(2, "\t%s", l_path(atoms[static_cast<std::size_t>(i)]).c_str());
  }
  if (errors > 0) return false;
  if (m_depopulated_atoms.empty()) return true;

  msg_vdebug_impl(2, "P2C dedicated depopulation depops %d core ff", static_cast<int>(m_depopulated_atoms.size()));
  HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
  VELMO_YUN_ENV yun_env;
  std::unique_ptr<YUN_UTILITY> util = l_create_engine(yun_env);
  return util->depopulate_registers(m_depopulated_atoms, taints);
}

bool VELMO_DEDICATED_REPOPULATION_MGR::repopulation() {
  if (m_depopulated_atoms.empty()) return true;
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("GESK chip must be loaded before running p2c flow", __LINE__);
  if (bundle->get_port_map_db()->is_empty()) {
    msg_vdebug_impl(2, "running w3j3 for p2c/c2p zota repop at post-plan");
    m_env->run_w3j3_prefit();
  }
  VELMO_YUN_ENV yun_env;
  std::unique_ptr<YUN_UTILITY> util = l_create_engine(yun_env);

  const DEV_DIE_INFO* die = PEXA_UTILITY::get_current_device()->get_die_info();
  const WUMP_DIE_INFO* wump = die ? die->get_wump_die_info() : nullptr;
  WUMP_GESK_UTIL* gesk = zel_dev_obtain_wump_gesk_util(wump ? wump->get_route_info() : nullptr, bundle->get_device());
  // The one top-level port gid of a periphery terminal.
  auto top_level_gid = [&](const auto* term, VOK_ATOM_NODE* atom) {
    const VOK_ATOM_LOGICAL_PORT port = W3J3_LOGICAL_PORT_FACTORY::create(term);
    const std::vector<W3J3_PORT_MAP_ENTRY> maps = bundle->get_port_map_db()->get_port_map_results(port, kPortMapType);
    unsigned gid = kIllegalGid;
    const std::string port_name = port.get_port().is_null() ? std::string("?") : port.get_port().cname();
    if (maps.size() == 1) {
      gid = gesk->get_top_level_wump_port_gid(maps.front());
    } else {
      msg_vdebug_impl(2,
                      "Ignoring P2C/C2P repopulation for TERM %s of atom %i (%s) of type = %s: it has %d port mappings, "
                      "but we only deal with TERM with exact 1 port mapping",
                      port_name.c_str(), atom->get_id(), l_path(atom).c_str(),
                      std::to_string(atom->get_atom_type()).c_str(), static_cast<int>(maps.size()));
    }
    if (gid == kIllegalGid) {
      msg_vdebug_impl(2, "failed to get top level port for TERM %s of atom %i (%s)", port_name.c_str(), atom->get_id(),
                      l_path(atom).c_str());
      l_internal_error("top_level_port_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    }
    return gid;
  };

  // Each candidate's periphery terminal, which must belong to the recorded
  // periphery atom, gives the candidate's port gid.
  auto port_map = [&](const std::vector<VOK_ATOM_NODE*>& candidates, const auto& terms, const char* missing) {
    YUN_UTILITY::PORT_GID_MAP ports;
    for (VOK_ATOM_NODE* reg : candidates) {
      const auto* found = terms.lookup(reg);
      if (found == nullptr) l_internal_error(missing, __LINE__);
      VOK_ATOM_NODE* atom = found->first;
      const auto* term = found->second;
      if (term->get_my_node() != atom) {
        msg_vdebug_impl(2, "term node is %d, src_atom is %d", term->get_my_node()->get_id(), atom->get_id());
        l_internal_error("term->get_my_node() == src_atom", __LINE__);
      }
      ports[reg] = top_level_gid(term, atom);
    }
    return ports;
  };
  const YUN_UTILITY::PORT_GID_MAP p2c_ports = port_map(m_p2c_candidates, m_candidate_to_p2c_periphery_atom_oterm_map,
                                                       "find_it != m_candidate_to_p2c_periphery_atom_oterm_map.end()");
  const YUN_UTILITY::PORT_GID_MAP c2p_ports = port_map(m_c2p_candidates, m_candidate_to_c2p_periphery_atom_iterm_map,
                                                       "find_it != m_candidate_to_c2p_periphery_atom_iterm_map.end()");
  return util->repopulate_periphery_transfer_registers(m_p2c_candidates, p2c_ports, m_c2p_candidates, c2p_ports);
}
