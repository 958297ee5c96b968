// Keep-set seeding: the strategy that runs is the one the trace names, and
// seeding refuses a missing partition or netlist before touching the set.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_netlist.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;

namespace {

bool pass(const LUT_INPUTS& x) { return x[0]; }

class KeepSeedTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    // P: i -> l1 -> r -> l2 -> o.
    NETLIST_BUILDER n = host::testing::netlist();
    auto box = n.blackbox("P", [](NETLIST_BUILDER& c) {
      auto r = c.reg("r").d(c.lut("l1", {c.input("i")}, pass));
      c.output("o", c.lut("l2", {r}, pass));
    });
    box.in("i", n.io_in("d"));
    n.io_out("q", box.out("o"));
    host::testing::top_partition();
    p = host::testing::partition("P", box);
  }
  VOK_ATOM_NETLIST* net() const { return p->get_state()->get_atom_netlist(); }
  static int count(const std::string& text) {
    int k = 0;
    for (const auto& l : host::debug::texts()) k += l == text;
    return k;
  }
  JOV_PARTITION* p = nullptr;
};

// Each strategy announces itself in the trace, and only the one that ran:
// up to the first registers by default, the first atoms with the boundary-node
// switch, the ports alone with both switches off.
TEST_F(KeepSeedTest, TheTraceNamesTheStrategyThatRan) {
  const std::vector<std::string> announced{".. BBIC to only keep nodes up to first registers",
                                           ".. BBIC to only keep first nodes",
                                           ".. BBIC to only remove all nodes in netlist (except bp of course)"};
  const std::vector<unsigned> kept{5u, 4u, 2u};  // i l1 r l2 o; i l1 l2 o; i o
  for (std::size_t which = 0; which < announced.size(); ++which) {
    if (which == 1) cfg_set_on("bbic_keep_to_boundary_node");
    if (which == 2) cfg_set_off("bbic_keep_to_boundary_node"), cfg_set_off("bbic_keep_to_boundary_reg");
    std::vector<int> before;
    for (const auto& a : announced) before.push_back(count(a));
    VELMO_BBIC_KEEP_SET k;
    velmo_bbic_determine_keep_set(p, net(), k);
    EXPECT_EQ(k.size(), kept[which]) << which;
    for (std::size_t i = 0; i < announced.size(); ++i)
      EXPECT_EQ(count(announced[i]) - before[i], i == which ? 1 : 0) << which << ": " << announced[i];
  }
}

// A missing partition or netlist is an internal error, raised before the set
// is seeded.
TEST_F(KeepSeedTest, SeedingRefusesAMissingPartitionOrNetlist) {
  VELMO_BBIC_KEEP_SET k;
  EXPECT_EQ(host::testing::expect_internal_error([&] { velmo_bbic_determine_keep_set(nullptr, net(), k); }).condition,
            "partition");
  EXPECT_EQ(host::testing::expect_internal_error([&] { velmo_bbic_determine_keep_set(p, nullptr, k); }).condition,
            "netlist");
  EXPECT_TRUE(k.empty());
}

}  // namespace
