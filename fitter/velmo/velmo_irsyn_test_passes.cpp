// The resynthesiser's three passes (re-route, rotate, resynthesis), their
// candidate tests and the single-change operations, each bracketed by a DUX
// checkpoint and kept only when the acceptance rule says timing got better.
#include <algorithm>
#include <type_traits>

#include "dux/dux.h"
#include "kem/kem_netlist.h"
#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "velmo_dux_status.h"
#include "velmo_irsyn_test.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_atom_mod_manager.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_lcell_util.h"

namespace {
[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irsyn_test", line);
}

bool is_ordinary_code(const VOK_ATOM_ITERM* t) {
  const int c = t->get_connection_code();
  return c == 0 || c == 1 || c == 3 || c == 4;
}

bool is_lut_data_usage(const VOK_ATOM_ITERM* t) {
  const int u = t->get_any_usage_as();
  return u >= DB_INPUT_PORT_LUT_DATA && u <= DB_INPUT_PORT_LUT_DATA + 7;
}

// The input and output conditions shared by the LUT tests.
bool has_lut_terms(const VOK_ATOM_NODE* atom) {
  for (const VOK_ATOM_ITERM* t : atom->citerms())
    if (!is_ordinary_code(t) || !is_lut_data_usage(t)) return false;
  for (const VOK_ATOM_OTERM* o : atom->coterms())
    if (o->get_any_usage_as() != DB_OUTPUT_PORT_COMB) return false;
  return true;
}

bool is_extended(const int codes[8]) { return codes[6] != IRSYN_CODE_UNUSED || codes[7] != IRSYN_CODE_UNUSED; }

void sort_by_slack(std::vector<LP_SLACK>& c) {
  std::stable_sort(c.begin(), c.end(), [](const LP_SLACK& a, const LP_SLACK& b) { return a.slack < b.slack; });
}

// The watched terminal of an attempt, looked up again from its logical port.
template <class TERM> TERM* find_term(const VOK_ATOM_NETLIST* n, const VOK_ATOM_LOGICAL_PORT& p);
template <> VOK_ATOM_ITERM* find_term(const VOK_ATOM_NETLIST* n, const VOK_ATOM_LOGICAL_PORT& p) {
  return vok_find_iterm(n, p);
}
template <> VOK_ATOM_OTERM* find_term(const VOK_ATOM_NETLIST* n, const VOK_ATOM_LOGICAL_PORT& p) {
  return vok_find_oterm(n, p);
}
}  // namespace

// ---------------------------------------------------------------- shared pieces

bool IRSYN_MANAGER::window(int wns, int near_critical, std::int64_t* limit) {
  if (wns == IRSYN_NO_SLACK) return false;
  *limit = std::min<std::int64_t>(static_cast<std::int64_t>(wns) + near_critical, 0);
  return true;
}

std::int32_t IRSYN_MANAGER::var_slack(int code) const {
  return code >= 0 ? m_vars.at(static_cast<std::size_t>(code)).slack : IRSYN_NO_SLACK;
}

int IRSYN_MANAGER::critical_slot(const int codes[8]) const {
  int best = -1;
  for (int i = 0; i < 8; ++i)
    if (codes[i] >= 0 && (best < 0 || var_slack(codes[i]) < var_slack(codes[best]))) best = i;
  return best;
}

bool IRSYN_MANAGER::across_boundary(const VOK_ATOM_NODE* atom) const {
  if (atom->get_parent_netlist() != m_atom_netlist) return true;
  for (const VOK_ATOM_ITERM* t : atom->citerms())
    if (t->get_source(VOK_TRAVERSE_HIERARCHICAL) != t->get_source(VOK_TRAVERSE_AS_STORED)) return true;
  return false;
}

bool IRSYN_MANAGER::can_rotate(const VOK_ATOM_NODE* atom) const {
  return atom && atom->is_lcell_comb() && atom->is_modifiable() && has_lut_terms(atom) && !across_boundary(atom);
}

bool IRSYN_MANAGER::is_resynthable(const VOK_ATOM_NODE* atom) const {
  return atom && atom->is_lcell_comb() && m_siv->is_modification_allowed(atom, 42, "", nullptr, 0) &&
         has_lut_terms(atom) && !across_boundary(atom);
}

bool IRSYN_MANAGER::is_var_zota(int variable) const {
  if (variable < 0) return false;
  const VOK_ATOM_NODE* atom = find_atom(m_vars.at(static_cast<std::size_t>(variable)).port.get_atom_id());
  return atom && ZEL_ATOM_UTIL::is_zota_marked_reg(atom);
}

template <class TERM>
bool IRSYN_MANAGER::attempt(std::uint64_t checkpoint, const VOK_ATOM_LOGICAL_PORT& watched, std::int32_t old_slack) {
  const std::uint8_t status = m_dux->implement().get_status();
  ++m_num_tries;
  if (status == DUX_RESULT::SUCCESS) {
    TERM* term = find_term<TERM>(m_atom_netlist, watched);
    if (!term && std::is_same_v<TERM, VOK_ATOM_ITERM>) ie("iterm", __LINE__);
    // A watched output that is gone is no improvement.
    if (term && is_solution_better(term, old_slack)) {
      ++m_num_better;
      return true;
    }
    ++m_num_worse;
  } else {
    ++m_num_fail;
    msg_vdebug_impl(2, "VM Debug: implement failed = %s", dux_status_text(status));
  }
  m_dux->restore_checkpoint(checkpoint);
  sta_reset_timing_as_no_longer_stale();
  TERM* term = find_term<TERM>(m_atom_netlist, watched);
  if (!term && std::is_same_v<TERM, VOK_ATOM_ITERM>) ie("iterm", __LINE__);
  const std::int32_t now = get_min_slack(term);
  if (now != old_slack) msg_vdebug_impl(2, "VM Debug: ERROR mismatch slack bgn/curr %d/%d", old_slack, now);
  return false;
}

std::vector<LP_SLACK> IRSYN_MANAGER::lut_output_candidates(int wns,
                                                           bool (IRSYN_MANAGER::*test)(const VOK_ATOM_NODE*) const) {
  std::vector<LP_SLACK> out;
  std::int64_t limit;
  if (!window(wns, m_near_critical, &limit)) return out;
  for (const VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!(this->*test)(atom)) continue;
    const VOK_ATOM_OTERM* o = atom->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0);
    if (!o) continue;
    const std::int32_t s = get_min_node_slack(m_kem_netlist->get_kem_node_from_oterm(o));
    if (s != IRSYN_ANALYSER_NO_SLACK && s < limit) out.push_back({vok_get_logical_port(o), s});
  }
  sort_by_slack(out);
  return out;
}

// ---------------------------------------------------------------- re-route

int IRSYN_MANAGER::reroute_pass(int wns) {
  std::vector<LP_SLACK> candidates;
  std::int64_t limit;
  if (window(wns, m_near_critical, &limit)) {
    for (const VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
      if (!atom->is_lcell_comb() || atom->get_parent_netlist() != m_atom_netlist) continue;
      const VOK_ATOM_ITERM* chosen = nullptr;
      std::int32_t best = 0;
      for (const VOK_ATOM_ITERM* t : atom->citerms()) {
        const KEM_NODE* node = m_kem_netlist->get_kem_node_from_iterm(t);
        if (!node || sta_get_node_wns_map(node, true).empty()) continue;
        const std::int32_t s = domain_slack(node);
        if (s != IRSYN_ANALYSER_NO_SLACK && s < best) {
          best = s;
          chosen = t;
        }
      }
      if (!chosen || best > limit || !is_ordinary_code(chosen) || !is_lut_data_usage(chosen)) continue;
      const VOK_ATOM_OTERM* src = chosen->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (!src || !src->get_my_node()) continue;
      if (m_avoid_zotas && ZEL_ATOM_UTIL::is_zota_marked_reg(src->get_my_node())) continue;
      candidates.push_back({vok_get_logical_port(chosen), best});
    }
  }
  sort_by_slack(candidates);
  int accepted = 0;
  for (const LP_SLACK& c : candidates)
    if (reroute_one(c.port)) ++accepted;
  return accepted;
}

bool IRSYN_MANAGER::reroute_one(VOK_ATOM_LOGICAL_PORT input) {
  VOK_ATOM_ITERM* t = vok_find_iterm(m_atom_netlist, input);
  const VOK_ATOM_OTERM* src = t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
  if (!t || !src || !src->get_my_node()) return false;
  msg_vdebug_impl(2, "VM Debug: entering reroute_one aid%u -> aid%u:%s",
                  static_cast<unsigned>(src->get_my_node()->get_id()), input.get_atom_id(), input.get_port().cname());
  const std::int32_t old = get_min_slack(t);
  msg_vdebug_impl(2, "VM Debug: setup slack = %d", old);
  const std::uint64_t cp = m_dux->get_checkpoint_id();
  const bool inverted = t->is_inverted();
  const VOK_ATOM_LOGICAL_PORT driver = vok_get_logical_port(src);
  m_dux->disconnect(t, true);
  m_dux->connect(driver, input, inverted, false);
  if (m_fake_taint) fake_mask_set(input.get_atom_id());
  if (!attempt<VOK_ATOM_ITERM>(cp, input, old)) return false;
  m_changed_luts.insert(static_cast<int>(input.get_atom_id()));
  return true;
}

// ---------------------------------------------------------------- rotate

int IRSYN_MANAGER::rotate_pass(int wns) {
  int accepted = 0;
  for (const LP_SLACK& c : lut_output_candidates(wns, &IRSYN_MANAGER::can_rotate))
    if (rotate_one(c.port)) ++accepted;
  return accepted;
}

bool IRSYN_MANAGER::rotate_one(VOK_ATOM_LOGICAL_PORT output) {
  const VOK_ATOM_OTERM* o = vok_find_oterm(m_atom_netlist, output);
  const VOK_ATOM_NODE* atom = o ? o->get_my_node() : nullptr;
  if (!atom) return false;
  const std::uint32_t aid = output.get_atom_id();
  msg_vdebug_impl(2, "VM Debug: entering rotate_one aid%u", aid);
  const std::int32_t old = get_min_slack(o);
  msg_vdebug_impl(2, "VM Debug: setup slack = %d", old);
  m_vars.clear();
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  const std::uint32_t key = expand_lut(atom, &mask, codes, inv, 123456);
  if (!m_tried.insert(key).second) return false;
  print_lut_info("  ", mask, codes, inv);
  const int k = critical_slot(codes);
  if (k < 0) return false;
  if (m_avoid_zotas && is_var_zota(codes[k])) return false;

  const bool extended = is_extended(codes);
  std::vector<int> slots;
  if (!extended) {
    if (codes[5] != IRSYN_CODE_UNUSED)
      for (int j = k + 1; j <= 5; ++j) slots.push_back(j);
    else
      for (int j = std::max(k + 1, 2); j <= 4; ++j) slots.push_back(j);
  } else if (k == 0) {
    slots = {1, 4};
  } else if (k == 1) {
    slots = {4};
  } else if (k == 2) {
    slots = {3};
  } else if (k == 5) {
    slots = {6};
  } else {
    return false;
  }
  std::stable_sort(slots.begin(), slots.end(), [&](int a, int b) { return var_slack(codes[a]) > var_slack(codes[b]); });

  for (int j : slots) {
    if (codes[j] >= 0) {
      if (m_avoid_zotas && is_var_zota(codes[j])) continue;
      if (static_cast<std::int64_t>(var_slack(codes[k])) >
          static_cast<std::int64_t>(var_slack(codes[j])) - m_rotate_margin)
        continue;
    }
    const std::uint64_t cp = m_dux->get_checkpoint_id();
    msg_vdebug_impl(2, "VM Debug:   swapping %d %d", k, j);
    m_dux->disconnect(get_luti(aid, k), true);
    if (codes[j] != IRSYN_CODE_UNUSED) {
      m_dux->disconnect(get_luti(aid, j), true);
      connect_port_to(aid, k, codes[j], inv[j]);
    } else {
      msg_vdebug_impl(2, "VM Debug:   swapping into unused port %d", j);
    }
    connect_port_to(aid, j, codes[k], inv[k]);
    VOK_LUTMASK new_mask;
    new_mask.set_value(6, swap_mask(mask, extended, k, j));
    m_dux->set_lutmask(find_atom(aid), new_mask);
    if (attempt<VOK_ATOM_OTERM>(cp, output, old)) {
      m_tried.erase(key);
      m_changed_luts.insert(static_cast<int>(aid));
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- resynthesis

std::vector<int> IRSYN_MANAGER::exchange_slots(std::uint64_t mask_a, const int codes_a[8], const bool inv_a[8], int a,
                                               std::uint64_t mask_b, const int codes_b[8], int b, const bool skip[8],
                                               bool inverted[8]) {
  // A's function with B's output substituted into slot a (through A's
  // inversion flag on that slot), over A's slots 0..5 and B's slots 6..11.
  static constexpr int MAP_A[6] = {0, 1, 2, 3, 4, 5};
  static constexpr int MAP_B[6] = {6, 7, 8, 9, 10, 11};
  const TTBL<12> fa = compute_div_fn(mask_a, MAP_A);
  TTBL<12> fb = compute_div_fn(mask_b, MAP_B);
  if (inv_a[a]) fb = ~fb;
  const TTBL<12> f1 = fa.cofactor(a, true), f0 = fa.cofactor(a, false);
  const TTBL<12> g = (f0 & fb) | (f1 & ~fb);

  std::vector<int> slots;
  for (int j = 0; j < 8; ++j) {
    inverted[j] = false;
    if (j == a || codes_a[j] < 0 || codes_a[j] == codes_b[b]) continue;
    if (skip[j]) continue;
    const TTBL<12> s = g.swap(6 + b, j);
    if (s == g) {
      slots.push_back(j);
      msg_vdebug_impl(2, "VM Debug: regular symmetry found (%d, %d)", b, j);
    } else if (s.invert(6 + b).invert(j) == g) {
      slots.push_back(j);
      inverted[j] = true;
      msg_vdebug_impl(2, "VM Debug: inverted symmetry found (%d, %d)", b, j);
    } else {
      msg_vdebug_impl(2, "VM Debug: no symmetry found (%d, %d)", b, j);
    }
  }
  return slots;
}

int IRSYN_MANAGER::resyn_pass(int wns) {
  int accepted = 0;
  for (const LP_SLACK& c : lut_output_candidates(wns, &IRSYN_MANAGER::can_resyn))
    if (resyn_one(c.port)) ++accepted;
  return accepted;
}

bool IRSYN_MANAGER::resyn_one(VOK_ATOM_LOGICAL_PORT output) {
  const VOK_ATOM_OTERM* o = vok_find_oterm(m_atom_netlist, output);
  const VOK_ATOM_NODE* lut_a = o ? o->get_my_node() : nullptr;
  if (!lut_a) return false;
  const std::uint32_t aid = output.get_atom_id();
  msg_vdebug_impl(2, "VM Debug: entering resyn_one aid%u", aid);
  const std::int32_t old = get_min_slack(o);
  msg_vdebug_impl(2, "VM Debug: setup slack = %d", old);
  m_vars.clear();
  std::uint64_t mask_a, mask_b;
  int codes_a[8], codes_b[8];
  bool inv_a[8], inv_b[8];
  const std::uint32_t key_a = expand_lut(lut_a, &mask_a, codes_a, inv_a, 654321);
  if (is_extended(codes_a)) {
    msg_vdebug_impl(2, "VM Debug: lut A is in extended mode");
    return false;
  }
  print_lut_info("  lutA", mask_a, codes_a, inv_a);
  const int a = critical_slot(codes_a);
  if (a < 0) {
    msg_vdebug_impl(2, "VM Debug: cannot find min var on lut A");
    return false;
  }
  const VOK_ATOM_LOGICAL_PORT b_port = m_vars.at(static_cast<std::size_t>(codes_a[a])).port;
  const VOK_ATOM_NODE* lut_b = find_atom(b_port.get_atom_id());
  if (!lut_b) return false;
  if (!can_rotate(lut_b)) {
    msg_vdebug_impl(2, "VM Debug: min src not LUT");
    return false;
  }
  const VOK_ATOM_OTERM* b_out = vok_find_oterm(m_atom_netlist, b_port);
  if (!b_out) return false;
  if (b_out->get_number_of_fanout_nodes(VOK_TRAVERSE_HIERARCHICAL) >= 2) {
    msg_vdebug_impl(2, "VM Debug: min src fanout > 1");
    return false;
  }
  // B's output in a second slot of A: an exchange into that slot would feed
  // B its own output, and the composition below substitutes slot a only.
  for (int j = 0; j < 6; ++j)
    if (j != a && codes_a[j] == codes_a[a]) {
      msg_vdebug_impl(2, "VM Debug: min src feeds lut A twice");
      return false;
    }
  const std::uint32_t bid = b_port.get_atom_id();
  msg_vdebug_impl(2, "VM Debug: expand min aid%u ", bid);
  const std::uint32_t key_b = expand_lut(lut_b, &mask_b, codes_b, inv_b, key_a);
  if (is_extended(codes_b)) {
    msg_vdebug_impl(2, "VM Debug: lut B is in extended mode");
    return false;
  }
  if (!m_tried.insert(key_b).second) return false;
  print_lut_info("  lutB", mask_b, codes_b, inv_b);
  const int b = critical_slot(codes_b);
  if (b < 0) {
    msg_vdebug_impl(2, "VM Debug: cannot find min var on lut B");
    return false;
  }
  if (m_avoid_zotas && is_var_zota(codes_b[b])) return false;

  bool inverted[8], zota[8];
  for (int j = 0; j < 8; ++j) zota[j] = m_avoid_zotas && is_var_zota(codes_a[j]);
  std::vector<int> slots = exchange_slots(mask_a, codes_a, inv_a, a, mask_b, codes_b, b, zota, inverted);
  std::stable_sort(slots.begin(), slots.end(),
                   [&](int x, int y) { return var_slack(codes_a[x]) > var_slack(codes_a[y]); });

  for (int j : slots) {
    const std::uint64_t cp = m_dux->get_checkpoint_id();
    msg_vdebug_impl(2, "VM Debug:   swapping lutB %d lutA %d", b, j);
    if (static_cast<std::int64_t>(var_slack(codes_b[b])) >
        static_cast<std::int64_t>(var_slack(codes_a[j])) - m_resyn_margin)
      continue;
    m_dux->disconnect(get_luti(bid, b), true);
    connect_port_to(bid, b, codes_a[j], inv_a[j]);
    if (inverted[j]) {
      VOK_LUTMASK m;
      m.set_value(6, invert_mask(mask_b, false, b));
      m_dux->set_lutmask(find_atom(bid), m);
    } else if (m_fake_taint) {
      fake_mask_set(bid);
    }
    m_dux->disconnect(get_luti(aid, j), true);
    connect_port_to(aid, j, codes_b[b], inv_b[b]);
    if (inverted[j]) {
      VOK_LUTMASK m;
      m.set_value(6, invert_mask(mask_a, false, j));
      m_dux->set_lutmask(find_atom(aid), m);
    } else if (m_fake_taint) {
      fake_mask_set(aid);
    }
    if (attempt<VOK_ATOM_OTERM>(cp, output, old)) {
      m_tried.erase(key_b);
      m_changed_luts.insert(static_cast<int>(aid));
      m_changed_luts.insert(static_cast<int>(bid));
      return true;
    }
  }
  return false;
}
