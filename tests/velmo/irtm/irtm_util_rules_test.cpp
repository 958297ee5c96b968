// The retimer's timing service on what its other tests leave open: where a
// routing element stands, the hop delay up to a virtual source reached
// through plain wires, and the partition and retimability answers for terms
// and atoms that are not what the question expects.
#include <gtest/gtest.h>

#include "kem/kem_manager.h"
#include "pexa/pexa_utility.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "testing/scenes.h"
#include "irtm_fixture.h"
#include "velmo_irtm_test.h"
#include "wump/wump_die_info.h"

namespace {

using namespace host::testing;

class IrtmUtilRulesTest : public velmo_test::IrtmFixture {
protected:
  void make_util() {
    IrtmFixture::make_util(KEM_MANAGER::get()->get_kem_netlist());
    util->update_multi_corner_info();
  }
};

// A routing element's location is the routing node's own: column, row,
// sub-location, index and element kind, for wires in several places.
TEST_F(IrtmUtilRulesTest, ARoutingElementStandsWhereItsRoutingNodeDoes) {
  device(Family::KY).build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  n.timing();
  make_util();
  const WUMP_ROUTE_INFO* route = host::device::die_info()->get_route_info();
  int checked = 0;
  for (const DEV_ELEMENT_REF& wire : {h(2, 3), v(6, 1), h(7, 5, 0, 1), v(3, 8)}) {
    const std::uint32_t gid = gid_of(wire);
    ASSERT_LT(static_cast<std::int32_t>(gid), 0) << "a routing gid";
    const WUMP_ROUTE_NODE node = route->get_route_node_of(gid);
    PLACE_DB::LOCATION loc;
    loc.x = loc.y = loc.z = 0xDEADu;
    loc.index = -7;
    loc.element = 0;
    ASSERT_TRUE(util->get_gid_location(gid, &loc));
    EXPECT_EQ(loc.x, static_cast<std::uint32_t>(node.x));
    EXPECT_EQ(loc.y, static_cast<std::uint32_t>(node.y));
    EXPECT_EQ(loc.z, static_cast<std::uint32_t>(node.sub_location));
    EXPECT_EQ(loc.index, node.index);
    EXPECT_EQ(loc.element, static_cast<std::uint16_t>(node.element_type));
    ++checked;
  }
  EXPECT_EQ(checked, 4);
  // The wires named by column and row are found at that column and row.
  PLACE_DB::LOCATION loc;
  ASSERT_TRUE(util->get_gid_location(gid_of(v(6, 1)), &loc));
  EXPECT_EQ(std::make_pair(loc.x, loc.y), std::make_pair(6u, 1u));
}

// A virtual source (inversion indicator 2) with a dangling stub, then two
// plain H wires to the sink. The walk from the sink: sink-H2 0; H2-H1 the
// H wire's own (70, 79, 56, 63); H1-source across the indicator change:
// the accumulator exchanged pairwise, H1 less the source with each pair
// exchanged: (79, 70, 63, 56) + (105 - 39, 118 - 35, 84 - 32, 95 - 28)
// = (145, 153, 115, 123); at the source, exchanged pairwise once more and
// its own (35, 39, 28, 32) added: (188, 184, 151, 147). Largest: 188 (the
// fast corner gives less). Exchanging across the pairs instead of within
// them would make it 185.
TEST_F(IrtmUtilRulesTest, AVirtualSourceReachedThroughPlainWiresExchangesWithinEachPair) {
  device(Family::KY).build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  auto c = n.reg("c").clk(clk).d(n.input_port("in_c"));
  place_at(c, 5, 6, 1);
  routing()
      .virtual_source()
      .branch([&](NET_BUILDER& x) { x.wire(h(5, 5, 0, 1)); })
      .wire(h(4, 6))
      .wire(h(5, 6))
      .sink(c.iterm(DB_INPUT_PORT_DATA_IN));
  n.timing();
  make_util();
  const KEM_NETLIST* kem = util->get_kem_netlist();
  const int sink = kem->get_re_hop_of_iterm(c.iterm(DB_INPUT_PORT_DATA_IN));
  ASSERT_GE(sink, 0);
  int root = sink;
  while (kem->get_re_hop(root).parent >= 0) root = kem->get_re_hop(root).parent;
  ASSERT_EQ(kem->get_re_hop(root).inversion, 2);
  EXPECT_EQ(util->get_max_re_hop_delay(0xFFFFFFFFu - 1, sink), 188);
}

// Partition and retimability questions about terms and atoms that do not
// fit them: an input without a source is fed by no partition, and an atom
// that is no combinational cell is never retimed through, whatever mask it
// carries.
TEST_F(IrtmUtilRulesTest, UnconnectedInputsAndNonCombinationalAtoms) {
  scenes::KY_PIPELINE s = scenes::ky_pipeline();
  make_util();
  VOK_ATOM_ITERM* loose = s[0].luts[1]->add_input_term(DB_INPUT_PORT_LUT_DATA, 5);
  ASSERT_EQ(loose->get_source(VOK_TRAVERSE_HIERARCHICAL), nullptr);
  EXPECT_FALSE(util->is_fed_by_partition(loose));
  EXPECT_FALSE(util->is_fed_by_partition(nullptr));
  // A register holding a mask that a LUT would be retimed through.
  VOK_ATOM_NODE* reg = s[0].a0;
  ASSERT_TRUE(reg->is_ff());
  reg->get_lutmask() = s[0].luts[1]->get_lutmask();
  ASSERT_TRUE(util->is_retimable_comb(s[0].luts[1]));
  EXPECT_FALSE(util->is_retimable_comb(reg));
}

// Without a current device the utility has no die to ask: it still builds,
// names no gid and locates nothing, routing element or placement site.
TEST_F(IrtmUtilRulesTest, WithoutACurrentDeviceNothingIsLocated) {
  device(Family::KY).build();
  const std::uint32_t wire = gid_of(h(2, 3));
  host::pexa::hide_current_device(true);
  make_util();
  host::pexa::hide_current_device(false);
  PLACE_DB::LOCATION loc;
  EXPECT_FALSE(util->get_gid_location(wire, &loc));
  EXPECT_FALSE(util->get_gid_location(3, &loc));
  EXPECT_EQ(util->get_gid_string(wire), "?");
}

}  // namespace
