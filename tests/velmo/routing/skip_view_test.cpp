// The routing's skip view, its id ranges and its leaf and post-order walks.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "routing_zoo.h"

using routing_zoo::leaves;
using routing_zoo::RoutingFixture;
using routing_zoo::ZOTA_FORM;

namespace {

const VOK_RE_ROUTING_ZOTA_SKIP SKIP;

std::vector<int> node_ids(const VOK_RE_ROUTING& r) {
  std::vector<int> out;
  for (auto it = r.begin_node_ids(SKIP), end = r.end_node_ids(SKIP); !(it == end); ++it) out.push_back(*it);
  return out;
}

std::vector<int> root_list(const VOK_RE_ROUTING& r) {
  std::vector<int> out;
  auto range = r.root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
  for (auto it = range.first; !(it == range.second); ++it) out.push_back(*it);
  return out;
}

std::vector<int> post_order(const VOK_RE_ROUTING& r, int top) {
  std::vector<int> out;
  for (auto it = r.begin_post_order_ids(top, SKIP); !it.at_end(); ++it) out.push_back(*it);
  return out;
}

class SkipViewTest : public RoutingFixture {};

TEST_F(SkipViewTest, WithoutPipelineRegistersTheSkipViewIsTheStoredForest) {
  using namespace host::testing;
  VOK_RE_ROUTING r;
  auto d = routing(&r);
  d.routing(src).wire(lab_output(2, 2, 94)).branch([&](auto& b) { b.wire(h(2, 2)).sink(sinks[0]); }).sink(sinks[1]);
  d.routing(other).wire(lab_output(3, 3, 95)).wire(v(3, 3)).sink(sinks[2]).sink(sinks[3]);
  const auto& f = r.forest();
  std::vector<int> all;
  for (auto it = f.nodes_begin(); !(it == f.nodes_end()); ++it) {
    const int id = it.id();
    all.push_back(id);
    EXPECT_EQ(r.get_first_child(id, SKIP), f.first_child(id));
    EXPECT_EQ(r.get_parent(id, SKIP), f.parent(id));
    EXPECT_EQ(r.get_next_sibling(id, SKIP), f.next_sibling(id));
  }
  EXPECT_EQ(node_ids(r), all);
  EXPECT_EQ(root_list(r), (std::vector<int>{f.first_root(), f.last_root()}));
  EXPECT_EQ(r.get_num_children(r.forest().first_child(f.first_root()), SKIP), 2);
}

TEST_F(SkipViewTest, APairIsSeenAsOneNodeInBothOffsetForms) {
  for (ZOTA_FORM form : {ZOTA_FORM::SHORT, ZOTA_FORM::OVERFLOW}) {
    SCOPED_TRACE(form == ZOTA_FORM::SHORT ? "short" : "overflow");
    VOK_RE_ROUTING r;
    build_split_net(r, form);
    const auto& rec = r.get_record(D);
    EXPECT_EQ(rec.pair_offset == VOK_RE_ROUTING::OVERFLOW_PAIR_OFFSET, form == ZOTA_FORM::OVERFLOW);
    EXPECT_EQ(r.get_corresponding_zota_id(D), Q);
    EXPECT_EQ(r.get_corresponding_zota_id(Q), D);

    EXPECT_EQ(r.get_first_child(P, SKIP), X);
    EXPECT_EQ(r.get_next_sibling(X, SKIP), Y);
    EXPECT_EQ(r.get_next_sibling(Y, SKIP), Z);  // continues after D
    EXPECT_EQ(r.get_next_sibling(Z, SKIP), -1);
    EXPECT_EQ(r.get_parent(X, SKIP), P);
    EXPECT_EQ(r.get_parent(Y, SKIP), P);
    EXPECT_EQ(r.get_num_children(P, SKIP), 3);
    EXPECT_EQ(r.get_num_children(S0, SKIP), 0);

    EXPECT_EQ(root_list(r), std::vector<int>{SRC});
    for (int id : node_ids(r)) {
      EXPECT_NE(id, D);
      EXPECT_NE(id, Q);
    }
    EXPECT_EQ(node_ids(r).size(), 8u);

    EXPECT_EQ(leaves(r, S0, -1), (std::vector<int>{S0, S1, S2}));
    EXPECT_EQ(leaves(r, S0, P), (std::vector<int>{S0, S1, S2}));
    EXPECT_EQ(post_order(r, SRC), (std::vector<int>{S0, X, S1, Y, S2, Z, P, SRC}));
    EXPECT_EQ(post_order(r, X), (std::vector<int>{S0, X}));
  }
}

TEST_F(SkipViewTest, MarkedRootsAreNotShownAndTheIdRangesStepBothWays) {
  VOK_RE_ROUTING r;
  const unsigned wire = 0x80000010u;
  const int q0 = r.new_root(static_cast<int>(wire));
  const int q1 = r.new_root(static_cast<int>(wire));
  const int d0 = r.append_child_value(q1, static_cast<int>(wire));
  const int d1 = r.append_child_value(q0, static_cast<int>(wire));
  r.set_zota_pair(d0, q0);
  r.set_zota_pair(d1, q1, true);
  EXPECT_TRUE(root_list(r).empty());  // every root is marked
  EXPECT_TRUE(node_ids(r).empty());

  const int plain = r.new_root(static_cast<int>(wire));
  const int leaf = r.append_child_value(plain, -1);
  EXPECT_EQ(root_list(r), std::vector<int>{plain});
  EXPECT_EQ(node_ids(r), (std::vector<int>{plain, leaf}));
  auto it = r.end_node_ids(SKIP);
  --it;
  EXPECT_EQ(*it, leaf);
  --it;
  EXPECT_EQ(*it, plain);

  // An erased slot is stepped over.
  r.erase(leaf);
  EXPECT_EQ(node_ids(r), std::vector<int>{plain});

  VOK_RE_ROUTING empty;
  EXPECT_TRUE(empty.begin_node_ids(SKIP) == empty.end_node_ids(SKIP));
  EXPECT_EQ(*empty.begin_node_ids(SKIP), 0);
}

TEST_F(SkipViewTest, AMissingOverflowPairThrowsKeyNotFoundAndChangesNothing) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::OVERFLOW);
  r.drop_zota_overflow_entry(D);
  const VOK_RE_ROUTING before(r);
  auto expect_key_not_found = [](auto&& fn) {
    try {
      fn();
      ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "Key not found");
    }
  };
  expect_key_not_found([&] { r.get_corresponding_zota_id(D); });
  expect_key_not_found([&] { r.get_first_child(P, SKIP); });
  expect_key_not_found([&] { r.get_num_children(P, SKIP); });
  expect_key_not_found([&] { r.get_first_leaf(SRC, SKIP); });
  expect_key_not_found([&] {
    VOK_RE_ROUTING::leaf_id_iterator it(&r, SRC, -1);
    ++it;
  });
  // The pair root's side still resolves: its own entry is there.
  EXPECT_EQ(r.get_corresponding_zota_id(Q), D);
  EXPECT_TRUE(r.forest() == before.forest());
  EXPECT_EQ(r.forest().nodes().size(), before.forest().nodes().size());
}

TEST_F(SkipViewTest, LeafWalkStopsAtTheForestEndWhenItNeverMeetsItsEndNode) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::SHORT);
  int other_leaf = -1;
  host::testing::routing(&r).routing(other).wire(host::testing::lab_output(7, 7, 94)).sink(sinks[3]).mark(other_leaf);
  other_leaf = r.forest().first_child(other_leaf);
  // S0 lies behind S1 in the walk, so the climb never meets it.
  EXPECT_EQ(leaves(r, S1, S0), (std::vector<int>{S1, S2, other_leaf}));
  // A walk that starts on its end node yields that node alone.
  EXPECT_EQ(leaves(r, S2, S2), std::vector<int>{S2});
}

TEST_F(SkipViewTest, DumpToAFileTruncatesAndAnUnwritablePathWritesNothing) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::SHORT);
  {
    std::ofstream old("routing.echo");
    old << std::string(5000, 'x');
  }
  r.debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("routing.echo");
  std::ostringstream want;
  r.debug_dump(want, SKIP);
  std::ifstream in("routing.echo");
  std::stringstream got;
  got << in.rdbuf();
  const std::string text = want.str();
  EXPECT_EQ(got.str(), text);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);  // D and Q hidden
  EXPECT_NO_THROW(r.debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("no_such_dir/routing.echo"));
  EXPECT_FALSE(std::filesystem::exists("no_such_dir"));
}

}  // namespace

namespace {

// Reference skip view: each net's tree with every pair folded, built from the
// stored links and the pairs the generator made.
TEST_F(SkipViewTest, WalksAgreeWithAReferenceOnAGeneratedRouting) {
  for (bool overflow : {false, true}) {
    VOK_RE_ROUTING r;
    std::uint32_t seed = 99u;
    auto next = [&seed](std::uint32_t n) {
      seed = seed * 1664525u + 1013904223u;
      return (seed >> 8) % n;
    };
    std::map<int, int> q_of_d;  // D side -> Q side
    std::vector<int> net_roots;
    for (int net = 0; net < 60; ++net) {
      std::vector<int> recent{r.new_root(net)};
      net_roots.push_back(recent[0]);
      for (int k = 0; k < 40; ++k) {
        const int parent = recent[recent.size() - 1 - next(std::min<std::uint32_t>(3, recent.size()))];
        const auto gid = static_cast<std::int32_t>(0x80000000u | next(1000));
        if (next(8) == 0) {
          const int d = r.append_child_value(parent, gid);
          const int q = r.new_root(gid);
          r.set_zota_pair(d, q, overflow || next(2) == 0);
          q_of_d[d] = q;
          recent.push_back(r.append_child_value(q, gid));
        } else {
          recent.push_back(r.append_child_value(parent, gid));
        }
      }
    }
    const auto& f = r.forest();
    // Reference children: stored children, a D side replaced in place by the
    // children of its Q side (recursively).
    std::function<void(int, std::vector<int>&)> ref_children = [&](int n, std::vector<int>& out) {
      for (int c = f.first_child(n); c != -1; c = f.next_sibling(c)) {
        auto it = q_of_d.find(c);
        if (it == q_of_d.end())
          out.push_back(c);
        else
          ref_children(it->second, out);
      }
    };
    std::vector<int> ref_pre, ref_leaves, ref_post;
    std::function<void(int)> walk = [&](int n) {
      ref_pre.push_back(n);
      std::vector<int> kids;
      ref_children(n, kids);
      if (kids.empty()) ref_leaves.push_back(n);
      for (int k : kids) walk(k);
      ref_post.push_back(n);
    };
    for (int root : net_roots) walk(root);

    std::vector<int> pre;
    std::function<void(int)> skip_walk = [&](int n) {
      pre.push_back(n);
      for (int c = r.get_first_child(n, SKIP); c != -1; c = r.get_next_sibling(c, SKIP)) {
        EXPECT_EQ(r.get_parent(c, SKIP), n);
        skip_walk(c);
      }
    };
    EXPECT_EQ(root_list(r), net_roots);
    for (int root : root_list(r)) skip_walk(root);
    EXPECT_EQ(pre, ref_pre);
    EXPECT_EQ(leaves(r, r.get_first_leaf(net_roots[0], SKIP), -1), ref_leaves);
    std::vector<int> post;
    for (int root : net_roots) {
      const auto part = post_order(r, root);
      post.insert(post.end(), part.begin(), part.end());
    }
    EXPECT_EQ(post, ref_post);
  }
}

}  // namespace
