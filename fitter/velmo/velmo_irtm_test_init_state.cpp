// Power-up states across retiming moves: forward by evaluating the crossed
// cells on the removed registers' power-up values, backward by searching
// input patterns that give the required value.
#include "msg/msg_internal_error.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_dev_zota_util.h"

namespace {

[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irtm_test_init_state", line);
}

using INIT_VAL = INITIAL_STATE_MANAGER::INIT_VAL;

bool has_fanout(const VOK_ATOM_OTERM* o) { return o && !o->cfanout(VOK_TRAVERSE_HIERARCHICAL).empty(); }

VOK_ATOM_OTERM* driver(const VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type) {
  const VOK_ATOM_ITERM* t = atom ? atom->get_input_term_by_type(type, 0) : nullptr;
  return t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
}

bool is_arith(const VOK_ATOM_NODE* cell) { return cell->get_kind() == VOK_ATOM_KIND::ARITH_CELL; }

VOK_ATOM_OTERM* result_of(const VOK_ATOM_NODE* cell) {
  return cell->get_output_term_by_type(is_arith(cell) ? DB_OUTPUT_PORT_SUM : DB_OUTPUT_PORT_COMB, 0);
}

// Whether a 5-input function of a 32-bit half depends on its index bit s.
bool half_depends(std::uint32_t half, int s) {
  for (unsigned j = 0; j < 32; ++j)
    if (((half >> j) & 1u) != ((half >> (j ^ (1u << s))) & 1u)) return true;
  return false;
}

// The 8-input layout: input 7 = 0 selects the high half over inputs
// (0, 1, 5, 6, 4) at index bits 0-4; input 7 = 1 the low half over inputs
// 0-4. The slot of input i in the high half, -1 when absent.
int high_slot(int i) {
  static const int slots[8] = {0, 1, -1, -1, 4, 2, 3, -1};
  return slots[i];
}

}  // namespace

INIT_VAL INITIAL_STATE_MANAGER::power_up_value(const VOK_ATOM_NODE* reg) {
  std::int64_t v = 0;
  if (reg->get_parameter(VOK_PARAMETER_TYPE::BOOL, 240, &v) && v != 0) return INITIAL_STATE_MANAGER::ANY;
  return reg->powers_up() ? INITIAL_STATE_MANAGER::ONE : INITIAL_STATE_MANAGER::ZERO;
}

int INITIAL_STATE_MANAGER::get_max_inputs(VOK_ATOM_NODE* cell) const {
  IRTM_UTIL* util = IRTM_UTIL::s_instance;
  if (!util || !cell) return 0;
  const bool comb = util->is_retimable_comb(cell);
  if (comb && cell->test_bit(44)) return 8;
  if (util->is_retimable_arith(cell)) return 4;
  return comb ? 6 : 0;
}

bool INITIAL_STATE_MANAGER::get_value(const VOK_ATOM_OTERM* oterm, INIT_VAL* value) const {
  if (!has_fanout(oterm)) {
    *value = ANY;
    return true;
  }
  auto it = m_values.find(oterm);
  if (it == m_values.end()) return false;
  *value = it->second;
  return true;
}

bool INITIAL_STATE_MANAGER::set_value(const VOK_ATOM_OTERM* oterm, INIT_VAL value, bool check_only, bool force) {
  if (!force) {
    INIT_VAL old;
    if (get_value(oterm, &old) && old != ANY) return old == value;
  }
  if (check_only) return true;
  m_values[oterm] = value;
  return true;
}

namespace {
// The value of an 8-input cell for input vector `in`: with input 7 low the
// high half of the mask is read over inputs (0, 1, 5, 6, 4) as index bits
// 0-4, with input 7 high the low half over inputs 0-4; both halves use the
// complemented index.
bool eight_input_value(std::uint64_t mask, unsigned in) {
  const auto bit = [&](int i) { return (in >> i) & 1u; };
  if (bit(7) == 0) {
    const unsigned idx = bit(0) | bit(1) << 1 | bit(5) << 2 | bit(6) << 3 | bit(4) << 4;
    return ((mask >> (32 + (~idx & 31u))) & 1u) != 0;
  }
  return ((mask >> (~in & 31u)) & 1u) != 0;
}
}  // namespace

INIT_VAL INITIAL_STATE_MANAGER::find_value(VOK_ATOM_NODE* cell, int k, INIT_VAL& carry) const {
  carry = ANY;
  const int n = get_max_inputs(cell);
  const std::uint64_t mask = cell->get_lutmask().get_value();
  if (n == 8) return eight_input_value(mask, static_cast<unsigned>(k)) ? ONE : ZERO;
  const unsigned j = ((1u << n) - 1u) ^ static_cast<unsigned>(k);
  if (n == 4) {
    const unsigned f0 = (mask >> j) & 1u, f1 = (mask >> (16 + j)) & 1u;
    unsigned c = 0;
    if (const VOK_ATOM_ITERM* cin = cell->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0))
      if (const VOK_ATOM_OTERM* d = cin->get_source(VOK_TRAVERSE_HIERARCHICAL)) {
        INIT_VAL v;
        if (!get_value(d, &v)) ie("0", __LINE__);
        if (v == ANY) return ANY;
        c = v;
      }
    carry = static_cast<INIT_VAL>(f0 ? c : f1);
    return static_cast<INIT_VAL>(f0 ^ c);
  }
  return ((mask >> j) & 1u) ? ONE : ZERO;
}

bool INITIAL_STATE_MANAGER::depends_on(VOK_ATOM_NODE* cell, int i) const {
  const std::uint64_t mask = cell->get_lutmask().get_value();
  if (get_max_inputs(cell) != 8) return !VOK_LUTMASK(mask).is_independent_of(i);
  if (i == 7) return true;
  const auto low = static_cast<std::uint32_t>(mask), high = static_cast<std::uint32_t>(mask >> 32);
  const bool in_low = i < 5 && half_depends(low, i);
  const bool in_high = high_slot(i) >= 0 && half_depends(high, high_slot(i));
  return in_low || in_high;
}

bool INITIAL_STATE_MANAGER::constrained_in(VOK_ATOM_NODE* cell, int k, int i) const {
  const std::uint64_t mask = cell->get_lutmask().get_value();
  if (get_max_inputs(cell) != 8) return !VOK_LUTMASK(mask).is_independent_of(i);
  if (i == 7) return true;
  if (((k >> 7) & 1) == 0) return high_slot(i) >= 0 && half_depends(static_cast<std::uint32_t>(mask >> 32), high_slot(i));
  return i < 5 && half_depends(static_cast<std::uint32_t>(mask), i);
}

bool INITIAL_STATE_MANAGER::assign_inputs(VOK_ATOM_NODE* cell, int k, int carry) {
  if (!cell->is_lcell_comb()) ie("atom->is_lcell_comb()", __LINE__);
  const int n = get_max_inputs(cell);
  if (k >= (1 << n)) ie("k < get_max_inputs(atom)", __LINE__);
  std::vector<std::pair<const VOK_ATOM_OTERM*, INIT_VAL>> pairs;
  for (int i = 0; i < n; ++i) {
    const VOK_ATOM_ITERM* t = cell->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0);
    const VOK_ATOM_OTERM* d = t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
    if (!d) continue;
    INIT_VAL v = constrained_in(cell, k, i) ? static_cast<INIT_VAL>((k >> i) & 1) : ANY;
    INIT_VAL stored;
    if (get_value(d, &stored) && stored != v) {
      if (v == ANY)
        v = stored;
      else if (stored != ANY)
        return false;
    }
    bool merged = false;
    for (auto& [pd, pv] : pairs) {
      if (pd != d) continue;
      merged = true;
      if (pv == v || v == ANY) break;
      if (pv == ANY) {
        pv = v;
        break;
      }
      return false;
    }
    if (!merged) pairs.emplace_back(d, v);
  }
  for (const auto& [d, v] : pairs)
    if (!set_value(d, v, false, false)) ie("0", __LINE__);
  if (is_arith(cell)) {
    const VOK_ATOM_OTERM* cout = cell->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
    if (has_fanout(cout)) return set_value(cout, static_cast<INIT_VAL>(carry), false, false);
  }
  return true;
}

bool INITIAL_STATE_MANAGER::compute_state_int(IRTM_MOVE* move, bool backward) {
  m_values.clear();
  const DEV_DIE_INFO* die = IRTM_UTIL::s_instance ? IRTM_UTIL::s_instance->get_die_info() : nullptr;
  auto put = [this](const VOK_ATOM_OTERM* t, INIT_VAL v) { return !t || set_value(t, v, false, false); };
  // 1. The registers the move removes.
  for (std::uint32_t gid : move->m_bypassed) {
    VOK_ATOM_NODE* r = PLACE_DB::get_atom(gid);
    if (!r || !r->is_ff()) ie("atom->is_ff()", __LINE__);
    const VOK_ATOM_OTERM* t = backward ? driver(r, DB_INPUT_PORT_DATA_IN) : r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
    const INIT_VAL v = power_up_value(r);
    if (t) {
      INIT_VAL known;
      if (get_value(t, &known) && known != ANY && known != v) return false;
      m_values[t] = v;
    }
    if (!backward || ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, gid)) continue;
    const VOK_ATOM_OTERM* s = driver(r, DB_INPUT_PORT_SCLR);
    const VOK_ATOM_OTERM* e = driver(r, DB_INPUT_PORT_ENA);
    if (!s && !e) continue;
    if (v == ANY) {
      if (!put(s, ANY) || !put(e, ANY)) return false;
    } else if (v == ZERO && s) {
      if (t) set_value(t, ANY, false, true);
      if (!put(s, ONE) || !put(e, ANY)) return false;
    } else if (v == ZERO) {
      if (!put(e, ONE)) return false;
    } else {
      if (!put(e, ONE) || !put(s, ZERO)) return false;
    }
  }
  // 2. Re-enabled registers power up at 0.
  for (std::uint32_t gid : move->m_enabled) {
    VOK_ATOM_NODE* r = PLACE_DB::get_atom(gid);
    if (!r) continue;
    const VOK_ATOM_OTERM* t = backward ? r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0) : driver(r, DB_INPUT_PORT_DATA_IN);
    if (!put(t, ZERO)) return false;
  }
  if (backward) {
    // 3a. The partner register of the feedback slot: its D driver takes the
    // value recorded on its output, which must also be its own power-up (a
    // register keeps its power-up; otherwise the first two output cycles
    // would be exchanged).
    if (move->m_qfbk_gid != 0xFFFFFFFFu) {
      VOK_ATOM_NODE* x = PLACE_DB::get_atom(move->m_qfbk_gid);
      INIT_VAL out;
      if (!x || !get_value(x->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), &out)) ie("0", __LINE__);
      const INIT_VAL own = power_up_value(x);
      if (out != ANY && own != ANY && own != out) return false;
      if (!put(driver(x, DB_INPUT_PORT_DATA_IN), out)) return false;
    }
    // 3b. The crossed cells, each by the first pattern giving its value.
    for (VOK_ATOM_NODE* cell : move->m_atoms) {
      INIT_VAL w;
      if (!get_value(result_of(cell), &w)) ie("0", __LINE__);
      if (w == ANY) {
        for (std::size_t i = 0; i < cell->get_iterm_slot_count(); ++i)
          if (const VOK_ATOM_ITERM* t = cell->get_iterm_slot(i); t && !put(t->get_source(VOK_TRAVERSE_AS_STORED), ANY))
            return false;
        if (is_arith(cell)) {
          const VOK_ATOM_OTERM* cout = cell->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
          if (has_fanout(cout) && !set_value(cout, ANY, false, false)) ie("0", __LINE__);
        }
        continue;
      }
      const int n = get_max_inputs(cell);
      bool found = false;
      for (int k = 0; k < (1 << n) && !found; ++k) {
        INIT_VAL c;
        if (find_value(cell, k, c) != w) continue;
        const auto saved = m_values;
        if (assign_inputs(cell, k, c))
          found = true;
        else
          m_values = saved;  // a refused pattern leaves nothing behind
      }
      if (!found) return false;
    }
    return true;
  }
  // 4. Forward: evaluate each crossed cell on its inputs' values.
  for (VOK_ATOM_NODE* cell : move->m_atoms) {
    if (!cell->is_lcell_comb()) ie("atom->is_lcell_comb()", __LINE__);
    const int n = get_max_inputs(cell);
    int k = 0;
    bool any_known = false;
    for (int i = 0; i < n; ++i) {
      if (!depends_on(cell, i)) continue;
      const VOK_ATOM_ITERM* t = cell->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0);
      const VOK_ATOM_OTERM* d = t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
      if (!d) continue;
      INIT_VAL v;
      if (!get_value(d, &v)) ie("0", __LINE__);
      if (v == ANY) continue;
      any_known = true;
      if (v == ONE) k |= 1 << i;
    }
    if (!any_known) {
      for (std::size_t i = 0; i < cell->get_oterm_slot_count(); ++i)
        if (const VOK_ATOM_OTERM* o = cell->get_oterm_slot(i); has_fanout(o) && !put(o, ANY)) return false;
      continue;
    }
    INIT_VAL c;
    const INIT_VAL v = find_value(cell, k, c);
    if (!put(result_of(cell), v)) return false;
    if (is_arith(cell)) {
      const VOK_ATOM_OTERM* cout = cell->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
      if (has_fanout(cout) && !put(cout, c)) return false;
    }
  }
  return true;
}
