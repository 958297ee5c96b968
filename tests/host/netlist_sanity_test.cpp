// The netlist check on a clean netlist with a high-fanout net and an input
// tied to ground: nothing reported.
#include <string>

#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "vok/vok_atom_netlist.h"

using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;

namespace {

class NetlistSanityTest : public HostTest {};

TEST_F(NetlistSanityTest, CleanNetlistWithHighFanoutAndGroundedInputPasses) {
  NETLIST_BUILDER n = host::testing::netlist();
  auto clk = n.io_in("clk");
  auto d = n.io_in("d");
  for (int i = 0; i < 200; ++i) n.reg("r" + std::to_string(i)).clk(clk).d(d);
  auto tied = n.reg("tied").clk(clk).d(d);
  tied.iterm(DB_INPUT_PORT_DATA_IN)->disconnect_from_source(VOK_NET_ITERM::GROUND);
  std::string why;
  EXPECT_TRUE(n.get_netlist()->sanity_check(&why)) << why;

}

}  // namespace
