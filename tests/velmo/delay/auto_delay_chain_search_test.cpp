// The automatic delay-chain pass's setting search: the odometer, the scores,
// restrictions and writes, the branch and bound against the exhaustive
// search, and the timing netlist's update after the writes.
#include "auto_delay_chain_search_fixture.h"

using namespace adc_search_testing;
using host::testing::Family;

namespace {

TEST_F(AutoDelayChainSearchTest, OdometerVisitsEveryCombinationOnceFirstElementLowest) {
  design();
  auto p = pass();
  SYNTH s;
  OPTIMIZATION_ELEMENT* a = s.element(sc.din, 446, 0, 2);
  OPTIMIZATION_ELEMENT* fixed = s.element(sc.din, 446, 5, 5);
  OPTIMIZATION_ELEMENT* b = s.element(sc.dout, 430, 1, 2);
  for (OPTIMIZATION_ELEMENT* e : s.group.opt_elements) e->tmp_setting = e->current_best_setting = 3;
  EXPECT_TRUE(p->process_optimization_group_change_setting(&s.group, true, false));
  EXPECT_FALSE(p->process_optimization_group_change_setting(&s.group, true, false)) << "already at the minimum";
  std::vector<std::array<int, 3>> seen{{a->tmp_setting, fixed->tmp_setting, b->tmp_setting}};
  while (p->process_optimization_group_change_setting(&s.group, false, false))
    seen.push_back({a->tmp_setting, fixed->tmp_setting, b->tmp_setting});
  const std::vector<std::array<int, 3>> want{{0, 5, 1}, {1, 5, 1}, {2, 5, 1}, {0, 5, 2}, {1, 5, 2}, {2, 5, 2}};
  EXPECT_EQ(seen, want);
  EXPECT_EQ(a->tmp_setting, 0) << "the walk ends with every free element at its minimum";
  EXPECT_EQ(b->tmp_setting, 1);
  // Restore: back to the best settings.
  EXPECT_TRUE(p->process_optimization_group_change_setting(&s.group, false, true));
  EXPECT_EQ(a->tmp_setting, 3);
  EXPECT_EQ(b->tmp_setting, 3);

  // A whole search scores each combination once: 3 x 2 (the fixed element
  // and an element without requirements count once).
  SYNTH g;
  SYNTH::act(g.element(sc.din, 446, 0, 2), g.record(500, 600), true);
  g.element(sc.din, 448, 0, 7);  // no edges: fixed at its initial setting
  SYNTH::act(g.element(sc.dout, 430, 1, 2), g.record(700, 800), false);
  const long before = p->get_evaluation_count();
  EXPECT_TRUE(p->process_optimization_group(&g.group));
  EXPECT_EQ(p->get_evaluation_count() - before, 6);
  EXPECT_EQ(g.elements[1]->min_setting, g.elements[1]->max_setting);
}

TEST_F(AutoDelayChainSearchTest, ScoresPenaltiesTiesAndFixedGroups) {
  design();
  auto p = pass();
  // A longer setup delay lowers a pos record's slack (best 0) and raises a
  // neg record's (best 3); the score is the worst slot over both corners.
  for (bool pos : {true, false}) {
    SYNTH s;
    OPTIMIZATION_ELEMENT* e = s.element(sc.din, 446, 0, 3);
    KEM_EDGE_SLACK_INFO* r = s.record(1000, 900);
    SYNTH::act(e, r, pos);
    p->process_optimization_group_initialize(&s.group);
    p->process_optimization_group_change_setting(&s.group, true, false);
    do p->process_optimization_group_evaulate_settings(&s.group);
    while (p->process_optimization_group_change_setting(&s.group, false, false));
    const int best = pos ? 0 : 3;
    EXPECT_EQ(e->current_best_setting, best) << pos;
    const int d_slow = p->get_dmf_value(T(446), 3, sc.din, 0, 0), d_fast = p->get_dmf_value(T(446), 3, sc.din, 0, 1);
    EXPECT_EQ(s.group.current_best_score1_wc_slack, pos ? 900 : std::min(1000 + d_slow, 900 + d_fast)) << pos;
    EXPECT_EQ(r->slack[0][0], 1000) << "the walk ends at the minimum, which is the initial setting";
  }
  EXPECT_EQ(PASS::get_penalty_for_opt_element_setting(T(414), 3), 120);
  EXPECT_EQ(PASS::get_penalty_for_opt_element_setting(T(417), 3), 6);
  EXPECT_EQ(PASS::get_penalty_for_opt_element_setting(T(446), 3), 0);
  {
    // A PLL chain whose delays do not move the slack: every setting ties on
    // slack, the penalty picks 0; the score pays the penalty once from the
    // minimum and once per element from the sum.
    SYNTH s;
    OPTIMIZATION_ELEMENT* pll = s.element(sc.din, 416, 0, 3);
    OPTIMIZATION_ELEMENT* pin = s.element(sc.din, 446, 0, 0);
    SYNTH::act(pll, s.record(300, 400), true);
    SYNTH::act(pin, s.record(200, 250), true);
    pin->max_setting = 1;
    p->process_optimization_group_initialize(&s.group);
    pll->tmp_setting = 2;
    EXPECT_EQ(p->convert_temp_setting_to_penalty(&s.group), 4);
    pll->tmp_setting = 0;
    p->process_optimization_group_change_setting(&s.group, true, false);
    do p->process_optimization_group_evaulate_settings(&s.group);
    while (p->process_optimization_group_change_setting(&s.group, false, false));
    EXPECT_EQ(pll->current_best_setting, 0);
    EXPECT_EQ(pin->current_best_setting, 0);
    EXPECT_EQ(s.group.current_best_score1_wc_slack, 200);
    EXPECT_EQ(s.group.current_best_score2_sum_of_wc_slack, 500);
    // The same combination scored with the PLL chain at 1: both scores lower.
    pll->tmp_setting = 1;
    pin->tmp_setting = 0;
    p->process_optimization_group_evaulate_settings(&s.group);
    EXPECT_EQ(s.group.tmp_score1_wc_slack, 198);
    EXPECT_EQ(s.group.tmp_score2_sum_of_wc_slack, 496);
    EXPECT_EQ(pll->current_best_setting, 0);
  }
  {
    // Equal scores: the combination met first stays.
    SYNTH s;
    OPTIMIZATION_ELEMENT* e = s.element(sc.din, 446, 0, 0);
    SYNTH::act(e, s.record(300, 400), true);
    p->process_optimization_group_initialize(&s.group);
    e->max_setting = 1;
    p->process_optimization_group_evaulate_settings(&s.group);
    e->current_best_setting = 7;
    p->process_optimization_group_evaulate_settings(&s.group);
    EXPECT_EQ(e->current_best_setting, 7);
  }
  {
    // Every element fixed: one evaluation, accepted, no score.
    SYNTH s;
    OPTIMIZATION_ELEMENT* e = s.element(sc.din, 446, 0, 3);
    SYNTH::act(e, s.record(NO, NO), true);
    const long before = p->get_evaluation_count();
    p->process_optimization_group(&s.group);
    EXPECT_EQ(p->get_evaluation_count() - before, 1);
    EXPECT_EQ(e->min_setting, e->max_setting);
    EXPECT_EQ(e->current_best_setting, e->initial_setting);
    EXPECT_EQ(s.group.current_best_score1_wc_slack, NO);
    // A free element without requirement is the internal error of the score.
    e->max_setting = 3;
    EXPECT_NE(host::testing::expect_internal_error([&] { p->process_optimization_group_evaulate_settings(&s.group); })
                  .condition.find("wc_slack[0] == VOK_ILLEGAL_ZARN_DELAY"),
              std::string::npos);
  }
}

TEST_F(AutoDelayChainSearchTest, RestrictionsFixElements) {
  design();
  auto p = pass();
  host::options::set(host::dc::moz_variable_of(430), 4, "2", "dout");
  SYNTH s;
  OPTIMIZATION_ELEMENT* in = s.element(sc.din, 446, 0, 15);
  OPTIMIZATION_ELEMENT* user = s.element(sc.dout, 430, 0, 15);
  SYNTH::act(in, s.record(100, 100), true);
  SYNTH::act(user, s.record(100, 100), true);
  p->process_optimization_group_initialize(&s.group);
  EXPECT_EQ(in->max_setting, 15);
  EXPECT_EQ(user->min_setting, user->max_setting) << "a user assignment";
  // A high-fanout input pin is fixed when the mode says so (mode 0).
  s.group.is_high_fanout_input_pin = true;
  p->process_optimization_group_initialize(&s.group);
  EXPECT_EQ(in->min_setting, in->max_setting);
  EXPECT_EQ(in->tmp_setting, in->initial_setting);
  host::options::set(905, 6, "2");
  auto relaxed = pass();
  in->min_setting = 0;
  in->max_setting = 15;
  relaxed->process_optimization_group_initialize(&s.group);
  EXPECT_EQ(in->max_setting, 15) << "mode 2 leaves the pin free";
}

TEST_F(AutoDelayChainSearchTest, FamilyRuleAndOutputEnableChecks) {
  // A pin of a fresh device of the family, the owner and the pass.
  auto on_family = [&](int family, const std::function<void(VOK_ATOM_NODE*, PASS&)>& body) {
    host::testing::device(Family::code(family)).build();
    auto n = host::testing::netlist();
    const std::string name = "p" + std::to_string(family);
    n.io_in(name);
    VELMO_DELAY_CHAIN_OP op(m_env);
    PASS p(m_env, &op);
    body(n.find(name), p);
  };
  for (int family : {52, 46}) on_family(family, [&](VOK_ATOM_NODE* pin, PASS& p) {
    SYNTH s;
    OPTIMIZATION_ELEMENT* tco = s.element(pin, 14, 0, 3);
    OPTIMIZATION_ELEMENT* tco2 = s.element(pin, 14, 0, 3);
    OPTIMIZATION_ELEMENT* other = s.element(pin, 446, 0, 3);
    tco->current_best_setting = 0;
    tco2->current_best_setting = 2;
    other->current_best_setting = 0;
    p.process_optimization_group_enforce_restrictions(&s.group);
    EXPECT_EQ(tco->current_best_setting, family == 52 ? 1 : 0) << family;
    EXPECT_EQ(tco2->current_best_setting, 2);
    EXPECT_EQ(other->current_best_setting, 0);
  });
  // The best setting is written, but not on a pin whose chains are preserved.
  on_family(26, [&](VOK_ATOM_NODE* pin, PASS& p) {
    for (bool preserved : {false, true}) {
      if (preserved) m_env->get_netlist_reuse_utility()->preserve_delay_chains(pin->get_id());
      SYNTH s;
      s.element(pin, 446, 0, 5)->current_best_setting = preserved ? 4 : 3;
      p.process_optimization_group_assign_optimized_settings(&s.group);
      EXPECT_EQ(setting_of(pin, 446), 3u) << preserved;
    }
  });
  for (int family : {8, 12, 19, 59, 9}) on_family(family, [&](VOK_ATOM_NODE* pin, PASS& p) {
    SYNTH s;
    const bool t10 = family == 8 || family == 12 || family == 19;
    const int bad = t10 ? 299 : 298, fine = t10 ? 298 : 299;
    s.element(pin, bad, 0, 0)->current_best_setting = 0;
    EXPECT_EQ(host::testing::expect_internal_error([&] { p.process_optimization_group_assign_optimized_settings(&s.group); })
                  .condition,
              t10 ? "io_has_no_t10_output_enable_path" : "io_has_no_t9_output_enable_path")
        << family;
    // Only the first output-enable element is tested.
    SYNTH t;
    t.element(pin, fine, 0, 0)->current_best_setting = 0;
    t.element(pin, bad, 0, 0)->current_best_setting = 0;
    for (OPTIMIZATION_ELEMENT* e : t.group.opt_elements) e->initial_setting = 0;
    p.process_optimization_group_assign_optimized_settings(&t.group);
  });
}

// A pin feeding a compensating PLL keeps its setting: warning 16161 when a
// legal worst slack is negative (zero is met), else info 16160; the records end at the
// initial setting.
TEST_F(AutoDelayChainSearchTest, PllCompensatedPinIsNotWritten) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto ibuf = n.io_in("din");
  n.io_reg("ireg", 396).clk(clk).d(ibuf);
  n.atom(VOK_ATOM_KIND::IOPLL, "pll").input(DB_INPUT_PORT_PLL_REFCLK, 0, ibuf)->set_parameter(VOK_PARAMETER_TYPE::UINT,
                                                                                             9000, 2);
  VOK_ATOM_NODE* din = n.find("din");
  n.io_in("din2");
  VOK_ATOM_NODE* din2 = n.find("din2");
  n.timing();
  VELMO_DELAY_CHAIN_OP op(m_env);
  PASS p(m_env, &op);
  p.init_yeb_cell_delays();
  p.build_auto_delay_chain_vec_new();
  // A negative setup slack fails whatever the hold slack.
  for (std::int32_t hold : {50, -50}) {
    SYNTH s;
    OPTIMIZATION_ELEMENT* e = s.element(din, 446, 0, 5);
    KEM_EDGE_SLACK_INFO* r = s.record(-400, -300, hold, hold + 10);
    SYNTH::act(e, r, false);  // a longer chain would help its setup
    EXPECT_TRUE(p.process_optimization_group(&s.group));
    EXPECT_EQ(e->current_best_setting, 0) << "the initial setting is kept";
    EXPECT_EQ(setting_of(din, 446), 0u);
    EXPECT_EQ(r->slack[0][0], -400);
    EXPECT_EQ(r->slack[1][1], hold + 10);
  }
  // A pin paired with a compensated one is left alone for its
  // input-register chain (15) only.
  host::dc::pair(din2->get_id(), din->get_id());
  EXPECT_TRUE(p.skip_pin_due_to_pll(din, T(16)));
  EXPECT_TRUE(p.skip_pin_due_to_pll(din2, T(15)));
  EXPECT_FALSE(p.skip_pin_due_to_pll(din2, T(16)));
  p.get_msgr()->post();
  const auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].id, 16161u);
  EXPECT_EQ(posted[1].id, 16161u);
  SYNTH ok;
  OPTIMIZATION_ELEMENT* e = ok.element(din, 446, 0, 5);
  SYNTH::act(e, ok.record(0, 300, 0, 60), true);  // a zero slack is met
  p.process_optimization_group(&ok.group);
  p.get_msgr()->post();
  EXPECT_EQ(host::messages::posted().back().id, 16160u);
  EXPECT_NE(host::messages::posted().back().text.find("din"), std::string::npos);
  // The message reads the slacks at the pin's own setting (3, where setup
  // is met), not where the search stopped (0, where it fails).
  yos_current_interface()->set_uint_data(din, T(446), 3);
  SYNTH mid;
  OPTIMIZATION_ELEMENT* m = mid.element(din, 446, 0, 5);
  KEM_EDGE_SLACK_INFO* r = mid.record(100, 100);
  SYNTH::act(m, r, false);
  p.process_optimization_group(&mid.group);
  p.get_msgr()->post();
  EXPECT_EQ(host::messages::posted().back().id, 16160u);
  EXPECT_EQ(setting_of(din, 446), 3u);
  EXPECT_EQ(r->slack[0][0], 100);
  // A device that checks the compensation itself has no pin skipped.
  for (bool checks : {false, true}) {
    host::testing::device(Family::KY).basic_bool_data(154, checks).build();
    VELMO_DELAY_CHAIN_OP owner(m_env);
    PASS q(m_env, &owner);
    EXPECT_EQ(q.skip_pin_due_to_pll(din, T(16)), !checks);
    EXPECT_EQ(q.skip_pin_due_to_pll(din2, T(15)), !checks);
  }
  // Nor one of a family without the I/O pin utility.
  host::testing::device(Family::KX).build();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS kx(m_env, &owner);
  EXPECT_FALSE(kx.skip_pin_due_to_pll(din, T(16)));
}

TEST_F(AutoDelayChainSearchTest, OpenListOrderAndPruning) {
  VELMO_OPT_OPEN_LIST open;
  OPTIMIZATION_ELEMENT_SETTING_NODE a(nullptr, nullptr, 0, false), b(nullptr, nullptr, 1, false),
      c(nullptr, nullptr, 2, false), d(nullptr, nullptr, 3, false);
  PASS::insert_at_sorted_position(&open, {&a, 10});
  PASS::insert_at_sorted_position(&open, {&b, 5});
  PASS::insert_at_sorted_position(&open, {&c, 10});
  PASS::insert_at_sorted_position(&open, {&d, 20});
  std::vector<int> order;
  for (const auto& [n, bound] : open) order.push_back(n->setting);
  EXPECT_EQ(order, std::vector<int>({3, 0, 2, 1})) << "descending, equal bounds in insertion order";
  PASS::prune_bad_paths(&open, 10);
  EXPECT_EQ(open.size(), 3u);
  EXPECT_EQ(open.back().second, 10) << "an entry equal to the incumbent stays";
}

TEST_F(AutoDelayChainSearchTest, BranchAndBoundPicksTheBestLeafOfOneElement) {
  design();
  auto p = pass();
  // A pos and a neg record: the setup slack of one falls, the other's rises;
  // the best setting balances them, the first of equal bounds wins.
  SYNTH s;
  OPTIMIZATION_ELEMENT* e = s.element(sc.din, 446, 0, 15);
  SYNTH::act(e, s.record(1000, 1000), true);
  SYNTH::act(e, s.record(400, 400), false);
  p->process_optimization_group_initialize(&s.group);
  p->process_optimization_group_determine_best_settings(&s.group);
  // Exhaustive: the same setting.
  const int bb = e->current_best_setting;
  EXPECT_EQ(e->tmp_setting, 0) << "the branch and bound leaves the tmp settings alone";
  p->process_optimization_group_change_setting(&s.group, true, false);
  do p->process_optimization_group_evaulate_settings(&s.group);
  while (p->process_optimization_group_change_setting(&s.group, false, false));
  EXPECT_EQ(e->current_best_setting, bb);
  EXPECT_GT(bb, 0);
  EXPECT_LT(bb, 15);
  // Every leaf ties (a fixed element's record decides): the first found
  // stays the incumbent.
  SYNTH tie;
  OPTIMIZATION_ELEMENT* free = tie.element(sc.din, 446, 0, 15);
  OPTIMIZATION_ELEMENT* fixed = tie.element(sc.dout, 430, 0, 0);
  SYNTH::act(free, tie.record(5000, 5000), true);
  SYNTH::act(fixed, tie.record(100, 100), true);
  p->process_optimization_group_initialize(&tie.group);
  p->process_optimization_group_determine_best_settings(&tie.group);
  EXPECT_EQ(free->current_best_setting, 0);
  EXPECT_EQ(fixed->current_best_setting, 0);
  // A record that lists its element twice (the edge's chain list may name a
  // chain twice) holds it once among the element's records: each leaf's
  // bound moves it once, as a setting change moves it.
  SYNTH twice;
  OPTIMIZATION_ELEMENT* x = twice.element(sc.din, 446, 0, 3);
  KEM_EDGE_SLACK_INFO* rec = twice.record(1000, 900);
  SYNTH::act(x, rec, true);
  rec->opt_elements.emplace_back(x, -1);
  p->process_optimization_group_initialize(&twice.group);
  VELMO_OPT_ELEMENT_SETTINGS map;
  p->get_empty_opt_elems_settings_hash(&twice.group, &map);
  OPTIMIZATION_ELEMENT_SETTING_TREE tree(&twice.group);
  ASSERT_EQ(tree.expand(tree.get_root()), 4u);
  std::vector<KEM_EDGE_SLACK_INFO*> edges{rec};
  for (const auto& leaf : tree.get_root()->children) {
    p->update_slack_info_for_optimization_group(x, x->tmp_setting, leaf->setting);
    const std::int32_t moved = worst_of(edges);
    p->update_slack_info_for_optimization_group(x, leaf->setting, x->tmp_setting);
    EXPECT_EQ(p->compute_best_case_bound(leaf.get(), &edges, &map), moved) << leaf->setting;
  }
  EXPECT_GT(p->get_dmf_value(T(446), 3, sc.din, 0, 0), 0) << "a setting that moves the record";
}

// Random groups of free non-PLL elements whose edges no other group shares:
// the branch and bound reaches the exhaustive search's best worst slack, and
// no node's bound is below the worst slack a completion of it reaches.
TEST_F(AutoDelayChainSearchTest, BranchAndBoundMatchesTheExhaustiveSearchOnRandomGroups) {
  design();
  // Cell delays at the slow corner whose rise and fall differ: the setup
  // (larger) and hold (smaller) delays of a setting part.
  for (const auto& [kind, rise, fall] : {std::tuple{207, 2.0e-10f, 3.0e-10f}, std::tuple{209, 5.0e-10f, 4.0e-10f},
                                         std::tuple{211, 3.0e-10f, 6.0e-10f}}) {
    YEB_CELL_DELAY d;
    d.values[0] = 1.0e-10f;
    d.values[4] = rise;
    d.values[7] = fall;
    host::yeb::set_cell_delay(0, kind, d);
  }
  auto p = pass();
  ASSERT_NE(p->get_dmf_value(T(446), 3, sc.din, 0, 0), p->get_dmf_value(T(446), 3, sc.din, 1, 0));
  std::mt19937 rng(27);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int types[3] = {446, 430, 431};
  VOK_ATOM_NODE* atoms[3] = {sc.din, sc.dout, sc.dout};
  for (int round = 0; round < 40; ++round) {
    SYNTH s;
    const int n = pick(1, 3);
    for (int i = 0; i < n; ++i) {
      const int lo = pick(0, 3);
      s.element(atoms[i], types[i], lo, lo + pick(1, 3));
    }
    for (int r = pick(n, 5); r > 0; --r) {
      auto v = [&] { return pick(0, 4) == 0 ? NO : pick(-500, 500); };
      KEM_EDGE_SLACK_INFO* rec = s.record(pick(-500, 500), v(), v(), v());
      // One to all elements act on it, each in one direction.
      for (int i = 0; i < n; ++i)
        if (i == r % n || pick(0, 1)) SYNTH::act(s.elements[static_cast<std::size_t>(i)].get(), rec, pick(0, 1) != 0);
    }
    std::vector<KEM_EDGE_SLACK_INFO*> edges;
    for (auto& r : s.records) edges.push_back(r.get());
    p->process_optimization_group_initialize(&s.group);
    // The worst slack of each complete combination, by moving the records.
    auto completion_worst = [&](const std::vector<int>& settings) {
      for (int i = 0; i < n; ++i)
        p->update_slack_info_for_optimization_group(s.elements[static_cast<std::size_t>(i)].get(),
                                                    s.elements[static_cast<std::size_t>(i)]->tmp_setting, settings[static_cast<std::size_t>(i)]);
      const std::int32_t w = worst_of(edges);
      for (int i = 0; i < n; ++i)
        p->update_slack_info_for_optimization_group(s.elements[static_cast<std::size_t>(i)].get(), settings[static_cast<std::size_t>(i)],
                                                    s.elements[static_cast<std::size_t>(i)]->tmp_setting);
      return w;
    };
    // Every node's bound against every completion below it.
    OPTIMIZATION_ELEMENT_SETTING_TREE tree(&s.group);
    VELMO_OPT_ELEMENT_SETTINGS map;
    p->get_empty_opt_elems_settings_hash(&s.group, &map);
    std::vector<OPTIMIZATION_ELEMENT_SETTING_NODE*> stack{tree.get_root()};
    while (!stack.empty()) {
      OPTIMIZATION_ELEMENT_SETTING_NODE* node = stack.back();
      stack.pop_back();
      const std::int32_t bound = p->compute_best_case_bound(node, &edges, &map);
      std::vector<int> prefix;
      for (auto* x = node; x->parent != nullptr; x = x->parent) prefix.insert(prefix.begin(), x->setting);
      std::vector<int> full = prefix;
      for (std::size_t i = prefix.size(); i < static_cast<std::size_t>(n); ++i) full.push_back(s.elements[i]->min_setting);
      for (;;) {
        const std::int32_t w = completion_worst(full);
        if (w != NO) {
          EXPECT_GE(bound, w) << "round " << round;
        }
        if (node->is_leaf()) {
          EXPECT_EQ(bound, w) << "round " << round;
        }
        std::size_t i = prefix.size();
        for (; i < full.size() && full[i] == s.elements[i]->max_setting; ++i) full[i] = s.elements[i]->min_setting;
        if (i == full.size()) break;
        ++full[i];
      }
      tree.expand(node);
      for (auto& child : node->children) stack.push_back(child.get());
    }
    p->process_optimization_group_change_setting(&s.group, true, false);
    do p->process_optimization_group_evaulate_settings(&s.group);
    while (p->process_optimization_group_change_setting(&s.group, false, false));
    const std::int32_t exhaustive = s.group.current_best_score1_wc_slack;
    p->process_optimization_group_change_setting(&s.group, false, true);
    p->process_optimization_group_change_setting(&s.group, true, false);
    for (OPTIMIZATION_ELEMENT* e : s.group.opt_elements) e->current_best_setting = -1;
    p->process_optimization_group_determine_best_settings(&s.group);
    std::vector<int> chosen;
    for (OPTIMIZATION_ELEMENT* e : s.group.opt_elements) chosen.push_back(e->current_best_setting);
    EXPECT_EQ(completion_worst(chosen), exhaustive) << "round " << round;
  }
}

// The flow writes the chosen settings; the timing netlist's update of the
// tainted atoms then gives the slacks the records predicted.
TEST_F(AutoDelayChainSearchTest, WrittenSettingsGiveThePredictedSlacks) {
  design();
  cfg_set_on("velmo_auto_dc_hold_time");
  host::options::set(904, 1, "on");
  // Tight input timing: the input register's setup needs a shorter chain,
  // its hold a longer one.
  host::timing::set_io_delay(sc.din->get_id(), {"clk", 1500, -400});
  m_env->indicate_that_atom_netlist_is_modified();
  hov = m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  hov->perform_quick_timing_analysis(false);
  owner = std::make_unique<VELMO_DELAY_CHAIN_OP>(m_env);
  owner->init_kem_edges_for_processing_new(hov_get_accessories(), true);
  auto p = pass();
  p->build_optimization_elements();
  p->build_optimization_groups();
  for (int c : {0, 1})
    for (auto g : {VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN})
      p->perform_timing_corner_analysis(ZEL_TIMING_MODEL_SLOW, c, hov, hov_get_accessories(), true, g);
  OPTIMIZATION_ELEMENT* in = p->get_element_map().at({sc.din, T(446)});
  const std::int32_t before = std::min(in->pos_edges[0]->slack[1][0], in->pos_edges[0]->slack[0][0]);
  ASSERT_LT(before, 0) << "the hold requirement fails at setting 0";
  EXPECT_TRUE(p->process_optimization_groups(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN));
  const std::string optimizing = "Optimizing Group: Atom Id: din (" + std::to_string(sc.din->get_id()) + ")";
  const std::vector<std::string> lines = host::debug::texts();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), optimizing), 1);
  EXPECT_GT(setting_of(sc.din, 446), 0u);
  EXPECT_EQ(static_cast<std::int32_t>(setting_of(sc.din, 446)), in->current_best_setting);
  EXPECT_GT(hov_get_atom_netlist_taint_manager()->get_num_tainted_atoms(), 0);

  // The records' edges by their destination input (the update renumbers
  // the rebuilt cells' edges).
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  std::vector<const VOK_ATOM_ITERM*> sinks;
  for (const KEM_EDGE_SLACK_INFO* r : in->pos_edges) sinks.push_back(kem->get_edge(r->edge_id)->get_dst_node()->get_iterm());
  host::clear_calls();
  p->incrementally_update_tainted_atoms();
  EXPECT_EQ(host::call_count("HOV_ACCESSORIES::incrementally_update"), 1) << "multi-corner off: the current corner";
  for (const HOST_CALL& c : host::calls())
    if (c.name == "HOV_ACCESSORIES::incrementally_update") {
      EXPECT_NE(c.args.find(", 0, 3, false, true"), std::string::npos) << c.args;
    }
  EXPECT_EQ(hov_get_atom_netlist_taint_manager()->get_num_tainted_atoms(), 0);
  EXPECT_TRUE(hov_get_atom_netlist_taint_manager()->hov_reflects_atom_netlist_exactly());
  // The updated netlist's slow-corner slacks are those the records hold.
  kem = hov_get_accessories()->get_kem_netlist();
  hov_get_accessories()->clear_sta_edge_filter();
  auto edge_of = [&](std::size_t i) {
    const KEM_NODE* n = sinks[i] ? kem->get_kem_node_from_iterm(sinks[i]) : nullptr;
    return n ? kem->get_edge(n->begin_fanin()) : nullptr;
  };
  for (int kind : {0, 1}) {
    if (kind == 0)
      hov->perform_quick_timing_analysis(false);
    else
      hov->perform_quick_min_timing_analysis();
    int checked = 0;
    for (std::size_t i = 0; i < sinks.size(); ++i) {
      const std::int32_t predicted = in->pos_edges[i]->slack[kind][0];
      if (predicted == NO || edge_of(i) == nullptr) continue;
      EXPECT_EQ(edge_of(i)->get_slack(), predicted) << kind << " " << i;
      ++checked;
    }
    EXPECT_GT(checked, 0);
  }
  EXPECT_GT(std::min(in->pos_edges[0]->slack[1][0], in->pos_edges[0]->slack[0][0]), before);

  // Multi-corner: every loaded corner first, then the current one.
  cfg_set_on("velmo_auto_dc_multi_corner");
  auto multi = pass();
  host::clear_calls();
  m_env->indicate_that_atom_netlist_is_modified(sc.din->get_id(), false, false);
  multi->incrementally_update_tainted_atoms();
  std::vector<std::string> flags;
  for (const HOST_CALL& c : host::calls())
    if (c.name == "HOV_ACCESSORIES::incrementally_update") flags.push_back(c.args.substr(c.args.find(", ")));
  ASSERT_EQ(flags.size(), 2u);
  EXPECT_NE(flags[0].find(", 1, 3,"), std::string::npos) << flags[0];
  EXPECT_NE(flags[1].find(", 0, 3,"), std::string::npos) << flags[1];
}

// The search's trace: element lines need both switches, the separators the
// optimisation switch alone.
TEST_F(AutoDelayChainSearchTest, TraceIsGatedByTheTwoSwitches) {
  design();
  const char* name = "velmo_optimization_timing_info_for_opt_element.out";
  auto text = [&] {
    std::ifstream in(name);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  auto run = [&] {
    std::remove(name);
    auto p = pass();
    SYNTH s;
    SYNTH::act(s.element(sc.din, 446, 0, 1), s.record(100, 100), true);
    p->process_optimization_group_initialize(&s.group);
    p->process_optimization_group_change_setting(&s.group, true, false);
    p->process_optimization_group_evaulate_settings(&s.group);
    p->process_optimization_group_change_setting(&s.group, false, false);
    return text();
  };
  cfg_set_on("velmo_auto_dc_verbose");
  EXPECT_EQ(run(), "") << "the optimisation switch is off";
  cfg_set_on("velmo_auto_dc_verbose_optimizations");
  const std::string both = run();
  EXPECT_EQ(both.find("Opt Element Element Type:"), 0u) << both;
  EXPECT_NE(both.find("tmp_setting:0\n\n\nNEXT SETTING\n\nBest Setting Found\n"), std::string::npos) << both;
  EXPECT_NE(both.find("tmp_setting:1\n\n\nNEXT SETTING\n\n"), std::string::npos) << both;
  cfg_set_off("velmo_auto_dc_verbose");
  EXPECT_EQ(run(), "\n\nNEXT SETTING\n\nBest Setting Found\n\n\nNEXT SETTING\n\n");
}

TEST_F(AutoDelayChainSearchTest, CompoundIterationListsFanInOrFanOut) {
  design();
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  const KEM_NODE* d = kem->get_kem_node_from_iterm(sc.ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  EXPECT_FALSE(kem_node_has_compound_mark(d));
  host::kem::set_compound_mark(d->get_id(), true);
  EXPECT_TRUE(kem_node_has_compound_mark(d));
  KEM_EDGE_COMPOUND_ITER in(kem, d, 0);
  ASSERT_NE(in.get(), nullptr);
  EXPECT_EQ(in.get()->get_id(), d->begin_fanin());
  in.next();
  EXPECT_EQ(in.get(), nullptr) << "one fan-in edge";
  KEM_EDGE_COMPOUND_ITER out(kem, d, 1);
  EXPECT_EQ(out.get() == nullptr ? -1 : out.get()->get_id(), d->begin_fanout());
  EXPECT_EQ(host::testing::expect_internal_error([&] { KEM_EDGE_COMPOUND_ITER bad(kem, d, 2); }).condition,
            "Unsupported 'edge_list_mask'");
}

}  // namespace
