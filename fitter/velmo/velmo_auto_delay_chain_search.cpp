// The automatic delay-chain pass's setting search: per group, every
// combination of the free elements' settings in odometer order (or a
// best-first branch and bound over partial assignments), scored by the
// group's worst slack less the PLL chains' penalty; the best combination is
// written to the atoms and the edge records are left at it.
#include <algorithm>
#include <cstdio>
#include <string>

#include "velmo_auto_delay_chain_internal.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"

using velmo_auto_dc::BIN;
using velmo_auto_dc::internal_error;

namespace {
constexpr std::int32_t kNone = VELMO_NO_SLACK_VALUE;

bool is_fixed(const OPTIMIZATION_ELEMENT* e) { return e->min_setting == e->max_setting; }
}  // namespace

// ---------------------------------------------------------------- groups

bool VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_groups(VELMO_OPT_ELEMENT_GROUP_TYPE type) {
  BIN bin("process_optimization_groups");
  bool result = true;
  for (OPTIMIZATION_GROUP* group : m_optimization_groups) {
    if (group->opt_elements.empty()) continue;
    const OPTIMIZATION_ELEMENT* first = group->opt_elements.front();
    if (first->group_type != type) continue;
    msg_vdebug_impl(2, "Optimizing Group: Atom Id: %s (%d)", velmo_auto_dc::atom_name(first->atom).c_str(),
                    first->atom ? first->atom->get_id() : -1);
    const bool ok = type == VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN ? process_phase_optimization_group(group)
                                                                   : process_optimization_group(group);
    result = result && ok;
  }
  return result;
}

bool VELMO_AUTO_DELAY_CHAIN_OP::process_phase_optimization_group(OPTIMIZATION_GROUP* group) {
  if (group->opt_elements.size() != 1)
    internal_error("Phase delay chain optimization groups should only possess only optimization element", __LINE__);
  return true;
}

bool VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_group(OPTIMIZATION_GROUP* group) {
  BIN bin("process_optimization_group");
  process_optimization_group_initialize(group);
  if (m_b_and_b) {
    process_optimization_group_determine_best_settings(group);
  } else {
    process_optimization_group_change_setting(group, true, false);
    do {
      process_optimization_group_evaulate_settings(group);
    } while (process_optimization_group_change_setting(group, false, false));
  }
  process_optimization_group_enforce_restrictions(group);
  // The PLL-compensated pin messages read every element's worst slacks at
  // the settings it starts from (the exhaustive search leaves them at the
  // minimum combination).
  for (OPTIMIZATION_ELEMENT* e : group->opt_elements) move_tmp_setting(e, e->initial_setting);
  const bool written = process_optimization_group_assign_optimized_settings(group);
  process_optimization_group_change_setting(group, false, true);
  return written;
}

void VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_group_initialize(OPTIMIZATION_GROUP* group) {
  group->current_best_score1_wc_slack = kNone;
  group->tmp_score1_wc_slack = kNone;
  group->current_best_score2_sum_of_wc_slack = 0;
  group->tmp_score2_sum_of_wc_slack = 0;
  const bool force_fix = group->is_high_fanout_input_pin && m_high_fanout_mode == 0;
  for (OPTIMIZATION_ELEMENT* e : group->opt_elements) {
    const auto s = static_cast<std::int32_t>(get_delay_chain_setting(e->atom, e->delay_chain_type));
    e->initial_setting = e->current_best_setting = e->tmp_setting = s;
    load_worse_case_slack_for_optimization_element(e);
    restrict_optimization_element(e, force_fix);
  }
}

void VELMO_AUTO_DELAY_CHAIN_OP::restrict_optimization_element(OPTIMIZATION_ELEMENT* e, bool force_fix) {
  if (force_fix || has_user_option(e->atom, e->delay_chain_type) ||
      (e->wc_slack[0] == kNone && e->wc_slack[1] == kNone))
    e->min_setting = e->max_setting = e->tmp_setting = e->initial_setting;
}

// ---------------------------------------------------------------- exhaustive search

bool VELMO_AUTO_DELAY_CHAIN_OP::move_tmp_setting(OPTIMIZATION_ELEMENT* e, std::int32_t setting) {
  if (e->tmp_setting == setting) return false;
  const std::int32_t old = e->tmp_setting;
  e->tmp_setting = setting;
  update_slack_info_for_optimization_group(e, old, setting);
  return true;
}

void VELMO_AUTO_DELAY_CHAIN_OP::append_to_trace(const char* text) const {
  if (!m_verbose_optimizations) return;
  if (std::FILE* f = std::fopen(velmo_optimization_timing_info_for_opt_element, "a")) {
    std::fputs(text, f);
    std::fclose(f);
  }
}

bool VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_group_change_setting(OPTIMIZATION_GROUP* group, bool reset,
                                                                          bool restore) {
  bool result = false;
  for (OPTIMIZATION_ELEMENT* e : group->opt_elements) {
    if (reset || restore) {
      result |= move_tmp_setting(e, reset ? e->min_setting : e->current_best_setting);
      if (m_verbose) dump_optimization_timing_info_for_opt_element(e);
      continue;
    }
    // Odometer, first element lowest: raise the first free element below
    // its maximum; the ones at their maximum before it wrap to the minimum.
    if (is_fixed(e)) continue;
    if (e->tmp_setting < e->max_setting) {
      move_tmp_setting(e, e->tmp_setting + 1);
      if (m_verbose) dump_optimization_timing_info_for_opt_element(e);
      append_to_trace("\n\nNEXT SETTING\n\n");
      return true;
    }
    if (move_tmp_setting(e, e->min_setting) && m_verbose) dump_optimization_timing_info_for_opt_element(e);
  }
  append_to_trace("\n\nNEXT SETTING\n\n");
  return result;
}

std::int32_t VELMO_AUTO_DELAY_CHAIN_OP::get_penalty_for_opt_element_setting(YOS_UINT_DATA_ENUM type, int setting) {
  switch (static_cast<int>(type)) {
    case 414:
    case 415:
      return 40 * setting;
    case 416:
    case 417:
      return 2 * setting;
    default:
      return 0;
  }
}

std::int32_t VELMO_AUTO_DELAY_CHAIN_OP::convert_temp_setting_to_penalty(OPTIMIZATION_GROUP* group) const {
  std::int32_t p = 0;
  for (const OPTIMIZATION_ELEMENT* e : group->opt_elements)
    p += get_penalty_for_opt_element_setting(e->delay_chain_type, e->tmp_setting);
  return p;
}

void VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_group_evaulate_settings(OPTIMIZATION_GROUP* group) {
  ++m_evaluations;
  std::int32_t& score1 = group->tmp_score1_wc_slack;
  std::int32_t& score2 = group->tmp_score2_sum_of_wc_slack;
  score1 = kNone;
  score2 = 0;
  const std::int32_t penalty = convert_temp_setting_to_penalty(group);
  for (const OPTIMIZATION_ELEMENT* e : group->opt_elements) {
    if (is_fixed(e)) continue;
    if (e->wc_slack[0] == kNone && e->wc_slack[1] == kNone)
      internal_error(
          "!(opt_element->wc_slack[0] == VOK_ILLEGAL_ZARN_DELAY && opt_element->wc_slack[1] == VOK_ILLEGAL_ZARN_DELAY )",
          __LINE__);
    std::int32_t v = e->wc_slack[0];
    if (v == kNone || (e->wc_slack[1] != kNone && e->wc_slack[1] < v)) v = e->wc_slack[1];
    score2 += v - penalty;
    if (score1 == kNone || score1 > v) score1 = v;
  }
  // No free element: the score stays "none" rather than a penalty taken
  // from the marker.
  if (score1 != kNone) score1 -= penalty;
  if (score1 > group->current_best_score1_wc_slack || group->current_best_score1_wc_slack == kNone ||
      (score1 == group->current_best_score1_wc_slack && score2 > group->current_best_score2_sum_of_wc_slack))
    process_optimization_group_accept_new_setting(group);
}

void VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_group_accept_new_setting(OPTIMIZATION_GROUP* group) {
  group->current_best_score1_wc_slack = group->tmp_score1_wc_slack;
  group->current_best_score2_sum_of_wc_slack = group->tmp_score2_sum_of_wc_slack;
  for (OPTIMIZATION_ELEMENT* e : group->opt_elements) e->current_best_setting = e->tmp_setting;
  append_to_trace("Best Setting Found\n");
}

// ---------------------------------------------------------------- branch and bound

OPTIMIZATION_ELEMENT_SETTING_TREE::OPTIMIZATION_ELEMENT_SETTING_TREE(OPTIMIZATION_GROUP* group)
    : m_group(group), m_root(nullptr, nullptr, 0, group->opt_elements.empty()) {}

std::size_t OPTIMIZATION_ELEMENT_SETTING_TREE::expand(OPTIMIZATION_ELEMENT_SETTING_NODE* node) {
  if (node->is_leaf() || !node->children.empty()) return node->children.size();
  std::size_t level = 0;
  for (const OPTIMIZATION_ELEMENT_SETTING_NODE* n = node; n->parent != nullptr; n = n->parent) ++level;
  OPTIMIZATION_ELEMENT* e = m_group->opt_elements[level];
  const bool last = level + 1 == m_group->opt_elements.size();
  for (std::int32_t s = e->min_setting; s <= e->max_setting; ++s)
    node->children.push_back(std::make_unique<OPTIMIZATION_ELEMENT_SETTING_NODE>(node, e, s, last));
  return node->children.size();
}

void VELMO_AUTO_DELAY_CHAIN_OP::get_empty_opt_elems_settings_hash(OPTIMIZATION_GROUP* group,
                                                                 VELMO_OPT_ELEMENT_SETTINGS* settings) const {
  settings->clear();
  for (OPTIMIZATION_ELEMENT* e : group->opt_elements) (*settings)[e] = -1;
}

void VELMO_AUTO_DELAY_CHAIN_OP::insert_at_sorted_position(
    VELMO_OPT_OPEN_LIST* open, const std::pair<OPTIMIZATION_ELEMENT_SETTING_NODE*, std::int32_t>& entry) {
  auto it = std::find_if(open->begin(), open->end(), [&](const auto& e) { return e.second < entry.second; });
  open->insert(it, entry);
}

void VELMO_AUTO_DELAY_CHAIN_OP::prune_bad_paths(VELMO_OPT_OPEN_LIST* open, std::int32_t incumbent) {
  open->remove_if([&](const auto& e) { return e.second < incumbent; });
}

const velmo_auto_dc::SEARCH_MOVES& VELMO_AUTO_DELAY_CHAIN_OP::search_moves(OPTIMIZATION_ELEMENT* e) {
  if (m_search_moves == nullptr) m_search_moves = new std::unordered_map<const OPTIMIZATION_ELEMENT*, velmo_auto_dc::SEARCH_MOVES>;
  // An element no group has initialised yet stands at its atom's setting.
  const std::int32_t from = e->tmp_setting >= 0 ? e->tmp_setting
                                                 : static_cast<std::int32_t>(get_delay_chain_setting(e->atom, e->delay_chain_type));
  velmo_auto_dc::SEARCH_MOVES& m = (*m_search_moves)[e];
  if (m.from == from && m.min == e->min_setting && m.max == e->max_setting &&
      m.pos_ids.size() + m.neg_ids.size() == e->pos_edges.size() + e->neg_edges.size())
    return m;
  m = velmo_auto_dc::SEARCH_MOVES{};
  m.from = from;
  m.min = e->min_setting;
  m.max = e->max_setting;
  for (const KEM_EDGE_SLACK_INFO* r : e->pos_edges) m.pos_ids.insert(r->edge_id);
  for (const KEM_EDGE_SLACK_INFO* r : e->neg_edges) m.neg_ids.insert(r->edge_id);
  const auto t = e->delay_chain_type;
  const auto f = static_cast<unsigned>(from);
  for (std::int32_t s = m.min; s <= m.max; ++s) {
    std::array<std::array<std::int32_t, 3>, 2> move{};
    for (int c = 0; c < m_corner_count; ++c) {
      // As a setting change moves a pos_edges record: a longer setup delay
      // lowers its setup slack, a longer hold delay raises its hold slack.
      const auto u = static_cast<unsigned>(s);
      move[0][c] = -(get_dmf_value(t, u, e->atom, 0, c) - get_dmf_value(t, f, e->atom, 0, c));
      move[1][c] = get_dmf_value(t, u, e->atom, 1, c) - get_dmf_value(t, f, e->atom, 1, c);
    }
    for (int k = 0; k < 2; ++k)
      for (int c = 0; c < m_corner_count; ++c) {
        const bool first = s == m.min;
        m.best_pos[k][c] = first ? move[k][c] : std::max(m.best_pos[k][c], move[k][c]);
        m.best_neg[k][c] = first ? -move[k][c] : std::max(m.best_neg[k][c], -move[k][c]);
      }
    m.moves.push_back(move);
  }
  return m;
}

std::int32_t VELMO_AUTO_DELAY_CHAIN_OP::get_worst_slack_for_edge(KEM_EDGE_SLACK_INFO* edge,
                                                                  VELMO_OPT_ELEMENT_SETTINGS* settings) {
  std::int32_t slack[2][3];
  for (int k = 0; k < 2; ++k)
    for (int c = 0; c < 3; ++c) slack[k][c] = edge->slack[k][c];
  std::vector<const OPTIMIZATION_ELEMENT*> seen;
  for (auto& [e, rel] : edge->opt_elements) {
    if (std::find(seen.begin(), seen.end(), e) != seen.end()) continue;
    seen.push_back(e);
    const velmo_auto_dc::SEARCH_MOVES& m = search_moves(e);
    const bool pos = m.pos_ids.count(edge->edge_id) != 0, neg = m.neg_ids.count(edge->edge_id) != 0;
    if (pos && neg) internal_error("No edge should be affected in both directions by the same delay chain", __LINE__);
    if (!pos && !neg) continue;
    auto it = settings->find(e);
    const std::int32_t assigned = it == settings->end() ? -1 : it->second;
    std::array<std::array<std::int32_t, 3>, 2> move{};
    if (assigned == -1) {
      move = pos ? m.best_pos : m.best_neg;
    } else if (assigned >= m.min && assigned <= m.max) {
      move = m.moves[static_cast<std::size_t>(assigned - m.min)];
      if (neg)
        for (auto& kind : move)
          for (auto& v : kind) v = -v;
    } else {
      internal_error("setting within the element's range", __LINE__);
    }
    for (int k = 0; k < 2; ++k)
      for (int c = 0; c < m_corner_count; ++c)
        if (slack[k][c] != kNone) slack[k][c] += move[k][c];
  }
  std::int32_t worst = kNone;
  for (int k = 0; k < 2; ++k)
    for (int c = 0; c < m_corner_count; ++c)
      if (slack[k][c] != kNone && (worst == kNone || slack[k][c] < worst)) worst = slack[k][c];
  return worst;
}

std::int32_t VELMO_AUTO_DELAY_CHAIN_OP::compute_best_case_bound(OPTIMIZATION_ELEMENT_SETTING_NODE* node,
                                                                 std::vector<KEM_EDGE_SLACK_INFO*>* edges,
                                                                 VELMO_OPT_ELEMENT_SETTINGS* settings) {
  for (auto& [e, s] : *settings) s = -1;
  for (const OPTIMIZATION_ELEMENT_SETTING_NODE* n = node; n != nullptr; n = n->parent)
    if (n->opt_element != nullptr) (*settings)[n->opt_element] = n->setting;
  std::int32_t bound = kNone;
  for (KEM_EDGE_SLACK_INFO* edge : *edges) {
    const std::int32_t w = get_worst_slack_for_edge(edge, settings);
    if (w != kNone && (bound == kNone || w < bound)) bound = w;
  }
  if (bound == kNone) return kNone;
  // The penalty the completions pay at least: the assigned settings', the
  // unassigned elements' at their minimum (penalties grow with the setting).
  for (const auto& [e, s] : *settings)
    bound -= get_penalty_for_opt_element_setting(e->delay_chain_type, s == -1 ? e->min_setting : s);
  return bound;
}

void VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_group_determine_best_settings(OPTIMIZATION_GROUP* group) {
  if (m_search_moves != nullptr) m_search_moves->clear();
  std::vector<KEM_EDGE_SLACK_INFO*> edges;
  get_edge_vec_for_opt_group(group, edges);
  VELMO_OPT_ELEMENT_SETTINGS settings;
  get_empty_opt_elems_settings_hash(group, &settings);
  OPTIMIZATION_ELEMENT_SETTING_TREE tree(group);
  VELMO_OPT_OPEN_LIST open{{tree.get_root(), kNone}};
  std::int32_t incumbent = kNone;
  const OPTIMIZATION_ELEMENT_SETTING_NODE* best = nullptr;
  while (!open.empty()) {
    OPTIMIZATION_ELEMENT_SETTING_NODE* node = open.front().first;
    open.pop_front();
    if (const std::size_t made = tree.expand(node); made != 0) {
      ++m_expanded_nodes;
      m_made_nodes += static_cast<long>(made);
    }
    for (const auto& child : node->children) {
      const std::int32_t bound = compute_best_case_bound(child.get(), &edges, &settings);
      insert_at_sorted_position(&open, {child.get(), bound});
      if (child->is_leaf() && bound != kNone && (incumbent == kNone || incumbent < bound)) {
        incumbent = bound;
        best = child.get();
      }
    }
    if (incumbent != kNone) prune_bad_paths(&open, incumbent);
  }
  for (const OPTIMIZATION_ELEMENT_SETTING_NODE* n = best; n != nullptr && n->parent != nullptr; n = n->parent)
    n->opt_element->current_best_setting = n->setting;
}

// ---------------------------------------------------------------- restrictions and writes

void VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_group_enforce_restrictions(OPTIMIZATION_GROUP* group) {
  if (static_cast<int>(m_family) != 52) return;
  for (OPTIMIZATION_ELEMENT* e : group->opt_elements)
    if (static_cast<int>(e->delay_chain_type) == 14 && e->current_best_setting == 0) e->current_best_setting = 1;
}

bool VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_group_assign_optimized_settings(OPTIMIZATION_GROUP* group) {
  if (group->opt_elements.empty()) return true;
  const int family = static_cast<int>(m_family);
  for (const OPTIMIZATION_ELEMENT* e : group->opt_elements) {
    const int t = static_cast<int>(e->delay_chain_type);
    if (t != 299 && t != 298) continue;
    if (t == 299 && (family == 8 || family == 12 || family == 19))
      internal_error("io_has_no_t10_output_enable_path", __LINE__);
    if (t == 298 && (family == 59 || family == 9)) internal_error("io_has_no_t9_output_enable_path", __LINE__);
    break;
  }
  WEXAN_INCREMENTAL_UTILITY* reuse = m_env->get_netlist_reuse_utility();
  bool ok = true;
  for (OPTIMIZATION_ELEMENT* e : group->opt_elements) {
    bool written = false;
    if ((reuse == nullptr || reuse->allowed_to_optimize_delay_chain(e->atom)) &&
        !has_user_option(e->atom, e->delay_chain_type)) {
      if (!skip_pin_due_to_pll(e->atom, e->delay_chain_type)) {
        written = set_best_delay_chain_setting_new(e->atom, e->delay_chain_type,
                                                   static_cast<unsigned>(e->current_best_setting));
        ok = ok && written;
      } else {
        const bool failing = (e->wc_slack[0] != kNone && e->wc_slack[0] < 0) ||
                             (e->wc_slack[1] != kNone && e->wc_slack[1] < 0);
        VELMO_DELAY_CHAIN_OP::add_pll_compensated_pin_msg(m_msgr, velmo_auto_dc::atom_name(e->atom), failing);
      }
    }
    // An element left as it was keeps its setting in the records too.
    if (!written) e->current_best_setting = e->initial_setting;
  }
  return ok;
}
