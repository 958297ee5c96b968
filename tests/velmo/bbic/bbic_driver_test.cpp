// The blackboxing driver: which partitions are selected, the gates in their
// order with their messages and results, activation and shut-down.
#include <string>
#include <vector>

#include "vok/vok_routing_model.h"
#include "kiv/kiv_model.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "gen/gen_profile.h"
#include "jov/jov_design.h"
#include "moz/moz_assignment.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "testing/partition_builder.h"
#include "bbic_scene_fixture.h"
#include "velmo_bbic.h"
#include "velmo_bbic_states.h"

using host::testing::Family;
using host::testing::HostTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The sequence's own line once the shells are built.
const char* kSequence = "Blackboxed 1 partitions";

class BbicDriverTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    s = bbic_partitioned_scene();
  }
  bool initialize(int family = Family::KY, bool split_fit = false) {
    return velmo_bbic_initialize(JOV_SNAPSHOT_BASE::PLACED, split_fit, static_cast<DEV_FAMILY_ENUM>(family));
  }
  static std::vector<unsigned> ids() {
    std::vector<unsigned> out;
    for (const auto& m : host::messages::posted())
      if (m.id != 20273) out.push_back(m.id);  // the intermediate-snapshot decision
    return out;
  }
  static int count_lines(const std::string& text) {
    int n = 0;
    for (const auto& l : host::debug::texts()) n += l == text;
    return n;
  }
  static bool has_line(const std::string& text) { return count_lines(text) > 0; }
  // The partitions listed by the last enabling message.
  static std::vector<std::string> enabled() {
    std::vector<std::string> names;
    for (const auto& m : host::messages::posted())
      if (m.id == 19492) {
        names.clear();
        for (const auto& sub : m.subs) names.push_back(sub.text);
      }
    return names;
  }
  // A recompiled top partition.
  void recompile_top() { s.top->get_state()->get_atom_netlist()->set_modifiable(true); }
  host::testing::scenes::PARTITIONED s{};
};

// ---------------------------------------------------------------- selection

TEST_F(BbicDriverTest, NothingSelectedWithoutAnAutoAssignment) {
  host::moz::assign("A", 1773, "OFF");
  velmo_bbic_set_active(true);  // left on by an earlier run that stopped before final
  EXPECT_TRUE(initialize());
  EXPECT_TRUE(has_line("Nothing to BBIC!"));
  EXPECT_TRUE(ids().empty());
  EXPECT_FALSE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, AutoInAnyCaseSelectsAndNothingElseDoes) {
  cfg_set_on("jov_disable_bbic");  // stops right after the selection
  int calls = 0;
  for (const char* value : {"auto", "AuTo", "AUTO"}) {
    host::moz::assign("A", 1773, value);
    EXPECT_TRUE(initialize());
    ++calls;
    EXPECT_EQ(count_lines("... Found VANTREL_PRESERVE inst assignment for Partition A"), calls) << value;
    EXPECT_EQ(count_lines("BBIC off due to INI"), calls) << value;
  }
  calls = 0;
  for (const char* value : {"AUTO ", " AUTO", "AUTOMATIC", "OFF", ""}) {
    host::moz::assign("A", 1773, value);
    EXPECT_TRUE(initialize());
    ++calls;
    EXPECT_EQ(count_lines("Nothing to BBIC!"), calls) << '"' << value << '"';
  }
  EXPECT_FALSE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, APartitionsOwnAssignmentBeatsTheGlobalOne) {
  // The workaround notices are printed once per process.
  if (!host::testing::in_own_process()) return;
  // Global AUTO, A's own off: the top and C come in through the global one.
  host::moz::assign("A", 1773, "off");
  host::moz::assign("", 1773, "AUTO");
  EXPECT_TRUE(initialize());
  EXPECT_THAT(enabled(), ElementsAre("Partition: |", "Partition: C"));
  EXPECT_TRUE(has_line("... Found VANTREL_PRESERVE global assignment for Partition C"));
  EXPECT_TRUE(has_line("... Found VANTREL_PRESERVE global assignment for Partition |"));
  // Global OFF, A's own AUTO: A alone.
  velmo_bbic_shutdown();
  host::moz::assign("A", 1773, "Auto");
  host::moz::assign("", 1773, "OFF");
  EXPECT_TRUE(initialize());
  EXPECT_THAT(enabled(), ElementsAre("Partition: A"));
  // The selection's workaround notices come once per process.
  for (const char* notice : {"case 476307", "case 476308"})
    EXPECT_THAT(host::debug::texts(), ::testing::Contains(::testing::EndsWith(notice)).Times(1));
}

TEST_F(BbicDriverTest, EnableSwitchMakesEveryPartitionACandidate) {
  // The enabling switch is read once per process.
  if (!host::testing::in_own_process()) return;
  host::moz::assign("A", 1773, "off");
  cfg_set_on("jov_enable_bbic");
  cfg_set_on("velmo_bbic_support_any_preserved");
  EXPECT_TRUE(initialize());
  // Every partition selected, listed in design order.
  ASSERT_THAT(ids(), ElementsAre(19492u));
  EXPECT_THAT(enabled(), ElementsAre("Partition: |", "Partition: A", "Partition: B", "Partition: C"));
}

TEST_F(BbicDriverTest, TopPartitionNeedsTheRootSwitchYetItsSnapshotIsStillChecked) {
  host::moz::assign("", 1773, "AUTO");
  cfg_set_off("velmo_bbic_support_root");
  s.top->get_state()->set_snapshot_name("not-a-snapshot");
  const HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([&] { initialize(); });
  EXPECT_EQ(e.condition, "Parse error: invalid enum string 'not-a-snapshot'.");
  EXPECT_TRUE(has_line("BBIC skipping top partition |"));
  EXPECT_FALSE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, AnEmptySnapshotNameIsAnInternalError) {
  host::moz::assign("A", 1773, "AUTO");
  s.a->get_state()->set_snapshot_name("");
  const HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([&] { initialize(); });
  EXPECT_EQ(e.condition, "!str.empty()");
}

TEST_F(BbicDriverTest, NotPreservedAtFinalNeedsTheAnyPreservedSwitch) {
  host::moz::assign("B", 1773, "AUTO");
  s.a->get_state()->set_snapshot_name("placed");  // A read-only but not at final
  host::moz::assign("A", 1773, "AUTO");
  // C comes from "final" but its netlist is modifiable: not preserved either.
  s.c->get_state()->set_snapshot_name("final");
  s.c->get_state()->get_atom_netlist()->set_modifiable(true);
  host::moz::assign(s.c->get_instance_name()->path(), 1773, "AUTO");
  EXPECT_TRUE(initialize());
  EXPECT_TRUE(has_line("BBIC skipping partition B because it is not preserved @ final"));
  EXPECT_TRUE(has_line("BBIC skipping partition A because it is not preserved @ final"));
  EXPECT_TRUE(has_line("BBIC skipping partition C because it is not preserved @ final"));
  EXPECT_TRUE(has_line("Nothing to BBIC!"));
}

TEST_F(BbicDriverTest, AnyPreservedSwitchAdmitsARecompiledPartition) {
  host::moz::assign("B", 1773, "AUTO");
  cfg_set_on("velmo_bbic_support_any_preserved");
  EXPECT_TRUE(initialize());
  EXPECT_FALSE(has_line("BBIC skipping partition B because it is not preserved @ final"));
  EXPECT_TRUE(velmo_bbic_is_active());
}

// ---------------------------------------------------------------- gates

TEST_F(BbicDriverTest, SplitFitIsRefusedUnlessEngaged) {
  host::moz::assign("A", 1773, "AUTO");
  EXPECT_TRUE(initialize(Family::KY, true));
  EXPECT_THAT(ids(), ElementsAre(20734u));
  EXPECT_FALSE(velmo_bbic_is_active());
  EXPECT_FALSE(has_line(kSequence));
}

TEST_F(BbicDriverTest, SplitFitEngagedGoesOn) {
  host::moz::assign("A", 1773, "AUTO");
  cfg_set_on("jov_engage_bbic_with_splitfit");
  EXPECT_TRUE(initialize(Family::KY, true));
  EXPECT_TRUE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, TestModeSkipsTheLaterGates) {
  host::moz::assign("A", 1773, "AUTO");
  recompile_top();  // the top gate would refuse
  cfg_set_on("bbic_test_blackboxify");
  EXPECT_TRUE(initialize(48));
  EXPECT_FALSE(has_line(kSequence));
  EXPECT_FALSE(s.a->has_state(JOV_PARTITION::BBIC_DEPOPULATED));
  EXPECT_TRUE(ids().empty());
  EXPECT_FALSE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, RecompiledTopIsRefused) {
  host::moz::assign("A", 1773, "AUTO");
  recompile_top();
  EXPECT_TRUE(initialize());
  EXPECT_THAT(ids(), ElementsAre(21645u));
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{
                                        "BBIC not supported: top partition not preserved",
                                        "BBIC is not active, and warning was outputted"}));
  EXPECT_FALSE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, TopStateNotLoadedCountsAsRecompiled) {
  host::moz::assign("A", 1773, "AUTO");
  s.top->get_state()->set_loaded(false);
  EXPECT_TRUE(initialize());
  EXPECT_THAT(ids(), ElementsAre(21645u));
}

TEST_F(BbicDriverTest, AllowedRecompiledTopStillMeetsTheChangeGate) {
  host::moz::assign("A", 1773, "AUTO");
  recompile_top();
  s.b->get_state()->get_atom_netlist()->set_modifiable(false);  // every other partition preserved
  cfg_set_on("jov_bbic_allow_recompile_top");
  EXPECT_TRUE(initialize());
  // The recompiled top is a change: the change gate lets it pass.
  EXPECT_FALSE(has_line("BBIC not supported: nothing recompiled!?"));
  EXPECT_TRUE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, AllPreservedIsRefused) {
  host::moz::assign("A", 1773, "AUTO");
  s.b->get_state()->get_atom_netlist()->set_modifiable(false);
  EXPECT_TRUE(initialize());
  EXPECT_THAT(ids(), ElementsAre(21646u));
  EXPECT_TRUE(has_line("BBIC not supported: nothing recompiled!?"));
  EXPECT_FALSE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, AllPreservedPassesWithTheNoChangeSwitch) {
  host::moz::assign("A", 1773, "AUTO");
  s.b->get_state()->get_atom_netlist()->set_modifiable(false);
  cfg_set_on("jov_bbic_allow_no_change_flow");
  EXPECT_TRUE(initialize());
  EXPECT_TRUE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, OtherFamiliesNeedTheProjectSetting) {
  host::moz::assign("A", 1773, "AUTO");
  EXPECT_TRUE(initialize(48));
  ASSERT_THAT(ids(), ElementsAre(20800u));
  EXPECT_THAT(host::messages::posted().back().text, HasSubstr("for KX-48 device family"));
  EXPECT_FALSE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, SettingAdmitsOtherFamiliesAndFamily46IgnoresIt) {
  host::moz::assign("A", 1773, "AUTO");
  host::options::set(1161, 1, "on");
  EXPECT_TRUE(initialize(48));
  EXPECT_TRUE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, Family46PassesWithTheSettingOff) {
  host::moz::assign("A", 1773, "AUTO");
  host::options::set(1161, 1, "off");
  EXPECT_TRUE(initialize(Family::KY));
  EXPECT_TRUE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, CommittedSnapshotsRefuseAfterTheEnablingMessage) {
  // The intermediate-snapshot decision is made once per process.
  if (!host::testing::in_own_process()) return;
  host::moz::assign("", 1773, "AUTO");
  cfg_set_on("fit2_force_intermediate_snapshot_write");
  cfg_set_off("jov_bbic_allow_splitfit");
  EXPECT_FALSE(initialize());
  ASSERT_THAT(ids(), ElementsAre(19492u, 20572u));
  EXPECT_THAT(enabled(), ElementsAre("Partition: |", "Partition: A", "Partition: C"));
  EXPECT_THAT(host::messages::posted().back().text, HasSubstr("because it is enabled by internal ini during"));
  EXPECT_FALSE(velmo_bbic_is_active());
  EXPECT_EQ(host::call_count("DEV_DIE_INFO::prepare"), 0);
}

TEST_F(BbicDriverTest, CommittedSnapshotsAreAllowedByDefault) {
  // The intermediate-snapshot decision is made once per process: here it must
  // be the first, made with the forcing switch on.
  if (!host::testing::in_own_process()) return;
  host::moz::assign("A", 1773, "AUTO");
  cfg_set_on("fit2_force_intermediate_snapshot_write");
  EXPECT_TRUE(initialize());
  EXPECT_TRUE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, ActivationPreparesTheDieThenRunsTheSequence) {
  host::moz::assign("A", 1773, "AUTO");
  EXPECT_FALSE(VELMO_BBIC::any_partitions_blackboxed());
  EXPECT_TRUE(initialize());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"DEV_DIE_INFO::prepare(4, \"\")",
                                                                       "DEV_DIE_INFO::prepare(2, \"\")"}));
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{"BBIC activated - buckle up!", kSequence}));
  EXPECT_TRUE(velmo_bbic_is_active());
  EXPECT_TRUE(VELMO_BBIC::any_partitions_blackboxed());
  EXPECT_THAT(ids(), ElementsAre(19492u));
  const auto bins = host::bins::events();
  ASSERT_FALSE(bins.empty());
}

// ---------------------------------------------------------------- shut-down

TEST_F(BbicDriverTest, ShutdownRemovesEveryShellStateAndClearsTheFlag) {
  host::moz::assign("A", 1773, "AUTO");
  ASSERT_TRUE(initialize());
  // The sequence gave A its shell.
  VOK_ATOM_NETLIST* shell = s.a->get_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_atom_netlist();
  s.c->add_state(JOV_PARTITION::BBIC_DEPOPULATED);
  ASSERT_EQ(s.a->get_active_state(), JOV_PARTITION::BBIC_DEPOPULATED);
  ASSERT_EQ(s.a->get_box()->get_child_netlist(), shell);
  velmo_bbic_shutdown();
  EXPECT_FALSE(s.a->has_state(JOV_PARTITION::BBIC_DEPOPULATED));
  EXPECT_FALSE(s.c->has_state(JOV_PARTITION::BBIC_DEPOPULATED));
  EXPECT_EQ(s.a->get_active_state(), JOV_PARTITION::DEFAULT);
  EXPECT_EQ(s.a->get_box()->get_child_netlist(), s.a->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist());
  EXPECT_FALSE(velmo_bbic_is_active());
}

TEST_F(BbicDriverTest, ShutdownWithoutShellsOnlyOpensItsBin) {
  velmo_bbic_shutdown();
  EXPECT_TRUE(has_line("BBIC shut down"));
  EXPECT_EQ(host::call_count("JOV_PARTITION::remove_state"), 0);
}

}  // namespace
