// The host's side of routing trees: the builder on the generated device, the
// modifier's immediate inserts and deferred deletions, the terminal maps, the
// chip database entry and the device wiring.
#include <sstream>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_element_desc.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

using host::testing::HostTest;
using host::testing::NET_BUILDER;
using host::testing::ZOTA_FORM;

namespace {

const VOK_RE_ROUTING_ZOTA_SKIP SKIP;

class RoutingHostTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    q = n.reg("q").clk(clk).d(n.input_port("in")).atom();
    for (int i = 0; i < 4; ++i) sinks.push_back(n.reg("p" + std::to_string(i)).clk(clk).d(q).iterm(DB_INPUT_PORT_DATA_IN));
  }
  VOK_ATOM_NODE* q = nullptr;
  std::vector<VOK_ATOM_ITERM*> sinks;
};

TEST_F(RoutingHostTest, TheBuilderWritesTheWorldsRoutingOnDeviceGids) {
  using namespace host::testing;
  WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  ASSERT_EQ(env.get_chip_db_entry(), VOK_CHIP_DB_ENTRY::current());
  auto d = routing();
  int out = -1, wire = -1, d_side = -1, q_side = -1;
  d.routing(q)
      .wire(lab_output(5, 4, 94))
      .mark(out)
      .wire(h(5, 4))
      .mark(wire)
      .zota(lab_input(7, 4, 60), ZOTA_FORM::OVERFLOW)
      .mark(q_side)
      .sink(sinks[0]);
  d_side = env.get_chip_db_entry()->get_routing()->forest().first_child(wire);
  const VOK_RE_ROUTING& r = *env.get_chip_db_entry()->get_routing();
  EXPECT_EQ(r.get_gid(out), host::testing::lab_output_gid(5, 4, 0));
  EXPECT_EQ(r.get_gid(wire), host::testing::gid_of(h(5, 4)));
  EXPECT_EQ(r.get_gid(out) & 0x80000000u, 0x80000000u);
  EXPECT_TRUE(r.is_zota_node(d_side) && r.is_zota_node(q_side));
  EXPECT_EQ(r.get_record(d_side).pair_offset, VOK_RE_ROUTING::OVERFLOW_PAIR_OFFSET);
  EXPECT_EQ(r.get_corresponding_zota_id(d_side), q_side);
  EXPECT_EQ(r.get_first_child(wire, SKIP), r.forest().first_child(q_side));

  // Adding to the same net reuses its source; short pairs use the offset.
  int d2 = -1;
  d.routing(q).zota(lab_input(5, 4, 61)).mark(d2).sink(sinks[1]);
  EXPECT_EQ(r.forest().parent(r.get_corresponding_zota_id(d2)), r.get_source_node(q->get_oterm_slot(0)));
  EXPECT_NE(r.get_record(r.get_corresponding_zota_id(d2)).pair_offset, VOK_RE_ROUTING::OVERFLOW_PAIR_OFFSET);

  EXPECT_THROW(d.routing(q).wire(lab_output(99, 99, 94)), ROUTING_BUILD_ERROR);
  EXPECT_THROW(d.routing(q).zota(h(5, 4, 0, 0), ZOTA_FORM::SHORT).zota(lab_input(5, 4, 500)), ROUTING_BUILD_ERROR);
}

TEST_F(RoutingHostTest, InsertsApplyAtOnceAndDeletionsAtRelease) {
  using namespace host::testing;
  VOK_RE_ROUTING r;
  routing(&r).attach();
  int source = -1, wire_a = -1, wire_b = -1, sink = -1, leaf_wire = -1;
  {
    VOK_RE_ROUTING_MODIFIER m(r, "L10_port_translation", false, false);
    bool created = false;
    source = m.insert_source(q->get_oterm_slot(0), &created);
    EXPECT_TRUE(created);
    EXPECT_EQ(m.insert_source(q->get_oterm_slot(0), &created), source);
    EXPECT_FALSE(created);
    sink = m.insert_sink(source, sinks[0]);
    EXPECT_EQ(r.get_sink_nodes(sinks[0]), std::vector<int>{sink});
    EXPECT_FALSE(m.wire_changed());
    wire_a = m.insert_wire_as_parent(sink, gid_of(h(2, 2)) & 0x7FFFFFFFu);
    EXPECT_TRUE(m.wire_changed());
    EXPECT_EQ(r.get_parent(sink, SKIP), wire_a);  // navigable at once
    EXPECT_EQ(r.get_parent(wire_a, SKIP), source);
    EXPECT_EQ(r.get_gid(wire_a), gid_of(h(2, 2)));
    wire_b = r.append_child_value(source, static_cast<int>(gid_of(v(2, 2))));
    leaf_wire = r.append_child_value(wire_b, static_cast<int>(gid_of(h(2, 3))));
    const int vsink = m.insert_virtual_sink(wire_b);
    EXPECT_EQ(r.get_value(vsink), -1);
    EXPECT_EQ(r.get_value(m.insert_virtual_source()), -1);
    EXPECT_EQ(r.get_change_counter(), 5);

    // Children handed over before their parents; wire_b keeps its virtual
    // sink, so it stays.
    m.erase_leaf(leaf_wire);
    m.erase_leaf(wire_b);
    m.erase_leaf(wire_a);  // still has its sink
    EXPECT_TRUE(r.is_live(leaf_wire));
  }
  EXPECT_FALSE(r.is_live(leaf_wire));
  EXPECT_TRUE(r.is_live(wire_b));
  EXPECT_TRUE(r.is_live(wire_a));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"L10_port_translation\"",
                                                "VOK_RE_ROUTING_MODIFIER::insert_source(\"L10_port_translation\"",
                                                "VOK_RE_ROUTING_MODIFIER::erase_leaf(\"L10_port_translation\"",
                                                "VOK_RE_ROUTING_MODIFIER::~VOK_RE_ROUTING_MODIFIER"}));
  {
    VOK_RE_ROUTING_MODIFIER m(r, "cleanup", false, false);
    m.erase(q->get_oterm_slot(0));
    EXPECT_EQ(r.get_source_node(q->get_oterm_slot(0)), source);
  }
  EXPECT_FALSE(r.is_live(source));
  EXPECT_FALSE(r.is_live(sink));
  EXPECT_EQ(r.get_source_node(q->get_oterm_slot(0)), -1);
  EXPECT_TRUE(r.get_sink_nodes(sinks[0]).empty());
}

TEST_F(RoutingHostTest, ErasingANetTakesTheRoutesBehindItsPipelineRegisters) {
  using namespace host::testing;
  VOK_RE_ROUTING r;
  int q_short = -1, q_over = -1;
  routing(&r)
      .routing(q)
      .wire(h(3, 3))
      .branch([&](NET_BUILDER& b) { b.zota(lab_input(5, 3, 60)).mark(q_short).wire(h(4, 3)).sink(sinks[0]); })
      .zota(lab_input(3, 3, 61), ZOTA_FORM::OVERFLOW)
      .mark(q_over)
      .sink(sinks[1]);
  routing(&r).routing(sinks[2]->get_my_node()).wire(v(7, 7)).sink(sinks[3]);
  routing(&r).attach();
  EXPECT_EQ(r.get_live_node_count(), 12);
  // The element index names each wire's node; a slot holds two (D and Q).
  EXPECT_EQ(r.get_element_nodes(gid_of(lab_input(5, 3, 60))).size(), 2u);
  EXPECT_EQ(r.get_raw_root(r.get_element_node(gid_of(h(4, 3)))), q_short);
  const int other = r.get_element_node(gid_of(v(7, 7)));
  ASSERT_GE(other, 0);
  {
    VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
    m.erase(q->get_oterm_slot(0));
  }
  EXPECT_FALSE(r.is_live(q_short));
  EXPECT_FALSE(r.is_live(q_over));
  EXPECT_EQ(r.get_live_node_count(), 3);
  EXPECT_TRUE(r.get_zota_overflow().empty());
  EXPECT_TRUE(r.get_sink_nodes(sinks[0]).empty());
  EXPECT_EQ(r.get_sink_nodes(sinks[3]).size(), 1u);
  for (unsigned e : {gid_of(h(3, 3)), gid_of(h(4, 3)), gid_of(lab_input(5, 3, 60)), gid_of(lab_input(3, 3, 61))})
    EXPECT_EQ(r.get_element_node(e), -1);
  EXPECT_EQ(r.get_element_node(gid_of(v(7, 7))), other);
  // Freed ids come back, unmarked, and indexed again.
  const int reused = r.new_root(-1);
  EXPECT_FALSE(r.is_zota_node(reused));
  const int wire = r.append_child(reused, gid_of(h(3, 3)));
  EXPECT_EQ(r.get_element_node(gid_of(h(3, 3))), wire);
  // A second holder of an element takes over when the first goes; a copy
  // keeps the index.
  const int twin = r.append_child(r.new_root(-1), gid_of(h(3, 3)));
  r.erase(reused);
  EXPECT_EQ(r.get_element_node(gid_of(h(3, 3))), twin);
  const VOK_RE_ROUTING copy(r);
  EXPECT_EQ(copy.get_element_nodes(gid_of(h(3, 3))), std::vector<int>{twin});
  r.clear();
  EXPECT_EQ(r.get_element_node(gid_of(v(7, 7))), -1);
}

TEST_F(RoutingHostTest, ErasingAPairRootAloneUnmarksTheOtherSide) {
  using namespace host::testing;
  for (ZOTA_FORM form : {ZOTA_FORM::SHORT, ZOTA_FORM::OVERFLOW}) {
    VOK_RE_ROUTING r;
    int q_side = -1;
    auto net = routing(&r).routing(q).wire(h(3, 3));
    net.zota(lab_input(5, 3, 60), form).mark(q_side).sink(sinks[0]);
    const int d_side = net.last();
    r.erase(q_side);
    EXPECT_FALSE(r.is_zota_node(d_side));
    EXPECT_EQ(r.get_record(d_side).pair_offset, 0);
    EXPECT_TRUE(r.get_zota_overflow().empty());
    // The freed id is taken again by an unrelated node; the old D side does
    // not lead there.
    const int fresh = r.new_root(-1);
    r.append_child_value(fresh, -1);
    EXPECT_EQ(r.get_first_child(r.forest().parent(d_side), SKIP), d_side);
  }
}

TEST_F(RoutingHostTest, TerminalMapsFollowTheAttachedNetlist) {
  using namespace host::testing;
  VOK_RE_ROUTING r;
  routing(&r).routing(q).wire(h(1, 1)).sink(sinks[0]).sink(sinks[0]);
  VOK_RE_ROUTING copy;
  copy = r;
  copy.rebuild_terminal_maps();  // no netlist attached: nothing to map
  EXPECT_EQ(copy.get_source_node(q->get_oterm_slot(0)), -1);
  copy.attach_atom_netlist(host::vok::top_netlist(), 1);
  EXPECT_EQ(copy.get_source_node(q->get_oterm_slot(0)), copy.forest().first_root());
  EXPECT_EQ(copy.get_sink_nodes(sinks[0]).size(), 2u);
  EXPECT_TRUE(copy.get_sink_nodes(sinks[1]).empty());
  EXPECT_EQ(copy.get_num_terminals(), 2);  // the two sinks share one entry

  std::ostringstream dump;
  copy.debug_dump(dump, SKIP);
  const std::string text = dump.str();
  EXPECT_EQ(text.rfind("[0] source atom#", 0), 0u);
  EXPECT_NE(text.find("\n  [1] wire 0x8"), std::string::npos);
  EXPECT_NE(text.find("\n    [2] sink atom#"), std::string::npos);
}

TEST_F(RoutingHostTest, TermsInsideBlackBoxesAreMappedInHierarchicalMode) {
  using namespace host::testing;
  auto n = netlist();
  VOK_ATOM_ITERM* inner = nullptr;
  n.blackbox("u_sub", [&](NETLIST_BUILDER& c) { inner = c.reg("r").clk(c.input("c")).iterm(DB_INPUT_PORT_CLK); });
  VOK_RE_ROUTING r;
  routing(&r).routing(q).wire(h(2, 2)).sink(inner);
  r.attach_atom_netlist(host::vok::top_netlist(), 0);
  EXPECT_TRUE(r.get_sink_nodes(inner).empty());
  r.attach_atom_netlist(host::vok::top_netlist(), 1);
  EXPECT_EQ(r.get_sink_nodes(inner).size(), 1u);
}

TEST_F(RoutingHostTest, TheDeviceHandsOutItsDieInfoAndElementDescriptions) {
  DEV_DEVICE device;
  EXPECT_EQ(device.get_die_info(), static_cast<DEV_DIE_INFO*>(host::device::die_info()));
  EXPECT_EQ(&device.get_basic_info()->get_element_descs(), &dev_element_descs());
  EXPECT_FALSE(device.get_basic_info()->get_element_descs().empty());
}

}  // namespace
