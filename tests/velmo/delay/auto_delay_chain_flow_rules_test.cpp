// The automatic delay-chain pass's flow seen from the host: the utility's
// invoke mode, the verbose pass's four timing dumps, the timing updates
// only after a write, new per-atom slack records, and the pad-to-core
// chains written without a change mark.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "omz/omz_option.h"
#include "sta/sta_io_constraints.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/io_delay_scene.h"
#include "testing/netlist_builder.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "yos/yos_interface.h"

using host::testing::Family;

namespace {

YOS_UINT_DATA_ENUM T(int t) { return static_cast<YOS_UINT_DATA_ENUM>(t); }
using PASS = VELMO_AUTO_DELAY_CHAIN_OP;

class AutoDelayChainFlowRulesTest : public host::testing::EnvTest {
protected:
  // The pin scene with the pass switched on and din's input delay.
  void design(int setup, int hold) {
    host::testing::device(Family::KY).build();
    sc = host::testing::scenes::io_delay_chains();
    host::options::set(904, 1, "on");
    host::timing::set_io_delay(sc.din->get_id(), {"clk", setup, hold});
    m_env->indicate_that_atom_netlist_is_modified();
  }
  bool run() {
    host::clear_calls();
    VELMO_DELAY_CHAIN_OP owner(m_env);
    PASS pass(m_env, &owner);
    return pass.work_new();
  }
  static unsigned setting_of(VOK_ATOM_NODE* atom, int type) {
    unsigned v = 0;
    yos_current_interface()->get_uint_data(atom, T(type), &v);
    return v;
  }
  host::testing::scenes::IO_DELAY_CHAINS sc;
};

// The timing utility is asked for in mode 2 when the compiler is in timing
// mode, in mode 3 otherwise.
TEST_F(AutoDelayChainFlowRulesTest, TheUtilityIsAskedForInTheCompilersTimingMode) {
  design(300, 100);
  for (bool timing_mode : {false, true}) {
    m_env->get_cmp()->set_timing_mode_flag(timing_mode);
    EXPECT_TRUE(run());
    ASSERT_NE(m_env->get_hov_utility_ptr(), nullptr);
    EXPECT_EQ(m_env->get_hov_utility_ptr()->get_mode(), timing_mode ? 2 : 3) << timing_mode;
  }
}

// The timing netlist is brought up to date, and the compiler's timing
// updated, only after a pass that wrote a setting: nothing when nothing is
// written, once at the end when only the pin-to-core groups write.
TEST_F(AutoDelayChainFlowRulesTest, TimingIsUpdatedOnlyAfterAWrite) {
  design(300, 100);  // setup only: every chain is best at 0
  EXPECT_TRUE(run());
  EXPECT_EQ(setting_of(sc.din, 446), 0u);
  EXPECT_EQ(host::call_count("HOV_ACCESSORIES::incrementally_update"), 0);
  EXPECT_EQ(host::call_count("CMP_FACADE::update_timing"), 0);
  cfg_set_on("velmo_auto_dc_hold_time");
  host::timing::set_io_delay(sc.din->get_id(), {"clk", 1500, -400});
  m_env->indicate_that_atom_netlist_is_modified();
  EXPECT_TRUE(run());
  EXPECT_GT(setting_of(sc.din, 446), 0u) << "the input's hold needs a longer chain";
  EXPECT_EQ(setting_of(sc.dout, 430), 0u);
  EXPECT_EQ(host::call_count("HOV_ACCESSORIES::incrementally_update"), 1);
  EXPECT_EQ(host::call_count("CMP_FACADE::update_timing"), 1);
}

// With the verbose switch the pass writes the timing dumps before and after
// each of its two searches.
TEST_F(AutoDelayChainFlowRulesTest, VerbosePassDumpsTimingAroundBothSearches) {
  design(300, 100);
  cfg_set_on("velmo_auto_dc_verbose");
  const char* tags[] = {"before_core_to_pin_0", "after_core_to_pin_0", "before_pin_to_core", "after_pin_to_core"};
  auto name = [](const char* tag) { return std::string("velmo_opt_elements_timing_info_") + tag + ".out"; };
  for (const char* tag : tags) std::remove(name(tag).c_str());
  EXPECT_TRUE(run());
  for (const char* tag : tags) {
    std::ifstream in(name(tag));
    EXPECT_TRUE(in.good()) << tag;
    EXPECT_NE(in.peek(), std::ifstream::traits_type::eof()) << tag;
    in.close();
    std::remove(name(tag).c_str());
  }
}

// A new per-atom slack record has no edge and no slack in any slot,
// whatever the memory held before.
TEST_F(AutoDelayChainFlowRulesTest, ANewSlackRecordIsEmptyInEverySlot) {
  design(300, 100);
  alignas(PASS::SLACK_INFO) unsigned char buffer[sizeof(PASS::SLACK_INFO)];
  std::memset(buffer, 0x5a, sizeof buffer);
  auto* info = new (buffer) PASS::SLACK_INFO;
  for (int k = 0; k < 2; ++k)
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(info->edge_id[k][c], -1) << k << " " << c;
      EXPECT_EQ(info->slack[k][c], VELMO_NO_SLACK_VALUE) << k << " " << c;
    }
  EXPECT_EQ(info->index, -1);
  EXPECT_EQ(info->get_edge(), nullptr);
  info->~SLACK_INFO();
}

// Both pad-to-core chains are written as given, without marking the atom
// changed, by either writer.
TEST_F(AutoDelayChainFlowRulesTest, PadToCoreChainsAreWrittenWithoutAChangeMark) {
  host::testing::device(Family::code(7)).build();
  auto n = host::testing::netlist();
  n.lut("core", {n.io_in("din")}, 0x2);
  VOK_ATOM_NODE* din = n.find("din");
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS pass(m_env, &owner);
  for (int type : {12, 13})
    for (bool combined : {false, true}) {
      hov_get_atom_netlist_taint_manager()->clear_tainted_atom_ids();
      const unsigned value = combined ? 2u : 3u;
      EXPECT_TRUE(combined ? pass.set_best_delay_chain_setting(din, T(type), value)
                           : pass.set_best_delay_chain_setting_new(din, T(type), value));
      EXPECT_EQ(setting_of(din, type), value) << type << " " << combined;
      EXPECT_EQ(hov_get_atom_netlist_taint_manager()->get_num_tainted_atoms(), 0) << type << " " << combined;
    }
}

}  // namespace
