// The setting search's rules seen from outside the odometer: which
// combination the scores keep, what the branch and bound does when no leaf
// has a slack, how a bound counts from where the element stands, and which
// output-enable element the family check reads.
#include "auto_delay_chain_search_fixture.h"

using namespace adc_search_testing;

namespace {

// The worst slack decides; the sum of the elements' worst slacks only
// breaks a tie of it, whichever way the sum goes.
TEST_F(AutoDelayChainSearchTest, TheWorstSlackDecidesAndTheSumOnlyBreaksItsTies) {
  design();
  auto p = pass();
  SYNTH s;
  OPTIMIZATION_ELEMENT* a = s.element(sc.din, 446, 0, 3);
  OPTIMIZATION_ELEMENT* b = s.element(sc.dout, 430, 0, 3);
  // Scores a combination (its label is a's setting) with the given worst
  // slacks of the two elements.
  auto score = [&](int label, std::int32_t wa, std::int32_t wb) {
    a->tmp_setting = label;
    a->wc_slack[0] = wa;
    b->wc_slack[0] = wb;
    p->process_optimization_group_evaulate_settings(&s.group);
    return a->current_best_setting;
  };
  EXPECT_EQ(score(0, 100, 200), 0) << "the first combination is taken";
  EXPECT_EQ(score(1, 50, 1000), 0) << "a lower worst slack loses, however large its sum";
  EXPECT_EQ(score(2, 100, 150), 0) << "an equal worst slack with a lower sum loses";
  EXPECT_EQ(score(3, 100, 250), 3) << "an equal worst slack with a higher sum wins";
  EXPECT_EQ(score(1, 120, 120), 1) << "a higher worst slack wins with a lower sum";
  EXPECT_EQ(s.group.current_best_score1_wc_slack, 120);
  EXPECT_EQ(s.group.current_best_score2_sum_of_wc_slack, 240);
}

// The branch and bound keeps the settings it started from when no leaf of
// the tree has a slack; one leaf with a slack is taken wherever it stands.
TEST_F(AutoDelayChainSearchTest, BranchAndBoundWithoutALeafSlackKeepsTheStartingSettings) {
  design();
  auto p = pass();
  for (bool one_slack : {false, true}) {
    SYNTH s;
    OPTIMIZATION_ELEMENT* e = s.element(sc.din, 446, 0, 3);
    SYNTH::act(e, s.record(NO, NO), true);
    e->initial_setting = e->current_best_setting = e->tmp_setting = 2;
    OPTIMIZATION_ELEMENT* other = s.element(sc.dout, 430, 0, 2);
    SYNTH::act(other, s.record(one_slack ? 400 : NO, NO), true);
    other->initial_setting = other->current_best_setting = other->tmp_setting = 1;
    p->process_optimization_group_determine_best_settings(&s.group);
    EXPECT_EQ(e->current_best_setting, one_slack ? 0 : 2) << one_slack;
    EXPECT_EQ(other->current_best_setting, one_slack ? 0 : 1) << one_slack;
  }
}

// A bound moves the records from the setting the element stands at (where
// the records are), not from its atom's setting.
TEST_F(AutoDelayChainSearchTest, ABoundCountsFromTheSettingTheRecordsStandAt) {
  design();
  auto p = pass();
  yos_current_interface()->set_uint_data(sc.din, T(446), 3);
  SYNTH s;
  OPTIMIZATION_ELEMENT* x = s.element(sc.din, 446, 0, 4);
  KEM_EDGE_SLACK_INFO* rec = s.record(1000, 900);
  SYNTH::act(x, rec, true);
  p->process_optimization_group_initialize(&s.group);
  ASSERT_EQ(x->tmp_setting, 3);
  std::vector<KEM_EDGE_SLACK_INFO*> edges{rec};
  VELMO_OPT_ELEMENT_SETTINGS map;
  p->get_empty_opt_elems_settings_hash(&s.group, &map);
  OPTIMIZATION_ELEMENT_SETTING_TREE tree(&s.group);
  tree.expand(tree.get_root());
  // The walk's first step puts the element at its minimum, 0.
  for (int from : {3, 0}) {
    if (from == 0) p->process_optimization_group_change_setting(&s.group, true, false);
    ASSERT_EQ(x->tmp_setting, from);
    for (const auto& leaf : tree.get_root()->children) {
      p->update_slack_info_for_optimization_group(x, from, leaf->setting);
      const std::int32_t moved = worst_of(edges);
      p->update_slack_info_for_optimization_group(x, leaf->setting, from);
      EXPECT_EQ(p->compute_best_case_bound(leaf.get(), &edges, &map), moved) << from << " " << leaf->setting;
    }
  }
}

// The first output-enable element of a group is the one checked, wherever
// it stands among the group's other chains.
TEST_F(AutoDelayChainSearchTest, TheFirstOutputEnableElementIsCheckedBehindOtherChains) {
  for (int family : {8, 59}) {
    host::testing::device(Family::code(family)).build();
    auto n = host::testing::netlist();
    const std::string name = "p" + std::to_string(family);
    n.io_in(name);
    VELMO_DELAY_CHAIN_OP op(m_env);
    PASS p(m_env, &op);
    SYNTH s;
    for (int type : {446, family == 8 ? 299 : 298}) {
      OPTIMIZATION_ELEMENT* e = s.element(n.find(name), type, 0, 0);
      e->initial_setting = e->current_best_setting = 0;
    }
    EXPECT_EQ(host::testing::expect_internal_error([&] { p.process_optimization_group_assign_optimized_settings(&s.group); })
                  .condition,
              family == 8 ? "io_has_no_t10_output_enable_path" : "io_has_no_t9_output_enable_path")
        << family;
  }
}

}  // namespace
