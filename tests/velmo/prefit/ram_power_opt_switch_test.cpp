// The RAM power optimisation after LUT-RAM conversion has its own switch:
// off, the conversion alone decides the stage's result.
#include "cfg/cfg.h"
#include "common/host_script.h"
#include "expert_fixture.h"
#include "testing/own_process.h"

using velmo_test::ExpertTest;

namespace {
class RamPowerOptSwitchTest : public ExpertTest {};
}  // namespace

TEST_F(RamPowerOptSwitchTest, SwitchedOffTheConversionAloneDecides) {
  // The switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("velmo_perform_kz_ram_power_opt");
  device(host::testing::Family::KZ);
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->perform_lutram_conversion());
  EXPECT_EQ(count_calls("VINTO::perform_lutram_conversion"), 1);
  EXPECT_EQ(count_calls("VINTO::perform_ram_power_opt"), 0);
  host::script::queue<bool>("VINTO::perform_lutram_conversion").push(false);
  EXPECT_FALSE(e->perform_lutram_conversion());
  EXPECT_EQ(count_calls("VINTO::perform_ram_power_opt"), 0);
}
