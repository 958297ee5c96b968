// Timing-netlist write-out: the decisions taken before the intermediate
// snapshot is consulted.
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "jov/jov_design.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_expert.h"
#include "velmo_finalize_parasitics.h"
#include "wexan/wexan_env.h"

using host::testing::DEVICE_BUILDER;
using host::testing::Family;
using host::testing::HostTest;

namespace {
class KemWriteTest : public HostTest {
protected:
  void make(DEVICE_BUILDER device) {
    device.build();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    m_expert = VELMO_EXPERT::create(CMP_FACADE::current(), m_env);
  }
  void TearDown() override {
    VELMO_EXPERT::destroy();
    delete m_env;
    HostTest::TearDown();
  }
  void set_snapshot(const std::string& text) { JOV_ROOT::get()->get_design("")->set_current_snapshot_str(text); }
  bool wrote_anything() const {
    for (const std::string& name : host::call_names())
      if (name == "WEXAN_ENV::write_out_kem_netlist" || name == "KEM_MANAGER::write_kem_netlist_to_disk") return true;
    return false;
  }
  WEXAN_ENV* m_env = nullptr;
  VELMO_EXPERT* m_expert = nullptr;
};
}  // namespace

TEST_F(KemWriteTest, FinalAfterParasiticHoldFixingIsAlreadyWritten) {
  make(DEVICE_BUILDER(Family::KY));
  set_snapshot("final");
  VELMO_FINALIZE_PARASITICS::has_written_out_kem = true;
  host::clear_calls();
  EXPECT_TRUE(m_expert->write_out_kem_netlist(true, true));
  EXPECT_FALSE(wrote_anything());
  VELMO_FINALIZE_PARASITICS::has_written_out_kem = false;
}

TEST_F(KemWriteTest, NimbrelEmulationSkipsRetimedAndFinal) {
  DEVICE_BUILDER device(Family::KY);
  DeviceSpec spec = device.build();
  spec.zento_nimbrel_emulate = true;
  host::device::configure(spec);
  m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  m_expert = VELMO_EXPERT::create(CMP_FACADE::current(), m_env);
  for (const char* s : {"retimed", "final"}) {
    set_snapshot(s);
    host::clear_calls();
    EXPECT_TRUE(m_expert->write_out_kem_netlist(true, true)) << s;
    EXPECT_FALSE(wrote_anything()) << s;
  }
}
