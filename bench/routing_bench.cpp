// Walks of a routing of about a million nodes through the pipeline-register
// skip view, against the same walk over the stored links.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "vok/vok_re_routing.h"

namespace {

const VOK_RE_ROUTING_ZOTA_SKIP SKIP;

// 10000 nets of about 100 nodes: wires branching off recent nodes, a
// pipeline-register pair about every 25 nodes (the route continuing under its
// pair root, which always has a child), leaves closing the branches. Deterministic (fixed LCG).
std::unique_ptr<VOK_RE_ROUTING> make_routing(bool overflow, int* pairs) {
  auto r = std::make_unique<VOK_RE_ROUTING>();
  std::uint32_t seed = 12345u;
  auto next = [&seed](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  *pairs = 0;
  std::vector<int> recent;
  for (int net = 0; net < 10000; ++net) {
    recent.clear();
    recent.push_back(r->new_root(static_cast<std::int32_t>(net)));
    for (int k = 0; k < 98; ++k) {
      const int parent = recent[recent.size() - 1 - next(std::min<std::uint32_t>(4, recent.size()))];
      const auto gid = static_cast<std::int32_t>(0x80000000u | next(1u << 20));
      if (k % 25 == 24) {
        const int d = r->append_child_value(parent, gid);
        const int q = r->new_root(gid);
        r->set_zota_pair(d, q, overflow);
        ++*pairs;
        // A register always drives something: its pair root gets a wire.
        recent.push_back(r->append_child_value(q, static_cast<std::int32_t>(0x80000000u | next(1u << 20))));
        ++k;
      } else {
        recent.push_back(r->append_child_value(parent, gid));
      }
    }
  }
  return r;
}

const VOK_RE_ROUTING& routing(bool overflow, int* pairs) {
  static std::unique_ptr<VOK_RE_ROUTING> cached[2];
  static int cached_pairs[2];
  if (!cached[overflow]) cached[overflow] = make_routing(overflow, &cached_pairs[overflow]);
  *pairs = cached_pairs[overflow];
  return *cached[overflow];
}

void BM_SkipViewPreorder(benchmark::State& state) {
  int pairs = 0;
  const VOK_RE_ROUTING& r = routing(state.range(0) != 0, &pairs);
  std::vector<int> stack;
  std::int64_t visited = 0;
  for (auto _ : state) {
    visited = 0;
    auto roots = r.root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
    for (auto it = roots.first; !(it == roots.second); ++it) {
      stack.push_back(*it);
      while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        ++visited;
        for (int c = r.get_first_child(n, SKIP); c != -1; c = r.get_next_sibling(c, SKIP)) stack.push_back(c);
      }
    }
    benchmark::DoNotOptimize(visited);
  }
  state.counters["nodes"] = static_cast<double>(r.get_live_node_count());
  state.counters["visited"] = static_cast<double>(visited);
  state.counters["pairs"] = pairs;
  state.counters["ns_per_node"] = benchmark::Counter(static_cast<double>(visited),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(BM_SkipViewPreorder)->Arg(0)->Arg(1)->ArgName("overflow")->Unit(benchmark::kMillisecond);

void BM_StoredPreorder(benchmark::State& state) {
  int pairs = 0;
  const VOK_RE_ROUTING& r = routing(false, &pairs);
  const auto& f = r.forest();
  std::vector<int> stack;
  std::int64_t visited = 0;
  for (auto _ : state) {
    visited = 0;
    for (int root = f.first_root(); root != -1; root = f.next_sibling(root)) {
      stack.push_back(root);
      while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        ++visited;
        for (int c = f.first_child(n); c != -1; c = f.next_sibling(c)) stack.push_back(c);
      }
    }
    benchmark::DoNotOptimize(visited);
  }
  state.counters["visited"] = static_cast<double>(visited);
  state.counters["ns_per_node"] = benchmark::Counter(static_cast<double>(visited),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(BM_StoredPreorder)->Unit(benchmark::kMillisecond);

void BM_SkipViewNodeIds(benchmark::State& state) {
  int pairs = 0;
  const VOK_RE_ROUTING& r = routing(false, &pairs);
  std::int64_t n = 0;
  for (auto _ : state) {
    n = 0;
    for (auto it = r.begin_node_ids(SKIP), end = r.end_node_ids(SKIP); !(it == end); ++it) n += 1;
    benchmark::DoNotOptimize(n);
  }
  state.counters["ids"] = static_cast<double>(n);
}
BENCHMARK(BM_SkipViewNodeIds)->Unit(benchmark::kMillisecond);

void BM_SkipViewLeaves(benchmark::State& state) {
  int pairs = 0;
  const VOK_RE_ROUTING& r = routing(state.range(0) != 0, &pairs);
  std::int64_t n = 0;
  const int start = r.get_first_leaf(r.forest().first_root(), SKIP);
  for (auto _ : state) {
    n = 0;
    for (VOK_RE_ROUTING::leaf_id_iterator it(&r, start, -1); !it.at_end(); ++it) ++n;
    benchmark::DoNotOptimize(n);
  }
  state.counters["leaves"] = static_cast<double>(n);
}
BENCHMARK(BM_SkipViewLeaves)->Arg(0)->Arg(1)->ArgName("overflow")->Unit(benchmark::kMillisecond);

}  // namespace
