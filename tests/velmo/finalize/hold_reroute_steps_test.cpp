// The hold-fix re-route's steps after the first: the failing connections
// above an endpoint out of reach, taken one at a time.
#include <algorithm>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_script.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
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

class HoldRerouteStepsTest : public HostTest {
protected:
  // a -> l1 -> l2 -> b, far apart: three routed connections into b's data
  // input, b's clock delayed far past what any detour can give.
  void SetUp() override {
    HostTest::SetUp();
    auto dev = device(Family::KY);
    dev.corners({Corner::slow(), Corner::fast()});
    dev.build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    auto n = netlist();
    // A spare input first: its cells own the timing netlist's first edges.
    n.lut("spare", {n.io_in("sp")}, 0x2);
    const SIG clk = n.io_in("clk");
    n.clock("clk", 4000, clk);
    const SIG a = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
    l1 = n.lut("l1", {a}, 0x2).placed(site_gid(2, 7, 0), 644);
    l2 = n.lut("l2", {SIG(l1)}, 0x2).placed(site_gid(9, 2, 0), 644);
    b = n.reg("b").clk(clk).d(SIG(l2)).placed(site_gid(9, 7, 1), 643);
    n.io_out("out", SIG(b));
    TIBEX_VPR_FACADE f;
    ASSERT_TRUE(f.place());
    ASSERT_TRUE(f.route());
    VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), 1);
    // The timing utility exists once asked for; the clock delay is
    // annotated on it.
    request();
    host::hov::utility()->annotate_delays_of_connection(b, DB_INPUT_PORT_CLK, 0, 20000, 20000);
    env->indicate_that_atom_netlist_is_modified();
    request();
    SWAVO_RECOMPILE_OP::parse_recompile_argument("routed -hold_fixup");
  }
  void request() { env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false); }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  static bool has(const std::string& text) {
    const auto& r = host::hold_reroute::last_reports();
    return std::any_of(r.begin(), r.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  WEXAN_ENV* env = nullptr;
  VOK_ATOM_NODE *l1 = nullptr, *l2 = nullptr, *b = nullptr;
};

// The endpoint's detour cannot reach its budget, so the steps after it take
// the connections above it; one of them failing to route does not end the
// run: the next one is still taken.
TEST_F(HoldRerouteStepsTest, AStepThatRoutesNothingDoesNotEndTheRun) {
  host::hold_reroute::run();
  ASSERT_TRUE(has("minimum delay budget of")) << "the endpoint's budget is out of reach";
  const int all = host::hold_reroute::last_rerouted();
  EXPECT_EQ(all, 3);  // b's data input, then l2's and l1's inputs one at a time
  // Again, the second step's implement failing.
  host::script::queue<int>("DUX::implement").push(-1);
  host::script::queue<int>("DUX::implement").push(4);
  host::hold_reroute::run();
  EXPECT_TRUE(has("hold-fix re-route pass 2 undone (status 4, 1 connections)"));
  EXPECT_EQ(host::hold_reroute::last_rerouted(), all - 1);
}

// Ids of edges a netlist edit freed go to the next new edges, the first id
// too: a failing connection whose edge took it is re-routed like any other.
TEST_F(HoldRerouteStepsTest, TheFirstEdgeIdIsSearchedToo) {
  for (const char* name : {"spare", "sp~ibuf", "sp"}) {
    VOK_ATOM_NODE* atom = netlist().find(name);
    ASSERT_NE(atom, nullptr) << name;
    const int id = atom->get_id();
    atom->get_parent_netlist()->remove(atom);
    env->indicate_that_atom_netlist_is_modified(id, false, false);
  }
  request();
  ASSERT_EQ(KEM_MANAGER::get()->get_kem_netlist()->get_edge(0), nullptr);
  // b's data input now taken from l1 over its old routing; the connection
  // read again on its own takes the first free id.
  VOK_ATOM_ITERM* d = b->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  vok_connect(l1->get_oterm_slot(0), d);
  XAB_DELAY_ANNOTATOR(CMP_FACADE::current(), true).rebuild_netlist_for_atoms({}, {}, {}, {}, {d});
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  ASSERT_EQ(kem->get_ic_edge_to_iterm(d)->get_id(), 0);
  ASSERT_LT(host::sta::edge_hold_slack(0, 0), 0);
  std::vector<unsigned>& changed = SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids();
  changed.clear();
  host::hold_reroute::run();
  EXPECT_NE(std::find(changed.begin(), changed.end(), static_cast<unsigned>(b->get_id())), changed.end());
  EXPECT_TRUE(has("minimum delay budget of"));
}

}  // namespace
