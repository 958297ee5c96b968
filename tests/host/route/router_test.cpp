// The host's routers: whole-design routing with negotiated congestion, the
// incremental router, pipeline slots, blacklists, budgets and the legality
// check.
#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cfg/cfg.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "common/host_call_log.h"
#include "korrin/korrin_graph.h"
#include "korrin/korrin_incremental_router.h"
#include "korrin/korrin_router.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "velmo_fit_progress.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::place_at;
using host::testing::place_in_slot;

namespace {

const VOK_RE_ROUTING_ZOTA_SKIP SKIP;

VOK_RE_ROUTING& routing() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }

std::string dump() {
  std::ostringstream s;
  routing().debug_dump(s, SKIP);
  return s.str();
}

// Element ids of the wires above a sink node (up to the tree's root).
std::vector<unsigned> path_of(int node) {
  std::vector<unsigned> ids;
  const VOK_RE_ROUTING& r = routing();
  for (int n = node; n >= 0; n = r.forest().parent(n))
    if (r.is_wire(n)) ids.push_back(r.get_gid(n) & 0x7FFFFFFFu);
  return ids;
}

int delay_of(int node) {
  int d = 0;
  for (unsigned id : path_of(node)) d += host::korrin::graph().delay(id);
  return d;
}

class RouterTest : public HostTest {
protected:
  // A small design: two input pins, LUTs and registers over a few LABs, an
  // output pin. Returns the sinks in creation order.
  void build_small(int family) {
    host::testing::device(family).build();
    auto n = host::testing::netlist();
    auto a = n.io_in("a");
    auto b = n.io_in("b");
    place_at(n.find("a"), 0, 2, 1);
    place_at(a, 0, 2, 2);
    place_at(n.find("b"), 0, 3, 1);
    place_at(b, 0, 3, 2);
    auto l1 = n.lut("l1", {a, b}, 0x6);
    auto r1 = n.reg("r1").clk(a).d(l1);
    auto l2 = n.lut("l2", {r1, b, l1}, 0x96);
    auto r2 = n.reg("r2").clk(a).d(l2);
    auto l3 = n.lut("l3", {r2, r1}, 0x8);
    place_at(l1, 2, 2, 0);
    place_at(r1, 2, 2, 1);
    place_at(l2, 5, 6, 3);
    place_at(r2, 7, 2, 2);
    place_at(l3, 9, 7, 0);
    auto pad = n.io_out("y", l3);
    place_at(n.find("y~obuf"), 11, 4, 3);
    place_at(pad, 11, 4, 1);
    atoms = {l1, r1, l2, r2, l3};
  }
  std::vector<VOK_ATOM_NODE*> atoms;

  // An input pin x feeding LUT a in LAB (2, 5), which drives sa in LAB
  // (9, 5); all but the first `keep` output muxes of a's LAB blacklisted.
  // Returns those output muxes.
  std::vector<unsigned> build_pin_lut_pair(int keep) {
    host::testing::device(Family::KY).build();
    auto n = host::testing::netlist();
    auto in = n.io_in("x");
    place_at(n.find("x"), 0, 5, 1);
    place_at(in, 0, 5, 2);
    x = in;
    a = n.lut("a", {in}, 0x1);
    sa = n.lut("sa", {a}, 0x1);
    place_at(a, 2, 5, 0);
    place_at(sa, 9, 5, 0);
    auto spec = host::device::spec();
    const std::vector<unsigned> outs = host::korrin::graph().tile(2, 5).out;
    for (std::size_t i = static_cast<std::size_t>(keep); i < outs.size(); ++i)
      spec.blacklist_gids.push_back(outs[i] | 0x80000000u);
    host::device::configure(spec);
    return outs;
  }
  VOK_ATOM_NODE* x = nullptr;
  VOK_ATOM_NODE* a = nullptr;
  VOK_ATOM_NODE* sa = nullptr;
};

void expect_complete_legal_and_deterministic(const std::vector<VOK_ATOM_NODE*>& atoms) {
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  // Every LUT and register input has one sink node, below an input mux of
  // the atom's own LAB.
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_ROUTE_INFO* info = die->get_route_info();
  for (VOK_ATOM_NODE* atom : atoms) {
    const auto site = die->get_place_info()->get_place_block(atom->get_location_gid());
    ASSERT_TRUE(site.has_value());
    for (const VOK_ATOM_ITERM* t : atom->citerms()) {
      const std::vector<int> nodes = routing().get_sink_nodes(t);
      ASSERT_EQ(nodes.size(), 1u) << atom->get_string_hpath();
      const WUMP_ROUTE_NODE mux = info->get_route_node_of(routing().get_gid(routing().forest().parent(nodes[0])));
      EXPECT_EQ(mux.element_type, 282);
      EXPECT_EQ(mux.x, site->get_x());
      EXPECT_EQ(mux.y, site->get_y());
      EXPECT_GE(delay_of(nodes[0]), 90);
    }
  }
  const std::string first = dump();
  const int nodes = routing().get_live_node_count();
  // Routing a routed design changes nothing; routing again from scratch
  // gives the same trees.
  EXPECT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_EQ(routing().get_live_node_count(), nodes);
  EXPECT_EQ(host::router::last_stats().routed, 0);
  routing().clear();
  EXPECT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_EQ(dump(), first);
  EXPECT_TRUE(host::routing::check(&why)) << why;
}

TEST_F(RouterTest, SmallDesignRoutesCompletelyLegallyAndDeterministicallyOnKY) {
  build_small(Family::KY);
  expect_complete_legal_and_deterministic(atoms);
  EXPECT_EQ(host::router::last_stats().connections, 12);
}

TEST_F(RouterTest, SmallDesignRoutesCompletelyLegallyAndDeterministicallyOnKX) {
  build_small(Family::KX);
  expect_complete_legal_and_deterministic(atoms);
}

// A routing ripped up is routed again along the last complete routing's
// paths, without searches; a path with an element another tree now holds is
// searched anew.
TEST_F(RouterTest, ARerouteFollowsTheLastRoutingWhereItIsStillFree) {
  build_small(Family::KY);
  std::string why;
  host::router::OPTIONS o;
  o.follow_last_routing = true;
  ASSERT_TRUE(host::router::route_design(&why, o)) << why;
  EXPECT_EQ(host::router::last_stats().guided, 0);
  const int conns = host::router::last_stats().connections;
  const std::string first = dump();
  routing().clear();
  ASSERT_TRUE(host::router::route_design(&why, o)) << why;
  EXPECT_EQ(host::router::last_stats().guided, conns);
  EXPECT_EQ(host::router::last_stats().searches, 0);
  EXPECT_EQ(dump(), first);
  // With the switch off a re-route searches every connection; it is on
  // unless set.
  routing().clear();
  cfg_set_off("host_router_follow_last_routing");
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_EQ(host::router::last_stats().guided, 0);
  host::cfg::unset("host_router_follow_last_routing");
  routing().clear();
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_EQ(host::router::last_stats().guided, conns);
  // l3's first input mux goes to a tree of no net.
  const VOK_ATOM_ITERM* in = atoms[4]->get_iterm_slot(0);
  const unsigned mux = routing().get_gid(routing().forest().parent(routing().get_sink_nodes(in).at(0))) & 0x7FFFFFFFu;
  routing().clear();
  routing().append_child(routing().new_root(VOK_RE_ROUTING::VIRTUAL_VALUE), mux);
  ASSERT_TRUE(host::router::route_design(&why, o)) << why;
  EXPECT_LT(host::router::last_stats().guided, conns);
  EXPECT_GT(host::router::last_stats().guided, 0);
  EXPECT_GT(host::router::last_stats().searches, 0);
  const int sink = routing().get_sink_nodes(in).at(0);
  EXPECT_NE(routing().get_gid(routing().forest().parent(sink)) & 0x7FFFFFFFu, mux);
}

// The check counts every connection of the design's nets: one with an end
// that has no place on the device is never routed, and counts as such.
TEST_F(RouterTest, TheCheckCountsConnectionsWithAnEndWithoutAPlaceAsUnrouted) {
  build_small(Family::KY);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  ASSERT_TRUE(host::routing::check(&why)) << why;
  EXPECT_EQ(host::routing::last_check_connections(), 12);
  // l3 (fed by r2 and r1, feeding the output buffer) loses its place.
  atoms[4]->clear_location();
  why.clear();
  EXPECT_FALSE(host::routing::check(&why));
  EXPECT_EQ(host::routing::last_check_connections(), 12) << why;
  int blocked = 0;
  for (std::size_t at = why.find("(an end has no place on the device)"); at != std::string::npos;
       at = why.find("(an end has no place on the device)", at + 1))
    ++blocked;
  EXPECT_EQ(blocked, 3) << why;
  EXPECT_NE(why.find("unrouted connection r2 -> l3."), std::string::npos) << why;
}

// Wires a net's tree keeps above a virtual node (translated routing still to
// complete) are kept while the net is routed; once it is, a kept wire on the
// way to no connection is not written: no sinkless leaf is left behind.
TEST_F(RouterTest, AWireKeptOnlyForAVirtualNodeIsNotLeftSinkless) {
  build_small(Family::KY);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  VOK_RE_ROUTING& r = routing();
  // l1's tree: a free fanout of the wire under its source, with a virtual
  // node below it.
  const VOK_ATOM_OTERM* out = nullptr;
  for (const VOK_ATOM_OTERM* o : atoms[0]->coterms()) out = o;
  ASSERT_NE(out, nullptr);
  const int top = r.forest().first_child(r.get_source_node(out));
  ASSERT_TRUE(top >= 0 && r.is_wire(top));
  std::vector<bool> used(host::korrin::graph().size(), false);
  for (int id = 0; id < r.forest().num_slots(); ++id)
    if (r.is_live(id) && r.is_wire(id)) used[r.get_gid(id) & 0x7FFFFFFFu] = true;
  const unsigned from = r.get_gid(top) & 0x7FFFFFFFu;
  const auto fo = host::korrin::graph().fanouts(from);
  unsigned spare = ~0u;
  for (int i = 0; i < fo.count && spare == ~0u; ++i) {
    const unsigned e = from + static_cast<unsigned>(fo.rel[i]);
    if (!used[e] && host::korrin::graph().fanouts(e).count > 0) spare = e;
  }
  ASSERT_NE(spare, ~0u);
  r.append_child_value(r.append_child(top, spare), VOK_RE_ROUTING::VIRTUAL_VALUE);
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  EXPECT_EQ(host::routing::last_check_hold_stubs(), 0);
  for (int id = 0; id < r.forest().num_slots(); ++id)
    if (r.is_live(id) && r.is_wire(id)) EXPECT_NE(r.get_gid(id) & 0x7FFFFFFFu, spare) << dump();
  EXPECT_EQ(host::router::last_stats().connections, 12);
}

// A register in a pipeline slot: its data input's net ends at the slot
// (the marked D side), its own net starts at the pair root there and feeds
// the sinks of that LAB through the slot's mux.
TEST_F(RouterTest, PipelineSlotsTerminateDataNetsAndGetTheirPairInBothOffsetForms) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk");
  place_at(n.find("clk"), 0, 1, 1);
  place_at(clk, 0, 1, 2);
  auto a = n.reg("a").clk(clk).d(clk);
  auto p = n.zota_reg("p").clk(clk).d(a);
  auto l = n.lut("l", {p, a}, 0x6);
  auto b = n.reg("b").clk(clk).d(l);  // an ordinary register in p's tile
  place_at(a, 2, 3, 1);
  place_in_slot(p, 5, 4, 60);
  place_at(l, 5, 4, 0);
  place_at(b, 5, 4, 1);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  ASSERT_TRUE(host::routing::check(&why)) << why;
  const VOK_RE_ROUTING& r = routing();
  const unsigned slot = p->get_location_gid();
  int d = -1, q = -1;
  for (int id = 0; id < r.forest().num_slots(); ++id) {
    if (!r.is_live(id) || !r.is_wire(id) || r.get_gid(id) != slot) continue;
    (r.forest().parent(id) == -1 ? q : d) = id;
  }
  ASSERT_GE(d, 0);
  ASSERT_GE(q, 0);
  EXPECT_TRUE(r.is_zota_node(d));
  EXPECT_EQ(r.get_corresponding_zota_id(d), q);
  EXPECT_NE(r.get_record(d).pair_offset, VOK_RE_ROUTING::OVERFLOW_PAIR_OFFSET);
  EXPECT_EQ(r.forest().first_child(d), -1);
  EXPECT_TRUE(r.get_sink_nodes(p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)).empty());
  // The LUT input fed by p hangs right under the pair root; the one fed by a
  // enters the LAB through another mux.
  const auto from_p = r.get_sink_nodes(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  const auto from_a = r.get_sink_nodes(l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(13), 0));
  ASSERT_EQ(from_p.size(), 1u);
  ASSERT_EQ(from_a.size(), 1u);
  EXPECT_EQ(r.forest().parent(from_p[0]), q);
  EXPECT_NE(r.get_gid(r.forest().parent(from_a[0])), slot);
  // A pin's clock reaches every register, in a slot or in the LAB, over a
  // global network and the segment's PMUX into a clock input mux of the
  // register's LAB.
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  for (VOK_ATOM_NODE* reg : {p, a, b}) {
    const auto clock_sinks = r.get_sink_nodes(reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
    ASSERT_EQ(clock_sinks.size(), 1u);
    const int mux_node = r.forest().parent(clock_sinks[0]);
    const unsigned clock_mux = r.get_gid(mux_node);
    const unsigned above = r.get_gid(r.forest().parent(mux_node));
    EXPECT_EQ(static_cast<int>(info->get_dev_element_from_gid(clock_mux)), 282);
    EXPECT_EQ(info->get_element_by_gid(clock_mux)->get_x(), reg == a ? 2 : 5);
    EXPECT_EQ(info->get_element_by_gid(clock_mux)->get_y(), reg == a ? 3 : 4);
    EXPECT_GE(info->get_route_node_of(clock_mux).index, 180);
    EXPECT_EQ(static_cast<int>(info->get_dev_element_from_gid(above)), 1929);
  }
  // So the slot register and the LAB register of one tile see the clock at
  // the same time, at every corner.
  n.timing();
  const KEM_NETLIST* kem = host::hov::current_kem_netlist();
  const int hop_p = kem->get_re_hop_of_iterm(p->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  const int hop_b = kem->get_re_hop_of_iterm(b->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  const int corners = static_cast<int>(kem->get_corner_manager()->get_loaded_corners().size());
  ASSERT_GE(corners, 2);
  for (int corner = 0; corner < corners; ++corner) {
    float dp[4], db[4];
    kem->get_re_hop_delays(hop_p, corner, dp);
    kem->get_re_hop_delays(hop_b, corner, db);
    EXPECT_GT(dp[0], 0.0f);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(dp[k], db[k]) << "corner " << corner << " delay " << k;
  }

  // The same with the pair's nodes far apart: the Q side routed first, many
  // nodes written in between, then the D side.
  routing().clear();
  KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
  ir.add_connection(p->get_oterm_slot(0), l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0), nullptr, nullptr);
  std::unique_ptr<KORRIN::IR_RESULT> first(ir.route_all_new_connections(false, nullptr));
  ASSERT_TRUE(first->routing_succeeded());
  ASSERT_TRUE(ir.commit(first.get(), &routing()));
  for (int i = 0; i < 40000; ++i) routing().new_root(VOK_RE_ROUTING::VIRTUAL_VALUE);
  ir.add_connection(a->get_oterm_slot(0), p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), nullptr, nullptr);
  std::unique_ptr<KORRIN::IR_RESULT> second(ir.route_all_new_connections(false, nullptr));
  ASSERT_TRUE(second->routing_succeeded());
  ASSERT_EQ(second->paths().size(), 1u);
  EXPECT_TRUE(second->paths()[0].slot_d);
  EXPECT_EQ(second->paths()[0].gids.back(), slot);
  ASSERT_TRUE(ir.commit(second.get(), &routing()));
  d = q = -1;
  for (int id = 0; id < r.forest().num_slots(); ++id) {
    if (!r.is_live(id) || !r.is_wire(id) || r.get_gid(id) != slot) continue;
    (r.forest().parent(id) == -1 ? q : d) = id;
  }
  ASSERT_GE(d - q, 40000);
  EXPECT_EQ(r.get_record(d).pair_offset, VOK_RE_ROUTING::OVERFLOW_PAIR_OFFSET);
  EXPECT_EQ(r.get_corresponding_zota_id(d), q);
  EXPECT_EQ(r.get_corresponding_zota_id(q), d);
  EXPECT_EQ(r.get_first_child(r.forest().parent(d), SKIP), r.forest().first_child(q));

  // A register of a black box in a slot keeps other nets out of it as p
  // does: the slot a connection from a into l passes through, once it holds
  // the box's register, is passed over.
  const VOK_ATOM_ITERM* in13 = l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(13), 0);
  auto route_in13 = [&] {
    KORRIN::INCREMENTAL_ROUTER again(&routing(), nullptr, nullptr);
    again.add_connection(a->get_oterm_slot(0), const_cast<VOK_ATOM_ITERM*>(in13), nullptr, nullptr);
    return std::unique_ptr<KORRIN::IR_RESULT>(again.route_all_new_connections(false, nullptr));
  };
  const std::unique_ptr<KORRIN::IR_RESULT> free_slot = route_in13();
  ASSERT_TRUE(free_slot->routing_succeeded());
  unsigned mux = 0;
  for (unsigned gid : free_slot->paths().at(0).gids)
    if (host::korrin::graph().is_slot(gid & 0x7FFFFFFFu)) mux = gid;
  ASSERT_NE(mux, 0u);
  VOK_ATOM_NODE* inner = nullptr;
  auto box = n.blackbox("u", [&](host::testing::NETLIST_BUILDER& c) { inner = c.zota_reg("q").clk(c.input("c")); });
  box.in("c", clk);
  n.blackbox("empty");  // a box without a netlist holds nothing
  inner->set_location(mux, static_cast<int>(host::device::die_info()->get_route_info()->get_dev_element_from_gid(mux)));
  // The path found while the slot was free is refused at commit, nothing
  // written.
  const int live = routing().get_live_node_count();
  EXPECT_FALSE(KORRIN::INCREMENTAL_ROUTER(&routing(), nullptr, nullptr).commit(free_slot.get(), &routing()));
  EXPECT_EQ(routing().get_live_node_count(), live);
  const std::unique_ptr<KORRIN::IR_RESULT> held_slot = route_in13();
  ASSERT_TRUE(held_slot->routing_succeeded());
  const std::vector<unsigned>& gids = held_slot->paths().at(0).gids;
  EXPECT_EQ(std::find(gids.begin(), gids.end(), mux), gids.end());
}

// Five pin clocks, four global networks: the four clocking the most
// registers outside routing slots take them (slot registers come and go with
// retiming), each register (in a slot or not) entering its LAB by a clock
// mux; the fifth reaches its registers over the general routing.
TEST_F(RouterTest, PinClocksBeyondTheGlobalNetworksTakeTheGeneralRouting) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  std::vector<VOK_ATOM_NODE*> regs[5];
  for (int k = 0; k < 5; ++k) {
    const std::string name = "clk" + std::to_string(k);
    auto clk = n.io_in(name);
    place_at(n.find(name), 0, k + 1, 1);
    place_at(clk, 0, k + 1, 2);
    // clk0..clk3 clock three registers each, clk4 one register and three in
    // slots behind it.
    for (int i = 0; i < (k < 4 ? 3 : 4); ++i) {
      const std::string r = "r" + std::to_string(k) + "_" + std::to_string(i);
      if (k == 4 && i >= 1) {
        VOK_ATOM_NODE* reg = n.zota_reg(r).clk(clk).d(regs[k].front()).atom();
        place_in_slot(reg, 3, k + 1, 60 + i);
        regs[k].push_back(reg);
        continue;
      }
      VOK_ATOM_NODE* reg = n.reg(r).clk(clk).d(clk).atom();
      place_at(reg, 2, k + 1, i + 1);
      regs[k].push_back(reg);
    }
  }
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  ASSERT_TRUE(host::routing::check(&why)) << why;
  const VOK_RE_ROUTING& r = routing();
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  for (int k = 0; k < 5; ++k)
    for (VOK_ATOM_NODE* reg : regs[k]) {
      SCOPED_TRACE(reg->get_string_hpath());
      const auto sinks = r.get_sink_nodes(reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
      ASSERT_EQ(sinks.size(), 1u);
      const unsigned mux = r.get_gid(r.forest().parent(sinks[0]));
      EXPECT_EQ(info->get_route_node_of(mux).index >= 180, k < 4);
    }
}

// A pin clock on a global network climbs the spine and runs along its row
// from the PMUX at the first column of the sink's row segment: with the pin
// right of the spine and the register left of it, further from its PMUX
// column than the box's margin, the first (boxed) search still finds the
// path, so each connection takes one search.
TEST_F(RouterTest, AGlobalClockIsFoundInItsBoxThroughThePmuxOfItsRowSegment) {
  host::testing::device(Family::KY).build();
  const host::korrin::GRAPH& g = host::korrin::graph();
  const int spine = g.nx() / 2;
  int x = -1, y = -1;
  for (int cx = spine - 1; cx >= 1 && x < 0; --cx)
    for (int cy = 1; cy + 1 < g.ny() && x < 0; ++cy)
      if (cx - wump_pmux_column(cx) > 3 && !g.tile(cx, cy).clk.empty()) x = cx, y = cy;
  ASSERT_GE(x, 0) << "no LAB far enough from its PMUX column left of the spine";
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk");
  place_at(n.find("clk"), g.nx() - 1, y, 1);
  place_at(clk, g.nx() - 1, y, 2);
  VOK_ATOM_NODE* reg = n.reg("r").clk(clk).d(clk).atom();
  place_at(reg, x, y, 1);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  ASSERT_TRUE(host::routing::check(&why)) << why;
  const host::router::STATS st = host::router::last_stats();
  ASSERT_EQ(st.rounds, 1);
  EXPECT_EQ(st.connections, 2);
  EXPECT_EQ(st.searches, st.connections);
  // The clock entered the LAB by a clock mux fed from the segment's PMUX.
  const VOK_RE_ROUTING& r = routing();
  const auto sinks = r.get_sink_nodes(reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  ASSERT_EQ(sinks.size(), 1u);
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  EXPECT_GE(info->get_route_node_of(r.get_gid(r.forest().parent(sinks[0]))).index, 180);
}

TEST_F(RouterTest, BlacklistedElementsAreNeverUsedAndAnAllBlacklistedSinkIsReported) {
  build_small(Family::KY);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  // Blacklist the elements l3's first input used, and route again.
  const VOK_ATOM_ITERM* sink = atoms[4]->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  std::vector<unsigned> used = path_of(routing().get_sink_nodes(sink).at(0));
  ASSERT_GE(used.size(), 3u);
  std::vector<unsigned> gids;
  for (unsigned id : used) gids.push_back(id | 0x80000000u);
  routing().clear();
  auto spec = host::device::spec();
  spec.blacklist_gids = gids;
  host::device::configure(spec);
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  const std::vector<unsigned> now = path_of(routing().get_sink_nodes(sink).at(0));
  for (unsigned id : now) EXPECT_EQ(std::count(used.begin(), used.end(), id), 0) << id;
  for (int id = 0; id < routing().forest().num_slots(); ++id) {
    if (routing().is_live(id) && routing().is_wire(id)) {
      EXPECT_FALSE(host::device::die_info()->get_blacklisting()->is_routing_gid_blacklisted(routing().get_gid(id)));
    }
  }

  // Every input mux of l3's LAB blacklisted: its inputs cannot be routed.
  routing().clear();
  const auto& tile = host::korrin::graph().tile(9, 7);
  for (unsigned id : tile.in) spec.blacklist_gids.push_back(id | 0x80000000u);
  for (unsigned id : tile.clk) spec.blacklist_gids.push_back(id | 0x80000000u);
  host::device::configure(spec);
  why.clear();
  EXPECT_FALSE(host::router::route_design(&why));
  EXPECT_NE(why.find("unroutable connection r2 -> l3.in12.0"), std::string::npos) << why;
  EXPECT_NE(why.find("unroutable connection r1 -> l3.in13.0"), std::string::npos) << why;
  // The rest is routed, and the check names what is missing.
  std::string findings;
  EXPECT_FALSE(host::routing::check(&findings));
  EXPECT_NE(findings.find("unrouted connection r2 -> l3.in12.0"), std::string::npos) << findings;
  EXPECT_EQ(findings.find("l2.in"), std::string::npos) << findings;
  // The incremental router reports it too, and routes nothing.
  KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
  ir.add_connection(atoms[3]->get_oterm_slot(0), const_cast<VOK_ATOM_ITERM*>(sink), nullptr, nullptr);
  std::unique_ptr<KORRIN::IR_RESULT> res(ir.route_all_new_connections(false, nullptr));
  EXPECT_FALSE(res->routing_succeeded());
  ASSERT_EQ(res->reports().size(), 1u);
  EXPECT_NE(res->reports()[0].find("unroutable connection"), std::string::npos);
}

// Two nets leave one LAB through the only two output muxes left; routed
// first without regard to each other they collide, and the negotiation
// separates them.
// velmo-fit's line during a long round counts the connections searched up
// to those the round has to route.
TEST(RouterProgressLine, SaysHowManyConnectionsTheRoundHasSearched) {
  host::router::ROUND r;
  r.round = 2, r.ended = false, r.searched = 5, r.to_search = 1700, r.seconds = 31.0;
  ::testing::internal::CaptureStdout();
  velmo_fit::print_round(r);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "  Routing round 2: 5 of 1700 connections searched (31.0 s)\n");
}

TEST_F(RouterTest, NegotiatedCongestionResolvesAForcedConflict) {
  const std::vector<unsigned> outs = build_pin_lut_pair(2);
  auto n = host::testing::netlist();
  auto b = n.lut("b", {x}, 0x2);
  auto sb = n.lut("sb", {b}, 0x1);
  place_at(b, 2, 5, 3);
  place_at(sb, 9, 5, 3);
  host::router::OPTIONS o;
  o.first_present_factor = 0.0;  // the first round ignores the other nets

  o.max_rounds = 1;
  std::string why;
  EXPECT_FALSE(host::router::route_design(&why, o));
  EXPECT_NE(why.find("congestion not resolved after 1 rounds"), std::string::npos) << why;
  EXPECT_NE(why.find("left unrouted (congestion): a -> sa.in12.0"), std::string::npos) << why;
  std::string findings;
  EXPECT_FALSE(host::routing::check(&findings));
  EXPECT_EQ(findings.find("more than once"), std::string::npos) << findings;
  // Ripped in net order: once a's connection is gone, b's is no longer
  // overused and stays.
  EXPECT_NE(findings.find("unrouted connection a -> sa.in12.0"), std::string::npos) << findings;
  EXPECT_EQ(routing().get_sink_nodes(sb->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)).size(), 1u);

  routing().clear();
  o.max_rounds = 30;
  why.clear();
  // A listener hears every round: overuse after the first, none after the
  // last, and the connections left to route; and, asked for progress every
  // 2 s of a clock that reads one second later at each look, every second
  // connection a round searches: how many it has searched of those it has
  // to, the first round all of them.
  static std::vector<host::router::ROUND> heard, progress;
  static double ticks = 0.0;
  heard.clear();
  progress.clear();
  host::router::set_round_listener([](const host::router::ROUND& r) { (r.ended ? heard : progress).push_back(r); },
                                   2.0, [] { return ++ticks; });
  ASSERT_TRUE(host::router::route_design(&why, o)) << why;
  host::router::set_round_listener(nullptr);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front().round, 1);
  EXPECT_EQ(progress.front().to_search, host::router::last_stats().connections);
  bool two_in_a_round = false;
  for (std::size_t i = 0; i < progress.size(); ++i) {
    const bool same_round = i > 0 && progress[i - 1].round == progress[i].round;
    two_in_a_round = two_in_a_round || same_round;
    EXPECT_EQ(progress[i].searched, same_round ? progress[i - 1].searched + 2 : 1) << i;
    EXPECT_LT(progress[i].searched, progress[i].to_search) << i;
  }
  EXPECT_TRUE(two_in_a_round);
  EXPECT_EQ(progress.back().round, host::router::last_stats().rounds);
  // A later round has to route what the round before left.
  for (const host::router::ROUND& p : progress)
    if (p.round > 1) EXPECT_EQ(p.to_search, heard[static_cast<std::size_t>(p.round) - 2].connections_left) << p.round;
  EXPECT_GE(host::router::last_stats().rounds, 2);
  ASSERT_EQ(static_cast<int>(heard.size()), host::router::last_stats().rounds);
  for (std::size_t i = 0; i < heard.size(); ++i) EXPECT_EQ(heard[i].round, static_cast<int>(i) + 1);
  EXPECT_GE(heard.front().overused, 1);
  EXPECT_GE(heard.front().connections_left, 1);
  EXPECT_EQ(heard.back().overused, 0);
  EXPECT_EQ(heard.back().connections_left, 0);
  EXPECT_LE(heard.front().seconds, heard.back().seconds);
  EXPECT_TRUE(host::routing::check(&why)) << why;
  const auto first_wire = [](VOK_ATOM_NODE* atom) {
    const int root = routing().get_source_node(atom->get_oterm_slot(0));
    return routing().get_gid(routing().forest().first_child(root)) & 0x7FFFFFFFu;
  };
  EXPECT_NE(first_wire(a), first_wire(b));
  EXPECT_TRUE(first_wire(a) == outs[0] || first_wire(a) == outs[1]);
  EXPECT_TRUE(first_wire(b) == outs[0] || first_wire(b) == outs[1]);

  // Rounds shorter than the progress interval, or no interval: round ends only.
  for (const double every : {1e6, 0.0}) {
    routing().clear();
    heard.clear();
    progress.clear();
    host::router::set_round_listener(
        [](const host::router::ROUND& r) { (r.ended ? heard : progress).push_back(r); }, every);
    ASSERT_TRUE(host::router::route_design(&why, o)) << why;
    host::router::set_round_listener(nullptr);
    EXPECT_TRUE(progress.empty()) << every;
    EXPECT_FALSE(heard.empty()) << every;
  }
}

// A routed connection between atoms of read-only netlists keeps its path,
// and no other net may take that path's elements: with the only output mux
// left in the LAB held by such a connection, the other net's connection is
// unroutable (rather than negotiated over rounds).
TEST_F(RouterTest, APinnedConnectionKeepsItsElementsFromOtherNets) {
  build_pin_lut_pair(1);
  auto n = host::testing::netlist();
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  const int held = routing().get_sink_nodes(sa->get_iterm_slot(0)).at(0);
  const std::vector<unsigned> path = path_of(held);
  auto b = n.lut("b", {x}, 0x2);
  auto sb = n.lut("sb", {b}, 0x1);
  place_at(b, 2, 5, 3);
  place_at(sb, 9, 5, 3);
  host::vok::top_netlist()->set_modifiable(false);
  why.clear();
  // The round has the new net's connections to route, not the pinned ones.
  static int to_search = 0;
  host::router::set_round_listener([](const host::router::ROUND& r) { to_search = r.ended ? to_search : r.to_search; }, 1e-9);
  EXPECT_FALSE(host::router::route_design(&why));
  host::router::set_round_listener(nullptr);
  EXPECT_EQ(to_search, 2);
  EXPECT_NE(why.find("unroutable connection b -> sb"), std::string::npos) << why;
  EXPECT_EQ(why.find("congestion not resolved"), std::string::npos) << why;
  EXPECT_EQ(path_of(routing().get_sink_nodes(sa->get_iterm_slot(0)).at(0)), path);
  host::vok::top_netlist()->set_modifiable(true);
}

struct NODE_RECORD {
  int id, value, parent;
  bool operator==(const NODE_RECORD&) const = default;
};
std::vector<NODE_RECORD> nodes_now() {
  std::vector<NODE_RECORD> v;
  for (int id = 0; id < routing().forest().num_slots(); ++id)
    if (routing().is_live(id)) v.push_back({id, routing().get_value(id), routing().forest().parent(id)});
  return v;
}

TEST_F(RouterTest, IncrementalRouterAddsConnectionsWithoutRippingAnythingUp) {
  build_small(Family::KY);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  const std::vector<NODE_RECORD> before = nodes_now();
  auto n = host::testing::netlist();
  auto l4 = n.lut("l4", {atoms[0], atoms[3]}, 0x6);
  place_at(l4, 7, 7, 0);
  EXPECT_FALSE(host::routing::check(&why));  // l4's inputs are not routed yet

  KORRIN::INCREMENTAL_ROUTER ir(&routing(), host::device::die_info()->get_route_info(), nullptr);
  for (const VOK_ATOM_ITERM* t : l4->citerms())
    EXPECT_TRUE(ir.add_connection(t->get_source(VOK_TRAVERSE_AS_STORED), const_cast<VOK_ATOM_ITERM*>(t), nullptr, nullptr));
  // An input that is routed already is reported as such.
  const VOK_ATOM_ITERM* routed = atoms[2]->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  ir.add_connection(routed->get_source(VOK_TRAVERSE_AS_STORED), const_cast<VOK_ATOM_ITERM*>(routed), nullptr, nullptr);
  EXPECT_EQ(ir.get_num_new_connections(), 3u);
  std::unique_ptr<KORRIN::IR_RESULT> res(ir.route_all_new_connections(false, nullptr));
  EXPECT_EQ(ir.get_num_new_connections(), 0u);
  ASSERT_TRUE(res->routing_succeeded());
  ASSERT_EQ(res->paths().size(), 3u);
  // Nets by driver id: l1's connection, then l2's input, then r2's.
  EXPECT_EQ(res->paths()[0].source->get_my_node(), atoms[0]);
  EXPECT_EQ(res->paths()[1].status, KORRIN::IR_RESULT::ALREADY_ROUTED);
  EXPECT_EQ(res->paths()[2].source->get_my_node(), atoms[3]);
  // Both branch off the trees their nets already have.
  EXPECT_NE(res->paths()[0].attach, 0xFFFFFFFFu);
  EXPECT_NE(res->paths()[2].attach, 0xFFFFFFFFu);
  EXPECT_EQ(routing().get_live_node_count(), static_cast<int>(before.size()));  // nothing written before commit
  ASSERT_TRUE(ir.commit(res.get(), &routing()));
  const std::vector<NODE_RECORD> after = nodes_now();
  for (const NODE_RECORD& r : before) EXPECT_NE(std::find(after.begin(), after.end(), r), after.end()) << r.id;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  for (const KORRIN::IR_RESULT::PATH& p : res->paths()) {
    if (p.status != KORRIN::IR_RESULT::ROUTED) continue;
    EXPECT_EQ(delay_of(routing().get_sink_nodes(p.sink).at(0)), p.delay_ps);
  }
  // Committing the same paths again finds their elements taken and writes
  // nothing.
  const int count = routing().get_live_node_count();
  EXPECT_FALSE(ir.commit(res.get(), &routing()));
  EXPECT_EQ(routing().get_live_node_count(), count);

  // The only input mux left in l4's LAB belongs to another net: the new
  // connection fails rather than take it.
  auto spec = host::device::spec();
  const unsigned keep = routing().get_gid(routing().forest().parent(routing().get_sink_nodes(l4->get_iterm_slot(0)).at(0)));
  for (unsigned id : host::korrin::graph().tile(7, 7).in)
    if ((id | 0x80000000u) != keep) spec.blacklist_gids.push_back(id | 0x80000000u);
  host::device::configure(spec);
  KORRIN::INCREMENTAL_ROUTER ir2(&routing(), host::device::die_info()->get_route_info(), nullptr);
  auto l5 = n.lut("l5", {atoms[4]}, 0x1);
  place_at(l5, 7, 7, 3);
  const std::vector<NODE_RECORD> held = nodes_now();
  ir2.add_connection(atoms[4]->get_oterm_slot(0), l5->get_iterm_slot(0), nullptr, nullptr);
  std::unique_ptr<KORRIN::IR_RESULT> blocked(ir2.route_all_new_connections(false, nullptr));
  EXPECT_FALSE(blocked->routing_succeeded());
  EXPECT_EQ(blocked->paths().at(0).status, KORRIN::IR_RESULT::FAILED);
  EXPECT_NE(blocked->reports().at(0).find("unroutable connection l3 -> l5.in12.0: no "), std::string::npos)
      << blocked->reports().at(0);
  EXPECT_EQ(nodes_now(), held);
  // A sink that the source does not drive is refused.
  ir2.add_connection(atoms[0]->get_oterm_slot(0), l5->get_iterm_slot(0), nullptr, nullptr);
  std::unique_ptr<KORRIN::IR_RESULT> wrong(ir2.route_all_new_connections(false, nullptr));
  EXPECT_FALSE(wrong->routing_succeeded());
  EXPECT_NE(wrong->reports().at(0).find("not driven by the source"), std::string::npos);
  // A router made for the device before it changed routes nothing.
  ir.add_connection(atoms[4]->get_oterm_slot(0), l5->get_iterm_slot(0), nullptr, nullptr);
  std::unique_ptr<KORRIN::IR_RESULT> stale(ir.route_all_new_connections(false, nullptr));
  EXPECT_FALSE(stale->routing_succeeded());
  EXPECT_EQ(stale->paths().at(0).status, KORRIN::IR_RESULT::FAILED);

  // A LAB whose input muxes are free but walled in (every element feeding
  // them blacklisted): the connection fails as a search of everything its
  // source reaches would have it, with nothing written; without the wall it
  // routes.
  const auto plain_spec = spec;
  {
    const host::korrin::GRAPH& g = host::korrin::graph();
    for (unsigned id : g.tile(5, 5).in) {
      const host::korrin::GRAPH::EDGES in = g.fanins(id);
      for (int i = 0; i < in.count; ++i) spec.blacklist_gids.push_back((id + static_cast<unsigned>(in.rel[i])) | 0x80000000u);
    }
  }
  host::device::configure(spec);
  auto l6 = n.lut("l6", {atoms[4]}, 0x1);
  place_at(l6, 5, 5, 3);
  for (int walled = 1; walled >= 0; --walled) {
    if (!walled) host::device::configure(plain_spec);
    KORRIN::INCREMENTAL_ROUTER ir3(&routing(), host::device::die_info()->get_route_info(), nullptr);
    const std::vector<NODE_RECORD> now = nodes_now();
    ir3.add_connection(atoms[4]->get_oterm_slot(0), l6->get_iterm_slot(0), nullptr, nullptr);
    std::unique_ptr<KORRIN::IR_RESULT> res3(ir3.route_all_new_connections(false, nullptr));
    EXPECT_EQ(res3->routing_succeeded(), !walled);
    if (walled) {
      EXPECT_EQ(res3->paths().at(0).status, KORRIN::IR_RESULT::FAILED);
      EXPECT_NE(res3->reports().at(0).find("l3 -> l6.in12.0: no path"), std::string::npos) << res3->reports().at(0);
      EXPECT_EQ(nodes_now(), now);
    } else {
      EXPECT_EQ(res3->paths().at(0).status, KORRIN::IR_RESULT::ROUTED);
    }
  }
}

TEST_F(RouterTest, DelayBudgetsTakeDetoursForMinimumsAndReportWhatCannotBeMet) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto x = n.io_in("x");
  place_at(n.find("x"), 0, 5, 1);
  place_at(x, 0, 5, 2);
  auto a = n.lut("a", {x}, 0x1);
  auto s = n.lut("s", {a}, 0x1);
  place_at(a, 2, 5, 0);
  place_at(s, 5, 5, 0);
  VOK_ATOM_ITERM* sink = s->get_iterm_slot(0);
  auto route = [&](KORRIN::DELAY_BUDGET b) {
    KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
    std::vector<KORRIN::DELAY_BUDGET> budgets{KORRIN::DELAY_BUDGET{}, b};  // the last hop's applies
    ir.add_connection(a->get_oterm_slot(0), sink, &budgets, nullptr);
    return std::unique_ptr<KORRIN::IR_RESULT>(ir.route_all_new_connections(false, nullptr));
  };
  const auto plain = route(KORRIN::DELAY_BUDGET{});
  ASSERT_TRUE(plain->routing_succeeded());
  const int shortest = plain->paths().at(0).delay_ps;
  EXPECT_TRUE(plain->reports().empty());

  // A minimum out of reach, and a maximum below any path: reported, routed.
  const auto far = route(KORRIN::DELAY_BUDGET{100000, 200000});
  EXPECT_TRUE(far->routing_succeeded());
  EXPECT_EQ(far->paths().at(0).status, KORRIN::IR_RESULT::ROUTED);
  EXPECT_FALSE(far->paths().at(0).budget_met);
  ASSERT_EQ(far->reports().size(), 1u);
  EXPECT_NE(far->reports()[0].find("minimum delay budget of 100000 ps not met by a -> s.in12.0"), std::string::npos)
      << far->reports()[0];
  const auto tight = route(KORRIN::DELAY_BUDGET{0, 10});
  EXPECT_TRUE(tight->routing_succeeded());
  EXPECT_FALSE(tight->paths().at(0).budget_met);
  EXPECT_NE(tight->reports().at(0).find("maximum delay budget of 10 ps"), std::string::npos);
  EXPECT_EQ(tight->paths().at(0).delay_ps, shortest);

  // A reachable minimum: the cheapest detour that meets it, within the maximum.
  const int want = shortest + 250;
  const auto detour = route(KORRIN::DELAY_BUDGET{want, want + 400});
  ASSERT_TRUE(detour->routing_succeeded());
  const KORRIN::IR_RESULT::PATH& p = detour->paths().at(0);
  EXPECT_TRUE(p.budget_met);
  EXPECT_TRUE(detour->reports().empty());
  EXPECT_GE(p.delay_ps, want);
  EXPECT_LE(p.delay_ps, want + 400);
  KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
  ASSERT_TRUE(ir.commit(const_cast<KORRIN::IR_RESULT*>(detour.get()), &routing()));
  EXPECT_EQ(delay_of(routing().get_sink_nodes(sink).at(0)), p.delay_ps);
  std::string why;
  EXPECT_FALSE(host::routing::check(&why));  // x's connection is not routed
  EXPECT_EQ(why, "unrouted connection x~ibuf -> a.in12.0\n");
}

// The test hook routes what is missing with the incremental router: the
// same legal result as the whole-design router, nothing ripped.
TEST_F(RouterTest, TheIncrementalRouterHookRoutesEveryMissingConnection) {
  build_small(Family::KY);
  KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
  const VOK_ATOM_ITERM* first = atoms[2]->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  ir.add_connection(first->get_source(VOK_TRAVERSE_AS_STORED), const_cast<VOK_ATOM_ITERM*>(first), nullptr, nullptr);
  std::unique_ptr<KORRIN::IR_RESULT> res(ir.route_all_new_connections(false, nullptr));
  ASSERT_TRUE(ir.commit(res.get(), &routing()));
  const std::vector<NODE_RECORD> before = nodes_now();
  EXPECT_TRUE(KORRIN::test_korrin_incremental_router());
  std::string why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  const std::vector<NODE_RECORD> after = nodes_now();
  for (const NODE_RECORD& r : before) EXPECT_NE(std::find(after.begin(), after.end(), r), after.end()) << r.id;
  EXPECT_THAT(host::call_names(), ::testing::Contains(std::string("KORRIN::test_korrin_incremental_router")));
}

// The incremental router keeps its search state per thread from batch to
// batch: a batch routed on a fresh thread gives the same paths as on a
// thread whose state earlier batches (detours included) have used.
TEST_F(RouterTest, AnIncrementalBatchRoutesTheSameOnAFreshThreadAsAfterEarlierBatches) {
  build_small(Family::KY);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  auto n = host::testing::netlist();
  auto l4 = n.lut("l4", {atoms[0], atoms[3]}, 0x6);
  auto l5 = n.lut("l5", {atoms[4], atoms[1]}, 0x6);
  place_at(l4, 7, 7, 0);
  place_at(l5, 3, 6, 1);
  const std::vector<KORRIN::DELAY_BUDGET> slow{{700, 100000}};
  auto batch = [&] {
    KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
    for (VOK_ATOM_NODE* atom : {l4, l5})
      for (const VOK_ATOM_ITERM* t : atom->citerms())
        ir.add_connection(t->get_source(VOK_TRAVERSE_AS_STORED), const_cast<VOK_ATOM_ITERM*>(t),
                          atom == l5 ? &slow : nullptr, nullptr);
    return std::unique_ptr<KORRIN::IR_RESULT>(ir.route_all_new_connections(false, nullptr));
  };
  auto paths = [](const KORRIN::IR_RESULT& r) {
    std::vector<std::vector<unsigned>> v;
    for (const KORRIN::IR_RESULT::PATH& p : r.paths()) {
      v.push_back(p.gids);
      v.back().push_back(p.attach);
      v.back().push_back(static_cast<unsigned>(p.status));
    }
    return v;
  };
  batch();
  const std::unique_ptr<KORRIN::IR_RESULT> here = batch();
  std::unique_ptr<KORRIN::IR_RESULT> there;
  std::thread([&] { there = batch(); }).join();
  ASSERT_TRUE(here->routing_succeeded());
  ASSERT_TRUE(there->routing_succeeded());
  EXPECT_EQ(paths(*here), paths(*there));
  // The budget took a detour (the backward search and the disjointness
  // marks ran).
  int detours = 0;
  for (const KORRIN::IR_RESULT::PATH& p : here->paths()) detours += p.sink->get_my_node() == l5 && p.budget_met ? 1 : 0;
  EXPECT_GE(detours, 1);
  KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
  ASSERT_TRUE(ir.commit(here.get(), &routing()));
  EXPECT_TRUE(host::routing::check(&why)) << why;
}

}  // namespace

// Pad tiles with more pins than a periphery block has ports: each pin drives
// from and is driven into its own ports, named by its pin.
TEST_F(RouterTest, PinsOfAWidePadTileRouteThroughTheirOwnPorts) {
  host::testing::device(Family::KY).pins_per_pad_tile(8).build();
  auto n = host::testing::netlist();
  auto x = n.io_in("x");
  place_at(n.find("x"), 0, 5, 6 * 6 + 1);  // pin 6 of the left tile at y = 5
  place_at(x, 0, 5, 6 * 6 + 2);
  auto l = n.lut("l", {x}, 0x1);
  place_at(l, 3, 5, 0);
  auto out = n.io_out("y", l);
  place_at(out, 11, 4, 5 * 6 + 1);  // pin 5 of the right tile at y = 4
  place_at(n.find("y~obuf"), 11, 4, 5 * 6 + 3);
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_ROUTE_INFO* info = die->get_route_info();
  const unsigned pin6 = die->get_place_info()->get_global_id(0, 0, 5, 6 * 6);
  const unsigned pin5 = die->get_place_info()->get_global_id(0, 11, 4, 5 * 6);
  const unsigned x_out = info->get_block_icd_port_gid(pin6, 2, "out[6]");
  const unsigned y_in = info->get_block_icd_port_gid(pin5, 1, "in[5]");
  ASSERT_NE(x_out, WUMP_ILLEGAL_GID);
  ASSERT_NE(y_in, WUMP_ILLEGAL_GID);
  EXPECT_NE(x_out, info->get_block_icd_port_gid(pin6, 2, "out[5]"));
  EXPECT_EQ(info->get_name(x_out), "ICD_PORT_X0Y5_out[6]");
  // x's tree starts at its pin's output port; y's connection ends at its
  // pin's input port.
  const int root = routing().get_source_node(x->get_oterm_slot(0));
  EXPECT_EQ(static_cast<unsigned>(routing().get_gid(routing().forest().first_child(root))), x_out);
  const auto sinks = routing().get_sink_nodes(n.find("y~obuf")->get_input_term_by_type(DB_INPUT_PORT_BOX, 0));
  ASSERT_EQ(sinks.size(), 1u);
  EXPECT_EQ(static_cast<unsigned>(routing().get_gid(routing().forest().parent(sinks[0]))), y_in);
}

namespace {

// A batch holding a new pipeline register's clock and its data input, where
// the data input's slot can be entered through one wire only and the clock,
// routed alone, enters the register's LAB through that same wire: the data
// input is routed first and the clock takes another way in.
TEST_F(RouterTest, ASlotDataInputKeepsTheOnlyWireIntoItsSlotFromTheSameBatch) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto pin = n.io_in("clk");
  place_at(n.find("clk"), 0, 1, 1);
  place_at(pin, 0, 1, 2);
  // A clock made in the fabric: it enters the LAB through an input mux.
  auto clk = n.lut("gate", {pin}, 0x2);
  place_at(clk, 2, 2, 0);
  auto a = n.reg("a").clk(clk).d(pin);
  auto p = n.zota_reg("p").clk(clk).d(a);
  place_at(a, 2, 3, 1);
  place_in_slot(p, 5, 4, 60);
  VOK_ATOM_ITERM* clock_in = p->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  VOK_ATOM_ITERM* data_in = p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  routing().clear();
  // The clock alone: the wire it enters the LAB through.
  auto clock_entry = [&] {
    KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
    ir.add_connection(clk->get_oterm_slot(0), clock_in, nullptr, nullptr);
    std::unique_ptr<KORRIN::IR_RESULT> res(ir.route_all_new_connections(false, nullptr));
    EXPECT_TRUE(res->routing_succeeded());
    const std::vector<unsigned>& g = res->paths().at(0).gids;
    return g.size() < 2 ? std::pair<unsigned, unsigned>{0, 0} : std::pair{g[g.size() - 2] & 0x7FFFFFFFu, g.back() & 0x7FFFFFFFu};
  };
  const auto [wire, mux] = clock_entry();
  ASSERT_NE(wire, 0u);
  // Another slot of that LAB whose mux the wire feeds: p moves there, and
  // every other wire into that mux is blacklisted.
  const host::korrin::GRAPH& graph = host::korrin::graph();
  const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  unsigned slot = 0;
  for (int sub = 0; sub < 100 && slot == 0; ++sub) {
    const unsigned gid = place->get_global_id(dev_kind::FF, 5, 4, sub);
    if (gid == DEV_GRID::ILLEGAL_GID || !info->is_zota_gid(gid) || (gid & 0x7FFFFFFFu) == mux) continue;
    if (graph.has_edge(wire, gid & 0x7FFFFFFFu)) {
      place_in_slot(p, 5, 4, sub);
      slot = gid & 0x7FFFFFFFu;
    }
  }
  ASSERT_NE(slot, 0u);
  auto spec = host::device::spec();
  const host::korrin::GRAPH::EDGES in = graph.fanins(slot);
  for (int i = 0; i < in.count; ++i)
    if (const unsigned f = slot + static_cast<unsigned>(in.rel[i]); f != wire) spec.blacklist_gids.push_back(f | 0x80000000u);
  host::device::configure(spec);
  ASSERT_EQ(clock_entry().first, wire);
  // Both in one batch, the clock added first (its driver also sorts first).
  KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
  ir.add_connection(clk->get_oterm_slot(0), clock_in, nullptr, nullptr);
  ir.add_connection(a->get_oterm_slot(0), data_in, nullptr, nullptr);
  std::unique_ptr<KORRIN::IR_RESULT> res(ir.route_all_new_connections(false, nullptr));
  ASSERT_TRUE(res->routing_succeeded()) << (res->reports().empty() ? "" : res->reports().front());
  ASSERT_EQ(res->paths().size(), 2u);
  for (const KORRIN::IR_RESULT::PATH& path : res->paths()) {
    ASSERT_GE(path.gids.size(), 2u);
    const bool through_wire = (path.gids[path.gids.size() - 2] & 0x7FFFFFFFu) == wire;
    EXPECT_EQ(through_wire, path.slot_d);
    if (path.slot_d) {
      EXPECT_EQ(path.gids.back() & 0x7FFFFFFFu, slot);
    }
  }
  EXPECT_TRUE(ir.commit(res.get(), &routing()));
  EXPECT_EQ(routing().get_sink_nodes(clock_in).size(), 1u);
}

}  // namespace
