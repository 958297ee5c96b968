// Start-up on a device whose retimer is supported puts the registers that
// feed a carry-in into pipeline-register (ZOTA) mode and says how many.
#include <algorithm>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_main.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_atom_util.h"

using host::testing::HostTest;

namespace {

class ZotaForcingTest : public HostTest {
protected:
  int modified_calls() {
    auto names = host::call_names();
    return static_cast<int>(std::count(names.begin(), names.end(), "WEXAN_ENV::indicate_that_atom_netlist_is_modified"));
  }
};

}  // namespace

TEST_F(ZotaForcingTest, RegistersFeedingCarryInsAreForcedOnce) {
  host::testing::device(host::testing::Family::KY).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r1 = n.reg("r1").clk(clk).d(n.input_port("a"));
  auto z = n.zota_reg("z").clk(clk).d(n.input_port("b"));
  auto r2 = n.reg("r2").clk(clk).d(n.input_port("c"));
  auto l = n.lut("l", {r2}, 0x2ull);
  auto fed_by_reg = n.carry_chain("add_a", 3);
  fed_by_reg.head().input(DB_INPUT_PORT_CARRY_IN, 0, r1);
  n.carry_chain("add_b", 2).head().input(DB_INPUT_PORT_CARRY_IN, 0, z);
  n.carry_chain("add_c", 2).head().input(DB_INPUT_PORT_CARRY_IN, 0, l);
  // A register behind a black-box boundary still counts.
  auto box = n.blackbox("u_sub", [](auto& c) { c.output("o", c.reg("inner").clk(c.input("c"))); });
  box.in("c", clk);
  n.carry_chain("add_d", 1).head().input(DB_INPUT_PORT_CARRY_IN, 0, box.out("o"));
  // A carry-in tied to the netlist's ground has a source but no atom behind it.
  n.carry_chain("add_e", 1).head().input(DB_INPUT_PORT_CARRY_IN, 0,
                                         host::testing::SIG(r1->get_parent_netlist()->get_ground_oterm()));

  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Forced 2 carry chain registers to ZOTA mode"));
  EXPECT_TRUE(ZEL_ATOM_UTIL::is_zota_marked_reg(r1));
  EXPECT_FALSE(ZEL_ATOM_UTIL::is_zota_marked_reg(r2));
  VOK_ATOM_NODE* inner = nullptr;
  for (VOK_ATOM_NODE* a : box.child()->nodes(VOK_TRAVERSE_AS_STORED))
    if (a->is_ff()) inner = a;
  ASSERT_NE(inner, nullptr);
  EXPECT_TRUE(ZEL_ATOM_UTIL::is_zota_marked_reg(inner));
  EXPECT_EQ(modified_calls(), 2);
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "WEXAN_ENV::indicate_that_atom_netlist_is_modified(" + std::to_string(r1.id()) + ", false, false)",
                  "TESKIN::MANAGER::initialize"}));
  velmo_shutdown_fitter();

  // Every feeding register is marked now: the count reads 0 and nothing is
  // tainted.
  host::clear_calls();
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Forced 0 carry chain registers to ZOTA mode"));
  EXPECT_EQ(modified_calls(), 0);
  velmo_shutdown_fitter();
}

TEST_F(ZotaForcingTest, NoForcingWithoutRetimerSupportOrUserMacros) {
  host::testing::device(host::testing::Family::KX).build();
  auto n = host::testing::netlist();
  auto r1 = n.reg("r1").clk(n.input_port("clk"));
  n.carry_chain("add", 2).head().input(DB_INPUT_PORT_CARRY_IN, 0, r1);
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  velmo_shutdown_fitter();

  host::testing::device(host::testing::Family::KY).build();
  cfg_set_off("enable_user_macros");
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  velmo_shutdown_fitter();

  EXPECT_FALSE(ZEL_ATOM_UTIL::is_zota_marked_reg(r1));
  EXPECT_EQ(modified_calls(), 0);
  for (const auto& t : host::debug::texts()) EXPECT_EQ(t.find("carry chain registers"), std::string::npos) << t;
}
