// Start-up forces carry-feeding registers into pipeline-register mode only
// where the retimer flow is supported: pipeline-register sites in the
// routing alone are not enough.
#include <string>

#include "cmp/cmp_facade.h"
#include "dev/dev_family.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_main.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_atom_util.h"

using host::testing::HostTest;

namespace {
class ZotaForcingSupportTest : public HostTest {};
}  // namespace

TEST_F(ZotaForcingSupportTest, ForcingFollowsRetimerSupportNotRoutingSlots) {
  for (const bool supported : {false, true}) {
    SCOPED_TRACE(supported ? "flow supported" : "flow not supported");
    host::testing::device(host::testing::Family::KY).zota_flow_supported(supported).build();
    ASSERT_TRUE(host::device::zota_check(0));  // the routing has pipeline-register sites either way
    const std::string k = supported ? "1" : "0";
    auto n = host::testing::netlist();
    auto r = n.reg("r" + k).clk(n.input_port("clk" + k)).d(n.input_port("d" + k));
    n.carry_chain("add" + k, 2).head().input(DB_INPUT_PORT_CARRY_IN, 0, r);
    ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
    velmo_shutdown_fitter();
    EXPECT_EQ(ZEL_ATOM_UTIL::is_zota_marked_reg(r), supported);
    // The unsupported case runs first: any count line is this run's.
    bool reported = false;
    for (const auto& t : host::debug::texts()) reported |= t.find("carry chain registers") != std::string::npos;
    EXPECT_EQ(reported, supported);
  }
}
