// The retimer's timing service (IRTM_UTIL).
#include <algorithm>
#include <climits>
#include <cmath>

#include "cfg/cfg.h"
#include "hov/hov_utility.h"
#include "pexa/pexa_utility.h"
#include "velmo_debug.h"
#include "velmo_irtm_test.h"
#include "velmo_wns_cost.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

IRTM_UTIL* IRTM_UTIL::s_instance = nullptr;

std::int32_t irtm_seconds_to_ps(double seconds) {
  // Out-of-range values (the timing models' 1.0e30 "none") saturate rather
  // than overflow.
  const double ps = seconds * 1e12;
  const double r = ps < 0 ? ps - 0.5 : ps + 0.5;
  if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (r <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<std::int32_t>(r);
}

IRTM_UTIL::IRTM_UTIL(WEXAN_ENV* env, KEM_NETLIST* kem)
    : ZOTA::UTIL(PEXA_UTILITY::get_current_device()),
      m_env(env),
      m_device(PEXA_UTILITY::get_current_device()),
      m_die(m_device ? m_device->get_die_info() : nullptr),
      m_place_info(m_die && m_die->get_wump_die_info() ? m_die->get_wump_die_info()->get_place_info() : nullptr),
      m_route_info(m_die && m_die->get_wump_die_info() ? m_die->get_wump_die_info()->get_route_info() : nullptr),
      m_all_corners(!cfg_is_on("muvo_zota_skip_load_all_corners", false) &&
                    !cfg_is_on("muvo_zota_skip_hold_analysis", false)),
      m_kem(kem),
      m_block_db(CLK::obtain_block_db(m_device)),
      m_amm(ZEL_UTIL::get_atom_mod_manager()) {
  m_amm->set_suppress_messages(true);
}

IRTM_UTIL::~IRTM_UTIL() = default;

void IRTM_UTIL::set_hov_incr(HOV_INCR* incr) { m_hov_incr.reset(incr); }

void IRTM_UTIL::update_multi_corner_info() {
  if (!m_corners.empty() || !m_kem) return;
  const DEV_DEVICE_ENUM device = m_device->get_basic_info()->get_device_enum();
  const KEM_CORNER_MANAGER* cm = m_kem->get_corner_manager();
  const auto& corners = cm->get_loaded_corners();
  for (int i = 0; i < static_cast<int>(corners.size()); ++i) {
    if (i == cm->get_current_corner_id()) m_current_corner = i;
    const KEM_TIMING_MODEL& model = corners[static_cast<std::size_t>(i)];
    m_models.push_back(YEB_TIMING_MODEL::get_timing_model(device, model.get_corner(), model));
    m_corners.push_back(i);
  }
  if (m_models.empty()) return;
  const YEB_TIMING_MODEL& current = *m_models[static_cast<std::size_t>(std::max(m_current_corner, 0))];
  std::int32_t smallest = 0x7fffffff;
  for (int input = 0; input < 6; ++input) {
    YEB_CELL_DELAY delay;
    current.get_lut_input_delay(input, 1, delay);
    smallest = std::min(smallest, yeb_max(delay));
  }
  m_min_lut_input_delay = smallest;
}

std::int32_t IRTM_UTIL::get_min_node_slack(const KEM_NODE* node) const {
  if (!node) return IRTM_NO_SLACK;
  std::int32_t best = IRTM_NO_SLACK;
  for (const auto& [domain, slack] : sta_get_node_wns_map(node, true))
    if (slack != IRTM_NO_SLACK && (best == IRTM_NO_SLACK || slack < best)) best = slack;
  return best;
}

std::int32_t IRTM_UTIL::get_domain_wns(const HOV_INCR_WNS_DOMAIN& domain) const {
  return velmo_get_domain_wns(m_kem, domain, IRTM_NO_SLACK);
}

std::int32_t IRTM_UTIL::get_wns_cost() const { return velmo_get_wns_cost(m_kem); }

std::string IRTM_UTIL::get_gid_string(std::uint32_t gid) const {
  if (gid == 0xFFFFFFFFu || !m_die || !m_die->get_wump_die_info()) return "?";
  return m_die->get_wump_die_info()->get_gid_string(gid);
}

bool IRTM_UTIL::get_gid_location(std::uint32_t gid, PLACE_DB::LOCATION* location) const {
  if (gid == 0xFFFFFFFFu) return false;
  if (static_cast<std::int32_t>(gid) < 0) {
    if (!m_route_info || !m_route_info->get_element_by_gid(gid)) return false;
    const WUMP_ROUTE_NODE node = m_route_info->get_route_node_of(gid);
    location->x = static_cast<std::uint32_t>(node.x);
    location->y = static_cast<std::uint32_t>(node.y);
    location->z = static_cast<std::uint32_t>(node.sub_location);
    location->index = node.index;
    location->element = static_cast<std::uint16_t>(node.element_type);
    return true;
  }
  if (!m_place_info || gid >= m_place_info->get_location_table().size()) return false;
  const DEV_SITE& site = m_place_info->get_location_table()[gid];
  location->x = site.x;
  location->y = site.y;
  location->z = site.z;
  location->index = -1;
  location->element = 0;
  return true;
}

std::int32_t IRTM_UTIL::get_lab_zota_gid(const VOK_ATOM_ITERM* iterm) const {
  if (!iterm || !m_place_info) return -1;
  const VOK_ATOM_NODE* atom = iterm->get_my_node();
  const int usage = iterm->get_any_usage_as();
  int b;
  if (atom->is_ff()) {
    if (usage != 8 && usage != 30) return -1;
    b = usage == 30 ? 1 : 0;
  } else if (atom->is_lutram()) {
    if (usage != 42 && usage != 6) return -1;
    b = usage == 6 ? 1 : 0;
  } else {
    return -1;
  }
  PLACE_DB::LOCATION loc;
  if (!get_gid_location(atom->get_location_gid(), &loc)) return -1;
  const int z = static_cast<int>(loc.z);
  const int index = 2 * (30 + 2 * (z / 6) + (z % 6 >= 3 ? 1 : 0)) + (1 - b);
  return static_cast<std::int32_t>(
      m_place_info->get_global_id(643, static_cast<int>(loc.x), static_cast<int>(loc.y), index));
}

std::int32_t IRTM_UTIL::get_max_re_hop_delay(std::uint32_t gid, int routing_element_id) const {
  float m = 0.0f;
  for (int corner : m_corners) {
    if (routing_element_id == -1) continue;
    float acc[4] = {0, 0, 0, 0};
    int steps = 0;
    for (int e = routing_element_id;;) {
      const KEM_NETLIST::RE_HOP& hop = m_kem->get_re_hop(e);
      if (hop.gid == gid) break;
      float ev[4];
      m_kem->get_re_hop_delays(e, corner, ev);
      if (hop.parent < 0) {
        if (steps == 0) {
          std::copy(ev, ev + 4, acc);
        } else {
          if (hop.inversion != 0) {
            std::swap(acc[0], acc[1]);
            std::swap(acc[2], acc[3]);
          }
          for (int k = 0; k < 4; ++k) acc[k] += ev[k];
        }
        break;
      }
      const int p = hop.parent;
      if (!m_kem->has_re_hop(p)) MSG_INTERNAL_ERROR::report("has_re_hop(parent_id)", "VELMO", __FILE__, __LINE__);
      const KEM_NETLIST::RE_HOP& parent = m_kem->get_re_hop(p);
      float pv[4];
      m_kem->get_re_hop_delays(p, corner, pv);
      const bool same = hop.inversion == parent.inversion;
      const float step[4] = {ev[0] - (same ? pv[0] : pv[1]), ev[1] - (same ? pv[1] : pv[0]),
                             ev[2] - (same ? pv[2] : pv[3]), ev[3] - (same ? pv[3] : pv[2])};
      if (steps == 0) {
        std::copy(step, step + 4, acc);
      } else {
        if (!same) {
          std::swap(acc[0], acc[1]);
          std::swap(acc[2], acc[3]);
        }
        for (int k = 0; k < 4; ++k) acc[k] += step[k];
      }
      ++steps;
      e = p;
    }
    for (float v : acc) m = std::max(m, v);
  }
  return static_cast<std::int32_t>(m * 1e12f + 0.5f);
}

bool IRTM_UTIL::is_timing_dont_touch(const VOK_ATOM_NODE* atom) {
  if (!atom) return false;
  auto found = m_dont_touch_cache.find(atom->get_id());
  if (found != m_dont_touch_cache.end()) return found->second;
  bool& result = m_dont_touch_cache[atom->get_id()];
  result = false;
  std::uint64_t flags = 0;
  if (!m_amm->is_modification_allowed(atom, 41, "ZOTA", &flags) && (flags & m_restriction_mask) != 0) {
    result = true;
    return true;
  }
  const KEM_NETLIST_CELL* cell = m_kem ? m_kem->get_cell_from_atom_id(atom->get_id()) : nullptr;
  if (!cell) return false;
  bool dont_touch = false;
  for (int id : cell->get_node_ids()) {
    const KEM_NODE* node = m_kem->get_node(id);
    if (!node) continue;
    if (!sta_slack_can_be_updated_incrementally(node) || node->has_any_flag(1u << 29)) {
      dont_touch = true;
      break;
    }
    const int kind = node->has_any_flag((1u << 15) | (1u << 16)) ? 1 : 3;
    int e = node->begin_fanin();
    if (kind != 3)
      while (e >= 0 && m_kem->get_edge(e) && m_kem->get_edge(e)->get_kind() != kind) e = m_kem->get_edge(e)->get_next_fanin();
    for (; e >= 0;) {
      const KEM_EDGE* edge = m_kem->get_edge(e);
      if (!edge) break;
      if ((edge->get_flag_bits() & 3u) != 0) {
        dont_touch = true;
        break;
      }
      e = edge->get_next_fanin_of_kind(kind);
    }
    if (dont_touch) break;
  }
  m_dont_touch_cache[atom->get_id()] = dont_touch;
  return dont_touch;
}

bool IRTM_UTIL::lab_contains_timing_dont_touch(const std::pair<std::uint32_t, std::uint32_t>& xy) {
  auto it = m_lab_dont_touch_cache.find(xy);
  if (it != m_lab_dont_touch_cache.end()) return it->second;
  bool result = false;
  for (const VOK_ATOM_NODE* atom : PLACE_DB::get_atoms_at(xy.first, xy.second))
    if (is_timing_dont_touch(atom)) {
      result = true;
      break;
    }
  m_lab_dont_touch_cache[xy] = result;
  return result;
}

bool IRTM_UTIL::is_fed_by_partition(const VOK_ATOM_ITERM* iterm) const {
  if (!iterm) return false;
  const VOK_ATOM_OTERM* src = iterm->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (!src || !src->get_my_node()) return false;
  return src->get_my_node()->get_parent_netlist() != iterm->get_my_node()->get_parent_netlist();
}

bool IRTM_UTIL::feeds_partition(const VOK_ATOM_OTERM* oterm) {
  if (!oterm || !oterm->get_my_node()) return false;
  const std::tuple<int, int, int> key{oterm->get_my_node()->get_id(), static_cast<int>(oterm->get_port_type()),
                                      oterm->get_index()};
  auto it = m_feeds_partition_cache.find(key);
  if (it != m_feeds_partition_cache.end()) return it->second;
  bool result = false;
  const VOK_ATOM_NETLIST* own = oterm->get_my_node()->get_parent_netlist();
  for (const VOK_ATOM_ITERM* t : oterm->cfanout(VOK_TRAVERSE_HIERARCHICAL))
    if (t->get_my_node() && t->get_my_node()->get_parent_netlist() != own) {
      result = true;
      break;
    }
  m_feeds_partition_cache[key] = result;
  return result;
}

namespace {
bool has_fanout(const VOK_ATOM_OTERM* o) { return !o->cfanout(VOK_TRAVERSE_HIERARCHICAL).empty(); }
}  // namespace

bool IRTM_UTIL::is_retimable_comb(const VOK_ATOM_NODE* atom) {
  if (!atom || !atom->is_lcell_comb()) return false;
  const WEXAN_ATOM_MOD_DRC* drc = WEXAN_ATOM_MOD_DRC::current();
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i) {
    const VOK_ATOM_OTERM* o = atom->get_oterm_slot(i);
    if (!o) continue;
    if (has_fanout(o)) {
      const int usage = o->get_any_usage_as();
      if (usage == 8 || usage == 252 || usage == 0 || feeds_partition(o)) return false;
    }
    if (!drc->atom_mod_allowed_for_operation(o, 5)) return false;
  }
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
    const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
    if (!t || !t->is_connected()) continue;
    const int usage = t->get_any_usage_as();
    if (usage == 2 || usage == 273 || is_fed_by_partition(t)) return false;
  }
  const std::uint64_t mask = atom->get_lutmask().get_value();
  return mask != 0 && mask != ~std::uint64_t{0};
}

bool IRTM_UTIL::is_retimable_arith(const VOK_ATOM_NODE* atom) {
  if (!atom || !atom->is_lcell_comb()) return false;
  const WEXAN_ATOM_MOD_DRC* drc = WEXAN_ATOM_MOD_DRC::current();
  bool result_mark = false, arith_input = false;
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i) {
    const VOK_ATOM_OTERM* o = atom->get_oterm_slot(i);
    if (!o) continue;
    if (has_fanout(o)) {
      const int usage = o->get_any_usage_as();
      if (usage == 8) {
        if (feeds_partition(o)) return false;
        result_mark = true;
      } else if (usage == 0) {
        result_mark = true;
      } else if (usage == 9 || usage == 252) {
        return false;
      }
    }
    if (!drc->atom_mod_allowed_for_operation(o, 5)) return false;
  }
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
    const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
    if (!t || !t->is_connected()) continue;
    const int usage = t->get_any_usage_as();
    if (usage == 2 || (usage >= 12 && usage <= 15)) arith_input = true;
    if ((usage >= 16 && usage <= 19) || usage == 273 || is_fed_by_partition(t)) return false;
  }
  return result_mark || arith_input;
}

std::int32_t IRTM_UTIL::yeb_max(const YEB_CELL_DELAY& delay) {
  float m = 0.0f;
  for (int i = 0; i < 8; ++i) m = std::max(m, delay.values[i]);
  return irtm_seconds_to_ps(m);
}
