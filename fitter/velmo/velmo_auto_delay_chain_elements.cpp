// Optimisation elements (one per pin and chain), the edge records they act
// on, and the per-pin groups the search works on.
#include <algorithm>
#include <climits>
#include <string>
#include <unordered_set>

#include "cfg/cfg.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "nolt/nolt_utilities.h"
#include "omz/omz_instance_name.h"
#include "velmo_auto_delay_chain_internal.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_debug.h"
#include "velmo_msgs.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_msgr.h"

using velmo_auto_dc::BIN;
using velmo_auto_dc::internal_error;

namespace velmo_auto_dc {
std::string atom_name(const VOK_ATOM_NODE* atom) {
  const OMZ_INSTANCE_NAME* name = atom ? atom->get_instance_name() : nullptr;
  return name ? name->get_short_hpath(OMZ_HPATH_FORMAT_SHORT) : std::string();
}
}  // namespace velmo_auto_dc

namespace {
constexpr const char* kSeparator = "______________________________________________________";

// Appends a record to an element's pos_edges unless it is there: the same
// contents and order as a scan of the list; a short list is scanned, a long
// one keeps a hash set beside it.
void add_unique_pos_edge(OPTIMIZATION_ELEMENT* element, KEM_EDGE_SLACK_INFO* info) {
  constexpr std::size_t kScanned = 32;
  std::vector<KEM_EDGE_SLACK_INFO*>& list = element->pos_edges;
  auto& set = element->pos_edge_set;
  if (set.empty() && list.size() < kScanned) {
    if (std::find(list.begin(), list.end(), info) != list.end()) return;
    list.push_back(info);
    if (list.size() == kScanned) set.insert(list.begin(), list.end());
    return;
  }
  if (set.insert(info).second) list.push_back(info);
}
}  // namespace

// ---------------------------------------------------------------- records

KEM_EDGE_SLACK_INFO::KEM_EDGE_SLACK_INFO() {
  for (auto& kind : slack)
    for (std::int32_t& s : kind) s = VELMO_NO_SLACK_VALUE;
}

KEM_EDGE* KEM_EDGE_SLACK_INFO::get_edge() const {
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  if (edge_id < 0 || kem == nullptr) return nullptr;
  if (kem->get_edge_count() == INT_MAX) internal_error("kem_netlist->get_edge_count() < INT_MAX", __LINE__);
  if (edge_id >= kem->get_edge_count()) internal_error("num_edge > this->edge_id", __LINE__);
  return kem->get_edge(edge_id);
}

// ---------------------------------------------------------------- elements

void VELMO_AUTO_DELAY_CHAIN_OP::build_optimization_elements() {
  BIN bin("build_optimization_elements");
  for (KEM_EDGE* e : m_owner->get_pin_to_core_edges())
    build_optimization_elements_for_edge(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, e, nullptr);
  for (KEM_EDGE* e : m_owner->get_core_to_pin_edges())
    build_optimization_elements_for_edge(VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN, e, nullptr);
  if (m_pll_delay_chains)
    for (auto& [id, pll] : m_owner->get_pll_delay_chain_edges())
      build_optimization_elements_for_edge(VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN, pll.edge, &pll);
  if (m_pll_phase_shift)
    for (auto& [id, pll] : m_owner->get_pll_phase_shift_edges())
      build_optimization_elements_for_edge(VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN, pll.edge, &pll);
  update_optimization_elements_kem_edge_lists();
}

void VELMO_AUTO_DELAY_CHAIN_OP::build_optimization_elements_for_edge(int group, KEM_EDGE* edge,
                                                                     const PLL_AFFECTED_KEM_EDGE* pll_edge) {
  if (edge == nullptr || edge->get_src_node() == nullptr || edge->get_slack() == KEM_QUICK_NO_SLACK) return;
  const auto g = static_cast<VELMO_OPT_ELEMENT_GROUP_TYPE>(group);
  std::vector<YOS_UINT_DATA_ENUM> types;
  bool need_oe_offset = false, is_oe_edge = false;
  get_optimization_elements_for_given_edge(edge, types, g, &need_oe_offset, &is_oe_edge);
  KEM_EDGE_SLACK_INFO* info = nullptr;
  for (YOS_UINT_DATA_ENUM t : types) {
    if (skip_creating_optimization_element(edge, t)) continue;
    if (info == nullptr) {
      info = build_kem_edge_slack_info_for_given_edge(edge, g, t);
      if (info == nullptr) internal_error("kem_edge_slack_info != NULL", __LINE__);
    }
    if (g == VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN || g == VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN) {
      auto atom_it = pll_edge->atoms.begin();
      auto rel_it = pll_edge->relationships.begin();
      for (; atom_it != pll_edge->atoms.end(); ++atom_it, ++rel_it) {
        if (rel_it == pll_edge->relationships.end()) internal_error("atom_iter == pll_edge->atoms.end()", __LINE__);
        OPTIMIZATION_ELEMENT* element = is_there_existing_optimization_element(edge, t, *atom_it);
        if (element == nullptr) element = build_optimization_element(edge, t, g, info->edge_type, *atom_it);
        info->opt_elements.emplace_back(element, *rel_it);
      }
      if (rel_it != pll_edge->relationships.end()) internal_error("rel_iter == pll_edge->relationships.end()", __LINE__);
      continue;
    }
    OPTIMIZATION_ELEMENT* element = is_there_existing_optimization_element(edge, t, nullptr);
    if (element == nullptr) element = build_optimization_element(edge, t, g, info->edge_type, nullptr);
    info->opt_elements.emplace_back(element, -1);
  }
}

void VELMO_AUTO_DELAY_CHAIN_OP::get_optimization_elements_for_given_edge(KEM_EDGE* edge,
                                                                         std::vector<YOS_UINT_DATA_ENUM>& types,
                                                                         VELMO_OPT_ELEMENT_GROUP_TYPE group,
                                                                         bool* need_oe_offset, bool* is_oe_edge) {
  m_owner->get_delay_chain_type_vec_new(edge, types, group, need_oe_offset, is_oe_edge);
  append_fine_delay_chains(types);
}

void VELMO_AUTO_DELAY_CHAIN_OP::append_fine_delay_chains(std::vector<YOS_UINT_DATA_ENUM>& types) const {
  const int family = static_cast<int>(m_family);
  if (family != 7 && family != 37 && family != 62) return;
  auto has = [&](int t) { return std::find(types.begin(), types.end(), static_cast<YOS_UINT_DATA_ENUM>(t)) != types.end(); };
  const bool d1 = has(144), d5 = has(152), d6 = has(153);
  if (d1) types.push_back(static_cast<YOS_UINT_DATA_ENUM>(300));
  if (d5) types.push_back(static_cast<YOS_UINT_DATA_ENUM>(305));
  if (d6) types.push_back(static_cast<YOS_UINT_DATA_ENUM>(301));
}

bool VELMO_AUTO_DELAY_CHAIN_OP::skip_creating_optimization_element(KEM_EDGE* edge, YOS_UINT_DATA_ENUM type) {
  VOK_ATOM_NODE* atom = m_owner->get_io_atom(edge, type);
  const KEM_NODE* src = edge->get_src_node();
  if (m_body->is_fake_pll_enum(type)) return false;
  auto explain = [&](const char* what, const char* skipping) {
    if (!m_verbose) return;
    msg_vdebug_impl(2, "%s", kSeparator);
    msg_vdebug_impl(2, "**** Edge:       %d ", edge->get_id());
    msg_vdebug_impl(2, "**** Delay Type: %s ", velmo_get_delay_chain_string(type));
    msg_vdebug_impl(2, "**** pin:        %s  %s", velmo_auto_dc::atom_name(atom).c_str(), what);
    msg_vdebug_impl(2, "%s", skipping);
    msg_vdebug_impl(2, "%s", kSeparator);
  };
  // A chain without an I/O atom on this edge has nothing to set.
  const int t = static_cast<int>(type);
  if (atom != nullptr && (t == 12 || t == 13) && is_edge_clock_source(src)) {
    explain("is used as a clk.", "****             skipping the pad-to-core delay chain processing");
    return true;
  }
  if (atom != nullptr) {
    WEXAN_INCREMENTAL_UTILITY* reuse = m_env->get_netlist_reuse_utility();
    const bool allowed = reuse == nullptr || reuse->allowed_to_optimize_delay_chain(atom);
    if (allowed && !has_user_option(atom, type)) return false;
  }
  explain("has a user assignment or was prevented from being optimized by SIV.",
          "****             skipping the delay chain processing");
  return true;
}

bool VELMO_AUTO_DELAY_CHAIN_OP::is_edge_clock_source(const KEM_NODE* node) const {
  const HOV_CLOCK_UTIL* clocks = hov_get_clock_util();
  const KEM_NETLIST* kem = node->get_netlist();
  for (int id = node->begin_fanin(); id >= 0;) {
    const KEM_EDGE* e = kem->get_edge(id);
    if (e == nullptr) break;
    if (e->get_src_node() && clocks->is_clock(e->get_src_node(), false)) return true;
    id = e->get_next_fanin();
  }
  return false;
}

KEM_EDGE_SLACK_INFO* VELMO_AUTO_DELAY_CHAIN_OP::build_kem_edge_slack_info_for_given_edge(
    KEM_EDGE* edge, VELMO_OPT_ELEMENT_GROUP_TYPE group, YOS_UINT_DATA_ENUM) {
  auto* info = new KEM_EDGE_SLACK_INFO;
  info->edge_id = edge->get_id();
  info->edge_type = VELMO_KEM_EDGE_DATA;
  info->group_type = group;
  m_kem_edge_slack_infos.push_back(info);
  return info;
}

OPTIMIZATION_ELEMENT* VELMO_AUTO_DELAY_CHAIN_OP::is_there_existing_optimization_element(KEM_EDGE* edge,
                                                                                       YOS_UINT_DATA_ENUM type,
                                                                                       VOK_ATOM_NODE* atom) {
  if (atom == nullptr) {
    if (m_body->is_fake_pll_enum(type)) internal_error("We need an atom to define a PLL delay chain.", __LINE__);
    atom = m_owner->get_io_atom(edge, type);
  }
  auto it = m_element_map.find({atom, type});
  if (it == m_element_map.end()) return nullptr;
  if (m_verbose) msg_vdebug_impl(2, "Found optimization element for edge %d in map", edge->get_id());
  return it->second;
}

OPTIMIZATION_ELEMENT* VELMO_AUTO_DELAY_CHAIN_OP::build_optimization_element(KEM_EDGE* edge, YOS_UINT_DATA_ENUM type,
                                                                            VELMO_OPT_ELEMENT_GROUP_TYPE group,
                                                                            VELMO_KEM_EDGE_TYPE edge_type,
                                                                            VOK_ATOM_NODE* atom) {
  if (atom == nullptr) {
    if (m_body->is_fake_pll_enum(type)) internal_error("We need an atom to define a PLL delay chain.", __LINE__);
    atom = m_owner->get_io_atom(edge, type);
  }
  auto* element = new OPTIMIZATION_ELEMENT;
  element->delay_chain_type = type;
  element->edge_type = edge_type;
  element->group_type = group;
  element->atom = atom;
  element->initial_setting = static_cast<std::int32_t>(get_delay_chain_setting(atom, type));
  element->min_setting = 0;
  element->max_setting = get_max_delay_chain_setting(type);
  element->current_best_setting = element->initial_setting;
  element->tmp_setting = element->initial_setting;
  m_optimization_elements.push_back(element);
  m_element_map.emplace(ELEMENT_KEY{atom, type}, element);
  if (m_verbose) {
    msg_vdebug_impl(2, "Creating optimization element for edge:       %d", edge->get_id());
    msg_vdebug_impl(2, "                            delay type: %s", velmo_get_delay_chain_string(type));
  }
  return element;
}

void VELMO_AUTO_DELAY_CHAIN_OP::update_optimization_elements_kem_edge_lists() {
  for (KEM_EDGE_SLACK_INFO* info : m_kem_edge_slack_infos) {
    for (auto& [element, relationship] : info->opt_elements) {
      if (info->edge_type != VELMO_KEM_EDGE_DATA) internal_error("Unsupported edge type.", __LINE__);
      const int t = static_cast<int>(element->delay_chain_type);
      switch (element->group_type) {
        case VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN:
        case VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN:
          add_unique_pos_edge(element, info);
          break;
        case VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN: {
          if (relationship != 0 && relationship != 1) internal_error("Not a valid PLL edge relationship", __LINE__);
          const bool direct = t == 414 || t == 417;
          if (!direct && t != 415 && t != 416) internal_error("Not a valid PLL delay chain type", __LINE__);
          ((relationship == 0) == direct ? element->pos_edges : element->neg_edges).push_back(info);
          break;
        }
        case VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN:
          if (relationship == 0)
            element->pos_edges.push_back(info);
          else if (relationship == 1)
            element->neg_edges.push_back(info);
          else
            internal_error("Not a valid PLL edge relationship", __LINE__);
          break;
      }
    }
  }
}

bool VELMO_AUTO_DELAY_CHAIN_OP::is_edge_in_vec_list(KEM_EDGE_SLACK_INFO* info, std::vector<KEM_EDGE_SLACK_INFO*> list) {
  return std::find(list.begin(), list.end(), info) != list.end();
}

bool VELMO_AUTO_DELAY_CHAIN_OP::is_op_group_in_vec_list(OPTIMIZATION_GROUP* group, std::vector<OPTIMIZATION_GROUP*> list) {
  return std::find(list.begin(), list.end(), group) != list.end();
}

// ---------------------------------------------------------------- groups

void VELMO_AUTO_DELAY_CHAIN_OP::build_optimization_groups() {
  BIN bin("build_optimization_groups");
  for (OPTIMIZATION_ELEMENT* element : m_optimization_elements) {
    if (!m_body->is_fake_pll_enum(element->delay_chain_type) && m_util->is_dqsn(element->atom)) continue;
    if (element->edge_type != VELMO_KEM_EDGE_DATA) internal_error("Unsupported edge type.", __LINE__);
    auto it = m_group_map.find({element->atom, element->group_type});
    if (it != m_group_map.end()) {
      it->second->opt_elements.push_back(element);
      if (m_verbose)
        msg_vdebug_impl(2, "Found optimization group for atom %s %d", velmo_auto_dc::atom_name(element->atom).c_str(),
                        element->atom ? element->atom->get_id() : -1);
    } else {
      build_optimization_group(element, element->atom);
    }
  }
}

OPTIMIZATION_GROUP* VELMO_AUTO_DELAY_CHAIN_OP::build_optimization_group(OPTIMIZATION_ELEMENT* element,
                                                                        VOK_ATOM_NODE* atom) {
  auto* group = new OPTIMIZATION_GROUP;
  group->opt_elements.push_back(element);
  m_optimization_groups.push_back(group);
  m_group_map.emplace(GROUP_KEY{atom, element->group_type}, group);
  if (m_verbose)
    msg_vdebug_impl(2, "Creating a new optimization group for atom %s (%d)", velmo_auto_dc::atom_name(atom).c_str(),
                    atom ? atom->get_id() : -1);
  return group;
}

void VELMO_AUTO_DELAY_CHAIN_OP::identify_pin_to_core_optimization_groups_with_high_fanout_pins() {
  BIN bin("identify_pin_to_core_optimization_groups_with_high_fanout_pins");
  const int threshold = cfg_get_int_value("velmo_high_fanout_input_pins_thershold", 10000);
  for (OPTIMIZATION_GROUP* group : m_optimization_groups) {
    if (group->opt_elements.empty() || group->is_high_fanout_input_pin) continue;
    if (group->opt_elements.front()->group_type != VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN) continue;
    for (OPTIMIZATION_ELEMENT* element : group->opt_elements) {
      const int fanouts = static_cast<int>(element->pos_edges.size() + element->neg_edges.size());
      if (fanouts <= threshold) continue;
      group->is_high_fanout_input_pin = true;
      // In mode 2 the search takes such a pin like any other: the warning
      // says so rather than that its chains stay as they are.
      const std::string pin = velmo_auto_dc::atom_name(element->atom);
      m_msgr->add_msg(m_high_fanout_mode == 2
                          ? MSG_VELMO::W::VELMO_AUTO_DELAY_CHAIN_HIGH_INPUT_PIN_SEARCHED(pin, fanouts, threshold)
                          : MSG_VELMO::W::VELMO_AUTO_DELAY_CHAIN_DISABLE_HIGH_INPUT_PIN_OPTIMIZATION(pin, fanouts,
                                                                                                     threshold),
                      nullptr, nullptr);
      break;
    }
  }
}

void VELMO_AUTO_DELAY_CHAIN_OP::get_edge_vec_for_opt_group(OPTIMIZATION_GROUP* group,
                                                           std::vector<KEM_EDGE_SLACK_INFO*>& out) const {
  std::unordered_set<KEM_EDGE_SLACK_INFO*> seen;
  for (OPTIMIZATION_ELEMENT* element : group->opt_elements) {
    for (KEM_EDGE_SLACK_INFO* info : element->pos_edges)
      if (seen.insert(info).second) out.push_back(info);
    for (KEM_EDGE_SLACK_INFO* info : element->neg_edges)
      if (seen.insert(info).second) out.push_back(info);
  }
}

bool VELMO_AUTO_DELAY_CHAIN_OP::skip_pin_due_to_pll(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const {
  if (m_pll_compensation_check) return false;
  if (m_zel_atom_io_util == nullptr) return false;
  if (m_zel_atom_io_util->is_pll_compensated_io(atom)) return true;
  if (static_cast<int>(type) == 15) {
    const VOK_ATOM_NODE* paired = m_zel_atom_io_util->get_paired_io_atom(atom);
    return paired != nullptr && m_zel_atom_io_util->is_pll_compensated_io(paired);
  }
  return false;
}

int VELMO_AUTO_DELAY_CHAIN_OP::get_max_delay_chain_setting(YOS_UINT_DATA_ENUM type) const {
  const int family = static_cast<int>(m_family);
  if (static_cast<int>(type) == 144 && (family == 8 || family == 12 || family == 19)) return 16;
  return static_cast<int>(m_body->get_max_setting(type));
}
