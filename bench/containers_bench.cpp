// The chained and dense hash maps against std::unordered_map,
// absl::flat_hash_map and Google's dense_hash_map: inserting N keys and then
// finding them (insert_find), finding present keys (find_hit) and absent keys
// (find_miss) in a built map, for int and pointer keys.
//
// Names: <operation>/<key kind>/<container>/<N>.
#include <benchmark/benchmark.h>

#include <absl/container/flat_hash_map.h>
#include <google/dense_hash_map>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "zmp_dense_hash.h"
#include "zmp_hash_lite_sys.h"

namespace {

struct OBJECT {
  char bytes[24];
};

// Distinct scattered ints (an odd multiplier is a bijection on 32 bits; it
// never yields INT_MIN for these indices, which serves as the empty key).
int scattered(std::uint32_t i) { return static_cast<int>(i * 0x9E3779B1u); }

template <class K> struct KEYS {
  std::vector<K> hit;       // insertion order
  std::vector<K> hit_find;  // another order for the lookups
  std::vector<K> miss;
};

KEYS<int> int_keys(std::size_t n) {
  KEYS<int> k;
  for (std::size_t i = 0; i < n; ++i) {
    k.hit.push_back(scattered(static_cast<std::uint32_t>(i)));
    k.miss.push_back(scattered(static_cast<std::uint32_t>(i + n)));
  }
  k.hit_find = k.hit;
  std::shuffle(k.hit_find.begin(), k.hit_find.end(), std::mt19937(7));
  return k;
}

// Pointers into two arrays of objects; inserted in a shuffled order.
struct PTR_KEYS : KEYS<const OBJECT*> {
  std::vector<OBJECT> present, absent;
};
const PTR_KEYS& ptr_keys(std::size_t n) {
  static std::vector<std::unique_ptr<PTR_KEYS>> cache;
  for (auto& c : cache)
    if (c->hit.size() == n) return *c;
  auto k = std::make_unique<PTR_KEYS>();
  k->present.resize(n);
  k->absent.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    k->hit.push_back(&k->present[i]);
    k->miss.push_back(&k->absent[i]);
  }
  std::shuffle(k->hit.begin(), k->hit.end(), std::mt19937(3));
  k->hit_find = k->hit;
  std::shuffle(k->hit_find.begin(), k->hit_find.end(), std::mt19937(5));
  cache.push_back(std::move(k));
  return *cache.back();
}
const KEYS<int>& int_keys_cached(std::size_t n) {
  static std::vector<std::unique_ptr<KEYS<int>>> cache;
  for (auto& c : cache)
    if (c->hit.size() == n) return *c;
  cache.push_back(std::make_unique<KEYS<int>>(int_keys(n)));
  return *cache.back();
}

template <class K> K empty_key();
template <> int empty_key<int>() { return INT_MIN; }
template <> const OBJECT* empty_key<const OBJECT*>() { return nullptr; }

// One adapter per container: insert(k, v) and find(k) -> bool.
template <class K> struct ZMP_HASH_LITE_ADAPTER {
  ZMP_HASH_LITE<K, int> m;
  void insert(K k, int v) { m.insert_impl(k, v); }
  bool find(K k) const { return m.lookup(k) != nullptr; }
};
template <class K> struct ZMP_DENSE_HASH_ADAPTER {
  ZMP::DENSE_HASH<K, int> m;
  void insert(K k, int v) { m.insert_impl(k, v); }
  bool find(K k) const { return m.exists(k); }
};
template <class K> struct STD_UNORDERED_MAP_ADAPTER {
  std::unordered_map<K, int> m;
  void insert(K k, int v) { m.emplace(k, v); }
  bool find(K k) const { return m.find(k) != m.end(); }
};
template <class K> struct ABSL_FLAT_HASH_MAP_ADAPTER {
  absl::flat_hash_map<K, int> m;
  void insert(K k, int v) { m.emplace(k, v); }
  bool find(K k) const { return m.find(k) != m.end(); }
};
template <class K> struct GOOGLE_DENSE_HASH_MAP_ADAPTER {
  google::dense_hash_map<K, int> m;
  GOOGLE_DENSE_HASH_MAP_ADAPTER() { m.set_empty_key(empty_key<K>()); }
  void insert(K k, int v) { m.insert({k, v}); }
  bool find(K k) const { return m.find(k) != m.end(); }
};

template <class K> const KEYS<K>& keys_for(std::size_t n) {
  if constexpr (std::is_same_v<K, int>)
    return int_keys_cached(n);
  else
    return ptr_keys(n);
}

template <template <class> class ADAPTER, class K> void insert_find(benchmark::State& state) {
  const auto& keys = keys_for<K>(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    ADAPTER<K> a;
    int v = 0;
    for (K k : keys.hit) a.insert(k, v++);
    std::size_t found = 0;
    for (K k : keys.hit_find) found += a.find(k);
    if (found != keys.hit.size()) state.SkipWithError("lost a key");
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) * 2);
}

template <template <class> class ADAPTER, class K, bool HIT> void find(benchmark::State& state) {
  const auto& keys = keys_for<K>(static_cast<std::size_t>(state.range(0)));
  ADAPTER<K> a;
  int v = 0;
  for (K k : keys.hit) a.insert(k, v++);
  const auto& probe = HIT ? keys.hit_find : keys.miss;
  for (auto _ : state) {
    std::size_t found = 0;
    for (K k : probe) found += a.find(k);
    if (found != (HIT ? probe.size() : 0)) state.SkipWithError("wrong lookup result");
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

template <template <class> class ADAPTER, class K> void register_container(const std::string& kind,
                                                                           const std::string& name) {
  const std::string tail = "/" + kind + "/" + name;
  for (auto* b : {benchmark::RegisterBenchmark(("insert_find" + tail).c_str(), insert_find<ADAPTER, K>),
                  benchmark::RegisterBenchmark(("find_hit" + tail).c_str(), find<ADAPTER, K, true>),
                  benchmark::RegisterBenchmark(("find_miss" + tail).c_str(), find<ADAPTER, K, false>)})
    b->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
}

template <class K> void register_kind(const std::string& kind) {
  register_container<ZMP_HASH_LITE_ADAPTER, K>(kind, "zmp_hash_lite");
  register_container<ZMP_DENSE_HASH_ADAPTER, K>(kind, "zmp_dense_hash");
  register_container<STD_UNORDERED_MAP_ADAPTER, K>(kind, "std_unordered_map");
  register_container<ABSL_FLAT_HASH_MAP_ADAPTER, K>(kind, "absl_flat_hash_map");
  register_container<GOOGLE_DENSE_HASH_MAP_ADAPTER, K>(kind, "google_dense_hash_map");
}

const bool registered = [] {
  register_kind<int>("int");
  register_kind<const OBJECT*>("ptr");
  return true;
}();

}  // namespace
