// The time-borrowing optimiser at the edges of its rules: no timing
// controller, the step from level 0 to level 1 at its bound, an undo with
// nothing above the floor, borrow values at their limit and the second
// rise and fall value of a borrow entry.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "tbff_fixture.h"
#include "velmo_tbff_autoborrow.h"

namespace {

using tbff_test::set_level;
using KY = TBFF_OPTIMIZATION_KY;

int atom_level(VOK_ATOM_NODE* atom) {
  int level = -1;
  yos_current_interface()->get_enum_data(atom, static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL), &level);
  return level;
}

int count_calls(const std::string& name) {
  int c = 0;
  for (const std::string& n : host::call_names()) c += n == name;
  return c;
}

class TbffRuleEdgesTest : public tbff_test::TbffTest {
protected:
  static KEM_CORNER* corner(const KEM_TIMING_MODEL& model) {
    return KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager()->get_internal_corner(model);
  }
  static KEM_CORNER* slow() { return corner(KEM_TIMING_MODEL(1, 0, 900, 100)); }
  static KEM_CORNER* fast() { return corner(KEM_TIMING_MODEL(1, 1, 900, -40)); }
};

// With the timing controller off neither variant runs nor undoes anything:
// no analysis state is set, no level written, nothing rebuilt.
TEST_F(TbffRuleEdgesTest, WithoutTheTimingControllerNothingRuns) {
  build({3, 3});
  set_level(m_regs[0], 2);
  set_level(m_regs[1], 2);
  host::hov::set_on(false);
  KY ky(m_env);
  TBFF_OPTIMIZATION_ANALYSIS_ONLY analysis(m_env);
  EXPECT_FALSE(ky.prerequisites_met());
  EXPECT_FALSE(analysis.prerequisites_met());
  host::clear_calls();
  ky.optimize();
  analysis.optimize();
  ky.revert();
  analysis.revert();
  EXPECT_EQ(count_calls("STA_DB_MGR::set_analysis_state"), 0);
  EXPECT_EQ(count_calls("XAB_DELAY_ANNOTATOR::rebuild_netlist_for_atoms"), 0);
  EXPECT_EQ(count_calls("sta_create_empty_borrow_db"), 0);
  EXPECT_EQ(atom_level(m_regs[0]), 2);
  EXPECT_EQ(atom_level(m_regs[1]), 2);
}

// From level 0 a hold slack of exactly U(1) - U(0) at a corner allows level
// 1 (the test is strict); one less keeps the group at 0.
TEST_F(TbffRuleEdgesTest, FromLevelZeroTheStepToOneReachesItsBound) {
  m_floor_level_0 = true;
  build({3, 3});
  KY ky(m_env);
  ky.find_all_interested_regs();
  ASSERT_TRUE(ky.pulse_level_0_allowed());
  ASSERT_EQ(ky.pmux_groups().size(), 1u);
  auto& group = ky.pmux_groups().begin().value();
  HOV_PULSE_WIDTH_ENUM& level = ky.tlb_to_pw()[ky.pmux_groups().begin().key()];
  const auto& table = ky.pulse_values().find(slow()).value().find(group[0].type).value();
  const int upper = table.find(HOV_PULSE_WIDTH_0).value().second;
  const int bound = table.find(HOV_PULSE_WIDTH_1).value().second - upper;
  const int to_2 = table.find(HOV_PULSE_WIDTH_2).value().second - upper;
  ASSERT_LT(bound, to_2);
  auto widen = [&](int slack) {
    level = HOV_PULSE_WIDTH_0;
    for (auto& info : group) {
      info.hold_slack = ZMP_HASH_LITE<KEM_CORNER*, int>();
      info.hold_slack.insert(slow(), slack);
    }
    ky.find_max_allowed_pw();
    return static_cast<int>(level);
  };
  EXPECT_EQ(widen(bound - 1), 0);
  EXPECT_EQ(widen(bound), 1);
  EXPECT_EQ(atom_level(m_regs[0]), 1);
  EXPECT_EQ(widen(to_2 - 1), 1);
  EXPECT_EQ(widen(to_2), 2);
}

// Undo brings registers above the floor down to it; registers at the floor
// already are left alone, so a design all at the floor is not touched.
TEST_F(TbffRuleEdgesTest, UndoLeavesRegistersAtTheFloorAlone) {
  build({3, 3});
  set_level(m_regs[0], 1);
  set_level(m_regs[1], 1);
  {
    KY ky(m_env);
    ASSERT_EQ(ky.floor_level(), HOV_PULSE_WIDTH_1);
    host::clear_calls();
    ky.revert();
  }
  EXPECT_EQ(count_calls("XAB_DELAY_ANNOTATOR::rebuild_netlist_for_atoms"), 0);
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3"), 0);
  EXPECT_EQ(atom_level(m_regs[0]), 1);
  set_level(m_regs[0], 2);
  set_level(m_regs[1], 2);
  {
    KY ky(m_env);
    host::clear_calls();
    ky.revert();
  }
  EXPECT_EQ(count_calls("XAB_DELAY_ANNOTATOR::rebuild_netlist_for_atoms"), 1);
  EXPECT_EQ(atom_level(m_regs[0]), 1);
  EXPECT_EQ(atom_level(m_regs[1]), 1);
}

// A re-tightened register's borrow entries are lowered only where they
// exceed what its pulse now allows: an entry exactly at the limit is left
// as it is and records no clipped value for its corner.
TEST_F(TbffRuleEdgesTest, ABorrowAtItsLimitIsNotClipped) {
  // Level 2 fails hold at the slow corner, level 1 passes (as in the run
  // tests): the re-check lowers the group to level 1.
  m_clock_skew_ps = 50;
  build({3, 3});
  KY ky(m_env);
  ky.find_all_interested_regs();
  auto& group = ky.pmux_groups().begin().value();
  ky.tlb_to_pw()[ky.pmux_groups().begin().key()] = HOV_PULSE_WIDTH_2;
  ky.set_pw_on_atoms_and_update(group);
  KEM_CORNER_MANAGER* cm = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
  const unsigned id0 = static_cast<unsigned>(group[0].node->get_id());
  // The level-1 pulse at the fast corner is 39 ps.
  cm->get_current_borrow_db(slow())[id0] = {{100, 50, 100, 100}};
  cm->get_current_borrow_db(fast())[id0] = {{39, 39, 39, 39}};
  ky.check_new_hold_violation();
  ASSERT_EQ(atom_level(m_regs[0]), 1);
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  int fast_limit = 0;
  for (int e = group[0].node->begin_fanin(); e >= 0; e = kem->get_edge(e)->get_next_fanin())
    if (kem->get_edge(e)->get_kind() != KEM_EDGE_INTERCONNECT)
      fast_limit = std::max(fast_limit, kem->get_edge(e)->get_src_node()->get_micro_delay(3, fast()));
  ASSERT_EQ(fast_limit, 39);
  EXPECT_EQ(cm->get_current_borrow_db(fast())[id0][0], (std::array<int, 4>{39, 39, 39, 39}));
  const auto clipped = ky.optimal_borrow_values().find(group[0].node);
  ASSERT_NE(clipped, ky.optimal_borrow_values().end());
  EXPECT_EQ(clipped.value().size(), 1u);
  EXPECT_NE(clipped.value().find(slow()), clipped.value().end());
}

// A register's gathered borrow is the largest of both rise values (entry
// fields 0 and 1) and of both fall values (2 and 3) over all its entries.
TEST_F(TbffRuleEdgesTest, GatheringTakesBothRiseAndBothFallValues) {
  build({3, 5});
  KY ky(m_env);
  ky.find_all_interested_regs();
  KEM_CORNER_MANAGER* cm = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
  std::vector<KEM_NODE*> nodes;
  for (auto g = ky.pmux_groups().begin(); g != ky.pmux_groups().end(); ++g)
    for (const auto& info : g.value()) nodes.push_back(info.node);
  ASSERT_EQ(nodes.size(), 2u);
  for (KEM_CORNER* c : {slow(), fast()}) cm->get_current_borrow_db(c).clear();
  const auto id = [](const KEM_NODE* n) { return static_cast<unsigned>(n->get_id()); };
  cm->get_current_borrow_db(slow())[id(nodes[0])] = {{1, 8, 2, 0}, {0, 3, 0, 6}};
  cm->get_current_borrow_db(slow())[id(nodes[1])] = {{0, 0, 0, 0}, {4, 9, 7, 5}};
  ky.gather_optimal_borrow_values();
  EXPECT_EQ(ky.optimal_borrow_values().find(nodes[0]).value().find(slow()).value(), (std::array<int, 2>{8, 6}));
  EXPECT_EQ(ky.optimal_borrow_values().find(nodes[1]).value().find(slow()).value(), (std::array<int, 2>{9, 7}));
}

}  // namespace
