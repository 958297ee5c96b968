// Every exchange the resynthesis pass would make between a driving LUT B and
// the LUT A it feeds keeps A's function, on random LUT pairs with inversion
// flags, constants, unused slots and shared inputs, evaluated the way the
// netlist reads LUTs (host::lut_eval).
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "velmo_irsyn_test.h"
#include "vok/vok_atom_netlist.h"

namespace {

constexpr int POOL = 6;      // primary signals
constexpr int B_OUT = 100;   // code of B's output in A's description

struct LUT {
  std::uint64_t mask = 0;
  int codes[8];
  bool inv[8];
  LUT() {
    for (int i = 0; i < 8; ++i) {
      codes[i] = IRSYN_CODE_UNUSED;
      inv[i] = false;
    }
  }
};

bool read_slot(const LUT& l, int i, unsigned pool, bool b_out) {
  const int c = l.codes[i];
  if (c == IRSYN_CODE_UNUSED || c == IRSYN_CODE_ZERO) return false;
  if (c == IRSYN_CODE_ONE) return true;
  const bool v = c == B_OUT ? b_out : ((pool >> c) & 1u) != 0;
  return v != l.inv[i];
}

bool eval(const LUT& l, unsigned pool, bool b_out) {
  unsigned in = 0;
  for (int i = 0; i < 6; ++i)
    if (read_slot(l, i, pool, b_out)) in |= 1u << i;
  return host::lut_eval(l.mask, 6, in);
}

bool eval_pair(const LUT& a, const LUT& b, unsigned pool) { return eval(a, pool, eval(b, pool, false)); }

// A mask from a function of the six natural inputs.
std::uint64_t mask_of(const std::function<bool(unsigned)>& f) {
  std::uint64_t m = 0;
  for (unsigned x = 0; x < 64; ++x)
    if (f(x)) m |= 1ull << (~x & 63u);
  return m;
}

// Random gates (AND, OR, XOR of literals of some slots) or random tables.
std::uint64_t random_mask(std::mt19937_64& rng) {
  const int kind = static_cast<int>(rng() % 4);
  if (kind == 3) return rng();
  const unsigned used = static_cast<unsigned>(rng() % 63) + 1, pol = static_cast<unsigned>(rng() % 64);
  return mask_of([=](unsigned x) {
    const unsigned lit = x ^ pol;
    if (kind == 0) return (lit & used) == used;
    if (kind == 1) return (lit & used) != 0;
    return (__builtin_popcount(lit & used) & 1) != 0;
  });
}

void random_slots(std::mt19937_64& rng, LUT& l) {
  for (int i = 0; i < 6; ++i) {
    const int r = static_cast<int>(rng() % 10);
    l.codes[i] = r < 7 ? static_cast<int>(rng() % POOL) : r == 7 ? IRSYN_CODE_ZERO : r == 8 ? IRSYN_CODE_ONE : IRSYN_CODE_UNUSED;
    l.inv[i] = rng() % 3 == 0;
  }
}

TEST(IrsynExchange, EveryCandidateExchangeKeepsTheComposedFunction) {
  std::mt19937_64 rng(2024);
  int attempts = 0, regular = 0, inverted_found = 0;
  for (int trial = 0; trial < 20000 && attempts < 3000; ++trial) {
    LUT a, b;
    random_slots(rng, a);
    random_slots(rng, b);
    a.mask = random_mask(rng);
    b.mask = random_mask(rng);
    const int sa = static_cast<int>(rng() % 6);
    a.codes[sa] = B_OUT;
    std::vector<int> b_vars;
    for (int i = 0; i < 6; ++i)
      if (b.codes[i] >= 0) b_vars.push_back(i);
    if (b_vars.empty()) continue;
    const int sb = b_vars[rng() % b_vars.size()];
    const bool skip[8] = {false, false, false, false, false, false, false, false};
    bool inverted[8];
    const std::vector<int> slots =
        IRSYN_MANAGER::exchange_slots(a.mask, a.codes, a.inv, sa, b.mask, b.codes, sb, skip, inverted);
    for (int j : slots) {
      ASSERT_NE(j, sa);
      ASSERT_GE(a.codes[j], 0);
      ++attempts;
      (inverted[j] ? inverted_found : regular) += 1;
      LUT a2 = a, b2 = b;
      b2.codes[sb] = a.codes[j];
      b2.inv[sb] = a.inv[j];
      a2.codes[j] = b.codes[sb];
      a2.inv[j] = b.inv[sb];
      if (inverted[j]) {
        b2.mask = IRSYN_MANAGER::invert_mask(b.mask, false, sb);
        a2.mask = IRSYN_MANAGER::invert_mask(a.mask, false, j);
      }
      for (unsigned pool = 0; pool < (1u << POOL); ++pool)
        ASSERT_EQ(eval_pair(a2, b2, pool), eval_pair(a, b, pool))
            << "trial " << trial << " exchange B" << sb << " <-> A" << j << (inverted[j] ? " inverted" : "");
    }
  }
  EXPECT_GE(attempts, 1000);
  EXPECT_GE(regular, 100);
  EXPECT_GE(inverted_found, 100);
}

TEST(IrsynExchange, SkippedAndNonVariableSlotsAreNeverOffered) {
  // A = AND of all six slots, B = AND: every variable slot is symmetric.
  LUT a, b;
  a.mask = b.mask = mask_of([](unsigned x) { return x == 63; });
  for (int i = 0; i < 6; ++i) a.codes[i] = b.codes[i] = i;
  a.codes[0] = B_OUT;
  a.codes[1] = IRSYN_CODE_ONE;
  a.codes[2] = 4;  // the same variable as B's slot 4
  bool skip[8] = {false, false, false, false, false, false, false, false};
  skip[3] = true;
  bool inverted[8];
  const auto slots = IRSYN_MANAGER::exchange_slots(a.mask, a.codes, a.inv, 0, b.mask, b.codes, 4, skip, inverted);
  EXPECT_EQ(slots, (std::vector<int>{5}));
  EXPECT_FALSE(inverted[5]);
}

}  // namespace
