// Dangling LPCLK routing cleanup: wires that lead to no sink go, deepest
// first; wires on the way to a sink, other clock types and buffers without
// routing stay; buffers inside black boxes are cleaned too.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "common/host_call_log.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "velmo_dangling_clock_routing_deletion.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "zel/zel_clkbuf_util.h"

using host::testing::Family;
using host::testing::h;
using host::testing::v;
using ::testing::Not;

namespace {

class DanglingClockRoutingTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(Family::KX).build();
  }
  VOK_RE_ROUTING& routing() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }
  VOK_ATOM_NODE* clkbuf(host::testing::NETLIST_BUILDER& n, const std::string& name, int type) {
    VOK_ATOM_NODE* cb = n.atom(VOK_ATOM_KIND::CLKBUF, name);
    ZEL_CLKBUF_UTIL::set_clock_type(cb, type);
    return cb;
  }
  // A clock net with one live branch (w1 -> w2 -> the register's clock), a
  // dangling branch off the live wire (w1 -> w5) and a dangling chain
  // (w3 -> w4); returns the node ids w1..w5.
  std::vector<int> clock_net(host::testing::ROUTING_BUILDER& rt, VOK_ATOM_NODE* cb, VOK_ATOM_ITERM* sink, int x) {
    std::vector<int> ids(5, -1);
    rt.routing(cb)
        .branch([&](auto& b) {
          b.wire(h(x, 1)).mark(ids[0]).branch([&](auto& c) { c.wire(v(x, 1)).mark(ids[4]); }).wire(h(x, 2)).mark(ids[1]).sink(sink);
        })
        .wire(h(x, 3))
        .mark(ids[2])
        .wire(h(x, 4))
        .mark(ids[3]);
    return ids;
  }
  static std::vector<std::string> erased() {
    std::vector<std::string> res;
    for (const auto& l : host::call_lines())
      if (l.rfind("VOK_RE_ROUTING_MODIFIER::erase_leaf", 0) == 0) res.push_back(l);
    return res;
  }
  static std::string erase_line(int id) {
    return "VOK_RE_ROUTING_MODIFIER::erase_leaf(\"velmo_kx_dangling_clock_cleanup\", " + std::to_string(id) + ")";
  }
};

}  // namespace

TEST_F(DanglingClockRoutingTest, DanglingWiresGoDeepestFirstAndLiveWiresStay) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* cb = clkbuf(n, "cb", ZEL_CLKBUF_UTIL::LPCLK);
  auto r = n.reg("r").clk(cb);
  auto rt = host::testing::routing();
  auto ids = clock_net(rt, cb, r.iterm(DB_INPUT_PORT_CLK), 2);
  rt.attach();
  host::clear_calls();
  velmo_delete_dangling_lpclk_routing(m_env);
  // Every wire is handed over in post order; only those left childless go.
  EXPECT_EQ(erased(), (std::vector<std::string>{erase_line(ids[4]), erase_line(ids[1]), erase_line(ids[0]),
                                                erase_line(ids[3]), erase_line(ids[2])}));
  EXPECT_EQ(host::call_count("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 1);
  EXPECT_FALSE(routing().is_live(ids[2]));
  EXPECT_FALSE(routing().is_live(ids[3]));
  EXPECT_FALSE(routing().is_live(ids[4]));
  EXPECT_TRUE(routing().is_live(ids[0]));
  EXPECT_TRUE(routing().is_live(ids[1]));
  EXPECT_EQ(routing().get_sink_nodes(r.iterm(DB_INPUT_PORT_CLK)).size(), 1u);
  // Quiet unless its verbose switch is on.
  EXPECT_THAT(host::debug::texts(), Not(HasDebugLine("Processing LPCLK CLKBUF atom: " + std::to_string(cb->get_id()))));
}

TEST_F(DanglingClockRoutingTest, OtherClockTypesAndUnroutedBuffersAreLeftAlone) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* global = clkbuf(n, "g", 0);
  VOK_ATOM_NODE* unrouted = clkbuf(n, "u", ZEL_CLKBUF_UTIL::LPCLK);
  // No clock buffer, though it carries the LPCLK clock type.
  auto gate = n.lut("gate", {n.input_port("c")}, 0x1);
  ZEL_CLKBUF_UTIL::set_clock_type(gate, ZEL_CLKBUF_UTIL::LPCLK);
  auto r = n.reg("r").clk(global);
  auto r2 = n.reg("r2").clk(unrouted);
  auto r3 = n.reg("r3").clk(gate);
  auto rt = host::testing::routing();
  auto ids = clock_net(rt, global, r.iterm(DB_INPUT_PORT_CLK), 3);
  auto gate_ids = clock_net(rt, gate, r3.iterm(DB_INPUT_PORT_CLK), 5);
  rt.attach();
  (void)r2;
  host::clear_calls();
  cfg_set_on("velmo_verbose_dangling_routing_cleanupaf");
  velmo_delete_dangling_lpclk_routing(m_env);
  EXPECT_TRUE(erased().empty());
  EXPECT_EQ(host::call_count("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 0);
  for (int id : ids) EXPECT_TRUE(routing().is_live(id));
  for (int id : gate_ids) EXPECT_TRUE(routing().is_live(id));
  // Only the LPCLK buffer is looked at (and has no routing).
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Processing LPCLK CLKBUF atom: " + std::to_string(unrouted->get_id())));
  EXPECT_THAT(host::debug::texts(), Not(HasDebugLine("Processing LPCLK CLKBUF atom: " + std::to_string(gate->get_id()))));
}

TEST_F(DanglingClockRoutingTest, BuffersInsideBlackBoxesAreCleaned) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* inner = nullptr;
  n.blackbox("u_sub", [&](auto& c) {
    inner = c.atom(VOK_ATOM_KIND::CLKBUF, "cb");
    ZEL_CLKBUF_UTIL::set_clock_type(inner, ZEL_CLKBUF_UTIL::LPCLK);
  });
  int dangling = -1;
  auto rt = host::testing::routing();
  rt.routing(inner).wire(h(5, 5)).mark(dangling);
  rt.attach();
  cfg_set_on("velmo_verbose_dangling_routing_cleanupaf");
  velmo_delete_dangling_lpclk_routing(m_env);
  EXPECT_FALSE(routing().is_live(dangling));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Processing LPCLK CLKBUF atom: " + std::to_string(inner->get_id())));
}
