#include <stdexcept>
#include <string>
#include <vector>

#include "testing/host_test.h"
#include "zmp_dense_hash.h"

using host::testing::HostTest;

namespace {

class DenseHashTest : public HostTest {};

template <class MAP> std::vector<std::pair<unsigned, int>> layout(const MAP& m) {
  std::vector<std::pair<unsigned, int>> out;
  for (auto it = m.begin(); it != m.end(); ++it) out.push_back({it.index(), static_cast<int>(it->first)});
  return out;
}

}  // namespace

TEST_F(DenseHashTest, AtThrowsKeyNotFoundAndSubscriptInsertsZero) {
  ZMP::DENSE_HASH<unsigned, int> m;
  EXPECT_EQ(m.capacity(), 0u);
  EXPECT_FALSE(m.exists(3));
  EXPECT_EQ(m.get_insertion_index(3), m.capacity());
  try {
    (void)m.at(3);
    ADD_FAILURE() << "at on an empty map must throw";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "Key not found");
  }
  m[3] = 7;
  EXPECT_EQ(m.at(3), 7);
  try {
    (void)m.at(4);
    ADD_FAILURE() << "at of an absent key must throw";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "Key not found");
  }

  m[4];
  m[5];
  EXPECT_EQ(m.size(), 3u);
  EXPECT_EQ(m.capacity(), 4u);
  EXPECT_EQ(m[5], 0);
  m[5] = 9;
  EXPECT_EQ(m[5], 9) << "a present key is found without growth";
  EXPECT_EQ(m.capacity(), 4u);
  m[6];  // the fourth entry doubles the table
  EXPECT_EQ(m.capacity(), 8u);
  EXPECT_EQ(m.at(3), 7);
  EXPECT_EQ(m.at(5), 9);

  auto [it, inserted] = m.insert_impl(5u, 1);
  EXPECT_FALSE(inserted);
  EXPECT_EQ(it->second, 9);
}

TEST_F(DenseHashTest, CapacitiesAndProbeOrder) {
  ZMP::DENSE_HASH_SET<int> s;
  auto [it, inserted] = s.insert(1);
  EXPECT_TRUE(inserted);
  EXPECT_EQ(s.capacity(), 2u);
  EXPECT_EQ(it.index(), 1u) << "37 & 1";

  ZMP::DENSE_HASH_SET<int> grow;
  std::vector<unsigned> caps;
  for (int k = 0; k < 13; ++k) {
    grow.insert(k);
    caps.push_back(grow.capacity());
  }
  EXPECT_EQ(caps, (std::vector<unsigned>{2, 4, 4, 8, 8, 8, 16, 16, 16, 16, 16, 16, 32}));

  // Keys 0, 8 and 16 share start slot 0 in a table of 8: offsets 0, 1, 3.
  ZMP::DENSE_HASH<int, int> m;
  EXPECT_TRUE(m.grow_if_necessary(5));
  EXPECT_EQ(m.capacity(), 8u);
  EXPECT_FALSE(m.grow_if_necessary(5));
  m.insert_impl(0, 0);
  m.insert_impl(8, 1);
  m.insert_impl(16, 2);
  EXPECT_EQ(m.find(0).index(), 0u);
  EXPECT_EQ(m.find(8).index(), 1u);
  EXPECT_EQ(m.find(16).index(), 3u);
  EXPECT_EQ(m.get_insertion_index(24), 6u) << "the next offset is 6";
  EXPECT_FALSE(m.is_occupied(m.get_insertion_index(24)));
  EXPECT_EQ(layout(m), (std::vector<std::pair<unsigned, int>>{{0, 0}, {1, 8}, {3, 16}}));
  EXPECT_TRUE(m.find(24) == m.end());

  // Negative keys probe from their 32-bit pattern.
  ZMP::DENSE_HASH_SET<int> neg;
  neg.insert(-1);
  EXPECT_EQ(neg.find(-1).index(), (0xFFFFFFFFu * 37u) & 1u);
}

TEST_F(DenseHashTest, RebuildReinsertsInSlotOrder) {
  ZMP::DENSE_HASH<unsigned, int> m;
  for (unsigned k : {5u, 13u, 21u}) m[k] = static_cast<int>(k);
  // Capacity 4: 5 -> slot 1, 13 -> slot 1 taken -> 2, 21 -> 1, 2 taken -> 0.
  EXPECT_EQ(layout(m), (std::vector<std::pair<unsigned, int>>{{0, 21}, {1, 5}, {2, 13}}));
  m[29] = 29;  // capacity 8; reinserted in slot order 21, 5, 13, then 29
  EXPECT_EQ(m.capacity(), 8u);
  // 21 -> 777 & 7 = 1; 5 -> 185 & 7 = 1 taken -> 2; 13 -> 481 & 7 = 1 -> 2 -> 4; 29 -> 1073 & 7 = 1 -> 2 -> 4 -> 7.
  EXPECT_EQ(layout(m), (std::vector<std::pair<unsigned, int>>{{1, 21}, {2, 5}, {4, 13}, {7, 29}}));
}

TEST_F(DenseHashTest, AssignmentCopiesTheSlotLayout) {
  ZMP::DENSE_HASH<int, std::vector<int>> a;
  for (int k = 0; k < 10; ++k) a[k] = std::vector<int>(static_cast<std::size_t>(k), k);
  ZMP::DENSE_HASH<int, std::vector<int>> b;
  b[100] = {1, 2};
  b = a;  // different capacities
  EXPECT_EQ(b.capacity(), a.capacity());
  EXPECT_EQ(layout(b), layout(a));
  EXPECT_EQ(b.at(7), std::vector<int>(7, 7));

  ZMP::DENSE_HASH<int, std::vector<int>> c;
  for (int k = 20; k < 30; ++k) c[k] = {k};
  ASSERT_EQ(c.capacity(), a.capacity());
  c = a;  // equal capacities: entries assigned, constructed or dropped slot by slot
  EXPECT_EQ(layout(c), layout(a));
  EXPECT_FALSE(c.exists(25));
  EXPECT_EQ(c.at(9), std::vector<int>(9, 9));
  c = c;
  EXPECT_EQ(c.size(), 10u);

  ZMP::DENSE_HASH<int, std::vector<int>> empty;
  c = empty;
  EXPECT_EQ(c.capacity(), 0u);
  EXPECT_EQ(c.size(), 0u);
  EXPECT_TRUE(c.begin() == c.end());

  ZMP::DENSE_HASH<int, std::vector<int>> moved(std::move(a));
  EXPECT_EQ(moved.size(), 10u);
  EXPECT_EQ(a.capacity(), 0u);
  ZMP::DENSE_HASH<int, std::vector<int>> copied(moved);
  EXPECT_EQ(layout(copied), layout(moved));

  ZMP::DENSE_HASH_SET<const std::string*> ptrs;
  std::string names[3];
  for (auto& n : names) ptrs.insert(&n);
  for (auto& n : names) EXPECT_TRUE(ptrs.exists(&n));
  EXPECT_FALSE(ptrs.exists(nullptr));
}

TEST_F(DenseHashTest, IntSetIteratesWordsInSlotOrderAndBitsAscending) {
  using SET = ZMP_INT_SET_T<unsigned, ZMP::DENSE_HASH<unsigned, unsigned long long>>;
  SET empty;
  EXPECT_TRUE(empty.begin() == empty.end());

  SET s;
  for (unsigned v : {130u, 3u, 64u, 3u}) s.insert(v);
  EXPECT_EQ(std::vector<unsigned>(s.begin(), s.end()), (std::vector<unsigned>{3u, 64u, 130u}));
  EXPECT_TRUE(s.exists(64));
  EXPECT_FALSE(s.exists(65));

  SET edges;
  for (unsigned v : {0u, 63u, 127u, 64u, 6400u}) edges.insert(v);
  std::vector<unsigned> got(edges.begin(), edges.end());
  // Words 0, 1 and 100 start at slots 0, 37 & 3 = 1 and 3700 & 3 = 0 -> 1 -> 3.
  EXPECT_EQ(got, (std::vector<unsigned>{0u, 63u, 64u, 127u, 6400u}));

  // A word whose mask became empty is passed over.
  ZMP::DENSE_HASH<unsigned, unsigned long long> words;
  words[0] = 0;
  words[1] = 1ull << 63;
  SET::const_iterator it(words.begin(), words.end(), 0);
  it.skip_zeros();
  EXPECT_EQ(*it, 127u);
  ++it;
  EXPECT_TRUE(it == SET::const_iterator(words.end(), words.end(), 0));
}
