// The blackboxing sequence on a nested partitioned design ("|" holds A and
// B, A holds C): keep sets of nested partitions, the expansion bounds, the
// keep-set check, the debug stops and dumps, the test mode, and the report
// guard over nested shells.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "moz/moz_assignment.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "testing/partition_builder.h"
#include "bbic_scene_fixture.h"
#include "velmo_bbic.h"
#include "velmo_bbic_keep_set.h"
#include "velmo_bbic_report.h"
#include "velmo_bbic_states.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"

using host::testing::EnvTest;
using host::testing::Family;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class SequenceTest : public EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(Family::KY).build();
    s = bbic_partitioned_scene();
  }
  void TearDown() override {
    clear_table();
    velmo_bbic_set_active(false);
    EnvTest::TearDown();
  }
  void clear_table() {
    for (VELMO_BBIC_KEEP_SET* k : table) delete k;
    table.clear();
  }
  // The keep sets of the selected partitions; the debug lines it printed.
  std::vector<std::string> compute() {
    clear_table();
    const std::size_t from = host::debug::texts().size();
    velmo_bbic_compute_keep_sets(selected, table);
    const auto all = host::debug::texts();
    return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
  }
  void run() {
    velmo_bbic_set_active(true);
    velmo_bbic_run_sequence(selected);
  }
  std::vector<std::string> keep(const JOV_PARTITION* p) const {
    std::vector<std::string> out;
    const auto i = static_cast<std::size_t>(p->get_id());
    if (i >= table.size() || table[i] == nullptr) return {"(none)"};
    for (VOK_ATOM_NODE* a : table[i]->nodes()) out.push_back(a->get_string_hpath());
    std::sort(out.begin(), out.end());
    return out;
  }
  static int count(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
  }
  static int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
    return n;
  }
  static VOK_ATOM_NODE* atom(VOK_ATOM_NETLIST* n, const std::string& path) {
    for (VOK_ATOM_NODE* a : n->get_atom_list())
      if (a->get_string_hpath() == path) return a;
    ADD_FAILURE() << "no atom " << path;
    return nullptr;
  }
  static VOK_ATOM_NETLIST* full(const JOV_PARTITION* p) { return p->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist(); }
  static VOK_ATOM_NETLIST* shell(const JOV_PARTITION* p) {
    return p->get_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_atom_netlist();
  }
  host::testing::scenes::PARTITIONED s{};
  VELMO_BBIC_PARTITION_SET selected;
  VELMO_BBIC_KEEP_SET_TABLE table;
};

// ---------------------------------------------------------------- keep sets

TEST_F(SequenceTest, ChildOfABlackboxedParentIsSeededByNoOneAndCanVanish) {
  // The sequence's workaround notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  // A keeps only its ports: C's box stays hidden in A, so C gets no port
  // completion and nothing else.
  cfg_set_off("bbic_keep_to_boundary_reg");
  selected.insert(s.a);
  selected.insert(s.c);
  run();
  const auto lines = host::debug::texts();
  EXPECT_EQ(count(lines, "BBIC completely removes partition " + std::to_string(s.c->get_id()) + " (C)"), 1);
  EXPECT_EQ(count(lines, "BBIC completely removes partition " + std::to_string(s.a->get_id()) + " (A)"), 0);
  EXPECT_EQ(count(lines, "BBIC completely removed 1 partitions (2 expansions performed)"), 1);
  EXPECT_EQ(count(lines, "Blackboxed 2 partitions"), 1);
  EXPECT_EQ(count_prefix(lines, "Blacklisted "), 0);  // no dead-zone search unless asked for
  // C's shell holds its ports only, A's shell holds C's box.
  ASSERT_EQ(s.c->get_active_state(), JOV_PARTITION::BBIC_DEPOPULATED);
  for (VOK_ATOM_NODE* a : shell(s.c)->get_atom_list()) EXPECT_TRUE(a->is_port()) << a->get_string_hpath();
  EXPECT_EQ(shell(s.c)->size(), 3u);
  EXPECT_NE(atom(full(s.c), "A|C|c1"), nullptr);
  ASSERT_EQ(s.a->get_active_state(), JOV_PARTITION::BBIC_DEPOPULATED);
  EXPECT_EQ(shell(s.c)->get_parent_box()->get_parent_netlist(), shell(s.a));
  // The statistics: the share of real atoms the shells keep.
  int before = -1, after = -1, percent = -1;
  for (const auto& l : lines) {
    if (l.rfind("Before: ", 0) == 0) before = std::stoi(l.substr(8));
    if (l.rfind("After : ", 0) == 0) after = std::stoi(l.substr(8));
    if (l.rfind("B B i C ", 0) == 0) percent = std::stoi(l.substr(8));
  }
  ASSERT_GT(before, 0);
  ASSERT_GE(after, 0);
  EXPECT_LT(after, before);
  EXPECT_EQ(percent, after * 100 / before);
  // They close with the design's partition summary.
  const auto at = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("After : ", 0) == 0; });
  ASSERT_GE(std::distance(at, lines.end()), 3);
  EXPECT_EQ(*(at + 1), "+--------------+");
  EXPECT_EQ(*(at + 2), "Post-BBIC Design Stats");
  EXPECT_EQ(host::call_count("JOV_DEBUG::dump_design_partition_stat"), 1);
  // The first expansion of the process announces its workaround.
  EXPECT_THAT(lines, ::testing::Contains(::testing::MatchesRegex(
                         "\tvelmo_bbic_sequence\\.cpp\\([0-9]+\\) contains a hack by velmo and is tracked by case 476309")));
}

TEST_F(SequenceTest, BlackboxedParentKeepsTheLogicAroundARecompiledChild) {
  // A keeps only its ports of its own; C is recompiled: A keeps C's box,
  // the logic feeding it back to a1 and the register it feeds.
  cfg_set_off("bbic_keep_to_boundary_reg");
  cfg_set_off("jov_bbic_expand_keep_set");
  selected.insert(s.a);
  const auto lines = compute();
  EXPECT_EQ(count(lines, "Update keep set for partition A for bbox C"), 1);
  EXPECT_THAT(keep(s.a), ::testing::IsSupersetOf({"A|C", "A|a1", "A|la", "A|a2"}));
}

TEST_F(SequenceTest, ExpansionIterationsFollowTheirBoundAndSwitch) {
  // The expansion's workaround notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  // A keeps C's box, so C gets its ports in the iteration after, and c1 in
  // the one after that: three iterations, the last one idle.
  selected.insert(s.a);
  selected.insert(s.c);
  const std::vector<std::string> ports{"A|C|clk", "A|C|d", "A|C|q"};
  const std::vector<std::string> ports_and_c1{"A|C|c1", "A|C|clk", "A|C|d", "A|C|q"};
  const std::string notice = "Description: Fix fitter/w3j3 and remove ugly bbic_expand_keep_set.";

  cfg_set_off("jov_bbic_expand_keep_set");
  auto lines = compute();
  EXPECT_EQ(count(lines, "BBIC completely removed 1 partitions (0 expansions performed)"), 1);
  EXPECT_THAT(keep(s.c), IsEmpty());  // no port completion either
  EXPECT_EQ(count_prefix(lines, "\t" + notice), 0);
  cfg_set_on("jov_bbic_expand_keep_set");

  cfg_set_int_value("velmo_bbic_max_expansions", 0);
  lines = compute();
  EXPECT_EQ(count(lines, "BBIC completely removed 1 partitions (0 expansions performed)"), 1);
  EXPECT_EQ(count_prefix(lines, "BBIC: expand_nodes_to_keep on partition"), 0);
  EXPECT_THAT(keep(s.c), IsEmpty());
  EXPECT_EQ(count(lines, "\t" + notice), 1);  // announced when the switch is on

  cfg_set_int_value("velmo_bbic_max_expansions", 1);
  lines = compute();
  EXPECT_EQ(count(lines, "BBIC completely removed 0 partitions (1 expansions performed)"), 1);
  EXPECT_EQ(keep(s.c), ports);
  EXPECT_EQ(count(lines, "BBIC: Added 3 ports for partition C"), 1);
  EXPECT_EQ(count(lines, "\t" + notice), 0);  // once per process

  cfg_set_int_value("velmo_bbic_max_expansions", 2);
  lines = compute();
  EXPECT_EQ(count(lines, "BBIC completely removed 0 partitions (2 expansions performed)"), 1);
  EXPECT_EQ(keep(s.c), ports_and_c1);
  EXPECT_EQ(count(lines, "BBIC: expand_nodes_to_keep on partition C 3 -> 4"), 1);

  for (int bound : {-1, 10}) {
    cfg_set_int_value("velmo_bbic_max_expansions", bound);
    lines = compute();
    EXPECT_EQ(count(lines, "BBIC completely removed 0 partitions (3 expansions performed)"), 1) << bound;
    EXPECT_EQ(keep(s.c), ports_and_c1) << bound;
  }
}

TEST_F(SequenceTest, ByDefaultTheExpansionStopsAfterTenRounds) {
  // Twelve partitions nested in a chain beside the scene, each level's
  // output driven by its child's box: every round gives the next level its
  // ports, so the twelfth would need an eleventh round.
  host::testing::NETLIST_BUILDER n = host::testing::netlist();
  std::vector<host::testing::BOX_BUILDER> boxes;  // innermost first
  int depth = 1;
  std::function<void(host::testing::NETLIST_BUILDER&)> level = [&](host::testing::NETLIST_BUILDER& c) {
    const host::testing::SIG clk = c.input("clk");
    host::testing::SIG q = c.reg("r").clk(clk).d(c.input("d"));
    if (depth < 12) {
      auto box = c.blackbox("D" + std::to_string(++depth), level);
      box.in("clk", clk).in("d", q);
      q = box.out("q");
      boxes.push_back(box);
    }
    c.output("q", q);
  };
  auto d1 = n.blackbox("D1", level);
  d1.in("clk", n.io_in("dclk")).in("d", n.io_in("din"));
  n.io_out("dout", d1.out("q"));
  boxes.push_back(d1);
  std::reverse(boxes.begin(), boxes.end());
  std::vector<JOV_PARTITION*> chain;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    chain.push_back(host::testing::partition("D" + std::to_string(i + 1), boxes[i], i > 0 ? chain.back() : nullptr)
                        .preserved("final"));
    selected.insert(chain.back());
  }
  const auto lines = compute();
  EXPECT_EQ(count(lines, "BBIC completely removed 1 partitions (10 expansions performed)"), 1);
  EXPECT_EQ(count(lines, "BBIC completely removes partition " + std::to_string(chain[11]->get_id()) + " (D12)"), 1);
  EXPECT_THAT(keep(chain[10]), ::testing::Contains(::testing::EndsWith("D11|clk")));
}

TEST_F(SequenceTest, GrandparentWithoutKeepSetGetsNothingFromThePorts) {
  // C is not blackboxed; its parent A is, A's parent "|" is not: A's ports
  // on C's clock path are found, and nothing is propagated into "|".
  selected.insert(s.a);
  const auto lines = compute();
  EXPECT_EQ(count(lines, "Update keep set for partition A for bbox C"), 1);
  const VOK_ATOM_NODE* clk = atom(full(s.a), "A|clk");
  EXPECT_EQ(count(lines, "Found port during timing traversal " + std::to_string(clk->get_id()) + " A|clk"), 1);
  EXPECT_THAT(keep(s.top), ElementsAre("(none)"));
  EXPECT_THAT(keep(s.a), ::testing::IsSupersetOf({"A|C", "A|a1", "A|a2", "A|la", "A|clk"}));
  // With "|" (and B, so that nothing else seeds "|") blackboxed too, A's
  // clock port seeds "|"'s set with A's box, the clock buffer and its pad
  // (the atoms every top keeps come after: 3 -> 7).
  selected.insert(s.top);
  selected.insert(s.b);
  EXPECT_EQ(count(compute(), "add_required_nodes_to_keep_set[ | ] : 3 -> 7"), 1);
  EXPECT_THAT(keep(s.top), ::testing::IsSupersetOf({"A", "clk", "clk~ibuf"}));
}

// ---------------------------------------------------------------- keep-set check

TEST_F(SequenceTest, KeepSetCheckPassesRealKeepSetsAndCatchesAMismatch) {
  cfg_set_on("jov_bbic_check_keep_set");
  selected.insert(s.a);
  selected.insert(s.c);
  auto lines = compute();
  EXPECT_EQ(count_prefix(lines, "BAD cross partition path"), 0);
  // C hidden inside A, which hides C's box: C's paths into A are excused.
  cfg_set_off("bbic_keep_to_boundary_reg");
  lines = compute();
  ASSERT_THAT(keep(s.c), IsEmpty());
  EXPECT_EQ(count_prefix(lines, "BAD cross partition path"), 0);
  // Without expansion A keeps its ports only: its registers are hidden while
  // "|" drives them and B reads them.
  cfg_set_off("jov_bbic_expand_keep_set");
  EXPECT_EQ(host::testing::expect_internal_error([&] { compute(); }).condition, "errors == 0");
  lines = host::debug::texts();
  const int r0 = atom(full(s.top), "r0")->get_id(), a1 = atom(full(s.a), "A|a1")->get_id();
  const int a2 = atom(full(s.a), "A|a2")->get_id(), lb = atom(full(s.b), "B|lb")->get_id();
  const int clk = atom(full(s.top), "clk~ibuf")->get_id();
  EXPECT_EQ(count(lines, "BAD cross partition path " + std::to_string(r0) + " -> " + std::to_string(a1) +
                             " (1 -> 0) (| -> A) r0.O10 -> A|a1"),
            1);
  EXPECT_EQ(count(lines, "BAD cross partition path " + std::to_string(a2) + " -> " + std::to_string(lb) +
                             " (0 -> 1) (A -> B) A|a2.O10 -> B|lb"),
            1);
  EXPECT_EQ(count_prefix(lines, "BAD cross partition path " + std::to_string(clk) + " -> "), 2);
  EXPECT_EQ(count(lines, "BBIC 4 errors determining keep_set!!"), 1);
}

TEST_F(SequenceTest, KeepSetCheckSkipsClockInputsOfPartitionsWithClockRouting) {
  cfg_set_on("jov_bbic_check_keep_set");
  cfg_set_off("bbic_keep_to_boundary_reg");
  cfg_set_off("jov_bbic_expand_keep_set");
  selected.insert(s.a);
  selected.insert(s.c);
  for (const char* r : {"A|a1", "A|a2"})
    atom(full(s.a), r)->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  s.a->set_clock_routing(true);
  EXPECT_EQ(host::testing::expect_internal_error([&] { compute(); }).condition, "errors == 0");
  EXPECT_EQ(count(host::debug::texts(), "BBIC 2 errors determining keep_set!!"), 1);
}

// ---------------------------------------------------------------- debug stops and dumps

TEST_F(SequenceTest, RootOnlyStopsAfterTheTopShell) {
  cfg_set_on("jov_bbic_debug_root_only");
  selected.insert(s.top);
  selected.insert(s.a);
  EXPECT_EQ(host::testing::expect_internal_error([&] { run(); }).condition, "!ini_debug_top");
  const auto lines = host::debug::texts();
  EXPECT_EQ(count(lines, "create_bbic_states_for_partition: 0 |"), 1);
  EXPECT_EQ(count_prefix(lines, "create_bbic_states_for_partition: "), 1);
  EXPECT_EQ(count_prefix(lines, "Blackboxed "), 0);
  EXPECT_TRUE(s.top->has_state(JOV_PARTITION::BBIC_DEPOPULATED));
  EXPECT_FALSE(s.a->has_state(JOV_PARTITION::BBIC_DEPOPULATED));
}

std::vector<std::string> dump_files(const std::filesystem::path& dir, const std::string& kind) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("bbic-" + kind + "-", 0) == 0) out.push_back(name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST_F(SequenceTest, DumpsAreNumberedPerKindAcrossCallers) {
  // The dump switches are read, and the dumps numbered, once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("jov_bbic_debug");
  cfg_set_on("jov_bbic_debug_high");
  selected.insert(s.a);
  run();
  // Each push dumps before and after the split, and once more after a
  // remerge, which is off unless asked for.
  VELMO_BBIC::push_routing_to_partitions();
  cfg_set_on("jov_bbic_debug_remerge");
  VELMO_BBIC::push_routing_to_partitions();
  // The final restore dumps once more.
  JOV_ROOT::get()->get_design("")->set_current_snapshot_str("final");
  velmo_bbic_restore_state();
  EXPECT_THAT(dump_files(work_dir(), "netlist"),
              ElementsAre("bbic-netlist-000-initial.dump", "bbic-netlist-001-full.dump",
                          "bbic-netlist-002-empty-initial.dump", "bbic-netlist-003-pre.dump",
                          "bbic-netlist-004-post.dump", "bbic-netlist-005-bboxed.dump", "bbic-netlist-006-done.dump"));
  EXPECT_THAT(dump_files(work_dir(), "routing"),
              ElementsAre("bbic-routing-000-initial.rt", "bbic-routing-001-bboxed.rt", "bbic-routing-002-presplit.rt",
                          "bbic-routing-003-postsplit.rt", "bbic-routing-004-presplit.rt", "bbic-routing-005-postsplit.rt",
                          "bbic-routing-006-postsplit_remerge.rt", "bbic-routing-007-done.rt"));
  const auto directives = dump_files(work_dir(), "directives");
  ASSERT_FALSE(directives.empty());
  EXPECT_EQ(directives.front(), "bbic-directives-000-initial.dump");
  EXPECT_EQ(count(host::debug::texts(), "Dumping netlist to bbic-netlist-005-bboxed.dump"), 1);
}

TEST_F(SequenceTest, EachDumpKindReadsItsSwitchOnce) {
  // The dump switches are read once per process.
  if (!host::testing::in_own_process()) return;
  velmo_bbic_dump_netlist(*full(s.top), "off");
  cfg_set_on("jov_bbic_debug");
  velmo_bbic_dump_netlist(*full(s.top), "still-off");
  velmo_bbic_dump_routing("on");
  velmo_bbic_dump_routing("again");
  EXPECT_THAT(dump_files(work_dir(), "netlist"), IsEmpty());
  EXPECT_THAT(dump_files(work_dir(), "routing"), ElementsAre("bbic-routing-000-on.rt", "bbic-routing-001-again.rt"));
}

// ---------------------------------------------------------------- test mode

TEST_F(SequenceTest, TestModeComputesAKeepSetForEveryPartitionAndActivatesNothing) {
  host::moz::assign("A", 1773, "AUTO");
  cfg_set_on("bbic_test_blackboxify");
  const std::size_t models = s.a->get_state()->get_kiv_state()->get_models().size();
  EXPECT_TRUE(velmo_bbic_initialize(JOV_SNAPSHOT_BASE::PLACED, false, static_cast<DEV_FAMILY_ENUM>(Family::KY)));
  std::vector<std::string> done;
  for (const auto& l : host::debug::texts())
    if (l.rfind("BBIC stats @ After Blackboxify: Netlist (", 0) == 0) done.push_back(l.substr(0, l.find(')') + 1));
  // Selected or not, in design order.
  EXPECT_THAT(done, ElementsAre("BBIC stats @ After Blackboxify: Netlist (|)", "BBIC stats @ After Blackboxify: Netlist (A)",
                                "BBIC stats @ After Blackboxify: Netlist (B)", "BBIC stats @ After Blackboxify: Netlist (A|C)"));
  EXPECT_FALSE(velmo_bbic_is_active());
  for (JOV_PARTITION* p : {s.top, s.a, s.b, s.c}) EXPECT_FALSE(p->has_state(JOV_PARTITION::BBIC_DEPOPULATED));
  EXPECT_EQ(s.a->get_state()->get_kiv_state()->get_models().size(), models);
  EXPECT_EQ(count_prefix(host::debug::texts(), "BBIC completely removed"), 0);
}

// ---------------------------------------------------------------- report guard

TEST_F(SequenceTest, GuardLeavesTheBoxOfAnUnloadedStateWhereTheRelinkPutIt) {
  selected.insert(s.a);
  run();
  VOK_ATOM_NETLIST* c_full = full(s.c);
  // A's shell keeps C's box (a copy); C's netlist hangs in it.
  ASSERT_EQ(c_full->get_parent_box()->get_parent_netlist(), shell(s.a));
  VOK_ATOM_BLACKBOX* copy = c_full->get_parent_box();
  {
    VELMO_BBIC_REPORT guard(*JOV_ROOT::get()->get_design(""));
    EXPECT_EQ(c_full->get_parent_box()->get_parent_netlist(), full(s.a));
  }
  // Loaded: the box it was in is put back.
  EXPECT_EQ(c_full->get_parent_box(), copy);
  EXPECT_EQ(s.a->get_active_state(), JOV_PARTITION::BBIC_DEPOPULATED);
  s.c->get_state()->set_loaded(false);
  {
    VELMO_BBIC_REPORT guard(*JOV_ROOT::get()->get_design(""));
    EXPECT_EQ(s.c->get_active_state(), JOV_PARTITION::DEFAULT);
    EXPECT_EQ(c_full->get_parent_box()->get_parent_netlist(), full(s.a));
    EXPECT_FALSE(c_full->is_modifiable());
  }
  // Not loaded: its box was not recorded, so it stays in A's full netlist.
  EXPECT_EQ(c_full->get_parent_box()->get_parent_netlist(), full(s.a));
  EXPECT_EQ(s.a->get_active_state(), JOV_PARTITION::BBIC_DEPOPULATED);
  EXPECT_EQ(shell(s.a)->get_parent_box()->get_parent_netlist(), VOK_CHIP_DB_ENTRY::current()->get_atom_netlist());
}

}  // namespace
