// LUT-mask arithmetic of the resynthesiser: exchanging and inverting LUT
// inputs in both LUT modes, placing a LUT function into the common
// twelve-variable space, and the support-reduction step.
//
// Extended mode (slot 6 or 7 used): the low 32 bits hold the function over
// slots 0, 1, 2, 3, 4 and the high 32 bits the one over slots 0, 1, 5, 6, 4
// (bit positions 0..4 of each half); bit 5 of the position selects the half.
#include "velmo_irsyn_test.h"

namespace {
constexpr std::uint64_t LOW32 = 0x00000000FFFFFFFFull;

std::uint64_t dup_low(std::uint64_t m) { return (m & LOW32) | (m << 32); }
std::uint64_t dup_high(std::uint64_t m) { return (m >> 32) | (m & ~LOW32); }

// Moves the variable standing for each slot i (map[i] >= 0) to map[i],
// keeping the two position tables up to date.
TTBL<12> move_slots(TTBL<12> f, const int map[6], bool gather) {
  int pos_of[12], at[12];
  for (int i = 0; i < 12; ++i) pos_of[i] = at[i] = i;
  for (int i = 0; i < 6; ++i) {
    if (map[i] < 0) continue;
    // Scatter: the variable of slot i goes to map[i]. Gather: the variable
    // that stood at map[i] comes back to i.
    const int var = gather ? map[i] : i;
    const int target = gather ? i : map[i];
    const int cur = pos_of[var];
    if (cur == target) continue;
    f = f.swap(cur, target);
    const int other = at[target];
    at[target] = var;
    at[cur] = other;
    pos_of[var] = target;
    pos_of[other] = cur;
  }
  return f;
}
}  // namespace

std::uint64_t IRSYN_MANAGER::swap_mask(std::uint64_t mask, bool extended, int a, int b) {
  if (!extended || a < 2) return TTBL<6>::filled(mask).swap(a, b).word(0);
  if (a == 2) {
    const std::uint64_t low = TTBL<6>::filled(dup_low(mask)).swap(2, 3).word(0);
    return (low & LOW32) | (mask & ~LOW32);
  }
  if (a == 5) {
    const std::uint64_t high = TTBL<6>::filled(dup_high(mask)).swap(2, 3).word(0);
    return (high & ~LOW32) | (mask & LOW32);
  }
  return mask;
}

std::uint64_t IRSYN_MANAGER::invert_mask(std::uint64_t mask, bool extended, int a) {
  if (!extended || a == 0 || a == 1 || a == 4)
    return a >= 0 && a < 6 ? TTBL<6>::filled(mask).invert(a).word(0) : mask;
  if (a == 2 || a == 3) {
    const std::uint64_t low = TTBL<6>::filled(dup_low(mask)).invert(a).word(0);
    return (low & LOW32) | (mask & ~LOW32);
  }
  if (a == 5 || a == 6) {
    const std::uint64_t high = TTBL<6>::filled(dup_high(mask)).invert(a - 3).word(0);
    return (high & ~LOW32) | (mask & LOW32);
  }
  if (a == 7) return (mask >> 32) | (mask << 32);
  return mask;
}

TTBL<12> IRSYN_MANAGER::compute_div_fn(std::uint64_t mask, const int map[6]) {
  TTBL<12> f = TTBL<12>::filled(mask);
  for (int i = 0; i < 6; ++i)
    if (map[i] == -1)
      f = f.cofactor(i, true);
    else if (map[i] == -2)
      f = f.cofactor(i, false);
  return move_slots(f, map, false);
}

TTBL<12> IRSYN_MANAGER::fn_shuffle_scatter(TTBL<12> f, const int map[6]) { return move_slots(f, map, false); }

TTBL<12> IRSYN_MANAGER::fn_shuffle_gather(TTBL<12> f, const int map[6]) { return move_slots(f, map, true); }

void IRSYN_MANAGER::divide(const TTBL<12>& f, const TTBL<12>& g, int var, int* best, TTBL<12>* out1,
                           TTBL<12>* out2) {
  TTBL<12> x;
  for (int w = 0; w < TTBL<12>::WORDS; ++w) x.word(w) = var < 6 ? TTBL_VAR_MASK[var] : ((w >> (var - 6)) & 1 ? ~0ull : 0);
  TTBL<12> lo = f & ~(g ^ x);
  TTBL<12> hi = f | (g ^ x);
  int count = 0;
  for (int i = 0; i < 12; ++i) {
    if (!g.depends_on(i)) continue;
    const TTBL<12> lo2 = lo.cofactor(i, false) | lo.cofactor(i, true);
    const TTBL<12> hi2 = hi.cofactor(i, false) & hi.cofactor(i, true);
    if ((lo2 & ~hi2).is_zero()) {
      lo = lo2;
      hi = hi2;
      ++count;
    }
  }
  if (count > *best) {
    *best = count;
    *out1 = g;
    *out2 = hi;
  }
}

// Half placement: position bit 7 = 0 takes the low half and 1 the high half
// when slot 7 is driven without inversion; an inversion flag on slot 7
// exchanges them; a constant slot 7 fills every word with the half its
// value selects (reading 0: low, reading 1: high).
TTBL<8> IRSYN_MANAGER::bdiv_get_lut_fn(const BDIV_LUT* lut) {
  if (lut->codes[7] == IRSYN_CODE_UNUSED) return TTBL<8>::filled(lut->mask);
  const TTBL<8> low = TTBL<8>::filled(dup_low(lut->mask));
  const TTBL<8> high = TTBL<8>::filled(dup_high(lut->mask)).swap(2, 5).swap(3, 6);
  TTBL<8> r;
  for (int w = 0; w < TTBL<8>::WORDS; ++w) {
    bool pick_high;
    if (lut->codes[7] == IRSYN_CODE_ZERO)
      pick_high = false;
    else if (lut->codes[7] == IRSYN_CODE_ONE)
      pick_high = true;
    else
      pick_high = (((w >> 1) & 1) != 0) != lut->inv[7];
    r.word(w) = pick_high ? high.word(w) : low.word(w);
  }
  return r;
}
