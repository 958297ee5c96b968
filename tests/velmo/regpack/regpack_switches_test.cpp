// The two switches of the prefit packing runs: the prefit operations' master
// switch stops both runs as the packing switch does, and user packing ends
// early without user-locked registers only while early exit is allowed.
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "nolt/nolt_register_packer.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "velmo_register_packer.h"
#include "wexan/wexan_env.h"

using host::testing::DEVICE_BUILDER;
using host::testing::Family;
using host::testing::HostTest;

namespace {

class RegpackSwitchesTest : public HostTest {
protected:
  void make_env() {
    DEVICE_BUILDER(Family::KY).build();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete m_env;
    HostTest::TearDown();
  }
  WEXAN_ENV* m_env = nullptr;
};

}  // namespace

TEST_F(RegpackSwitchesTest, PrefitOperationsOffSkipBothRuns) {
  // Each run reads the switches once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("velmo_enable_all_prefit_ops");
  make_env();
  host::clear_calls();
  EXPECT_TRUE(VELMO_REGISTER_PACKER::do_packing(m_env));
  EXPECT_TRUE(VELMO_REGISTER_PACKER::do_packing_with_w3j3(m_env));
  EXPECT_TRUE(host::calls().empty());
}

TEST_F(RegpackSwitchesTest, WithoutEarlyExitUserPackingRunsWithoutLockedRegisters) {
  // The early-exit switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("velmo_allow_early_exit_skip_of_user_regpack");
  make_env();
  auto n = host::testing::netlist();
  n.reg("free").clk(n.input_port("clk"));
  ASSERT_FALSE(VELMO_REGISTER_PACKER::check_for_user_locked_ffs(m_env));
  host::clear_calls();
  NOLT_FF_REGISTER_PACKER_OP op(false);
  host::script::queue<bool>("NOLT_FF_REGISTER_PACKER_OP::pack_registers_due_to_location_assignments").push(false);
  EXPECT_FALSE(VELMO_REGISTER_PACKER::do_user_register_packing(m_env, &op));
  EXPECT_EQ(host::call_count("NOLT_RP_UTIL::sweep_inverters_and_wire_luts_at_packable_boundaries"), 1);
  EXPECT_EQ(host::call_count("NOLT_FF_REGISTER_PACKER_OP::initialize_and_sweep_netlist"), 1);
}
