#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testing/host_test.h"
#include "zmp/zmp_growth.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_hash_set.h"
#include "zmp_hash_set_lite_sys.h"
#include "zmp_tiny_vector.h"

using host::testing::expect_internal_error;
using host::testing::HostTest;

namespace {

class HashLiteTest : public HostTest {};

// The chained table as a list of chains: new keys at the chain head, growth
// past (4 * count) / 5 relinking old buckets from 0, each chain from its head,
// onto the front of the new chains.
struct CHAIN_MODEL {
  unsigned count = zmp_hash_lite_get_next_prime(60);
  std::vector<std::vector<int>> chains = std::vector<std::vector<int>>(count);
  unsigned size = 0;

  unsigned bucket(int k, unsigned n) const { return static_cast<unsigned>(k) % n; }
  void insert(int k) {
    auto& c = chains[bucket(k, count)];
    if (std::find(c.begin(), c.end(), k) != c.end()) return;
    c.insert(c.begin(), k);
    if (++size > static_cast<unsigned>(static_cast<int>(4 * count) / 5)) {
      const unsigned n = zmp_hash_lite_50_percent_increase_size(count);
      std::vector<std::vector<int>> fresh(n);
      for (auto& chain : chains)
        for (int key : chain) fresh[bucket(key, n)].insert(fresh[bucket(key, n)].begin(), key);
      chains = std::move(fresh);
      count = n;
    }
  }
  void erase(int k) {
    auto& c = chains[bucket(k, count)];
    auto it = std::find(c.begin(), c.end(), k);
    if (it != c.end()) {
      c.erase(it);
      --size;
    }
  }
  std::vector<int> order() const {
    std::vector<int> out;
    for (const auto& c : chains) out.insert(out.end(), c.begin(), c.end());
    return out;
  }
};

template <class MAP> std::vector<int> keys_of(const MAP& m) {
  std::vector<int> out;
  for (auto it = m.begin(); it != m.end(); ++it) out.push_back(it->first);
  return out;
}

}  // namespace

TEST_F(HashLiteTest, FreshMapAllocatesNothingAndAnswersEmpty) {
  ZMP_HASH_LITE<int, int> m;
  EXPECT_EQ(m.bucket_count(), 61u);
  EXPECT_EQ(m.size(), 0u);
  EXPECT_FALSE(m.exists(4));
  EXPECT_EQ(m.erase(4), 0u);
  EXPECT_TRUE(m.begin() == m.end());
  auto f = m.find_impl(66);
  EXPECT_TRUE(f.is_end()) << "a lookup before the first insertion finds nothing";
  EXPECT_EQ(f.bucket(), 5u) << "the key's bucket";
  EXPECT_EQ(m.lookup(4), nullptr);
  ZMP_HASH_LITE<int, int> copy(m);
  EXPECT_TRUE(copy.begin() == copy.end());

  ZMP_HASH_SET_LITE<int> s;
  EXPECT_FALSE(s.exists(1));
  EXPECT_TRUE(s.find(1).is_end());
  EXPECT_TRUE(s.begin() == s.end());
}

TEST_F(HashLiteTest, SubscriptAndInsertKeepPresentEntries) {
  ZMP_HASH_LITE<int, int> m;
  int& v = m[7];
  EXPECT_EQ(v, 0);
  EXPECT_EQ(m.size(), 1u);
  v = 5;
  EXPECT_EQ(&m[7], &v);
  EXPECT_EQ(m.size(), 1u);

  auto [it, inserted] = m.insert_impl(7, 9);
  EXPECT_FALSE(inserted);
  EXPECT_EQ(it->second, 5);
  auto [it2, inserted2] = m.insert_impl(8, 9);
  EXPECT_TRUE(inserted2);
  EXPECT_EQ(it2->first, 8);
  EXPECT_EQ(it2.bucket(), 8u);
  EXPECT_EQ(*m.lookup(8), 9);

  ZMP_HASH_LITE<std::string, std::vector<int>> sv;
  sv["a"].push_back(1);
  sv[std::string("a")].push_back(2);
  EXPECT_EQ(sv["a"], (std::vector<int>{1, 2}));
  EXPECT_EQ(sv.find("b").is_end(), true);
}

TEST_F(HashLiteTest, GrowsOnlyWhenSizePassesFourFifthsAndKeepsValuesInPlace) {
  ZMP_HASH_LITE<int, int> m;
  std::vector<int*> where;
  for (int k = 0; k < 48; ++k) where.push_back(&m[k]);
  EXPECT_EQ(m.bucket_count(), 61u) << "size may equal the threshold";
  auto stale = m.begin();
  auto stale_const = static_cast<const ZMP_HASH_LITE<int, int>&>(m).begin();
  auto [it, inserted] = m.insert_impl(48, 1);
  EXPECT_TRUE(inserted);
  EXPECT_EQ(m.bucket_count(), zmp_hash_lite_50_percent_increase_size(61));
  EXPECT_EQ(it.bucket(), 48u);
  EXPECT_EQ(it.bucket_count_seen(), m.bucket_count()) << "the iterator is made after the growth";
  for (int k = 0; k < 48; ++k) EXPECT_EQ(&m[k], where[k]) << "nodes never move";

  auto e = expect_internal_error([&] { ++stale; });
  EXPECT_EQ(e.condition, "(m_hash != 0) && (m_bucket_cnt == m_hash->bucket_count())");
  EXPECT_EQ(e.file, "zmp_hash_lite_sys");
  EXPECT_EQ(e.line, 177);
  e = expect_internal_error([&] { ++stale_const; });
  EXPECT_EQ(e.line, 278);
  e = expect_internal_error([] {
    ZMP_HASH_LITE_ITERATOR<int, int, ZMP_OPS<int>> none;
    ++none;
  });
  EXPECT_EQ(e.line, 177);

  ZMP_HASH_SET_LITE<int> s;
  s.insert(1);
  auto sit = s.begin();
  s.resize_set(200);
  e = expect_internal_error([&] { ++sit; });
  EXPECT_EQ(e.condition, "(m_set != 0) && (m_bucket_cnt == m_set->bucket_count())");
  EXPECT_EQ(e.file, "zmp_hash_set_lite_sys");
  EXPECT_EQ(e.line, 160);
}

TEST_F(HashLiteTest, IterationFollowsBucketsAndChainsThroughGrowthAndErase) {
  ZMP_HASH_LITE<int, int> m;
  m[5];
  m[66];  // same bucket as 5 under 61 buckets: the later key comes first
  m[-1];  // bucket (2^32 - 1) % 61
  m[3];
  EXPECT_EQ(m.find_impl(-1).bucket(), 0xFFFFFFFFu % 61u);
  EXPECT_EQ(keys_of(m), (std::vector<int>{3, 66, 5, -1}));

  // Random inserts and erases against the model, well past several growths.
  std::mt19937 rng(12345);
  CHAIN_MODEL model;
  ZMP_HASH_LITE<int, int> big;
  ZMP_HASH_SET_LITE<int> set;
  for (int i = 0; i < 4000; ++i) {
    const int k = static_cast<int>(rng() % 3000) - 1000;
    if (rng() % 4 == 0) {
      EXPECT_EQ(big.erase(k), set.exists(k) ? 1u : 0u);
      set.erase(k);
      model.erase(k);
    } else {
      big[k] = k * 2;
      set.insert(k);
      model.insert(k);
    }
  }
  EXPECT_EQ(big.size(), model.size);
  EXPECT_EQ(big.bucket_count(), model.count);
  EXPECT_EQ(keys_of(big), model.order());
  std::vector<int> set_keys(set.begin(), set.end());
  EXPECT_EQ(set_keys, model.order());
  for (const auto& kv : big) EXPECT_EQ(kv.second, kv.first * 2);

  // An explicit resize relinks the same way.
  big.resize_hash(1009);
  std::vector<std::vector<int>> fresh(1009);
  for (const auto& c : model.chains)
    for (int k : c) fresh[static_cast<unsigned>(k) % 1009].insert(fresh[static_cast<unsigned>(k) % 1009].begin(), k);
  model.chains = fresh;
  model.count = 1009;
  EXPECT_EQ(keys_of(big), model.order());
}

TEST_F(HashLiteTest, ErasedNodesAreReusedLastInFirstOut) {
  ZMP_HASH_LITE<int, int> m;
  int* a = &m[1];
  int* b = &m[2];
  m[3] = 3;
  EXPECT_EQ(m.erase(1), 1u);
  EXPECT_EQ(m.erase(2), 1u);
  EXPECT_EQ(m.erase(2), 0u);
  EXPECT_EQ(m.size(), 1u);
  EXPECT_EQ(&m[10], b);
  EXPECT_EQ(&m[11], a);
  EXPECT_EQ(m[11], 0) << "a recycled node holds a value-initialised value";

  // Erasing the head, the middle and the tail of one chain.
  ZMP_HASH_LITE<int, int> c;
  for (int k : {4, 65, 126, 187}) c[k] = k;
  c.erase(187);
  c.erase(65);
  c.erase(4);
  EXPECT_EQ(keys_of(c), (std::vector<int>{126}));
}

TEST_F(HashLiteTest, CopyReversesChainsAndMoveEmptiesTheSource) {
  ZMP_HASH_LITE<int, std::vector<int>> m;
  m[5] = {1};
  m[66] = {2};
  m[6] = {3};
  EXPECT_EQ(keys_of(m), (std::vector<int>{66, 5, 6}));
  ZMP_HASH_LITE<int, std::vector<int>> copy(m);
  EXPECT_EQ(keys_of(copy), (std::vector<int>{5, 66, 6}));
  EXPECT_EQ(copy[66], std::vector<int>{2});
  EXPECT_EQ(copy.bucket_count(), m.bucket_count());

  ZMP_HASH_LITE<int, std::vector<int>> assigned;
  assigned[1] = {9};
  assigned = m;
  EXPECT_EQ(keys_of(assigned), (std::vector<int>{5, 66, 6}));
  assigned = assigned;
  EXPECT_EQ(assigned.size(), 3u);

  // An empty source that once grew: the copy constructor takes its bucket
  // count, assignment gives a fresh map's.
  ZMP_HASH_LITE<int, std::vector<int>> grown;
  for (int i = 0; i < 200; ++i) grown[i] = {i};
  grown.clear(true, true);
  ASSERT_GT(grown.bucket_count(), 61u);
  const ZMP_HASH_LITE<int, std::vector<int>> copied(grown);
  EXPECT_EQ(copied.bucket_count(), grown.bucket_count());
  assigned = grown;
  EXPECT_EQ(assigned.size(), 0u);
  EXPECT_EQ(assigned.bucket_count(), 61u);
  assigned[7] = {7};
  EXPECT_EQ(keys_of(assigned), std::vector<int>{7});

  ZMP_HASH_LITE<int, std::vector<int>> moved(std::move(m));
  EXPECT_EQ(keys_of(moved), (std::vector<int>{66, 5, 6}));
  EXPECT_EQ(m.size(), 0u);
  EXPECT_EQ(m.bucket_count(), 61u);
  EXPECT_TRUE(m.begin() == m.end());
  m[1] = {4};  // the moved-from map is usable
  EXPECT_EQ(m.size(), 1u);
  moved = std::move(m);
  EXPECT_EQ(keys_of(moved), (std::vector<int>{1}));
  EXPECT_EQ(m.size(), 0u);
  // A grown map moved away: the target takes its bucket count, the source
  // starts over with the first one.
  ZMP_HASH_LITE<int, std::vector<int>> big;
  for (int i = 0; i < 200; ++i) big[i] = {i};
  const std::uint32_t big_buckets = big.bucket_count();
  ASSERT_GT(big_buckets, 61u);
  ZMP_HASH_LITE<int, std::vector<int>> taken(std::move(big));
  EXPECT_EQ(taken.bucket_count(), big_buckets);
  EXPECT_EQ(taken.size(), 200u);
  EXPECT_EQ(big.bucket_count(), 61u);
  EXPECT_EQ(big.size(), 0u);

  // A map whose values are maps: nested tables are copied and freed.
  ZMP_HASH_LITE<int, ZMP_HASH_LITE<int, int>> nested;
  for (int i = 0; i < 100; ++i) nested[i % 7][i] = i;
  ZMP_HASH_LITE<int, ZMP_HASH_LITE<int, int>> nested_copy(nested);
  EXPECT_EQ(nested_copy[3].size(), nested[3].size());
  EXPECT_EQ(nested_copy[3][10], 10);
}

TEST_F(HashLiteTest, ClearVariants) {
  ZMP_HASH_LITE<int, std::string> m;
  for (int k = 0; k < 60; ++k) m[k] = std::string(40, 'x');
  const unsigned grown = m.bucket_count();
  ASSERT_NE(grown, 61u);
  std::string* last_node_value = &m[59];

  m.clear(true, true);
  EXPECT_EQ(m.size(), 0u);
  EXPECT_EQ(m.bucket_count(), grown);
  EXPECT_TRUE(m.begin() == m.end());
  // Nodes were pushed bucket by bucket, so the last bucket's node comes back first.
  EXPECT_EQ(&m[1000], last_node_value);

  m.clear(false, true);
  EXPECT_EQ(m.bucket_count(), 61u);
  EXPECT_TRUE(m.begin() == m.end());
  EXPECT_FALSE(m.exists(1000));
  m[3] = "y";
  EXPECT_EQ(keys_of(m), (std::vector<int>{3}));

  m.clear(true, false);
  EXPECT_EQ(m.bucket_count(), 61u);
  m[4] = "z";
  EXPECT_EQ(m.size(), 1u);

  m.clear();
  EXPECT_EQ(m.bucket_count(), 61u);
  EXPECT_FALSE(m.exists(4));
  EXPECT_TRUE(m.find_impl(4).is_end());
  m[5] = "w";
  EXPECT_EQ(keys_of(m), (std::vector<int>{5}));
}

TEST_F(HashLiteTest, SetOfPointsAndTinyVectorValues) {
  using P3 = ZMP::POINT<3, int, ZMP::DEFAULT_COORDINATE_SPACE>;
  ZMP_HASH_SET_LITE<P3> s;
  EXPECT_TRUE(s.insert(P3(1, 2, 3)).second);
  EXPECT_TRUE(s.insert(P3(1, 2, 4)).second) << "z tells the points apart";
  EXPECT_FALSE(s.insert(P3(1, 2, 3)).second);
  EXPECT_EQ(s.size(), 2u);

  ZMP_HASH_LITE<const int*, ZMP_TINY_VECTOR<int>> tv;
  int anchor[3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j <= i; ++j) tv[&anchor[i]].push_back(j);
  ZMP_HASH_LITE<const int*, ZMP_TINY_VECTOR<int>> copy(tv);
  EXPECT_EQ(copy[&anchor[2]].size(), 3u);
  EXPECT_TRUE(copy[&anchor[0]].is_inline());
}

TEST_F(HashLiteTest, OlderSetGrowsWhenFiveFourthsOfItsSizePassTheBucketCount) {
  ZMP_HASH_SET<int*> s;
  EXPECT_EQ(s.bucket_count(), 61u);
  std::vector<int> storage(60);
  for (int i = 0; i < 51; ++i) EXPECT_TRUE(s.insert(&storage[i]).second);
  EXPECT_EQ(s.bucket_count(), 61u);
  EXPECT_FALSE(s.insert(&storage[0]).second);
  s.insert(&storage[51]);
  EXPECT_EQ(s.size(), 52u);
  EXPECT_EQ(s.bucket_count(), zmp_hash_50_percent_increase_size(65));
  for (int i = 0; i < 52; ++i) EXPECT_TRUE(s.exists(&storage[i]));
  EXPECT_FALSE(s.exists(&storage[52]));
  EXPECT_EQ(static_cast<std::size_t>(std::distance(s.begin(), s.end())), 52u);

  ZMP_HASH_SET<unsigned> order;
  for (unsigned k : {3u, 64u, 125u, 2u}) order.insert(k);
  EXPECT_EQ(std::vector<unsigned>(order.begin(), order.end()), (std::vector<unsigned>{2u, 125u, 64u, 3u}));
}
