// The retry of one periphery-core group, rule by rule, with the solver's
// world scripted call by call: how many rounds the effort allows, which call
// is a final attempt, what goes back into the working set, when a round
// without progress or a working set that cannot shrink ends the retry, and
// which chains the group keeps.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/periphery_scene.h"
#include "velmo_periphery_to_core_placement.h"
#include "wexan/wexan_c2p_solver.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

namespace {

constexpr unsigned kGidBit = 0x80000000u;

class P2cGroupRetryRulesTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::scenes::kx_periphery();
    m.min_wire = 1;
    m.max_wire = 4;
  }
  // The four ports of the UIB column at x = 3 that go out of the periphery.
  static int out_port(int q) {
    return static_cast<int>(host::testing::periphery_chain_gid(3, 9, 4 + q, 0) & ~kGidBit);
  }
  struct CALL {
    int size;
    bool final_attempt;
    bool operator==(const CALL& o) const { return size == o.size && final_attempt == o.final_attempt; }
  };
  struct RUN {
    std::vector<CALL> calls;
    std::vector<int> first_leftovers;
    std::set<int> solved;  // the destinations (ports) of the kept chains
    bool chains_disjoint = true;
  };
  // Solves `dests` as one group. Before the solver's k-th call everything is
  // as at the start, except that the destinations in fails[k] (none past the
  // list's end) find every element behind their port taken.
  RUN solve(const std::vector<int>& dests, const std::vector<std::vector<int>>& fails) {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    m_occupied = &const_cast<ZMP_HASH_SET_LITE<int>&>(p.pre_occupied_re_gids());
    m_start = *m_occupied;
    m_fails = fails;
    m_call = 0;
    if (!m_scripted) {
      m_scripted = true;
      host::script::on("wexan_solve_c2p_routing_problem", [this] {
        *m_occupied = m_start;
        if (m_call < m_fails.size())
          for (int d : m_fails[m_call]) {
            std::vector<unsigned> behind;
            host::device::die_info()->get_fanout_gids(static_cast<unsigned>(d) | kGidBit, behind);
            for (unsigned g : behind) m_occupied->insert(static_cast<int>(g & ~kGidBit));
          }
        ++m_call;
      });
    }
    host::clear_calls();
    RUN r;
    JUK::FOREST<int, int> f = p.solve_group(dests, m, true, true, &r.first_leftovers);
    for (const HOST_CALL& c : host::calls()) {
      if (c.name != "wexan_solve_c2p_routing_problem") continue;
      r.calls.push_back({std::stoi(c.args), c.args.substr(c.args.rfind(',') + 2) == "true"});
    }
    std::set<int> elements;
    for (auto it = f.roots_begin(); it != f.roots_end(); ++it) {
      EXPECT_TRUE(r.solved.insert(f.payload(it.id())).second) << "a destination kept twice";
      for (int id = f.first_child(it.id()); id != -1; id = f.first_child(id))
        r.chains_disjoint = elements.insert(f.payload(id)).second && r.chains_disjoint;
    }
    m_occupied = nullptr;
    return r;
  }
  P2C_MATRIX_STRUCT m;
  bool m_scripted = false;
  ZMP_HASH_SET_LITE<int>* m_occupied = nullptr;
  ZMP_HASH_SET_LITE<int> m_start;
  std::vector<std::vector<int>> m_fails;
  std::size_t m_call = 0;
};

std::string show(const std::vector<int>& sizes) {
  std::string s;
  for (int v : sizes) s += std::to_string(v) + " ";
  return s;
}

}  // namespace

// The four ports are solved together when nothing stands in the way: one
// call, no retry, every chain kept.
TEST_F(P2cGroupRetryRulesTest, AGroupSolvedAtOnceIsNotRetried) {
  const std::vector<int> d{out_port(0), out_port(1), out_port(2), out_port(3)};
  const RUN r = solve(d, {});
  EXPECT_EQ(r.calls, (std::vector<CALL>{{4, false}}));
  EXPECT_TRUE(r.first_leftovers.empty());
  EXPECT_EQ(r.solved, std::set<int>(d.begin(), d.end()));
  EXPECT_TRUE(r.chains_disjoint);
}

// Every round makes progress (its working set leaves a different number
// over than the round before), so only the effort ends the retry: five
// rounds of a tough set (a final attempt) and a working set, the last
// working set a final attempt too.
TEST_F(P2cGroupRetryRulesTest, TheEffortBoundsTheRoundsAndTheLastWorkingSetIsAFinalAttempt) {
  const int a = out_port(0), b = out_port(1), c = out_port(2), e = out_port(3);
  const std::vector<int> d{a, b, c, e};
  // Each tough set fails whole (its leftovers go back to the working set).
  const RUN r = solve(d, {{a}, d, {b, c}, d, {e}, d, {a, b}, d, {c}, d, {a, e}, d, {b}, d, {c}});
  EXPECT_EQ(r.first_leftovers, std::vector<int>{a});
  EXPECT_EQ(r.calls, (std::vector<CALL>{{4, false},
                                        {1, true}, {4, false},
                                        {2, true}, {4, false},
                                        {1, true}, {4, false},
                                        {2, true}, {4, false},
                                        {1, true}, {4, true}}));
  // The last working set solved b and c; a was never solved.
  EXPECT_TRUE(r.solved.count(b) != 0 && r.solved.count(c) != 0);
  EXPECT_EQ(r.solved.count(a), 0u);
  EXPECT_TRUE(r.chains_disjoint);
}

// A round whose tough set and working set each leave as many over as the
// round started with ends the retry; a round whose tough set was solved
// (progress) does not, and its working set takes the tough set's leftovers
// back. A round that leaves nothing over ends it too.
TEST_F(P2cGroupRetryRulesTest, ARoundWithoutProgressEndsTheRetry) {
  const int a = out_port(0), b = out_port(1), c = out_port(2);
  const std::vector<int> d{a, b, c};
  {
    SCOPED_TRACE("no progress in the first round");
    const RUN r = solve(d, {{a}, d, {b}});
    EXPECT_EQ(r.calls, (std::vector<CALL>{{3, false}, {1, true}, {3, false}}));
    // a and c were solved by the working set, b by the first solve only.
    EXPECT_EQ(r.solved.count(a) + r.solved.count(c), 2u);
  }
  {
    SCOPED_TRACE("progress, then none");
    // The tough set {a} is solved, so the working set is {b, c}; it leaves
    // b over. The second round's tough set {b} fails and goes back: the
    // working set is {b, c} again and leaves b over again.
    const RUN r = solve(d, {{a}, {}, {b}, d, {b}, d, {b}});
    std::vector<int> sizes;
    for (const CALL& call : r.calls) sizes.push_back(call.size);
    EXPECT_EQ(sizes, (std::vector<int>{3, 1, 2, 1, 2})) << show(sizes);
    EXPECT_EQ(r.solved.count(a), 1u) << "the tough set's chain is kept";
    EXPECT_TRUE(r.chains_disjoint);
  }
  {
    SCOPED_TRACE("a round that leaves nothing over");
    // The tough set {a} and the working set {b, c} are both solved: nothing
    // is left to retry, so no second round.
    const RUN r = solve(d, {{a}, {}, {}});
    std::vector<int> sizes;
    for (const CALL& call : r.calls) sizes.push_back(call.size);
    EXPECT_EQ(sizes, (std::vector<int>{3, 1, 2})) << show(sizes);
    EXPECT_EQ(r.solved.count(a), 1u) << "the tough set's chain is kept";
    EXPECT_TRUE(r.chains_disjoint);
  }
}

// The retry ends once the working set leaves every one of its destinations
// over, however much effort is left.
TEST_F(P2cGroupRetryRulesTest, AWorkingSetLeftWholeEndsTheRetry) {
  const int a = out_port(0), b = out_port(1), c = out_port(2), e = out_port(3);
  const std::vector<int> d{a, b, c, e};
  // First round: the tough set {a} is solved, the working set {b, c, e}
  // leaves b and c over. Second round: the tough set fails whole and the
  // working set {b, c, e} leaves all three over.
  const RUN r = solve(d, {{a}, {}, {b, c}, d, d, d, d, d, d});
  std::vector<int> sizes;
  for (const CALL& call : r.calls) sizes.push_back(call.size);
  EXPECT_EQ(sizes, (std::vector<int>{4, 1, 3, 2, 3})) << show(sizes);
  EXPECT_EQ(r.solved.count(a), 1u) << "the tough set's chain is kept";
  EXPECT_TRUE(r.chains_disjoint);
}

// Kept chains are chosen in destination order: a chain sharing a routing
// element with a kept chain is dropped, though its register site is its
// own; chains with elements and sites of their own are all kept. In either
// direction the destination is the port.
TEST_F(P2cGroupRetryRulesTest, AChainSharingAnElementWithAKeptChainIsDropped) {
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  const WUMP_ROUTE_INFO* route = host::device::die_info()->get_route_info();
  // Two LAB inputs of one LAB feeding different register sites.
  std::vector<int> muxes;
  std::set<unsigned> sites;
  for (int index = 0; index < 80 && muxes.size() < 2; ++index)
    if (wexan_c2p_register_sub_location(48, index, true) >= 0) {
      const int mux = static_cast<int>(route->get_gid(dev_kind::LAB_RE, 3, 4, index) & ~kGidBit);
      if (sites.insert(p.get_ff_gid_from_lab_re_input_port(mux).second).second) muxes.push_back(mux);
    }
  ASSERT_EQ(muxes.size(), 2u);
  const int first = out_port(0), second = out_port(1);
  ASSERT_LT(first, second);
  const int wire = static_cast<int>(host::testing::periphery_chain_gid(3, 9, 4, 1) & ~kGidBit);
  // The later destination first in the forest; with `shared`, both chains
  // run through `wire`.
  auto solve = [&](bool shared) {
    JUK::FOREST<int, int> f;
    for (const auto& [port, mux] : std::vector<std::pair<int, int>>{{second, muxes[0]}, {first, muxes[1]}}) {
      int node = f.create_node(port);
      f.append_root(node);
      if (shared) {
        const int middle = f.create_node(wire);
        f.append_child(node, middle);
        node = middle;
      }
      f.append_child(node, f.create_node(mux));
    }
    p.drop_conflicting_chains(f, true);
    std::vector<int> out;
    for (auto it = f.roots_begin(); it != f.roots_end(); ++it) out.push_back(f.payload(it.id()));
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(solve(false), (std::vector<int>{first, second}));
  EXPECT_EQ(solve(true), std::vector<int>{first});

  // Core to periphery: a chain runs from a LAB output (its root) to the port
  // (its leaf), and the port is its destination: the chain into the lower
  // port is kept, though its LAB output is the higher one.
  const int lab_low = static_cast<int>(route->get_gid(dev_kind::LAB_RE, 3, 4, 90) & ~kGidBit);
  const int lab_high = static_cast<int>(route->get_gid(dev_kind::LAB_RE, 3, 4, 91) & ~kGidBit);
  ASSERT_LT(lab_low, lab_high);
  ASSERT_NE(p.get_ff_gid_from_lab_re_output_port(lab_low), p.get_ff_gid_from_lab_re_output_port(lab_high));
  const int in_first = static_cast<int>(host::testing::periphery_chain_gid(3, 9, 0, 0) & ~kGidBit);
  const int in_second = static_cast<int>(host::testing::periphery_chain_gid(3, 9, 1, 0) & ~kGidBit);
  ASSERT_LT(in_first, in_second);
  const int in_wire = static_cast<int>(host::testing::periphery_chain_gid(3, 9, 0, 1) & ~kGidBit);
  auto solve_c2p = [&](bool shared) {
    JUK::FOREST<int, int> f;
    for (const auto& [lab, port] : std::vector<std::pair<int, int>>{{lab_low, in_second}, {lab_high, in_first}}) {
      int node = f.create_node(lab);
      f.append_root(node);
      if (shared) {
        const int middle = f.create_node(in_wire);
        f.append_child(node, middle);
        node = middle;
      }
      f.append_child(node, f.create_node(port));
    }
    p.drop_conflicting_chains(f, false);
    std::vector<int> out;
    for (auto it = f.roots_begin(); it != f.roots_end(); ++it) {
      int id = it.id();
      while (f.first_child(id) != -1) id = f.first_child(id);
      out.push_back(f.payload(id));
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(solve_c2p(false), (std::vector<int>{in_first, in_second}));
  EXPECT_EQ(solve_c2p(true), std::vector<int>{in_first});
}
