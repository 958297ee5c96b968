// The hold-driven re-route pass: its result follows the legality engine's
// status; without an environment or timing data it stops on an internal
// error before it edits anything.
#include <algorithm>
#include <memory>
#include <string>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/timing_builder.h"
#include "tibex/tibex_vpr_facade.h"
#include "velmo_router.h"
#include "vok/vok_chip_db_entry.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class SparResultRulesTest : public HostTest {
protected:
  // a -> p (a pipeline register in a slot of b's LAB) -> b; p's clock
  // delayed so that its data input fails hold.
  void SetUp() override {
    HostTest::SetUp();
    device(Family::KY).corners({Corner::slow()}).build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    const SIG clk = n->io_in("clk");
    n->clock("clk", 4000, clk);
    const SIG a = n->reg("a").clk(clk).d(n->io_in("in")).placed(site_gid(2, 2, 1), 643);
    p = n->zota_reg("p").clk(clk).d(a);
    n->io_out("out", n->reg("b").clk(clk).d(p).placed(site_gid(5, 4, 1), 643));
    TIBEX_VPR_FACADE f;
    ASSERT_TRUE(f.place());
    place_in_slot(p, 5, 4, 60);
    ASSERT_TRUE(f.route()) << host::facade::last_route_failure();
    VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), 1);
    request();
    host::hov::utility()->annotate_delays_of_connection(p, DB_INPUT_PORT_CLK, 0, 3000, 3000);
    request();
    const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
    ASSERT_LT(host::sta::edge_hold_slack(kem->get_ic_edge_to_iterm(d_of_p())->get_id(), 0), 0);
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  void request() { env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false); }
  VOK_ATOM_ITERM* d_of_p() const { return p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0); }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<NETLIST_BUILDER> n;
  VOK_ATOM_NODE* p = nullptr;
};

// Only a step that succeeds is a success: any other status of the legality
// engine, not one failure code only, makes the pass fail.
TEST_F(SparResultRulesTest, EveryStatusButSuccessIsAFailure) {
  EXPECT_TRUE(VELMO_SPAR(false).run());
  for (int status : {0, 2, 4, 11}) {
    host::script::queue<int>("DUX::implement").push(status);
    EXPECT_FALSE(VELMO_SPAR(false).run()) << status;
  }
}

class SparPreconditionsTest : public HostTest {};

// Nothing to read slacks from: no environment, then an environment whose
// design has no timing netlist. Either stops the run before the legality
// engine is made.
TEST_F(SparPreconditionsTest, WithoutAnEnvironmentOrTimingDataTheRunIsAnInternalError) {
  const HOST_INTERNAL_ERROR no_env = expect_internal_error([] { VELMO_SPAR(false).run(); });
  EXPECT_EQ(no_env.condition, "env");
  EXPECT_EQ(no_env.tag, "VELMO");
  EXPECT_EQ(no_env.file, "velmo_router");

  device(Family::KY).corners({Corner::slow()}).build();
  WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  NETLIST_BUILDER n(netlist());
  n.io_out("out", n.reg("a").clk(n.io_in("clk")).d(n.io_in("in")));
  ASSERT_EQ(hov_get_accessories()->get_kem_netlist(), nullptr);
  host::clear_calls();
  const HOST_INTERNAL_ERROR no_timing = expect_internal_error([] { VELMO_SPAR(false).run(); });
  EXPECT_EQ(no_timing.condition, "m_edge_slack_data");
  EXPECT_EQ(no_timing.tag, "VELMO");
  const auto lines = host::call_lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("DUX::DUX(", 0) == 0; }), 0);
}

}  // namespace
