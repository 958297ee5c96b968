// Which failing connections the hold-fix re-route counts as ending at an
// output port: those whose sink leads to the port over cell arcs and
// dedicated connections only.
#include <string>
#include <utility>
#include <vector>

#include "cmp/cmp_facade.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/timing_builder.h"
#include "tibex/tibex_hold_reroute.h"
#include "tibex/tibex_vpr_facade.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class HoldReroutePortWalkTest : public HostTest {
protected:
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  // a register drives `cells` I/O cells in a chain at the output pin "out",
  // on the sites of its pad after the pad and its buffer; the output's hold
  // fails by far more than its setup room. The failing connection's sink.
  const VOK_ATOM_ITERM* output_through_cells(int cells) {
    auto dev = device(Family::KY);
    dev.corners({Corner::slow(), Corner::fast()});
    dev.build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    auto n = netlist();
    const SIG clk = n.io_in("clk");
    n.clock("clk", 4000, clk);
    SIG last = n.reg("a").clk(clk).d(n.io_in("in")).placed(site_gid(2, 2, 1), 643);
    std::vector<VOK_ATOM_NODE*> chain;
    for (int k = 0; k < cells; ++k) {
      auto cell = n.atom(VOK_ATOM_KIND::COMB_CELL, "io" + std::to_string(k)).input(DB_INPUT_PORT_BOX, 0, last);
      cell->set_io_roles(k == 0 ? VOK_ATOM_NODE::IO_ROLE_DDIO_OUT : VOK_ATOM_NODE::IO_ROLE_DELAY_CHAIN);
      chain.push_back(cell.atom());
      last = SIG(cell.atom());
    }
    n.io_out("out", last);
    place_at(n.find("out"), 0, 5, 0);
    place_at(n.find("out~obuf"), 0, 5, 1);
    for (int k = 0; k < cells; ++k) place_at(chain[static_cast<std::size_t>(k)], 0, 5, 2 + k);
    TIBEX_VPR_FACADE f;
    EXPECT_TRUE(f.place());
    EXPECT_TRUE(f.route());
    VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), 1);
    host::timing::set_io_delay(n.find("out")->get_id(), {"clk", 0, -6000});
    env->indicate_that_atom_netlist_is_modified();
    env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false);
    SWAVO_RECOMPILE_OP::parse_recompile_argument("routed -hold_fixup");
    return chain.front()->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
  }
  void expect_endpoint(int cells);
  WEXAN_ENV* env = nullptr;
};

// The connection into the first I/O cell ends at the port, however many of
// the pad's sites the cells before its buffer take: the re-route takes it
// with the endpoints and names it as held back for setup.
void HoldReroutePortWalkTest::expect_endpoint(int cells) {
  const VOK_ATOM_ITERM* into = output_through_cells(cells);
  ASSERT_FALSE(VOK_CHIP_DB_ENTRY::current()->get_routing()->get_sink_nodes(into).empty());
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  ASSERT_LT(host::sta::edge_hold_slack(kem->get_ic_edge_to_iterm(into)->get_id(), 0), 0);
  host::hold_reroute::run();
  EXPECT_EQ(host::hold_reroute::last_rerouted(), 1);
  using HELD = std::vector<std::pair<std::string, host::hold_reroute::HELD_REASON>>;
  EXPECT_EQ(host::hold_reroute::still_failing_held(), (HELD{{"io0", host::hold_reroute::HELD_REASON::SETUP}}));
}

TEST_F(HoldReroutePortWalkTest, OneIoCellBeforeTheOutputBuffer) { expect_endpoint(1); }
TEST_F(HoldReroutePortWalkTest, TwoIoCellsBeforeTheOutputBuffer) { expect_endpoint(2); }
TEST_F(HoldReroutePortWalkTest, EveryFreeSiteOfThePadHoldsAnIoCell) { expect_endpoint(4); }

}  // namespace
