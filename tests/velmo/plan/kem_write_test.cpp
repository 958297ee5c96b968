// Timing-netlist write-out: the decisions taken before the intermediate
// snapshot is consulted.
#include <algorithm>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_bbic_states.h"
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

// What follows the intermediate-snapshot decision (none is written in these
// tests: the project does not enable them).
TEST_F(KemWriteTest, WithoutASnapshotOnlyAForcedWriteReachesTheWriter) {
  make(DEVICE_BUILDER(Family::KX));
  set_snapshot("routed");
  host::clear_calls();
  EXPECT_TRUE(m_expert->write_out_kem_netlist(true, false));
  EXPECT_FALSE(wrote_anything());
  // Forced: the writer gets the host flag on a device without pipeline
  // registers, and its failure is the result.
  host::script::queue<bool>("KEM_MANAGER::write_kem_netlist_to_disk").push(false);
  EXPECT_FALSE(m_expert->write_out_kem_netlist(true, true));
  EXPECT_THAT(host::call_lines(), ::testing::Contains("WEXAN_ENV::write_out_kem_netlist(true)"));

  // While partitions are blackboxed nothing is written, forced or not.
  host::clear_calls();
  velmo_bbic_set_active(true);
  EXPECT_TRUE(m_expert->write_out_kem_netlist(true, true));
  velmo_bbic_set_active(false);
  EXPECT_FALSE(wrote_anything());
}

TEST_F(KemWriteTest, PipelineRegisterDevicesWriteWithoutTheHostFlag) {
  // The routing slots decide, not the retimer flow.
  make(DEVICE_BUILDER(Family::KY).zota_flow_supported(false));
  set_snapshot("placed");
  host::clear_calls();
  m_expert->write_out_kem_netlist(true, true);
  EXPECT_THAT(host::call_lines(), ::testing::Contains("WEXAN_ENV::write_out_kem_netlist(false)"));
}

TEST_F(KemWriteTest, ForcedOnFinalWithAnalyzerReportsDropsTheDiskCopy) {
  make(DEVICE_BUILDER(Family::KX));
  set_snapshot("final");
  // Without the reports a forced final write reaches the writer.
  host::clear_calls();
  m_expert->write_out_kem_netlist(true, true);
  EXPECT_TRUE(wrote_anything());
  cfg_set_on("velmo_finalize_create_sta_reports");
  host::clear_calls();
  EXPECT_TRUE(m_expert->write_out_kem_netlist(true, true));
  EXPECT_THAT(host::call_names(), ::testing::Contains("KEM_MANAGER::delete_kem_netlist_from_disk"));
  EXPECT_FALSE(wrote_anything());
  // Only a forced write on the final snapshot drops it.
  host::clear_calls();
  EXPECT_TRUE(m_expert->write_out_kem_netlist(true, false));
  set_snapshot("routed");
  m_expert->write_out_kem_netlist(true, true);
  EXPECT_THAT(host::call_names(), ::testing::Not(::testing::Contains("KEM_MANAGER::delete_kem_netlist_from_disk")));
  EXPECT_TRUE(wrote_anything());
}

TEST_F(KemWriteTest, NimbrelWritesOnlyWhenAskedTo) {
  make(DEVICE_BUILDER(Family::KY));
  set_snapshot("nimbrel");
  host::clear_calls();
  EXPECT_TRUE(m_expert->write_out_kem_netlist(true, true));
  EXPECT_FALSE(wrote_anything());
  cfg_set_on("nimbrel_write_kem_netlist_to_disk");
  m_expert->write_out_kem_netlist(true, true);
  EXPECT_TRUE(wrote_anything());
}

// In the early-access flow pending taints are listed (up to the limit plus
// one), then dropped, so that writing rebuilds nothing.
TEST_F(KemWriteTest, EarlyAccessFlowListsAndDropsTheTaints) {
  DEVICE_BUILDER device(Family::KY);
  DeviceSpec spec = device.build();
  spec.zento_retimer_debugging_flow = true;
  host::device::configure(spec);
  auto n = host::testing::netlist();
  auto a = n.lut("a", {n.input_port("i")}, 0x2);
  auto b = n.lut("b", {a}, 0x2);
  m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  m_expert = VELMO_EXPERT::create(CMP_FACADE::current(), m_env);
  set_snapshot("retimed");
  m_env->indicate_that_atom_netlist_is_modified(a.id());
  m_env->indicate_that_atom_netlist_is_modified(b.id());
  HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
  ASSERT_EQ(taints->get_num_tainted_atoms(), 2);
  ASSERT_FALSE(m_env->hov_utility_reflects_atom_netlist_exactly());
  cfg_set_int_value("wexan_ky_taint_debug", 0);
  m_expert->write_out_kem_netlist(true, true);
  const auto texts = host::debug::texts();
  EXPECT_THAT(texts, ::testing::Contains("Ignoring taints for EA flow since we don't want to rebuild W3J3/HEP/KEM!"));
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                          [](const std::string& t) { return t.rfind("Atom ", 0) == 0 && t.find(" was tainted: ") != std::string::npos; }),
            1);
  EXPECT_THAT(texts, ::testing::Contains("Atom " + std::to_string(a.id()) + " was tainted: a"));
  EXPECT_EQ(taints->get_num_tainted_atoms(), 0);
  EXPECT_TRUE(taints->hov_reflects_atom_netlist_exactly());
  EXPECT_TRUE(wrote_anything());

  // Without the early-access flow the taints stay.
  set_snapshot("routed");
  m_env->indicate_that_atom_netlist_is_modified(a.id());
  m_expert->write_out_kem_netlist(true, true);
  EXPECT_EQ(taints->get_num_tainted_atoms(), 1);

  // The default limit lists 21 atoms; ids the netlist does not hold are
  // listed as unknown.
  host::cfg::unset("wexan_ky_taint_debug");
  set_snapshot("retimed");
  for (int id = 1000; id < 1030; ++id) m_env->indicate_that_atom_netlist_is_modified(id);
  const size_t before = host::debug::texts().size();
  m_expert->write_out_kem_netlist(true, true);
  const auto listed = host::debug::texts();
  const auto tainted = [&](const char* what) {
    return std::count_if(listed.begin() + before, listed.end(), [&](const std::string& t) {
      return t.rfind("Atom ", 0) == 0 && t.find(what) != std::string::npos;
    });
  };
  EXPECT_EQ(tainted(" was tainted: "), 21);
  EXPECT_GE(tainted(" was tainted: unknown"), 20);
  EXPECT_EQ(taints->get_num_tainted_atoms(), 0);
}
