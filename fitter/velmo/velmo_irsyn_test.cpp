// The resynthesiser's manager: the two entry points, construction and
// tear-down, the domain loop, the slack lookups, the acceptance rule, LUT
// expansion into the shared variable table, the connection helpers and the
// netlist dump.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_location.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_instance_name.h"
#include "pexa/pexa_utility.h"
#include "place_db/place_db.h"
#include "r5t/r5t_interface.h"
#include "velmo_debug.h"
#include "velmo_eco_tcl.h"
#include "velmo_expert.h"
#include "velmo_irsyn_test.h"
#include "velmo_wns_cost.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "zel/zel_atom_mod_manager.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_lcell_util.h"

namespace {
[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irsyn_test", line);
}

std::uint32_t xorshift(std::uint32_t x) {
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  return x;
}

// One run of the resynthesiser inside its profiling bin.
int run_resynthesiser(CMP_FACADE* cmp, WEXAN_ENV* env, const char* bin_name) {
  if (env->get_base_family_code() != 46) return 1;
  VELMO_SCOPED_PROFILE_BIN bin(bin_name, "");
  IRSYN_MANAGER manager(cmp, env);
  return manager.resyn();
}
}  // namespace

int VELMO_EXPERT::test_incremental_resynthesis() {
  return run_resynthesiser(m_cmp, m_env, "Post-Route Incremental Resynthesis");
}

int VELMO_ECO_TCL::test_incremental_resynthesis() {
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (!env) ie("m_env", __LINE__);
  return run_resynthesiser(env->get_cmp(), env, "ECO Incremental Resynthesis");
}

// ---------------------------------------------------------------- life cycle

IRSYN_MANAGER::IRSYN_MANAGER(CMP_FACADE* cmp, WEXAN_ENV* env) : m_env(env), m_cmp(cmp) {
  m_atom_netlist = env->get_atom_netlist();
  if (!m_atom_netlist) ie("m_atom_netlist", __LINE__);
  m_kem_netlist = hov_get_accessories()->get_kem_netlist();
  if (!m_kem_netlist) ie("m_kem_netlist", __LINE__);
  m_siv = ZEL_UTIL::get_atom_mod_manager();
  if (!m_siv) ie("m_siv", __LINE__);
  m_siv->notify();
  m_dux = std::make_unique<DUX>(1, 1, env);
  m_dux->set_implement_skip_ista(true);
  m_place_db = PLACE_DB::get();
  if (!m_place_db) ie("m_place_db", __LINE__);
  HOV_INCR::enable_timing_on_all_corners(m_kem_netlist, cmp, m_all_corners);
  m_hov_incr.reset(HOV_INCR::create_hov_incr(m_atom_netlist, m_kem_netlist, cmp));
  sta_incr_track_changed_flops(true, true);
  sta_full_update_timing(m_all_corners);
  sta_allow_stale_timing_when_unable_to_incrementally_update(true);
  m_num_reroute_passes = cfg_get_int_value("post_route_resyn_num_reroute_passes", 0);
  m_num_rotate_passes = cfg_get_int_value("post_route_resyn_num_rotate_passes", 10);
  m_num_resyn_passes = cfg_get_int_value("post_route_resyn_num_resyn_passes", 10);
  m_nonimprove_exit = cfg_is_on("post_route_resyn_nonimprove_exit", true);
  m_near_critical = cfg_get_int_value("post_route_resyn_near_critical", 50);
  m_rotate_margin = cfg_get_int_value("post_route_resyn_rotate_margin", 50);
  m_resyn_margin = cfg_get_int_value("post_route_resyn_resyn_margin", 100);
  m_hold_margin = cfg_get_int_value("post_route_resyn_hold_margin", 1);
  m_avoid_zotas = cfg_is_on("post_route_resyn_avoid_zotas", true);
  m_fake_taint = cfg_is_on("post_route_resyn_fake_taint", true);
  m_dump_netlist_pre = cfg_is_on("post_route_resyn_dump_netlist_pre", false);
}

IRSYN_MANAGER::~IRSYN_MANAGER() {
  m_dux.reset();
  m_env = nullptr;
  m_cmp = nullptr;
  m_kem_netlist = nullptr;
  m_atom_netlist = nullptr;
  m_siv = nullptr;
  m_place_db = nullptr;
  sta_incr_track_changed_flops(false, false);
  sta_allow_stale_timing_when_unable_to_incrementally_update(false);
  if (m_hov_incr) m_hov_incr->stop(true);
  m_hov_incr.reset();
  m_tried.clear();
  m_vars.clear();
}

// ---------------------------------------------------------------- domain loop

int IRSYN_MANAGER::resyn() {
  if (m_dump_netlist_pre) dump_netlist();
  m_num_tries = m_num_better = m_num_worse = m_num_fail = 0;
  m_wns_cost = get_wns_cost();
  msg_vdebug_impl(2, "VM Debug: starting wns cost %d", m_wns_cost);
  struct KIND {
    int limit;
    int (IRSYN_MANAGER::*pass)(int);
    const char* line;
  };
  const KIND kinds[3] = {{m_num_reroute_passes, &IRSYN_MANAGER::reroute_pass, "VM Debug: reroute pass %d num ops = %d"},
                         {m_num_rotate_passes, &IRSYN_MANAGER::rotate_pass, "VM Debug: rotate pass %d num ops = %d"},
                         {m_num_resyn_passes, &IRSYN_MANAGER::resyn_pass, "VM Debug: resyn pass %d num ops = %d"}};
  for (const HOV_INCR_WNS_DOMAIN& domain : sta_get_wns_domains()) {
    m_domain = domain;
    std::int32_t w = get_domain_wns();
    msg_vdebug_impl(2, "VM Debug: domain wns = %d", w);
    if (w >= 0) continue;
    for (const KIND& kind : kinds) {
      m_tried.clear();
      for (int p = 1; p <= kind.limit; ++p) {
        const int n = (this->*kind.pass)(w);
        msg_vdebug_impl(2, kind.line, p, n);
        if (n == 0) break;
        const std::int32_t now = get_domain_wns();
        if (now > w) {
          msg_vdebug_impl(2, "VM Debug: new domain wns = %d", now);
          w = now;
        } else if (m_nonimprove_exit) {
          break;
        }
      }
    }
  }
  msg_vdebug_impl(2, "VM Debug: implement stats tries %d better %d worse %d fail %d", m_num_tries, m_num_better,
                  m_num_worse, m_num_fail);
  // One line per LUT an accepted change altered, so that a caller can tell
  // them from LUTs other steps re-connect.
  for (int id : m_changed_luts) msg_vdebug_impl(2, "VM Debug: resynthesised LUT %d", id);
  return 1;
}

// ---------------------------------------------------------------- timing lookups

std::int32_t IRSYN_MANAGER::domain_slack(const KEM_NODE* node) const {
  if (!node) return IRSYN_NO_SLACK;
  const auto map = sta_get_node_wns_map(node, true);
  auto it = map.find(m_domain);
  return it == map.end() ? IRSYN_NO_SLACK : it->second;
}

std::int32_t IRSYN_MANAGER::get_min_node_slack(const KEM_NODE* node) const { return domain_slack(node); }

std::int32_t IRSYN_MANAGER::get_min_slack(const VOK_ATOM_OTERM* oterm) const {
  return oterm ? domain_slack(m_kem_netlist->get_kem_node_from_oterm(oterm)) : IRSYN_NO_SLACK;
}

std::int32_t IRSYN_MANAGER::get_min_slack(const VOK_ATOM_ITERM* iterm) const {
  return iterm ? domain_slack(m_kem_netlist->get_kem_node_from_iterm(iterm)) : IRSYN_NO_SLACK;
}

std::int32_t IRSYN_MANAGER::get_domain_wns() const {
  return velmo_get_domain_wns(m_kem_netlist, m_domain, IRSYN_NO_SLACK);
}

std::int32_t IRSYN_MANAGER::get_wns_cost() const { return velmo_get_wns_cost(m_kem_netlist); }

KEM_NODE* IRSYN_MANAGER::get_kem_node_for_oterm(const VOK_ATOM_OTERM* oterm) const {
  return oterm ? m_kem_netlist->get_kem_node_from_oterm(oterm) : nullptr;
}

KEM_NODE* IRSYN_MANAGER::get_kem_node_for_iterm(const VOK_ATOM_ITERM* iterm) const {
  return iterm ? m_kem_netlist->get_kem_node_from_iterm(iterm) : nullptr;
}

std::int32_t IRSYN_MANAGER::get_min_node_hold_slack(const KEM_NODE* node) const {
  return sta_get_node_worst_hold_slack(node, true);
}

std::int32_t IRSYN_MANAGER::get_min_hold_slack(const VOK_ATOM_ITERM* iterm) const {
  return get_min_node_hold_slack(get_kem_node_for_iterm(iterm));
}

std::int32_t IRSYN_MANAGER::get_min_hold_slack(const VOK_ATOM_OTERM* oterm) const {
  return get_min_node_hold_slack(get_kem_node_for_oterm(oterm));
}

void IRSYN_MANAGER::trace_slack_fwd_thru_zotas(const VOK_ATOM_OTERM* oterm, std::int32_t* setup,
                                               std::int32_t* hold) const {
  if (!oterm) return;
  for (const VOK_ATOM_ITERM* t : oterm->cfanout(VOK_TRAVERSE_AS_STORED)) {
    const VOK_ATOM_NODE* reg = t->get_my_node();
    if (!reg || !ZEL_ATOM_UTIL::is_zota_marked_reg(reg)) continue;
    const VOK_ATOM_OTERM* q = reg->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
    if (!q) continue;
    *setup = std::min(*setup, get_min_slack(q));
    *hold = std::min(*hold, get_min_hold_slack(q));
    trace_slack_fwd_thru_zotas(q, setup, hold);
  }
}

void IRSYN_MANAGER::trace_slack_bwd_thru_zotas(const VOK_ATOM_ITERM* iterm, std::int32_t* setup,
                                               std::int32_t* hold) const {
  for (const VOK_ATOM_ITERM* t = iterm; t;) {
    const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
    const VOK_ATOM_NODE* reg = src ? src->get_my_node() : nullptr;
    if (!reg || !ZEL_ATOM_UTIL::is_zota_marked_reg(reg)) return;
    const VOK_ATOM_ITERM* d = reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    if (!d) return;
    if (const KEM_NODE* node = m_kem_netlist->get_kem_node_from_iterm(d)) {
      const auto map = sta_get_node_wns_map(node, true);
      if (auto it = map.find(m_domain); it != map.end()) *setup = std::min(*setup, it->second);
    }
    *hold = std::min(*hold, get_min_hold_slack(d));
    t = d;
  }
}

// ---------------------------------------------------------------- acceptance

namespace {
template <class TERM> KEM_NODE* node_of(const KEM_NETLIST* kem, const TERM* term);
template <> KEM_NODE* node_of(const KEM_NETLIST* kem, const VOK_ATOM_OTERM* t) {
  return t ? kem->get_kem_node_from_oterm(t) : nullptr;
}
template <> KEM_NODE* node_of(const KEM_NETLIST* kem, const VOK_ATOM_ITERM* t) {
  return t ? kem->get_kem_node_from_iterm(t) : nullptr;
}

template <class TERM>
bool judge(IRSYN_MANAGER* m, const KEM_NETLIST* kem, const TERM* term, std::int32_t old_slack) {
  const KEM_NODE* node = node_of(kem, term);
  std::int32_t now = IRSYN_NO_SLACK;
  if (node) {
    const auto map = sta_get_node_wns_map(node, true);
    if (auto it = map.find(m->m_domain); it != map.end()) now = it->second;
  }
  if (old_slack >= now) {
    msg_vdebug_impl(2, "VM Debug: slack worse %d -> %d", old_slack, now);
    return false;
  }
  const std::int32_t hold = node ? sta_get_node_worst_hold_slack(node, true) : IRSYN_NO_SLACK;
  if (hold < m->m_hold_margin) {
    msg_vdebug_impl(2, "VM Debug: hold fail %d", hold);
    return false;
  }
  const std::int32_t cost = m->get_wns_cost();
  if (cost < m->m_wns_cost) {
    msg_vdebug_impl(2, "VM Debug: wns worse %d -> %d", m->m_wns_cost, cost);
    return false;
  }
  m->m_wns_cost = cost;
  msg_vdebug_impl(2, "VM Debug: slack better %d -> %d, hold pass %d, wns %d", old_slack, now, hold, cost);
  return true;
}
}  // namespace

bool IRSYN_MANAGER::is_solution_better(const VOK_ATOM_OTERM* oterm, std::int32_t old_slack) {
  return judge(this, m_kem_netlist, oterm, old_slack);
}

bool IRSYN_MANAGER::is_solution_better(const VOK_ATOM_ITERM* iterm, std::int32_t old_slack) {
  return judge(this, m_kem_netlist, iterm, old_slack);
}

// ---------------------------------------------------------------- LUT descriptions

std::uint32_t IRSYN_MANAGER::expand_lut(const VOK_ATOM_NODE* atom, std::uint64_t* mask, int codes[8], bool inv[8],
                                        std::uint32_t seed) {
  std::uint32_t h = xorshift(seed ^ static_cast<std::uint32_t>(atom->get_id()));
  *mask = ZEL_LCELL_UTIL::get_lutmask(atom);
  for (int i = 0; i < 8; ++i) {
    codes[i] = IRSYN_CODE_UNUSED;
    inv[i] = false;
  }
  for (const VOK_ATOM_ITERM* t : atom->citerms()) {
    if (!t->is_used()) continue;
    const int i = t->get_any_usage_as() - DB_INPUT_PORT_LUT_DATA;
    if (i < 0 || i > 7) ie("iidx >= 0 && iidx <= 7", __LINE__);
    inv[i] = t->is_inverted();
    const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
    if (!src) {
      // A tied input reads its tie value through its inversion flag.
      const bool reads_one = t->is_connected() && (!t->is_tie_low() != t->is_inverted());
      codes[i] = reads_one ? IRSYN_CODE_ONE : IRSYN_CODE_ZERO;
      continue;
    }
    std::int32_t s = domain_slack(m_kem_netlist->get_kem_node_from_iterm(t));
    if (s == IRSYN_ANALYSER_NO_SLACK) s = IRSYN_NO_SLACK;
    codes[i] = add_div_var(src, s);
    h = xorshift(h ^ static_cast<std::uint32_t>(s));
  }
  return h;
}

int IRSYN_MANAGER::add_div_var(const VOK_ATOM_OTERM* oterm, std::int32_t slack) {
  const VOK_ATOM_LOGICAL_PORT port = vok_get_logical_port(oterm);
  for (std::size_t i = 0; i < m_vars.size(); ++i)
    if (m_vars[i].port == port) {
      m_vars[i].slack = std::min(m_vars[i].slack, slack);
      return static_cast<int>(i);
    }
  m_vars.push_back({port, slack});
  return static_cast<int>(m_vars.size() - 1);
}

void IRSYN_MANAGER::print_lut_info(const char* label, std::uint64_t mask, const int codes[8], const bool inv[8]) const {
  char text[32];
  std::snprintf(text, sizeof text, "64'h%016jx", static_cast<std::uintmax_t>(mask));
  msg_vdebug_impl(2, "VM Debug: %s mask %s", label, text);
  for (int i = 0; i < 8; ++i) {
    const char* rel = inv[i] ? "!=" : "==";
    if (codes[i] >= 0) {
      const IRSYN_VAR& v = m_vars.at(static_cast<std::size_t>(codes[i]));
      msg_vdebug_impl(2, "VM Debug: %s input %d %s aid%u %d", label, i, rel, v.port.get_atom_id(), v.slack);
    } else {
      msg_vdebug_impl(2, "VM Debug: %s input %d %s %d", label, i, rel, codes[i]);
    }
  }
}

// ---------------------------------------------------------------- edits

PELK IRSYN_MANAGER::get_port_sym(int slot) {
  if (slot < 0 || slot > 7) ie("idx >= 0 && idx <= 7", __LINE__);
  return vok_input_port_symbol(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + slot));
}

VOK_ATOM_ITERM* IRSYN_MANAGER::get_luti(std::uint32_t atom_id, int slot) const {
  return vok_find_iterm(m_atom_netlist, VOK_ATOM_LOGICAL_PORT(atom_id, get_port_sym(slot), 0));
}

VOK_ATOM_NODE* IRSYN_MANAGER::find_atom(std::uint32_t atom_id) const {
  if (VOK_ATOM_NODE* a = m_atom_netlist->get_atom_by_id(static_cast<int>(atom_id))) return a;
  for (VOK_ATOM_NODE* a : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (a->get_id() == static_cast<int>(atom_id)) return a;
  return nullptr;
}

void IRSYN_MANAGER::connect_port_to(std::uint32_t atom_id, int slot, int code, bool inv) {
  const VOK_ATOM_LOGICAL_PORT input(atom_id, get_port_sym(slot), 0);
  if (code >= 0)
    m_dux->connect(m_vars.at(static_cast<std::size_t>(code)).port, input, inv, false);
  else if (code == IRSYN_CODE_ZERO || code == IRSYN_CODE_ONE)
    m_dux->connect_to_constant(input, code == IRSYN_CODE_ONE);
}

void IRSYN_MANAGER::fake_mask_set(std::uint32_t atom_id) {
  VOK_ATOM_NODE* atom = find_atom(atom_id);
  if (!atom) return;
  VOK_LUTMASK mask;
  mask.set_value(6, ZEL_LCELL_UTIL::get_lutmask(atom));
  m_dux->set_lutmask(atom, mask);
}

// ---------------------------------------------------------------- dump

void IRSYN_MANAGER::dump_netlist() const {
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (!device) ie("dev_device", __LINE__);
  const DEV_DIE_INFO* die = device->get_die_info();
  if (!die) ie("die_info", __LINE__);
  const R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
  if (!r5t) ie("r5t_iface", __LINE__);
  std::set<std::tuple<int, int, int>> taken;
  std::vector<int> representatives;
  for (const VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_lcell_comb()) continue;
    const int gid = atom->get_location_index();
    if (gid == -1) ie("gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    DEV_LOCATION loc;
    die->get_location(static_cast<unsigned>(gid), loc);
    if (taken.insert({loc[DEV_LOCATION_X], loc[DEV_LOCATION_Y], loc[DEV_LOCATION_SUB] / 6}).second)
      representatives.push_back(gid);
  }
  char text[32];
  for (int gid : representatives) {
    msg_vdebug_impl(2, "VM Debug: dump ALE");
    for (const VOK_ATOM_NODE* atom : m_place_db->get_ale_atoms_of(static_cast<std::uint32_t>(gid))) {
      std::string meta;
      for (const auto& [name, value] : r5t->get_atom_metadata(atom->get_id()))
        meta += std::string(" ") + name.cname() + ":" + value.cname();
      const unsigned aid = static_cast<unsigned>(atom->get_id());
      if (atom->is_lcell_comb()) {
        std::snprintf(text, sizeof text, "64'h%016jx", static_cast<std::uintmax_t>(ZEL_LCELL_UTIL::get_lutmask(atom)));
        msg_vdebug_impl(2, "VM Debug: dump   aid%u mask %s meta %s", aid, text, meta.c_str());
      } else {
        msg_vdebug_impl(2, "VM Debug: dump   aid%u type %d meta %s", aid, atom->get_atom_type(), meta.c_str());
      }
      const std::string name = atom->get_instance_name() ? atom->get_instance_name()->get_short_hpath(OMZ_HPATH_FORMAT_TYPE(0)) : "";
      msg_vdebug_impl(2, "VM Debug: dump   name %s", name.c_str());
      for (const VOK_ATOM_ITERM* t : atom->citerms()) {
        std::string cells;
        for (const PELK& p : r5t->get_atom_mapping(t)) cells += std::string(" ") + p.cname();
        const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
        const unsigned src_id = src && src->get_my_node() ? static_cast<unsigned>(src->get_my_node()->get_id()) : 0u;
        msg_vdebug_impl(2, "VM Debug: dump     iterm %s src aid%u slack %d pelk %s",
                        vok_input_port_symbol(t->get_port_type()).cname(), src_id, get_min_slack(t), cells.c_str());
      }
    }
  }
}
