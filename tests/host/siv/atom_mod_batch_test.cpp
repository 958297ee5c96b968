// The atom-modification utility's batch mode and the environment's
// algorithm-independent utility.
#include <gtest/gtest.h>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "siv/siv_atom_mod_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"

namespace {

class AtomModBatchTest : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    auto a = n.reg("a").clk(clk).d(n.input_port("in"));
    auto l = n.lut("l", {a}, 0x2);
    n.reg("b").clk(clk).d(l);
  }
  static VOK_ATOM_NODE* atom(const std::string& name) { return host::testing::netlist().find(name); }
};

TEST_F(AtomModBatchTest, QueuedRemovalsWaitForTheFlushAndHappenOnce) {
  WEXAN_PIZ_TABLE table("edits");
  SIV_ATOM_MOD_UTILITY amu(7, &table);
  amu.set_batch_mode(true);
  VOK_ATOM_NODE* l = atom("l");
  amu.remove_node(l, true);
  amu.remove_node(l, true);  // queued once
  // Still in the netlist and still driving b until the flush.
  EXPECT_EQ(atom("l"), l);
  EXPECT_NE(atom("b")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED), nullptr);
  EXPECT_EQ(amu.get_pending_removals().size(), 1u);
  EXPECT_EQ(table.rows().size(), 0u);
  amu.flush();
  EXPECT_EQ(atom("l"), nullptr);
  EXPECT_EQ(atom("b")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED), nullptr);
  EXPECT_EQ(table.rows().size(), 1u);
  EXPECT_TRUE(amu.get_pending_removals().empty());
  EXPECT_TRUE(amu.is_batch_mode());
  // Switching batch mode off carries out what is still queued.
  amu.remove_node(atom("a"), false);
  EXPECT_NE(atom("a"), nullptr);
  amu.set_batch_mode(false);
  EXPECT_EQ(atom("a"), nullptr);
  // Outside batch mode a removal is immediate.
  amu.remove_node(atom("b"), false);
  EXPECT_EQ(atom("b"), nullptr);
  std::string why;
  EXPECT_TRUE(host::testing::netlist().get_netlist()->sanity_check(&why)) << why;
}

TEST_F(AtomModBatchTest, AQueueLeftAtDestructionIsNotLost) {
  {
    SIV_ATOM_MOD_UTILITY amu(9, nullptr);
    amu.set_batch_mode(true);
    amu.remove_node(atom("l"), true);
  }
  EXPECT_EQ(atom("l"), nullptr);
}

TEST_F(AtomModBatchTest, TheEnvironmentKeepsOneAlgorithmIndependentUtility) {
  const int before = host::siv::live_utilities();
  auto* env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  SIV_ATOM_MOD_UTILITY* amu = env->get_algorithm_independent_amu();
  ASSERT_NE(amu, nullptr);
  EXPECT_EQ(amu->get_algorithm(), SIV_ATOM_MOD_UTILITY::ALGORITHM_INDEPENDENT);
  EXPECT_EQ(env->get_algorithm_independent_amu(), amu);
  EXPECT_EQ(host::siv::live_utilities(), before + 1);
  delete env;
  EXPECT_EQ(host::siv::live_utilities(), before);
}

}  // namespace
