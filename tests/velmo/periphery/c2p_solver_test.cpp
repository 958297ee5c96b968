// The host's periphery-core solver on the periphery scene: chains run from
// signal source to sink, stay within the wire and delay bounds, end at a free
// register site of the right LAB mux, never share an element, and what cannot
// be met is left over.
#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

#include "dev/dev_grid.h"
#include "pexa/pexa_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/periphery_scene.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_periphery_to_core_placement.h"
#include "wexan/wexan_c2p_solver.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::Family;

namespace {

class C2pSolverTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(Family::KX).build();
    host::testing::scenes::kx_periphery();
  }
  struct RESULT {
    JUK::FOREST<int, int> forest;
    std::vector<int> leftovers;
  };
  RESULT solve(const std::vector<int>& dests, int min_wire, int max_wire, bool p2c, float min_delay = -3.0e38f,
               float max_delay = -3.0e38f, std::tuple<int, int, int> fixed = {-1, -1, -1},
               std::shared_ptr<TIBEX_LOCKED_CONSTRAINT> region = nullptr) {
    RESULT r;
    const bool wire_based = min_delay < -1.0e38f && max_delay < -1.0e38f;
    r.forest = wexan_solve_c2p_routing_problem(m_env, PEXA_UTILITY::get_current_device(), m_port_map, nullptr, 1.0f,
                                               dests, min_wire, max_wire, min_delay, max_delay, fixed, region, p2c,
                                               wire_based, false, m_pre_occupied, m_blacklist, m_delays, m_weights,
                                               r.leftovers);
    return r;
  }
  static std::vector<std::vector<int>> chains(const JUK::FOREST<int, int>& f) {
    std::vector<std::vector<int>> out;
    for (auto it = f.roots_begin(); it != f.roots_end(); ++it) {
      std::vector<int> c;
      for (int id = it.id(); id != -1; id = f.first_child(id)) {
        c.push_back(f.payload(id));
        EXPECT_EQ(f.first_child(id), f.last_child(id));
      }
      out.push_back(c);
    }
    return out;
  }
  static WUMP_ROUTE_NODE node(int id) {
    return host::device::die_info()->get_route_info()->get_route_node_of(static_cast<unsigned>(id) | WUMP_GID_BIT);
  }
  static int port(int port_index) {
    return static_cast<int>(host::testing::periphery_chain_gid(3, 9, port_index, 2) & 0x7FFFFFFFu);
  }
  ZMP_HASH_LITE<int, VOK_ATOM_NODE*> m_port_map;
  ZMP_HASH_SET_LITE<int> m_pre_occupied;
  ZMP_HASH_LITE<std::pair<int, int>, std::vector<VOK_ATOM_NODE*>> m_blacklist;
  ZMP_HASH_LITE<int, std::tuple<unsigned, int, std::vector<std::pair<float, float>>>> m_delays;
  std::unordered_map<int, int> m_weights;
};

}  // namespace

TEST_F(C2pSolverTest, RegisterSubLocationsOfLabMuxes) {
  // inputs: index mod 8 in {0, 1, 6, 7} on 48, {0, 3, 4, 7} on 46 and 26
  EXPECT_EQ(wexan_c2p_register_sub_location(48, 8, true), 7);
  EXPECT_EQ(wexan_c2p_register_sub_location(48, 9, true), 8);
  EXPECT_EQ(wexan_c2p_register_sub_location(48, 3, true), -1);
  EXPECT_EQ(wexan_c2p_register_sub_location(48, 80, true), -1);
  EXPECT_EQ(wexan_c2p_register_sub_location(46, 3, true), 1);
  EXPECT_EQ(wexan_c2p_register_sub_location(26, 1, true), -1);
  // outputs: inside 94..133 and the family's range
  EXPECT_EQ(wexan_c2p_register_sub_location(48, 93, false), -1);
  EXPECT_EQ(wexan_c2p_register_sub_location(48, 94, false), 7);
  EXPECT_EQ(wexan_c2p_register_sub_location(48, 129, false), 59);
  EXPECT_EQ(wexan_c2p_register_sub_location(48, 130, false), -1);
  EXPECT_EQ(wexan_c2p_register_sub_location(46, 133, false), 59);
  EXPECT_EQ(wexan_c2p_register_sub_location(46, 134, false), -1);
  EXPECT_EQ(wexan_c2p_register_sub_location(26, 129, false), -1);
}

TEST_F(C2pSolverTest, P2cChainsRunFromThePortToAFreeLabInput) {
  const std::vector<int> dests = {port(4), port(5)};
  RESULT r = solve(dests, 1, 4, true);
  EXPECT_TRUE(r.leftovers.empty());
  const auto cs = chains(r.forest);
  ASSERT_EQ(cs.size(), 2u);
  std::set<int> used;
  std::set<std::tuple<int, int, int>> sites;
  for (const auto& c : cs) {
    ASSERT_GE(c.size(), 3u);
    EXPECT_TRUE(c.front() == dests[0] || c.front() == dests[1]);
    const int wires = static_cast<int>(c.size()) - 2;
    EXPECT_GE(wires, 1);
    EXPECT_LE(wires, 4);
    const WUMP_ROUTE_NODE leaf = node(c.back());
    EXPECT_EQ(static_cast<int>(leaf.element_type), dev_kind::LAB_RE);
    EXPECT_NE(wexan_c2p_register_sub_location(48, leaf.index, true), -1);
    EXPECT_TRUE(sites.insert({leaf.x, leaf.y, wexan_c2p_register_sub_location(48, leaf.index, true)}).second);
    for (std::size_t k = 1; k < c.size(); ++k) {
      EXPECT_TRUE(used.insert(c[k]).second) << "element reused";
      EXPECT_NE(m_pre_occupied.find(c[k]), m_pre_occupied.end()) << "used element joins the pre-occupied set";
    }
  }
  // The same call on a fresh state gives the same answer.
  ZMP_HASH_SET_LITE<int> first = m_pre_occupied;
  m_pre_occupied = ZMP_HASH_SET_LITE<int>();
  EXPECT_EQ(chains(solve(dests, 1, 4, true).forest), cs);
  // A second solve of the same ports avoids everything the first one took.
  m_pre_occupied = first;
  // One of the two ports still finds a way; the other is left over.
  const RESULT second = solve(dests, 1, 4, true);
  const auto again = chains(second.forest);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(second.leftovers.size(), 1u);
  for (const auto& c : again) {
    ASSERT_GE(c.size(), 3u);
    for (std::size_t k = 1; k < c.size(); ++k) EXPECT_EQ(used.count(c[k]), 0u);
  }
}

TEST_F(C2pSolverTest, C2pChainsRunFromALabOutputToThePort) {
  const int dest = port(0);
  RESULT r = solve({dest}, 0, 5, false);
  ASSERT_TRUE(r.leftovers.empty());
  const auto cs = chains(r.forest);
  ASSERT_EQ(cs.size(), 1u);
  EXPECT_EQ(cs[0].back(), dest);
  const WUMP_ROUTE_NODE root = node(cs[0].front());
  EXPECT_EQ(static_cast<int>(root.element_type), dev_kind::LAB_RE);
  EXPECT_NE(wexan_c2p_register_sub_location(48, root.index, false), -1);
}

TEST_F(C2pSolverTest, UnmetBoundsLeaveDestinationsOver) {
  // No LAB input right behind the port chain, none at the far side of the device.
  EXPECT_EQ(solve({port(4)}, 0, 0, true).leftovers, std::vector<int>{port(4)});
  EXPECT_EQ(solve({port(4)}, 1, 4, true, -3.0e38f, 1.0e-12f).leftovers, std::vector<int>{port(4)});
  EXPECT_EQ(solve({port(4)}, 1, 4, true, -3.0e38f, -3.0e38f, {70, 70, -1}).leftovers, std::vector<int>{port(4)});
  // Blacklisting every LAB near the port leaves it over.
  for (int x = 0; x < 12; ++x)
    for (int y = 0; y < 12; ++y) m_blacklist[{x, y}];
  EXPECT_EQ(solve({port(4)}, 1, 4, true).leftovers, std::vector<int>{port(4)});
  EXPECT_TRUE(solve({port(4)}, 1, 4, true).forest.empty());
}

// The engine's retry of one group around the solver.
TEST_F(C2pSolverTest, GroupRetryKeepsTheLatestSolveOfEachDestination) {
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  P2C_MATRIX_STRUCT m;
  m.min_wire = 1;
  m.max_wire = 4;
  // All solved at once: one call.
  host::clear_calls();
  JUK::FOREST<int, int> f = p.solve_group({port(4), port(5)}, m, true, true);
  EXPECT_EQ(host::call_count("wexan_solve_c2p_routing_problem"), 1);
  EXPECT_EQ(chains(f).size(), 2u);
  // One destination that fails is never retried.
  host::clear_calls();
  std::vector<int> first;
  f = p.solve_group({port(0)}, m, true, true, &first);
  EXPECT_EQ(host::call_count("wexan_solve_c2p_routing_problem"), 1);
  EXPECT_EQ(first, std::vector<int>{port(0)});
  EXPECT_TRUE(f.empty());
  // An input port is never solvable going out of the periphery: the tough set
  // and the working set fail alike, so one iteration ends the loop.
  host::clear_calls();
  f = p.solve_group({port(0), port(6)}, m, true, true, &first);
  const auto lines = host::call_lines();
  ASSERT_EQ(lines.size(), 3u) << testing::PrintToString(lines);
  EXPECT_NE(lines[1].find("true)"), std::string::npos) << lines[1];   // tough set: final attempt
  EXPECT_NE(lines[2].find("false)"), std::string::npos) << lines[2];  // working set of iteration 0
  const auto cs = chains(f);
  ASSERT_EQ(cs.size(), 1u) << "the port solved twice is committed once";
  EXPECT_EQ(cs[0].front(), port(6));

  // A port solved at first, left over by the working set of the first retry
  // (everything behind the port is taken just then) and solved again by the
  // tough set of the second: the tough set's chain replaces the first one.
  VELMO_PERIPHERY_CORE_PLACEMENT q(m_env);
  const int d = port(4);
  std::vector<unsigned> behind;
  host::device::die_info()->get_fanout_gids(static_cast<unsigned>(d) | WUMP_GID_BIT, behind);
  ASSERT_FALSE(behind.empty());
  auto& occupied = const_cast<ZMP_HASH_SET_LITE<int>&>(q.pre_occupied_re_gids());
  ZMP_HASH_SET_LITE<int> before;
  std::vector<int> first_d, blocked;
  int call = 0;
  host::script::on("wexan_solve_c2p_routing_problem", [&] {
    ++call;
    if (call == 1) {
      before = occupied;
    } else if (call == 2) {  // what the first solve took is the two chains
      for (int id : occupied)
        if (before.find(id) == before.end()) first_d.push_back(id);
    } else if (call == 3) {  // the working set of the first retry
      for (unsigned g : behind) {
        const int id = static_cast<int>(g & ~WUMP_GID_BIT);
        if (occupied.find(id) == occupied.end()) {
          occupied.insert(id);
          blocked.push_back(id);
        }
      }
    } else if (call == 4) {  // the tough set of the second retry
      for (int id : blocked) occupied.erase(id);
    }
  });
  f = q.solve_group({port(0), d, port(6)}, m, true, true);
  ASSERT_GE(call, 5);
  ASSERT_FALSE(blocked.empty());
  std::vector<std::vector<int>> of_d;
  for (const auto& c : chains(f))
    if (c.front() == d) of_d.push_back(c);
  ASSERT_EQ(of_d.size(), 1u) << testing::PrintToString(chains(f));
  // The first chains are still held (the later solves avoided them), so the
  // committed chain of the port shares nothing behind the port with them.
  int shared = 0;
  for (std::size_t k = 1; k < of_d[0].size(); ++k)
    shared += static_cast<int>(std::count(first_d.begin(), first_d.end(), of_d[0][k]));
  EXPECT_EQ(shared, 0) << testing::PrintToString(of_d[0]) << " vs " << testing::PrintToString(first_d);
}

TEST_F(C2pSolverTest, AChainReusingAnEarlierChainsElementsIsDropped) {
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  const auto c = chains(solve({port(4)}, 1, 4, true).forest);
  ASSERT_EQ(c.size(), 1u);
  JUK::FOREST<int, int> f;
  for (int root : {port(5), port(4)}) {  // the later destination first in the forest
    int parent = -1;
    for (std::size_t k = 0; k < c[0].size(); ++k) {
      const int id = f.create_node(k == 0 ? root : c[0][k]);
      if (parent < 0)
        f.append_root(id);
      else
        f.append_child(parent, id);
      parent = id;
    }
  }
  p.drop_conflicting_chains(f, true);
  const auto kept = chains(f);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].front(), port(4)) << "destination order decides which chain stays";
}
