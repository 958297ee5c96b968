// The hold-fix re-route's rules as a user sees them: which failing
// connections end a path (and are taken together, and named when they stay
// failing), which are taken one at a time above an endpoint out of reach,
// and which connections count as routed.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cmp/cmp_facade.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/partition_builder.h"
#include "testing/route_helpers.h"
#include "testing/timing_builder.h"
#include "tibex/tibex_hold_reroute.h"
#include "tibex/tibex_vpr_facade.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "xab/xab_delay_annotator.h"

namespace {

using namespace host::testing;
using HELD = std::vector<std::pair<std::string, host::hold_reroute::HELD_REASON>>;
constexpr auto kSetup = host::hold_reroute::HELD_REASON::SETUP;

class HoldRerouteRulesTest : public HostTest {
protected:
  // Builds the design `make` describes, places and routes it, reads its timing (slow and fast
  // corners) and enters the hold fix-up flow. `after_place` runs between
  // placement and routing.
  void build(const std::function<void(NETLIST_BUILDER&)>& make, const std::function<void()>& after_place = {}) {
    auto dev = device(Family::KY);
    dev.corners({Corner::slow(), Corner::fast()});
    dev.build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    make(*n);
    TIBEX_VPR_FACADE f;
    ASSERT_TRUE(f.place());
    if (after_place) after_place();
    ASSERT_TRUE(f.route()) << host::facade::last_route_failure();
    VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), 1);
    analyse();
    SWAVO_RECOMPILE_OP::parse_recompile_argument("routed -hold_fixup");
  }
  // The timing netlist built again whole, or (`request`) brought up to date
  // with what changed.
  void analyse() {
    env->indicate_that_atom_netlist_is_modified();
    request();
  }
  void request() { env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false); }
  // Removes the spare input's atoms, which frees the timing netlist's first
  // ids, then builds `atom`'s cells again on them.
  void rebuild_on_freed_ids(const char* atom) {
    for (const char* name : {"spare", "sp~ibuf", "sp"}) {
      VOK_ATOM_NODE* spare = n->find(name);
      ASSERT_NE(spare, nullptr) << name;
      const int id = spare->get_id();
      spare->get_parent_netlist()->remove(spare);
      env->indicate_that_atom_netlist_is_modified(id, false, false);
    }
    request();
    ASSERT_EQ(kem()->get_edge(0), nullptr);
    XAB_DELAY_ANNOTATOR(CMP_FACADE::current(), true).rebuild_netlist_for_atoms({n->find(atom)}, {}, {}, {}, {});
  }
  // The atoms the last run named as failing still, left alone.
  static std::vector<std::string> held_names() {
    std::vector<std::string> out;
    for (const auto& [name, why] : host::hold_reroute::still_failing_held()) out.push_back(name);
    return out;
  }
  // Delays the atom's clock by `ps`: every data input it captures fails hold
  // by far more than a detour can give.
  void delay_clock(const char* atom, int ps) {
    host::hov::utility()->annotate_delays_of_connection(n->find(atom), DB_INPUT_PORT_CLK, 0, ps, ps);
    request();
  }
  VOK_ATOM_ITERM* input(const char* atom, DB_INPUT_PORT_TYPE type) const {
    return n->find(atom)->get_input_term_by_type(type, 0);
  }
  static const KEM_NETLIST* kem() { return KEM_MANAGER::get()->get_kem_netlist(); }
  static int hold(const VOK_ATOM_ITERM* t) { return host::sta::edge_hold_slack(kem()->get_ic_edge_to_iterm(t)->get_id(), 0); }
  static bool changed(const VOK_ATOM_NODE* atom) {
    const auto& ids = SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids();
    return std::find(ids.begin(), ids.end(), static_cast<unsigned>(atom->get_id())) != ids.end();
  }
  void TearDown() override {
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<NETLIST_BUILDER> n;
};

// The clock "clk", 4 ns.
SIG clock(NETLIST_BUILDER& n) {
  const SIG clk = n.io_in("clk");
  n.clock("clk", 4000, clk);
  return clk;
}

// a -> l1 -> l2 -> b, far apart, b's clock delayed far past what any detour
// can give: b's data input is the one endpoint, its budget out of reach.
// A spare input first: its cells own the timing netlist's first edges.
void chain_of_two_luts(NETLIST_BUILDER& n) {
  n.lut("spare", {n.io_in("sp")}, 0x2);
  const SIG clk = clock(n);
  const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
  const SIG l1 = n.lut("l1", {a}, 0x2).placed(site_gid(2, 7, 0), 644);
  const SIG l2 = n.lut("l2", {l1}, 0x2).placed(site_gid(9, 2, 0), 644);
  n.io_out("out", n.reg("b").clk(clk).d(l2).placed(site_gid(9, 7, 1), 643));
}

// Only the endpoint out of reach is named as left to the later steps; the
// connections above it, taken one at a time, are re-routed and never named,
// though they fail hold still (their budgets out of reach too).
TEST_F(HoldRerouteRulesTest, OnlyTheEndpointOutOfReachIsNamedTheConnectionsAboveItAreReRouted) {
  build(chain_of_two_luts);
  delay_clock("b", 20000);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 3);
  EXPECT_EQ(held_names(), std::vector<std::string>{"b"});
  request();
  EXPECT_LT(hold(input("l1", DB_INPUT_PORT_LUT_DATA)), 0);
  EXPECT_LT(hold(input("l2", DB_INPUT_PORT_LUT_DATA)), 0);
  for (const char* atom : {"b", "l1", "l2"}) EXPECT_TRUE(changed(n->find(atom))) << atom;
}

// The keeper's data edge of an endpoint may hold any id, the first one too:
// b's input is still an endpoint (taken in the first step, named when out
// of reach) once its register's cell is built again on freed ids.
TEST_F(HoldRerouteRulesTest, AnEndpointWhoseKeeperEdgeHasTheFirstIdIsStillAnEndpoint) {
  build(chain_of_two_luts);
  ASSERT_NO_FATAL_FAILURE(rebuild_on_freed_ids("b"));
  // The data pin's keeper edge took the first id.
  const KEM_NODE* pin = kem()->get_ic_edge_to_iterm(input("b", DB_INPUT_PORT_DATA_IN))->get_dst_node();
  bool first_id = false;
  for (int id = pin->begin_fanout(); id != -1; id = kem()->get_edge(id)->get_next_fanout())
    first_id = first_id || (id == 0 && kem()->get_edge(id)->get_kind() == KEM_EDGE_KEEPER_DATA);
  ASSERT_TRUE(first_id);
  delay_clock("b", 20000);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 3);
  EXPECT_EQ(held_names(), std::vector<std::string>{"b"});
}

// An endpoint whose budget is out of reach is named for that, not as held
// back for setup: a 40 ns clock leaves it far more setup room than deficit.
TEST_F(HoldRerouteRulesTest, AnEndpointOutOfReachIsNamedAsOutOfReach) {
  build([](NETLIST_BUILDER& n) {
    const SIG clk = n.io_in("clk");
    n.clock("clk", 40000, clk);
    const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
    n.io_out("out", n.reg("b").clk(clk).d(a).placed(site_gid(9, 7, 1), 643));
  });
  delay_clock("b", 20000);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 1);
  EXPECT_EQ(host::hold_reroute::still_failing_held(), (HELD{{"b", host::hold_reroute::HELD_REASON::OUT_OF_REACH}}));
}

// A later step whose one connection has no setup room (in1's path fails
// setup) takes nothing and the run goes on: in2's connection, after it,
// gets its detour.
TEST_F(HoldRerouteRulesTest, AStepWithoutSetupRoomDoesNotEndTheRun) {
  build([](NETLIST_BUILDER& n) {
    const SIG clk = clock(n);
    const SIG l = n.lut("l", {n.io_in("in1"), n.io_in("in2")}, 0x8).placed(site_gid(6, 4, 0), 644);
    n.io_out("out", n.reg("b").clk(clk).d(l).placed(site_gid(9, 7, 1), 643));
  });
  host::timing::set_io_delay(n->find("in1")->get_id(), {"clk", 30000, 0});
  host::timing::set_io_delay(n->find("in2")->get_id(), {"clk", 0, 0});
  analyse();
  delay_clock("b", 20000);
  ASSERT_LT(host::sta::edge_setup_slack(kem()->get_ic_edge_to_iterm(input("l", DB_INPUT_PORT_LUT_DATA))->get_id(), 0), 0);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 1);
  EXPECT_TRUE(changed(n->find("l")));
}

// An output whose hold fails by far more than its setup room, fed by a LUT
// far from the register before it: the LUT's connection into the output
// buffer ends the path, and only it is named as held back for setup; the
// connection into the LUT reaches the port only over that routed
// connection, so it is no endpoint and is taken later, on its own.
TEST_F(HoldRerouteRulesTest, AConnectionReachingThePortOnlyOverAnotherRoutedOneIsNoEndpoint) {
  build(
      [](NETLIST_BUILDER& n) {
        const SIG clk = clock(n);
        const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
        n.io_out("out", n.lut("l", {a}, 0x2).placed(site_gid(6, 6, 0), 644));
      },
      [this] {
        place_at(n->find("out"), 0, 5, 0);
        place_at(n->find("out~obuf"), 0, 5, 1);
      });
  host::timing::set_io_delay(n->find("out")->get_id(), {"clk", 0, -6000});
  analyse();
  const VOK_ATOM_ITERM* into_lut = input("l", DB_INPUT_PORT_LUT_DATA);
  const VOK_ATOM_ITERM* into_buffer = input("out~obuf", DB_INPUT_PORT_BOX);
  ASSERT_LT(hold(into_lut), 0);
  ASSERT_LT(hold(into_buffer), 0);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::still_failing_held(), (HELD{{"out~obuf", kSetup}}));
}

// A pipeline register's data input is routed into its slot: failing hold it
// is re-routed like any keeper's input, and its register joins the changed
// atoms.
TEST_F(HoldRerouteRulesTest, APipelineRegistersSlotInputIsReRouted) {
  build(
      [](NETLIST_BUILDER& n) {
        const SIG clk = clock(n);
        const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
        const SIG p = n.zota_reg("p").clk(clk).d(a);
        n.io_out("out", n.reg("b").clk(clk).d(p).placed(site_gid(5, 4, 1), 643));
      },
      [this] { place_in_slot(n->find("p"), 5, 4, 60); });
  delay_clock("p", 3000);
  ASSERT_LT(hold(input("p", DB_INPUT_PORT_DATA_IN)), 0);
  ASSERT_GE(hold(input("b", DB_INPUT_PORT_DATA_IN)), 0);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 1);
  EXPECT_TRUE(changed(n->find("p")));
}

// Two failing inputs of one LUT, both above an endpoint out of reach, are
// taken in steps of their own: the LUT joins the changed atoms once.
TEST_F(HoldRerouteRulesTest, AnAtomWithTwoReRoutedInputsIsListedOnceAsChanged) {
  build([](NETLIST_BUILDER& n) {
    const SIG clk = clock(n);
    const SIG a1 = n.reg("a1").clk(clk).d(n.io_in("in1")).placed(site_gid(2, 2, 1), 643);
    const SIG a2 = n.reg("a2").clk(clk).d(n.io_in("in2")).placed(site_gid(2, 9, 1), 643);
    const SIG l = n.lut("l", {a1, a2}, 0x8).placed(site_gid(9, 2, 0), 644);
    n.io_out("out", n.reg("b").clk(clk).d(l).placed(site_gid(9, 7, 1), 643));
  });
  delay_clock("b", 20000);
  SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids().clear();
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 3);
  std::vector<unsigned> ids = SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids();
  std::sort(ids.begin(), ids.end());
  const std::vector<unsigned> expected = [&] {
    std::vector<unsigned> v{static_cast<unsigned>(n->find("l")->get_id()), static_cast<unsigned>(n->find("b")->get_id())};
    std::sort(v.begin(), v.end());
    return v;
  }();
  EXPECT_EQ(ids, expected);
}

// A connection an end of which the netlist may not change (an atom that is
// not modifiable: its driver or its sink) is left as it is and named as
// kept; with both ends free it gets its detour and is not named as kept.
TEST_F(HoldRerouteRulesTest, AConnectionWithAnEndThatMayNotChangeIsKept) {
  for (const char* fixed : {"a", "b", ""}) {
    SCOPED_TRACE(fixed);
    build([](NETLIST_BUILDER& n) {
      const SIG clk = clock(n);
      const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
      n.io_out("out", n.reg("b").clk(clk).d(a).placed(site_gid(9, 7, 1), 643));
    });
    if (*fixed) n->find(fixed)->set_modifiable(false);
    analyse();
    delay_clock("b", 3000);
    ASSERT_LT(hold(input("b", DB_INPUT_PORT_DATA_IN)), 0);
    SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids().clear();
    host::hold_reroute::run();
    EXPECT_EQ(host::hold_reroute::last_rerouted(), *fixed ? 0 : 1);
    EXPECT_EQ(changed(n->find("b")), !*fixed);
    const HELD held = host::hold_reroute::still_failing_held();
    const auto kept = std::make_pair(std::string("b"), host::hold_reroute::HELD_REASON::PARTITION);
    EXPECT_EQ(std::count(held.begin(), held.end(), kept), *fixed ? 1 : 0);
    TearDown();
    SetUp();
  }
}

// Routing a blackboxed partition reserves stays though its netlist may
// change: a's input (in the top partition) over wires that A lists as its
// own is left alone and named as the partition's; A filled in again, it gets
// its detour.
TEST_F(HoldRerouteRulesTest, WiresABlackboxedPartitionReservesAreKept) {
  std::unique_ptr<BOX_BUILDER> box;
  build([&](NETLIST_BUILDER& n) {
    const SIG clk = clock(n);
    const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
    box = std::make_unique<BOX_BUILDER>(n.blackbox("A", [&](NETLIST_BUILDER& c) {
      c.output("o", c.reg("b").clk(c.input("c")).d(c.input("d")).placed(site_gid(9, 7, 1), 643));
    }));
    box->in("c", clk).in("d", a);
    n.io_out("out", box->out("o"));
  });
  const PARTITION_BUILDER part_a = partition("A", *box).recompiled();
  host::timing::set_io_delay(n->find("in")->get_id(), {"clk", 0, 0});
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  request();
  delay_clock("a", 3000);
  const VOK_ATOM_ITERM* d = input("a", DB_INPUT_PORT_DATA_IN);
  ASSERT_LT(hold(d), 0);
  // The shell shows the box's own netlist (a state without one would show
  // the top netlist, inside its own box).
  part_a->add_state(JOV_PARTITION::BBIC_DEPOPULATED)
      ->set_atom_netlist(static_cast<VOK_ATOM_BLACKBOX*>(n->find("A"))->get_child_netlist());
  part_a->set_active_state(JOV_PARTITION::BBIC_DEPOPULATED);
  std::vector<int>& reserved = part_a->get_state()->reserved_re_ids();
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  for (int sink : routing->get_sink_nodes(d))
    for (int id = sink; id >= 0; id = routing->forest().parent(id))
      if (routing->get_value(id) < -1) reserved.push_back(static_cast<int>(static_cast<unsigned>(routing->get_value(id)) & 0x7FFFFFFFu));
  ASSERT_FALSE(reserved.empty());
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 0);
  EXPECT_EQ(host::hold_reroute::still_failing_held(), (HELD{{"a", host::hold_reroute::HELD_REASON::PARTITION}}));
  part_a->set_active_state(JOV_PARTITION::DEFAULT);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 1);
}

// A locked partition keeps only the connections over wires it reserves:
// a's input, over wires A lists as its own, is held as the partition's,
// while a2's input, failing too but over none of them, is re-routed.
TEST_F(HoldRerouteRulesTest, ALockedPartitionHoldsOnlyTheConnectionsOverItsWires) {
  std::unique_ptr<BOX_BUILDER> box;
  build([&](NETLIST_BUILDER& n) {
    const SIG clk = clock(n);
    const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
    box = std::make_unique<BOX_BUILDER>(n.blackbox("A", [&](NETLIST_BUILDER& c) {
      c.output("o", c.reg("b").clk(c.input("c")).d(c.input("d")).placed(site_gid(9, 7, 1), 643));
    }));
    box->in("c", clk).in("d", a);
    n.io_out("out", box->out("o"));
    n.io_out("out2", n.reg("a2").clk(clk).d(n.io_in("in2")).placed(site_gid(2, 9, 1), 643));
  });
  const PARTITION_BUILDER part_a = partition("A", *box).recompiled();
  for (const char* in : {"in", "in2"}) host::timing::set_io_delay(n->find(in)->get_id(), {"clk", 0, 0});
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  request();
  delay_clock("a", 3000);
  delay_clock("a2", 1000);
  const VOK_ATOM_ITERM* d = input("a", DB_INPUT_PORT_DATA_IN);
  const VOK_ATOM_ITERM* d2 = input("a2", DB_INPUT_PORT_DATA_IN);
  ASSERT_LT(hold(d), 0);
  ASSERT_LT(hold(d2), 0);
  std::vector<int>& reserved = part_a->get_state()->reserved_re_ids();
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  for (int sink : routing->get_sink_nodes(d))
    for (int id = sink; id >= 0; id = routing->forest().parent(id))
      if (routing->get_value(id) < -1) reserved.push_back(static_cast<int>(static_cast<unsigned>(routing->get_value(id)) & 0x7FFFFFFFu));
  ASSERT_FALSE(reserved.empty());
  part_a->get_state()->get_atom_netlist()->set_modifiable(false);
  SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids().clear();
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 1);
  EXPECT_EQ(host::hold_reroute::still_failing_held(), (HELD{{"a", host::hold_reroute::HELD_REASON::PARTITION}}));
  EXPECT_TRUE(changed(n->find("a2")));
  EXPECT_FALSE(changed(n->find("a")));
  request();
  EXPECT_GE(hold(d2), 0);
  EXPECT_LT(hold(d), 0);
}

// The walk from a connection to an output port follows every edge, the
// first id too: the output buffer's cells built again on freed ids, the
// walk from its input to the port crosses the edge with the first id, and
// the LUT's connection into it still ends the path (held back for setup).
TEST_F(HoldRerouteRulesTest, AnEdgeWithTheFirstIdOnTheWalkToThePortIsFollowed) {
  build(
      [](NETLIST_BUILDER& n) {
        n.lut("spare", {n.io_in("sp")}, 0x2);
        const SIG clk = clock(n);
        const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
        n.io_out("out", n.lut("l", {a}, 0x2).placed(site_gid(6, 6, 0), 644));
      },
      [this] {
        place_at(n->find("out"), 0, 5, 0);
        place_at(n->find("out~obuf"), 0, 5, 1);
      });
  host::timing::set_io_delay(n->find("out")->get_id(), {"clk", 0, -6000});
  analyse();
  ASSERT_NO_FATAL_FAILURE(rebuild_on_freed_ids("out~obuf"));
  request();
  const VOK_ATOM_ITERM* into_buffer = input("out~obuf", DB_INPUT_PORT_BOX);
  // The edge with the first id leaves the buffer's input pin.
  const KEM_NODE* pin = kem()->get_ic_edge_to_iterm(into_buffer)->get_dst_node();
  bool first_id = false;
  for (int id = pin->begin_fanout(); id != -1; id = kem()->get_edge(id)->get_next_fanout())
    first_id = first_id || id == 0;
  ASSERT_TRUE(first_id);
  ASSERT_LT(hold(into_buffer), 0);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::still_failing_held(), (HELD{{"out~obuf", kSetup}}));
}

}  // namespace
