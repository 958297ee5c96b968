#include <cstdint>
#include <vector>

#include "pelk/pelk_symbol.h"
#include "testing/host_test.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_bool_vector.h"
#include "zmp_enum_type.h"
#include "zmp_small_vector.h"
#include "zmp_tiny_vector.h"

using host::testing::HostTest;

namespace {

class SmallContainersTest : public HostTest {};

template <class V> std::vector<int> items(const V& v) { return std::vector<int>(v.begin(), v.end()); }

unsigned first_byte(const ZMP_TINY_VECTOR<int>& v) { return static_cast<unsigned>(v.raw_word() & 0xFF); }

std::vector<std::uint32_t> words(const ZMP_BOOL_VECTOR& v) {
  return std::vector<std::uint32_t>(v.words(), v.words() + (v.size() + 31) / 32);
}

enum PULSE : int { PULSE_NONE = -1, PULSE_A = 3 };

}  // namespace

TEST_F(SmallContainersTest, TinyVectorModes) {
  ZMP_TINY_VECTOR<int> v;
  EXPECT_EQ(first_byte(v), 1u);
  EXPECT_EQ(v.size(), 0u);
  v.push_back(7);
  EXPECT_TRUE(v.is_inline());
  EXPECT_EQ(first_byte(v), 3u);
  EXPECT_EQ(v.raw_word() >> 32, 7u) << "the element sits in the upper 32 bits";

  const int five = 5;
  int* at = v.insert(v.begin(), &five, &five + 1);
  EXPECT_FALSE(v.is_inline());
  EXPECT_EQ(v.capacity(), 2u);
  EXPECT_EQ(items(v), (std::vector<int>{5, 7}));
  EXPECT_EQ(at, v.begin());
  EXPECT_EQ(v.raw_word() & 1u, 0u);

  const int more[] = {1, 2, 3};
  at = v.insert(v.begin() + 1, more, more + 3);
  EXPECT_EQ(items(v), (std::vector<int>{5, 1, 2, 3, 7}));
  EXPECT_EQ(v.capacity(), 5u) << "growth reallocates to the exact size";
  EXPECT_EQ(at, v.begin() + 1);

  // Inserting the vector's own elements.
  at = v.insert(v.end(), v.begin(), v.begin() + 2);
  EXPECT_EQ(items(v), (std::vector<int>{5, 1, 2, 3, 7, 5, 1}));

  v.clear();
  EXPECT_EQ(v.size(), 0u);
  EXPECT_EQ(v.capacity(), 7u) << "clear keeps the block";
  v.push_back(4);
  EXPECT_FALSE(v.is_inline());
  EXPECT_EQ(v.capacity(), 7u);
}

TEST_F(SmallContainersTest, TinyVectorMoves) {
  // A heap vector with at most one element moves in as inline; its block is freed.
  ZMP_TINY_VECTOR<int> heap;
  heap.push_back(1);
  heap.push_back(2);
  heap.clear();
  ZMP_TINY_VECTOR<int> target;
  target.push_back(9);
  target.push_back(8);
  target = std::move(heap);
  EXPECT_TRUE(target.is_inline());
  EXPECT_EQ(first_byte(target), 1u);
  EXPECT_EQ(first_byte(heap), 1u);

  ZMP_TINY_VECTOR<int> one;
  one.push_back(1);
  one.push_back(2);
  one.clear();
  one.push_back(6);
  target = std::move(one);
  EXPECT_EQ(first_byte(target), 3u);
  EXPECT_EQ(items(target), (std::vector<int>{6}));

  // Three elements: the block is handed over; the source reads empty.
  ZMP_TINY_VECTOR<int> three;
  for (int i : {1, 2, 3}) three.push_back(i);
  const int* block_elements = three.begin();
  ZMP_TINY_VECTOR<int> taker;
  taker = std::move(three);
  EXPECT_EQ(taker.begin(), block_elements);
  EXPECT_EQ(items(taker), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(three.size(), 0u);
  EXPECT_EQ(first_byte(three), 1u);

  // Inline into a heap target frees the target's block.
  ZMP_TINY_VECTOR<int> inl;
  inl.push_back(4);
  taker = std::move(inl);
  EXPECT_EQ(items(taker), (std::vector<int>{4}));
  EXPECT_TRUE(taker.is_inline());

  // Moving a vector onto itself keeps it.
  ZMP_TINY_VECTOR<int> self;
  for (int i : {1, 2, 3}) self.push_back(i);
  ZMP_TINY_VECTOR<int>& alias = self;
  self = std::move(alias);
  EXPECT_EQ(items(self), (std::vector<int>{1, 2, 3}));

  ZMP_TINY_VECTOR<int> constructed(std::move(self));
  EXPECT_EQ(items(constructed), (std::vector<int>{1, 2, 3}));
  ZMP_TINY_VECTOR<int> copy(constructed);
  EXPECT_EQ(items(copy), (std::vector<int>{1, 2, 3}));
  EXPECT_NE(copy.begin(), constructed.begin());
}

TEST_F(SmallContainersTest, SmallVectorInlineThenHeap) {
  ZMP_SMALL_VECTOR<int, 2> v;
  EXPECT_TRUE(v.is_inline());
  v.push_back(1);
  v.push_back(2);
  EXPECT_TRUE(v.is_inline());
  v.insert(v.begin() + 1, 3, 9);
  EXPECT_FALSE(v.is_inline());
  EXPECT_EQ(items(v), (std::vector<int>{1, 9, 9, 9, 2}));
  v.resize(7, 4);
  EXPECT_EQ(items(v), (std::vector<int>{1, 9, 9, 9, 2, 4, 4}));
  v.resize(2);
  EXPECT_EQ(items(v), (std::vector<int>{1, 9}));
  v.insert(v.begin(), 2, v[1]);  // the value lives in the vector
  EXPECT_EQ(items(v), (std::vector<int>{9, 9, 1, 9}));

  ZMP_SMALL_VECTOR<int, 2> copy(v);
  EXPECT_EQ(items(copy), items(v));
  ZMP_SMALL_VECTOR<int, 2> moved(std::move(v));
  EXPECT_EQ(items(moved), (std::vector<int>{9, 9, 1, 9}));
  EXPECT_TRUE(v.empty());
  EXPECT_TRUE(v.is_inline());

  ZMP_SMALL_VECTOR<int, 2> small{5};
  ZMP_SMALL_VECTOR<int, 2> target{1, 2, 3};
  target = std::move(small);
  EXPECT_EQ(items(target), (std::vector<int>{5}));
  EXPECT_TRUE(target.is_inline());
  target = copy;
  EXPECT_EQ(items(target), items(copy));

  ZMP_SMALL_VECTOR<std::vector<int>, 1> nested;
  nested.resize(3, std::vector<int>{1, 2});
  nested.emplace_back(nested[0]);
  EXPECT_EQ(nested.size(), 4u);
  EXPECT_EQ(nested[3], (std::vector<int>{1, 2}));
  // Copies of an element of a full vector: it grows, moving that element.
  ZMP_SMALL_VECTOR<std::vector<int>, 1> full;
  full.emplace_back(std::vector<int>{1, 2});
  full.insert(full.begin(), 2, full[0]);
  ASSERT_EQ(full.size(), 3u);
  for (std::size_t i = 0; i < full.size(); ++i) EXPECT_EQ(full[i], (std::vector<int>{1, 2})) << i;
}

TEST_F(SmallContainersTest, BoolVectorRanges) {
  ZMP_BOOL_VECTOR v(40);
  v.assign(0, 39, true);
  EXPECT_EQ(words(v), (std::vector<std::uint32_t>{0xFFFFFFFFu, 0xFFu})) << "no bit beyond the size";
  v.assign(3, 5, false);
  EXPECT_EQ(words(v)[0], 0xFFFFFFC7u);
  v.assign(0, 39, false);
  EXPECT_EQ(words(v), (std::vector<std::uint32_t>{0, 0}));
  v.assign(30, 33, true);
  EXPECT_EQ(words(v), (std::vector<std::uint32_t>{0xC0000000u, 0x3u}));
  EXPECT_TRUE(v.test(31));
  EXPECT_FALSE(v.test(34));

  ZMP_BOOL_VECTOR w(100);
  w.assign(0, 99, true);
  w.assign(5, 70, false);
  EXPECT_EQ(words(w), (std::vector<std::uint32_t>{0x1Fu, 0, 0xFFFFFF80u, 0xFu}));
  w.assign(33, 95, true);
  EXPECT_EQ(words(w), (std::vector<std::uint32_t>{0x1Fu, 0xFFFFFFFEu, 0xFFFFFFFFu, 0xFu}));

  ZMP_BOOL_VECTOR copy(w);
  w.resize(10);
  EXPECT_EQ(words(w), (std::vector<std::uint32_t>{0x1Fu}));
  w.resize(40);
  EXPECT_EQ(words(w), (std::vector<std::uint32_t>{0x1Fu, 0})) << "grown bits are clear";
  EXPECT_EQ(words(copy)[1], 0xFFFFFFFEu);

  // Bits cut off inside the kept last word are clear when it grows back.
  ZMP_BOOL_VECTOR s(40);
  s.assign(0, 39, true);
  s.resize(10);
  s.resize(40);
  EXPECT_EQ(words(s), (std::vector<std::uint32_t>{0x3FFu, 0}));
  s.assign(0, 39, true);
  s.resize(35);
  s.resize(40);
  EXPECT_EQ(words(s), (std::vector<std::uint32_t>{0xFFFFFFFFu, 0x7u}));
}

TEST_F(SmallContainersTest, EnumTypeCarriesItsValue) {
  ZMP_ENUM_TYPE<PULSE> p(PULSE_NONE);
  EXPECT_EQ(p.get(), PULSE_NONE);
  ZMP_ENUM_TYPE<PULSE> q = p;
  q.set(PULSE_A);
  EXPECT_EQ(q.get_int_value(), 3);
  EXPECT_EQ(p.get(), PULSE_NONE);
  ZMP_ENUM_BASE* base = new ZMP_ENUM_TYPE<PULSE>(PULSE_A);
  EXPECT_EQ(base->get_int_value(), 3);
  delete base;
}

TEST_F(SmallContainersTest, SymbolsAsTinyVectorElementsAndPairKeys) {
  const PELK a = PELK::intern(9, "dataa");
  const PELK b = PELK::intern(9, "datab");
  ZMP_HASH_LITE<int, ZMP_TINY_VECTOR<PELK>> mapping;
  mapping[1].push_back(a);
  mapping[1].push_back(b);
  mapping[2].push_back(b);
  ZMP_HASH_LITE<int, ZMP_TINY_VECTOR<PELK>> copy(mapping);
  ASSERT_EQ(copy[1].size(), 2u);
  EXPECT_TRUE(copy[1][0] == a && copy[1][1] == b);
  EXPECT_TRUE(copy[2].is_inline());
  EXPECT_TRUE(copy[2][0] == b);

  using KEY = PAIR_OF_NUMERIC_THINGS<int, PELK>;
  ZMP_HASH_LITE<KEY, unsigned long long, PAIR_OF_NUMERIC_THINGS_OPS> by_pair;
  by_pair[KEY{1, a}] = 5;
  by_pair[KEY{1, b}] = 6;
  EXPECT_EQ(by_pair.size(), 2u);
  EXPECT_EQ((by_pair[KEY{1, a}]), 5u);
  EXPECT_EQ(ZMP_OPS<PELK>::hash(b), static_cast<unsigned>(b.index()));
}
