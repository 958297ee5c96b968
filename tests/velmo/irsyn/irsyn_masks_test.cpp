// Truth tables and LUT-mask arithmetic of the resynthesiser against
// bit-by-bit references.
#include <gtest/gtest.h>

#include <random>

#include "velmo_irsyn_test.h"

namespace {

template <int N> TTBL<N> random_table(std::mt19937_64& rng) {
  TTBL<N> t;
  for (int w = 0; w < TTBL<N>::WORDS; ++w) t.word(w) = rng();
  return t;
}

unsigned exchange_bits(unsigned x, int a, int b) {
  const unsigned va = (x >> a) & 1u, vb = (x >> b) & 1u;
  x &= ~((1u << a) | (1u << b));
  return x | (va << b) | (vb << a);
}

template <int N> void check_swap_and_invert(std::mt19937_64& rng) {
  for (int round = 0; round < 3; ++round) {
    const TTBL<N> f = random_table<N>(rng);
    for (int a = 0; a < N; ++a) {
      const TTBL<N> inv = f.invert(a);
      for (unsigned x = 0; x < (1u << N); ++x) ASSERT_EQ(inv.value(x), f.value(x ^ (1u << a))) << N << " inv " << a;
      for (int b = 0; b < N; ++b) {
        const TTBL<N> s = f.swap(a, b);
        for (unsigned x = 0; x < (1u << N); ++x)
          ASSERT_EQ(s.value(x), f.value(exchange_bits(x, a, b))) << N << " swap " << a << "," << b;
      }
    }
  }
}

TEST(IrsynTruthTables, SwapAndInvertEqualBruteForceForEveryVariablePair) {
  std::mt19937_64 rng(7);
  check_swap_and_invert<6>(rng);
  check_swap_and_invert<8>(rng);
  check_swap_and_invert<12>(rng);
}

TEST(IrsynTruthTables, TheSingleVariableCases) {
  const TTBL<6> x0 = TTBL<6>::filled(0xAAAAAAAAAAAAAAAAull);
  EXPECT_EQ(x0.swap(0, 1).word(0), 0xCCCCCCCCCCCCCCCCull);
  EXPECT_EQ(x0.invert(0).word(0), 0x5555555555555555ull);
  // Swapping a variable with itself leaves the table alone.
  std::mt19937_64 rng(3);
  const TTBL<12> f = random_table<12>(rng);
  for (int a = 0; a < 12; ++a) EXPECT_EQ(f.swap(a, a), f);
}

TEST(IrsynMasks, ExtendedSwapsStayInTheirHalf) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 200; ++i) {
    const std::uint64_t m = rng();
    const std::uint64_t low = IRSYN_MANAGER::swap_mask(m, true, 2, 3);
    const std::uint64_t high = IRSYN_MANAGER::swap_mask(m, true, 5, 6);
    EXPECT_EQ(low >> 32, m >> 32);
    EXPECT_EQ(high & 0xFFFFFFFFull, m & 0xFFFFFFFFull);
    // Within its half the exchange is the in-word one of variables 2 and 3.
    const std::uint64_t dl = (m & 0xFFFFFFFFull) | (m << 32);
    EXPECT_EQ(low & 0xFFFFFFFFull, TTBL<6>::filled(dl).swap(2, 3).word(0) & 0xFFFFFFFFull);
    const std::uint64_t dh = (m >> 32) | (m & ~0xFFFFFFFFull);
    EXPECT_EQ(high >> 32, TTBL<6>::filled(dh).swap(2, 3).word(0) >> 32);
    // Slots 0, 1 and 4 are the same variables in both halves; the normal
    // mode exchanges over the whole mask.
    EXPECT_EQ(IRSYN_MANAGER::swap_mask(m, true, 0, 4), TTBL<6>::filled(m).swap(0, 4).word(0));
    EXPECT_EQ(IRSYN_MANAGER::swap_mask(m, false, 2, 5), TTBL<6>::filled(m).swap(2, 5).word(0));
    EXPECT_EQ(IRSYN_MANAGER::swap_mask(m, true, 3, 4), m);
  }
}

TEST(IrsynMasks, ExtendedInversionsByHalf) {
  std::mt19937_64 rng(13);
  for (int i = 0; i < 200; ++i) {
    const std::uint64_t m = rng();
    EXPECT_EQ(IRSYN_MANAGER::invert_mask(m, true, 7), (m >> 32) | (m << 32));
    const std::uint64_t l2 = IRSYN_MANAGER::invert_mask(m, true, 2);
    EXPECT_EQ(l2 >> 32, m >> 32);
    EXPECT_EQ(l2 & 0xFFFFFFFFull, TTBL<6>::filled(m).invert(2).word(0) & 0xFFFFFFFFull);
    const std::uint64_t h6 = IRSYN_MANAGER::invert_mask(m, true, 6);
    EXPECT_EQ(h6 & 0xFFFFFFFFull, m & 0xFFFFFFFFull);
    EXPECT_EQ(h6 >> 32, TTBL<6>::filled(m).invert(3).word(0) >> 32);
    EXPECT_EQ(IRSYN_MANAGER::invert_mask(m, true, 4), TTBL<6>::filled(m).invert(4).word(0));
    EXPECT_EQ(IRSYN_MANAGER::invert_mask(m, false, 5), TTBL<6>::filled(m).invert(5).word(0));
  }
}

TEST(IrsynMasks, DivisionFunctionsPlaceConstantsAndMoveSlots) {
  std::mt19937_64 rng(17);
  const std::uint64_t m = rng();
  const int identity[6] = {0, 1, 2, 3, 4, 5};
  EXPECT_EQ(IRSYN_MANAGER::compute_div_fn(m, identity), TTBL<12>::filled(m));
  // Constants: slot 1 fixed to 1, slot 3 to 0, the others moved up by six.
  const int map[6] = {6, -1, 8, -2, 10, 11};
  const TTBL<12> f = IRSYN_MANAGER::compute_div_fn(m, map);
  for (unsigned x = 0; x < 4096; ++x) {
    unsigned p = 0;  // the mask position the assignment reads
    p |= ((x >> 6) & 1u) << 0;
    p |= 1u << 1;
    p |= ((x >> 8) & 1u) << 2;
    p |= ((x >> 10) & 1u) << 4;
    p |= ((x >> 11) & 1u) << 5;
    ASSERT_EQ(f.value(x), ((m >> p) & 1u) != 0) << x;
  }
  // Moves that cross each other respect the earlier ones.
  const int cross[6] = {1, 0, 2, 3, 4, 5};
  EXPECT_EQ(IRSYN_MANAGER::compute_div_fn(m, cross), TTBL<12>::filled(m).swap(0, 1));
}

TEST(IrsynMasks, GatherUndoesScatter) {
  std::mt19937_64 rng(19);
  for (int round = 0; round < 300; ++round) {
    std::vector<int> positions(12);
    for (int i = 0; i < 12; ++i) positions[i] = i;
    std::shuffle(positions.begin(), positions.end(), rng);
    int map[6];
    for (int i = 0; i < 6; ++i) map[i] = rng() % 4 == 0 ? -1 : positions[i];
    const TTBL<12> f = random_table<12>(rng);
    const TTBL<12> s = IRSYN_MANAGER::fn_shuffle_scatter(f, map);
    for (int i = 0; i < 6; ++i)
      if (map[i] >= 0) {
        // Slot i's variable now stands at map[i].
        ASSERT_EQ(s.depends_on(map[i]), f.depends_on(i));
      }
    ASSERT_EQ(IRSYN_MANAGER::fn_shuffle_gather(s, map), f) << round;
  }
}

TEST(IrsynMasks, DividedFunctionsStayInsideTheInterval) {
  std::mt19937_64 rng(23);
  int improved = 0;
  for (int round = 0; round < 100; ++round) {
    // Small-support functions so that some reduction is possible.
    const std::uint64_t fm = rng(), gm = rng() & rng();
    const int mf[6] = {0, 1, 2, 3, 6, 7}, mg[6] = {0, 1, 4, 5, -1, -2};
    const TTBL<12> f = IRSYN_MANAGER::compute_div_fn(fm, mf);
    const TTBL<12> g = IRSYN_MANAGER::compute_div_fn(gm, mg);
    const int var = static_cast<int>(rng() % 12);
    int best = 0;
    TTBL<12> out1, out2;
    IRSYN_MANAGER::divide(f, g, var, &best, &out1, &out2);
    if (best == 0) continue;
    ++improved;
    EXPECT_EQ(out1, g);
    TTBL<12> x;
    for (int w = 0; w < 64; ++w) x.word(w) = var < 6 ? TTBL_VAR_MASK[var] : ((w >> (var - 6)) & 1 ? ~0ull : 0);
    const TTBL<12> lo = f & ~(g ^ x), hi = f | (g ^ x);
    // The reduced upper bound still covers the lower bound and lies under hi.
    EXPECT_TRUE((lo & ~out2).is_zero());
    EXPECT_TRUE((out2 & ~hi).is_zero());
    // A larger best count from elsewhere is kept.
    int higher = 99;
    TTBL<12> keep1 = f, keep2 = f;
    IRSYN_MANAGER::divide(f, g, var, &higher, &keep1, &keep2);
    EXPECT_EQ(higher, 99);
    EXPECT_EQ(keep1, f);
  }
  EXPECT_GT(improved, 10);
}

TEST(IrsynMasks, EightInputTableOfALutDescription) {
  BDIV_LUT lut;
  lut.mask = 0x0123456789ABCDEFull;
  EXPECT_EQ(IRSYN_MANAGER::bdiv_get_lut_fn(&lut), TTBL<8>::filled(lut.mask));
  lut.codes[7] = 0;
  const TTBL<8> t = IRSYN_MANAGER::bdiv_get_lut_fn(&lut);
  for (unsigned x = 0; x < 256; ++x) {
    const auto bit = [&](int i) { return (x >> i) & 1u; };
    unsigned p;
    if (bit(7))
      p = 32 + (bit(0) | bit(1) << 1 | bit(5) << 2 | bit(6) << 3 | bit(4) << 4);
    else
      p = bit(0) | bit(1) << 1 | bit(2) << 2 | bit(3) << 3 | bit(4) << 4;
    ASSERT_EQ(t.value(x), ((lut.mask >> p) & 1u) != 0) << x;
  }
  lut.inv[7] = true;
  EXPECT_EQ(IRSYN_MANAGER::bdiv_get_lut_fn(&lut), t.invert(7));
}

}  // namespace
