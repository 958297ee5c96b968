// The automatic delay-chain pass: its switches, its flow up to the search,
// the per-corner delay table and the optimisation elements and groups.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_clock.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "kem/kem_timing_model.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "swavo/swavo_recompile_director.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/io_delay_scene.h"
#include "testing/netlist_builder.h"
#include "testing/timing_builder.h"
#include "tibex/tibex_location_constraint.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"
#include "velmo_auto_delay_chain_internal.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_msgr.h"
#include "yeb/yeb_timing_model.h"
#include "yos/yos_interface.h"
#include "zel/zel_dc_table.h"

using host::testing::Family;

namespace {

YOS_UINT_DATA_ENUM T(int t) { return static_cast<YOS_UINT_DATA_ENUM>(t); }
using PASS = VELMO_AUTO_DELAY_CHAIN_OP;

class AutoDelayChainTest : public host::testing::EnvTest {
protected:
  // The scene on family 46 with an input delay on din and an output delay
  // on dout, timed, and the owner's edge lists collected.
  // Item 105 set: the simpler DQ/DQS filter, which keeps DQSN pins' chains.
  void design(bool item105 = false) {
    auto dev = host::testing::device(Family::KY);
    if (item105) dev.basic_bool_data(105, true);
    dev.build();
    sc = host::testing::scenes::io_delay_chains();
    host::timing::set_io_delay(sc.din->get_id(), {"clk", 300, 100});
    host::timing::set_io_delay(sc.dout->get_id(), {"clk", 400, 50});
    m_env->indicate_that_atom_netlist_is_modified();
    hov = m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
    hov->perform_quick_timing_analysis(false);
  }
  void collect(VELMO_DELAY_CHAIN_OP& owner) { owner.init_kem_edges_for_processing_new(hov_get_accessories(), true); }
  // The scene with a second input pin din3 shaped like din (its buffer on
  // pad-to-core chain 0, into an I/O input register); both pins fail hold
  // and get a chain 446 setting, unless the writes of `failing` fail. The
  // pass's result, and whether the other pin's setting was written.
  std::pair<bool, bool> inputs_with_a_failed_write(const char* failing) {
    host::testing::device(Family::KY).build();
    sc = host::testing::scenes::io_delay_chains();
    auto n = host::testing::netlist();
    n.io_reg("ireg3", 396).clk(host::testing::SIG(n.find("clk"))).d(n.io_in("din3"));
    n.find("din3")->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0)->set_usage(9);
    n.find("din3~ibuf")->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->set_delay_chain_connection(8, 0);
    host::options::set(904, 1, "on");
    cfg_set_on("velmo_auto_dc_hold_time");
    for (const char* pin : {"din", "din3"})
      host::timing::set_io_delay(n.find(pin)->get_id(), {"clk", 1500, -400});
    m_env->indicate_that_atom_netlist_is_modified();
    if (failing) host::dc::fail_writes(n.find(failing)->get_id(), -1);
    VELMO_DELAY_CHAIN_OP owner(m_env);
    PASS pass(m_env, &owner);
    const bool ok = pass.work_new();
    const char* other = failing && std::string(failing) == "din" ? "din3" : "din";
    unsigned written = 0;
    const bool set = yos_current_interface()->get_uint_data(n.find(other), T(446), &written);
    return {ok, set && written > 0};
  }
  static int count(const std::string& line) {
    int c = 0;
    for (const auto& t : host::debug::texts()) c += t == line;
    return c;
  }
  // The logged calls that start with one of the prefixes, in order.
  static std::vector<std::string> calls_of(std::initializer_list<const char*> prefixes) {
    std::vector<std::string> out;
    for (const std::string& line : host::call_lines())
      for (const char* p : prefixes)
        if (line.rfind(p, 0) == 0) {
          out.push_back(line);
          break;
        }
    return out;
  }
  static std::vector<int> types_of(const OPTIMIZATION_GROUP* g) {
    std::vector<int> out;
    for (const OPTIMIZATION_ELEMENT* e : g->opt_elements) out.push_back(static_cast<int>(e->delay_chain_type));
    return out;
  }
  const OPTIMIZATION_GROUP* group_of(const PASS& pass, VOK_ATOM_NODE* atom, VELMO_OPT_ELEMENT_GROUP_TYPE g) const {
    auto it = pass.get_group_map().find({atom, g});
    return it == pass.get_group_map().end() ? nullptr : it->second;
  }
  void older_pin(bool clock);
  host::testing::scenes::IO_DELAY_CHAINS sc;
  WEXAN_HOV_UTILITY* hov = nullptr;
};

TEST_F(AutoDelayChainTest, SwitchesFromOptionsAndConfiguration) {
  host::testing::device(Family::KY).build();
  host::testing::scenes::io_delay_chains();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  {
    PASS pass(m_env, &owner);
    EXPECT_FALSE(pass.is_enabled()) << "option 904 missing";
    EXPECT_EQ(pass.get_high_fanout_mode(), 0);
    EXPECT_FALSE(pass.is_hold());
    EXPECT_FALSE(pass.is_multi_corner());
    // The grid's PLL corners are elements of type 581: chain 19 joins.
    EXPECT_TRUE(pass.is_clk_delay_ctrl());
    EXPECT_EQ(static_cast<int>(pass.get_all_types().back()), 19);
    EXPECT_EQ(pass.get_all_types().size(), owner.get_all_delay_types().size() + 1);
  }
  host::options::set(904, 1, "on");
  host::options::set(905, 6, "2");
  host::options::set(801, 6, "2");
  host::options::set(802, 1, "on");
  cfg_set_off("velmo_auto_dc_clk_delay_ctrl");
  {
    PASS pass(m_env, &owner);
    EXPECT_TRUE(pass.is_enabled());
    EXPECT_EQ(pass.get_high_fanout_mode(), 2);
    EXPECT_TRUE(pass.is_hold());
    EXPECT_TRUE(pass.is_multi_corner());
    EXPECT_FALSE(pass.is_clk_delay_ctrl());
    EXPECT_EQ(pass.get_all_types(), owner.get_all_delay_types());
    EXPECT_EQ(pass.get_corner_count(), 2);
  }
  host::options::set(905, 6, "3");
  host::options::set(801, 6, "3");
  cfg_set_on("velmo_auto_dc_hold_time");
  {
    PASS pass(m_env, &owner);
    EXPECT_EQ(pass.get_high_fanout_mode(), 0);
    EXPECT_TRUE(pass.is_hold()) << "the configuration wins over option 801";
  }
  host::options::set(905, 6, "1");
  auto e = host::testing::expect_internal_error([&] { PASS pass(m_env, &owner); });
  EXPECT_EQ(e.condition, "Unrecognized high fanout input pin enum option");
  // Every per-corner array holds three corners: a part with four is refused.
  host::options::set(905, 6, "2");
  host::testing::device(Family::KY)
      .corners({DeviceCorner::slow(), DeviceCorner::fast(), DeviceCorner{2, DeviceCorner::SLOW, 850, 85, false},
                DeviceCorner{2, DeviceCorner::FAST, 850, 0, false}})
      .build();
  e = host::testing::expect_internal_error([&] { PASS pass(m_env, &owner); });
  EXPECT_EQ(e.condition, "num_timing_models <= 3");
}

TEST_F(AutoDelayChainTest, ReuseUtilityAndRecompileDirectorDisableThePass) {
  host::testing::device(Family::KY).build();
  sc = host::testing::scenes::io_delay_chains();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  // Every pin preserved: the line comes even with option 904 off.
  WEXAN_INCREMENTAL_UTILITY* reuse = m_env->get_netlist_reuse_utility();
  for (const char* pin : {"din", "din2", "dout", "dout2", "bin", "bout"})
    reuse->preserve_delay_chains(host::testing::netlist().find(pin)->get_id());
  { PASS pass(m_env, &owner); }
  EXPECT_EQ(count("Disabled AUTO_DELAY_CHAIN because all chains are preserved!"), 1);
  host::options::set(904, 1, "on");
  { PASS pass(m_env, &owner); EXPECT_FALSE(pass.is_enabled()); }
  host::wexan::set_reuse_utility(false);
  host::wexan::set_reuse_utility(true);
  host::swavo::set_director(true);
  SWAVO_RECOMPILE_DIRECTOR::instance()->set_auto_delay_chain_needed(false);
  { PASS pass(m_env, &owner); EXPECT_FALSE(pass.is_enabled()); }
  EXPECT_EQ(count("Disabled AUTO_DELAY_CHAIN because SR says it's not needed!"), 1);
  SWAVO_RECOMPILE_DIRECTOR::instance()->set_auto_delay_chain_needed(true);
  { PASS pass(m_env, &owner); EXPECT_TRUE(pass.is_enabled()); }
}

TEST_F(AutoDelayChainTest, DisabledPassRequestsNothingAndStillWritesTheTimeFile) {
  host::testing::device(Family::KY).build();
  host::testing::scenes::io_delay_chains();
  cfg_set_on("velmo_write_auto_delay_chain_time_file");
  host::clear_calls();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS pass(m_env, &owner);
  EXPECT_TRUE(pass.work_new());
  EXPECT_EQ(count("AUTO DELAY CHAIN: turned OFF by user"), 1);
  EXPECT_EQ(host::call_count("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 0);
  std::ifstream in("auto_delay_time");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.rfind("Time spent in AUTO DELAY CHAIN: ", 0), 0u) << text;
}

TEST_F(AutoDelayChainTest, FlowWithoutEdgesAndWithEdges) {
  host::testing::device(Family::KY).build();
  sc = host::testing::scenes::io_delay_chains();
  host::options::set(904, 1, "on");
  {
    // No I/O delays: no edge has slack, so nothing is built or searched.
    VELMO_DELAY_CHAIN_OP owner(m_env);
    PASS pass(m_env, &owner);
    EXPECT_TRUE(pass.work_new());
    EXPECT_EQ(count("AUTO DELAY CHAIN: Collect pin to core edges"), 0);
    EXPECT_FALSE(hov_get_accessories()->has_sta_edge_filter());
    for (const auto& t : host::debug::texts()) EXPECT_EQ(t.rfind("AUTO DELAY CHAIN: finishes in", 0), std::string::npos);
  }
  host::timing::set_io_delay(sc.din->get_id(), {"clk", 300, 100});
  m_env->indicate_that_atom_netlist_is_modified();
  host::clear_calls();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS pass(m_env, &owner);
  EXPECT_TRUE(pass.work_new());
  std::string why;
  EXPECT_TRUE(host::testing::is_ordered_subsequence(
      host::call_names(),
      {"WEXAN_ENV::get_hov_utility_or_create_if_necessary", "WEXAN_HOV_UTILITY::perform_quick_timing_analysis",
       "WEXAN_HOV_UTILITY::switch_annotated_timing_model"},
      &why))
      << why;
  EXPECT_TRUE(host::testing::is_ordered_subsequence(
      host::debug::texts(),
      {"AUTO DELAY CHAIN: Created HOV UTILITY...", "AUTO DELAY CHAIN: Collect pin to core edges",
       "AUTO DELAY CHAIN: Collect core to pin edges", "AUTO DELAY CHAIN: Collect pin to core edges",
       "AUTO DELAY CHAIN: Collect core to pin edges", "AUTO DELAY CHAIN: process core to pin edges (0)",
       "AUTO DELAY CHAIN: process pin to core edges", "AUTO DELAY CHAIN: finishes in"},
      &why))
      << why;
  EXPECT_TRUE(pass.get_optimization_elements().empty()) << "the cleanup ran";
  EXPECT_FALSE(hov_get_accessories()->has_sta_edge_filter());
  // The timing netlist the pass worked on is up to date with the atom
  // netlist and timed at both of the part's default corners; the pass
  // leaves the slow one annotated.
  const KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  EXPECT_TRUE(m_env->hov_utility_reflects_atom_netlist_exactly());
  EXPECT_EQ(kem->get_corner_manager()->get_loaded_corners().size(), 2u);
  EXPECT_EQ(kem->get_corner_manager()->get_current_corner().get_corner(), KEM_TIMING_MODEL::SLOW);
  // With the incremental update the accessories are brought up to date
  // after the request; without it the whole netlist is marked changed before
  // the request instead, and the result is the same.
  const char* kRequest = "WEXAN_ENV::get_hov_utility_or_create_if_necessary";
  const char* kUpdate = "HOV_ACCESSORIES::update";
  const char* kModified = "WEXAN_ENV::indicate_that_atom_netlist_is_modified";
  auto first_of = [](const char* name) {
    const std::vector<std::string> calls = host::call_names();
    return std::find(calls.begin(), calls.end(), name) - calls.begin();
  };
  const char* kQuick = "WEXAN_HOV_UTILITY::perform_quick_timing_analysis";
  EXPECT_LT(first_of(kRequest), first_of(kUpdate));
  EXPECT_LT(first_of(kUpdate), first_of(kQuick));
  EXPECT_GT(first_of(kModified), first_of(kRequest));
  cfg_set_off("velmo_auto_delay_chain_uses_ir5v_and_sta_filter");
  {
    VELMO_DELAY_CHAIN_OP whole(m_env);
    PASS rebuilt(m_env, &whole);
    host::clear_calls();
    EXPECT_TRUE(rebuilt.work_new());
    EXPECT_LT(first_of(kModified), first_of(kRequest));
    EXPECT_LT(first_of(kRequest), first_of(kQuick));
    EXPECT_GT(first_of(kUpdate), first_of(kQuick));
    EXPECT_TRUE(m_env->hov_utility_reflects_atom_netlist_exactly());
    EXPECT_EQ(hov_get_accessories()->get_kem_netlist()->get_corner_manager()->get_loaded_corners().size(), 2u);
  }
  cfg_set_on("velmo_auto_delay_chain_uses_ir5v_and_sta_filter");
  // The pass's profile bins: no group, module tag "VELMO".
  int bins = 0;
  for (const std::string& line : host::call_lines()) {
    if (line.rfind("GEN_PROFILE_BINS::open_with_tag(", 0) != 0) continue;
    EXPECT_EQ(line.rfind("GEN_PROFILE_BINS::open_with_tag(null, ", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 10), ", \"VELMO\")") << line;
    ++bins;
  }
  EXPECT_GE(bins, 5);
}

// Both pins fail hold: the pass writes the output's chain, brings the
// timing netlist up to date, then writes the input's; a write that fails
// fails the pass.
TEST_F(AutoDelayChainTest, FlowWritesBothGroupsWithAnUpdateBetween) {
  host::testing::device(Family::KY).build();
  sc = host::testing::scenes::io_delay_chains();
  host::options::set(904, 1, "on");
  cfg_set_on("velmo_auto_dc_hold_time");
  auto run = [&] {
    host::timing::set_io_delay(sc.din->get_id(), {"clk", 1500, -400});
    host::timing::set_io_delay(sc.dout->get_id(), {"clk", 400, -1500});
    m_env->indicate_that_atom_netlist_is_modified();
    host::clear_calls();
    VELMO_DELAY_CHAIN_OP owner(m_env);
    PASS pass(m_env, &owner);
    return pass.work_new();
  };
  EXPECT_TRUE(run());
  unsigned in = 0, out = 0;
  ASSERT_TRUE(yos_current_interface()->get_uint_data(sc.din, T(446), &in));
  ASSERT_TRUE(yos_current_interface()->get_uint_data(sc.dout, T(430), &out));
  EXPECT_GT(in, 0u);
  EXPECT_GT(out, 0u);
  EXPECT_EQ(host::call_count("HOV_ACCESSORIES::incrementally_update"), 2) << "after each group";
  yos_current_interface()->set_uint_data(sc.din, T(446), 0);
  yos_current_interface()->set_uint_data(sc.dout, T(430), 0);
  host::dc::fail_writes(sc.din->get_id(), 446);
  EXPECT_FALSE(run());
  EXPECT_FALSE(std::ifstream("auto_delay_time").good());  // no time file by default
}

// The output's write fails, the input's goes through: the pass fails all
// the same.
TEST_F(AutoDelayChainTest, AFailedOutputWriteFailsThePassThoughTheInputIsWritten) {
  host::testing::device(Family::KY).build();
  sc = host::testing::scenes::io_delay_chains();
  host::options::set(904, 1, "on");
  cfg_set_on("velmo_auto_dc_hold_time");
  host::timing::set_io_delay(sc.din->get_id(), {"clk", 1500, -400});
  host::timing::set_io_delay(sc.dout->get_id(), {"clk", 400, -1500});
  m_env->indicate_that_atom_netlist_is_modified();
  host::dc::fail_writes(sc.dout->get_id(), 430);
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS pass(m_env, &owner);
  EXPECT_FALSE(pass.work_new());
  unsigned in = 0, out = 0;
  ASSERT_TRUE(yos_current_interface()->get_uint_data(sc.din, T(446), &in));
  EXPECT_GT(in, 0u);
  EXPECT_FALSE(yos_current_interface()->get_uint_data(sc.dout, T(430), &out) && out > 0u);
}

// Two input pins, each a pin-to-core group of its own: a failed write in
// either fails the pass, whichever group comes first, and the other pin's
// chain is written all the same.
TEST_F(AutoDelayChainTest, TwoInputGroupsAreBothWrittenWithoutAFailure) {
  EXPECT_EQ(inputs_with_a_failed_write(nullptr), std::make_pair(true, true));
}
TEST_F(AutoDelayChainTest, AFailedWriteInTheFirstInputGroupFailsThePass) {
  EXPECT_EQ(inputs_with_a_failed_write("din"), std::make_pair(false, true));
}
TEST_F(AutoDelayChainTest, AFailedWriteInTheSecondInputGroupFailsThePass) {
  EXPECT_EQ(inputs_with_a_failed_write("din3"), std::make_pair(false, true));
}

TEST_F(AutoDelayChainTest, SelfTestNeedsMultiCorner) {
  host::testing::device(Family::KY).build();
  sc = host::testing::scenes::io_delay_chains();
  host::timing::set_io_delay(sc.din->get_id(), {"clk", 300, 100});
  m_env->indicate_that_atom_netlist_is_modified();
  host::options::set(904, 1, "on");
  cfg_set_on("velmo_test_incremental_r5v_updates");
  VELMO_DELAY_CHAIN_OP owner(m_env);
  {
    PASS pass(m_env, &owner);
    auto e = host::testing::expect_internal_error([&] { pass.work_new(); });
    EXPECT_EQ(e.condition, "Testing fitter ir5v requires fast corner optimization");
  }
  cfg_set_on("velmo_auto_dc_multi_corner");
  host::clear_calls();
  PASS pass(m_env, &owner);
  EXPECT_TRUE(pass.work_new());
  EXPECT_TRUE(std::ifstream("fast_build_fit").good());
  EXPECT_TRUE(std::ifstream("fast_ir5v_fit").good());
  // The self test compares a timing netlist built on the fast corner with
  // one built on the slow corner and brought to the fast by an update; the
  // pass goes on (and ends) on the slow corner. Each dump is read as: the
  // corner annotated when it was written, the corner its netlist was built
  // on, whether it was updated since.
  struct DUMP {
    std::string corner, built_on;
    bool updated;
    bool operator==(const DUMP&) const = default;
  };
  std::map<std::string, DUMP> dumps;
  std::string corner = "?", built_on = "?";
  bool fresh = false, updated = false;
  for (const std::string& line : host::call_lines()) {
    const std::string sw = "WEXAN_HOV_UTILITY::switch_annotated_timing_model(\"";
    if (line.rfind(sw, 0) == 0) corner = line.substr(sw.size(), line.find('"', sw.size()) - sw.size());
    if (line == "WEXAN_ENV::delete_hov_utility_completely()") fresh = true;
    if (fresh && line.rfind("WEXAN_ENV::get_hov_utility_or_create_if_necessary(", 0) == 0)
      built_on = corner, fresh = updated = false;
    if (line == "HOV_ACCESSORIES::update()") updated = true;
    const std::string dump = "KEM_NETLIST::dump_to_file(\"";
    if (line.rfind(dump, 0) == 0)
      dumps[line.substr(dump.size(), line.find('"', dump.size()) - dump.size())] = {corner, built_on, updated};
  }
  const std::string fast = "1_fast_900mv_-40c", slow = "1_slow_900mv_100c";
  EXPECT_EQ(dumps, (std::map<std::string, DUMP>{{"fast_build_fit", {fast, fast, false}},
                                                {"fast_ir5v_fit", {fast, slow, true}}}));
  EXPECT_EQ(hov_get_accessories()->get_kem_netlist()->get_corner_manager()->get_current_corner().get_corner(),
            KEM_TIMING_MODEL::SLOW);
}

TEST_F(AutoDelayChainTest, SettingWriters) {
  host::testing::device(Family::code(7)).build();
  auto n = host::testing::netlist();
  auto ibuf = n.io_in("din");
  n.lut("core", {ibuf}, 0x2);
  VOK_ATOM_NODE* din = n.find("din");
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS pass(m_env, &owner);
  YOS_INTERFACE* yos = yos_current_interface();
  // An equal value writes nothing and taints nothing.
  yos->set_uint_data(din, T(144), 2);
  hov_get_atom_netlist_taint_manager()->clear_tainted_atom_ids();
  EXPECT_TRUE(pass.set_delay_chain(din, T(144), 2));
  EXPECT_EQ(hov_get_atom_netlist_taint_manager()->get_num_tainted_atoms(), 0);
  EXPECT_TRUE(pass.set_delay_chain(din, T(144), 5));
  EXPECT_EQ(hov_get_atom_netlist_taint_manager()->get_num_tainted_atoms(), 1);
  // 144 with its fine chain 300 (highest setting 3): 7 = coarse 1, fine 3.
  EXPECT_TRUE(pass.set_best_delay_chain_setting(din, T(144), 7));
  unsigned v = 0;
  ASSERT_TRUE(yos->get_uint_data(din, T(144), &v));
  EXPECT_EQ(v, 1u);
  ASSERT_TRUE(yos->get_uint_data(din, T(300), &v));
  EXPECT_EQ(v, 3u);
  // Pad-to-core chains are written directly, without a taint.
  hov_get_atom_netlist_taint_manager()->clear_tainted_atom_ids();
  EXPECT_TRUE(pass.set_best_delay_chain_setting_new(din, T(12), 4));
  ASSERT_TRUE(yos->get_uint_data(din, T(12), &v));
  EXPECT_EQ(v, 4u);
  EXPECT_EQ(hov_get_atom_netlist_taint_manager()->get_num_tainted_atoms(), 0);
  EXPECT_FALSE(pass.is_delay_chain_used(T(414), din, false));
  auto e = host::testing::expect_internal_error([&] { pass.is_delay_chain_used(T(12), din, false); });
  EXPECT_EQ(e.condition, "Unknown Delay Chain");
}

// ---------------------------------------------------------------- delay table

// The pass's list lookups: true only for a member, wherever it stands.
TEST(AutoDelayChainListTest, MembershipOfRecordsAndGroups) {
  KEM_EDGE_SLACK_INFO r1, r2, r3;
  EXPECT_TRUE(PASS::is_edge_in_vec_list(&r1, {&r1, &r2}));
  EXPECT_TRUE(PASS::is_edge_in_vec_list(&r2, {&r1, &r2}));
  EXPECT_FALSE(PASS::is_edge_in_vec_list(&r3, {&r1, &r2}));
  EXPECT_FALSE(PASS::is_edge_in_vec_list(&r1, {}));
  OPTIMIZATION_GROUP g1, g2, g3;
  EXPECT_TRUE(PASS::is_op_group_in_vec_list(&g1, {&g1, &g2}));
  EXPECT_TRUE(PASS::is_op_group_in_vec_list(&g2, {&g1, &g2}));
  EXPECT_FALSE(PASS::is_op_group_in_vec_list(&g3, {&g1, &g2}));
  EXPECT_FALSE(PASS::is_op_group_in_vec_list(&g1, {}));
}

class AutoDelayChainTableTest : public host::testing::EnvTest {
protected:
  // The pass's table on a device of the family with the given corners.
  void table(int family, std::vector<DeviceCorner> corners) {
    host::testing::device(Family::code(family)).corners(std::move(corners)).build();
    owner = std::make_unique<VELMO_DELAY_CHAIN_OP>(m_env);
    pass = std::make_unique<PASS>(m_env, owner.get());
    pass->init_yeb_cell_delays();
    pass->build_auto_delay_chain_vec_new();
  }
  // Delay [orientation][edge] of a chain's setting at a corner.
  int delay(int type, unsigned setting, int corner, int edge = 0, int orientation = 0) const {
    const PASS::AUTO_DELAY_CHAIN_INFO* info = pass->get_delay_chain_info(T(type));
    EXPECT_NE(info, nullptr) << type;
    return info ? info->values.at(setting)->delay[orientation][edge][corner] : -1;
  }
  static DeviceCorner corner(int grade, int kind) { return DeviceCorner{grade, kind, 900, kind == 1 ? -40 : 100, false}; }
  std::unique_ptr<VELMO_DELAY_CHAIN_OP> owner;
  std::unique_ptr<PASS> pass;
};

TEST_F(AutoDelayChainTableTest, NominalDelaysByCornerAndSpeedGrade) {
  // Family 26, grade 12: 448 slow 10 x 3.298 x 1.23 = 40.6; 446 without cell
  // delays, fast 2 x 72 x 0.76 = 109.4.
  table(26, {corner(12, 0), corner(12, 1)});
  for (int e : {0, 1})
    for (int o : {0, 1}) EXPECT_EQ(delay(448, 10, 0, e, o), 40);
  EXPECT_EQ(delay(446, 2, 1), 109);
  EXPECT_EQ(delay(446, 2, 0), 177);
  // Another family, grade 6: 430 slow 5 x 72 x 1.125, fast 3 x 72 x 0.5.
  table(48, {corner(6, 0), corner(6, 1)});
  EXPECT_EQ(delay(430, 5, 0), 405);
  EXPECT_EQ(delay(430, 5, 0, 1, 1), 405);
  EXPECT_EQ(delay(430, 3, 1), 108);
  EXPECT_EQ(delay(449, 7, 0), 0) << "no nominal delay for other chains";
  table(48, {corner(12, 0)});
  EXPECT_EQ(delay(431, 7, 0), 676);
  // A corner of another model code: scaler 1.
  table(48, {corner(6, DeviceCorner::TYPICAL)});
  EXPECT_EQ(delay(430, 5, 0), 360);
  // D1's highest setting is 16 on families 8, 12 and 19 whatever the
  // family's table says; elsewhere the table's.
  for (int family : {12, 7, 0}) {
    host::dc::FAMILY_TABLE t = host::dc::table(family);
    t.chains[144].max_setting = 5;
    host::dc::set_table(family, t);
    table(family, {corner(1, 0)});
    EXPECT_EQ(pass->get_max_delay_chain_setting(T(144)), family == 12 ? 16 : 5) << family;
  }
  // A chain without settings: its one setting has no delay.
  host::dc::FAMILY_TABLE t = host::dc::table(48);
  t.chains[430].max_setting = 0;
  host::dc::set_table(48, t);
  table(48, {corner(6, 0), corner(6, 1)});
  ASSERT_EQ(pass->get_delay_chain_info(T(430))->values.size(), 1u);
  for (int c : {0, 1})
    for (int e : {0, 1}) EXPECT_EQ(delay(430, 0, c, e), 0) << c << " " << e;
}

TEST_F(AutoDelayChainTableTest, CellDelaysReplaceTheNominalDelayOnFamilies46And26) {
  YEB_CELL_DELAY r;
  r.values[0] = 1.0e-10f;
  r.values[4] = 2.0e-10f;
  r.values[7] = 3.0e-10f;
  host::yeb::set_cell_delay(0, 207, r);  // 446 at the slow model only
  table(46, {corner(1, 0), corner(1, 1)});
  EXPECT_EQ(delay(446, 15, 0, 0), 100);
  EXPECT_EQ(delay(446, 15, 0, 1), 150);
  EXPECT_EQ(delay(446, 7, 0, 0), 47);
  const PASS::AUTO_DELAY_CHAIN_VALUE* v = pass->get_delay_chain_info(T(446))->values[15].get();
  EXPECT_EQ(v->get_tsu_delay(1, 0), 150);
  EXPECT_EQ(v->get_th_delay(1, 0), 100);
  EXPECT_EQ(v->get_delay(1, 0, 0), 100);
  EXPECT_EQ(v->get_delay(0, 0, 0), 150);
  EXPECT_EQ(delay(446, 2, 1), 109) << "the fast corner has no cell delay: nominal";
  // A third corner, slow as the first, takes the cell delays as it does.
  table(46, {corner(1, 0), corner(1, 1), corner(1, 0)});
  for (int c : {0, 2}) {
    EXPECT_EQ(delay(446, 15, c, 0), 100) << c;
    EXPECT_EQ(delay(446, 15, c, 1), 150) << c;
  }
  EXPECT_EQ(delay(446, 2, 1), 109);
  // A fast first corner without a cell delay keeps its nominal delay while
  // the slow corners after it take theirs.
  table(46, {corner(1, 1), corner(1, 0), corner(1, 0)});
  EXPECT_EQ(delay(446, 2, 0), 109);
  for (int c : {1, 2}) {
    EXPECT_EQ(delay(446, 15, c, 0), 100) << c;
    EXPECT_EQ(delay(446, 15, c, 1), 150) << c;
  }
  // 448 never takes cell delays.
  host::yeb::set_cell_delay(-1, 213, r);
  table(46, {corner(1, 0)});
  EXPECT_EQ(delay(448, 10, 0), 32);
  // Each chain reads its own kind of cell delay (430: 209, 431: 211, 448:
  // 213, 449: 215): 430 and 431 take half of it at their highest setting, and
  // the verbose trace prints every record loaded.
  std::map<int, YEB_CELL_DELAY> records;
  for (const auto& [type, kind, rise, fall] : {std::tuple{430, 209, 4.0e-10f, 6.0e-10f},
                                              std::tuple{431, 211, 6.0e-10f, 8.0e-10f},
                                              std::tuple{448, 213, 1.0e-10f, 5.0e-10f},
                                              std::tuple{449, 215, 3.0e-10f, 7.0e-10f}}) {
    YEB_CELL_DELAY d = r;
    d.values[4] = rise;
    d.values[7] = fall;
    host::yeb::set_cell_delay(0, kind, d);
    d.flag = true;  // as the model hands a filled record out
    records[type] = d;
  }
  cfg_set_on("velmo_auto_dc_verbose");
  host::dc::FAMILY_TABLE with449 = host::dc::table(46);
  with449.auto_types.push_back(449);  // not an automatic chain of the built-in table
  host::dc::set_table(46, with449);
  table(46, {corner(1, 0)});
  for (int type : {430, 431}) {
    const unsigned max = static_cast<unsigned>(pass->get_max_delay_chain_setting(T(type)));
    ASSERT_GT(max, 0u) << type;
    EXPECT_EQ(delay(type, max, 0, 0), type == 430 ? 200 : 300) << type;
    EXPECT_EQ(delay(type, max, 0, 1), type == 430 ? 300 : 400) << type;
  }
  ::testing::internal::CaptureStdout();
  pass->init_yeb_cell_delays();
  const std::string trace = ::testing::internal::GetCapturedStdout();
  for (const auto& [type, d] : records) {
    std::ostringstream line;
    line << "init_yeb_cell_delay: " << type << "\t0\t" << d << "\n";
    EXPECT_NE(trace.find(line.str()), std::string::npos) << line.str() << trace;
  }
}

TEST_F(AutoDelayChainTableTest, ClockDelayControlChainAndMissingModels) {
  table(46, {corner(1, 0), corner(1, 1)});
  ASSERT_TRUE(pass->is_clk_delay_ctrl());
  const PASS::AUTO_DELAY_CHAIN_INFO* info = pass->get_delay_chain_info(T(19));
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(info->values.size(), 65u);
  EXPECT_EQ(info->values[0]->setting, 9999u);
  EXPECT_EQ(info->values[0]->delay[1][1][1], -28);
  EXPECT_EQ(info->values[1]->setting, 0u);
  EXPECT_EQ(info->values[11]->delay[0][0][0], 200);  // setting 10: 20 ps per setting
  EXPECT_EQ(info->values[11]->delay[0][1][1], 130);  // fast corner
  EXPECT_EQ(pass->get_delay_chain_info(T(414)), nullptr) << "PLL chains off";
  // With them on, each PLL chain has its table, but the phase shift never.
  cfg_set_on("velmo_auto_pll_delay_chain");
  table(46, {corner(1, 0), corner(1, 1)});
  for (int t : {414, 415, 416, 417}) EXPECT_NE(pass->get_delay_chain_info(T(t)), nullptr) << t;
  EXPECT_EQ(pass->get_delay_chain_info(T(418)), nullptr);
  // The fast model is loaded with the three flags off, the slow one with the
  // last on.
  host::clear_calls();
  pass->init_yeb_cell_delays();
  std::vector<std::string> flags;
  for (const HOST_CALL& c : host::calls())
    if (c.name == "YEB_TIMING_MODEL::get_timing_model") flags.push_back(c.args.substr(c.args.find(", ") + 2));
  EXPECT_EQ(flags, std::vector<std::string>({"1, 0, false, false, false", "0, 0, false, false, true"}));
  host::pexa::set_loaded_timing_model_enum(1, DEV_TIMING_MODEL_INVALID);
  auto e = host::testing::expect_internal_error([&] { pass->init_yeb_cell_delays(); });
  EXPECT_EQ(e.condition, "dev_fast_timing_model_enum != DEV_TIMING_MODEL_INVALID");
  host::pexa::set_loaded_timing_model_enum(1, 0);
  host::pexa::set_loaded_timing_model_enum(0, DEV_TIMING_MODEL_INVALID);
  e = host::testing::expect_internal_error([&] { pass->init_yeb_cell_delays(); });
  EXPECT_EQ(e.condition, "dev_slow_timing_model_enum != DEV_TIMING_MODEL_INVALID");
}

// ---------------------------------------------------------------- elements and groups

TEST_F(AutoDelayChainTest, ElementsAreSharedPerPinAndChainAndGroupedPerPin) {
  design();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  collect(owner);
  cfg_set_on("velmo_auto_dc_verbose");
  PASS pass(m_env, &owner);
  pass.build_optimization_elements();
  pass.build_optimization_groups();

  // din's buffer reaches two timed inputs (ireg's D and core's input): one
  // element of chain 446, holding each record once.
  auto it = pass.get_element_map().find({sc.din, T(446)});
  ASSERT_NE(it, pass.get_element_map().end());
  const OPTIMIZATION_ELEMENT* in = it->second;
  EXPECT_EQ(in->pos_edges.size(), 2u);
  EXPECT_NE(in->pos_edges[0], in->pos_edges[1]);
  EXPECT_EQ(in->group_type, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
  EXPECT_EQ(in->initial_setting, 0);
  EXPECT_EQ(in->max_setting, 15);
  EXPECT_GE(count("Found optimization element for edge " + std::to_string(in->pos_edges[1]->edge_id) + " in map"), 1);

  const OPTIMIZATION_GROUP* ing = group_of(pass, sc.din, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
  ASSERT_NE(ing, nullptr);
  EXPECT_EQ(types_of(ing), std::vector<int>({446}));
  const OPTIMIZATION_GROUP* outg = group_of(pass, sc.dout, VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN);
  ASSERT_NE(outg, nullptr);
  EXPECT_EQ(types_of(outg), std::vector<int>({430, 431}));
  // Every edge record belongs to a kept chain; the records of a group are
  // its elements' records without repeats.
  std::vector<KEM_EDGE_SLACK_INFO*> records;
  pass.get_edge_vec_for_opt_group(const_cast<OPTIMIZATION_GROUP*>(outg), records);
  EXPECT_EQ(records.size(), 2u);
  EXPECT_EQ(pass.get_kem_edge_slack_infos().size(), 4u);
  for (const auto& [pin, name] : {std::pair{sc.din, "din"}, std::pair{sc.dout, "dout"}})
    EXPECT_EQ(count("Creating a new optimization group for atom " + std::string(name) + " (" +
                    std::to_string(pin->get_id()) + ")"),
              1);

  // An edge without a slack (or none at all) gets no record; the same edge
  // with its slack does.
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  KEM_EDGE* timed = kem->get_edge(in->pos_edges[0]->edge_id);
  const std::int32_t slack = timed->get_slack();
  kem->set_quick_slack(timed->get_id(), KEM_QUICK_NO_SLACK);
  pass.build_optimization_elements_for_edge(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, timed, nullptr);
  EXPECT_EQ(pass.get_kem_edge_slack_infos().size(), 4u);
  pass.build_optimization_elements_for_edge(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, nullptr, nullptr);
  EXPECT_EQ(pass.get_kem_edge_slack_infos().size(), 4u);
  kem->set_quick_slack(timed->get_id(), slack);
  pass.build_optimization_elements_for_edge(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, timed, nullptr);
  EXPECT_EQ(pass.get_kem_edge_slack_infos().size(), 5u);

  // A record listed twice for an element is kept once, in the order first
  // seen, also past the first 32 records; listing them again adds nothing.
  PASS many(m_env, &owner);
  OPTIMIZATION_ELEMENT* element = many.build_optimization_element(timed, T(446), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN,
                                                                  VELMO_KEM_EDGE_DATA, sc.din);
  std::vector<KEM_EDGE_SLACK_INFO*> made;
  for (int i = 0; i < 40; ++i) {
    made.push_back(many.build_kem_edge_slack_info_for_given_edge(timed, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, T(446)));
    made.back()->opt_elements.emplace_back(element, -1);
    made.back()->opt_elements.emplace_back(element, -1);
  }
  many.update_optimization_elements_kem_edge_lists();
  EXPECT_EQ(element->pos_edges, made);
  many.update_optimization_elements_kem_edge_lists();
  EXPECT_EQ(element->pos_edges, made);
}

TEST_F(AutoDelayChainTest, SkipsForClocksUserOptionsPreservedPinsAndDqsn) {
  design(true);
  // The output pin carries a user option for 430; din is preserved.
  host::options::set(host::dc::moz_variable_of(430), 4, "0", "dout");
  m_env->get_netlist_reuse_utility()->preserve_delay_chains(sc.din->get_id());
  VELMO_DELAY_CHAIN_OP owner(m_env);
  collect(owner);
  cfg_set_on("velmo_auto_dc_verbose");
  PASS pass(m_env, &owner);
  pass.build_optimization_elements();
  pass.build_optimization_groups();
  EXPECT_EQ(pass.get_element_map().count({sc.din, T(446)}), 0u);
  EXPECT_EQ(pass.get_element_map().count({sc.dout, T(430)}), 0u);
  EXPECT_EQ(pass.get_element_map().count({sc.dout, T(431)}), 1u);
  EXPECT_GE(count("**** pin:        dout  has a user assignment or was prevented from being optimized by SIV."), 1);
  EXPECT_GE(count("**** pin:        din  has a user assignment or was prevented from being optimized by SIV."), 1);
  EXPECT_GE(count("****             skipping the delay chain processing"), 2);
  // Only the output-enable edge keeps a record.
  EXPECT_EQ(pass.get_kem_edge_slack_infos().size(), 1u);

  // A DQSN pin's elements join no group.
  host::dc::mark_dqsn(sc.dout->get_id());
  PASS again(m_env, &owner);
  again.build_optimization_elements();
  again.build_optimization_groups();
  EXPECT_EQ(again.get_element_map().count({sc.dout, T(431)}), 1u);
  EXPECT_EQ(group_of(again, sc.dout, VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN), nullptr);
}

// The pad-to-core chains of an older pin (12, 13) are refused from a clock
// source, and otherwise like every chain: for a user option or a preserved
// pin.
void AutoDelayChainTest::older_pin(bool clock) {
  host::testing::device(Family::IO_LEGACY).basic_bool_data(77, true).basic_bool_data(53, true).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 2000, clk);
  auto ibuf = n.io_in("din");
  VOK_ATOM_NODE* din = n.find("din");
  if (clock) {
    n.clock("dinclk", 2000, host::testing::SIG(din));
    // The buffer takes a second input ahead of the pad's: every input is
    // asked whether it carries the clock.
    ibuf->remove_input_term(ibuf.iterm(DB_INPUT_PORT_BOX, 0));
    ibuf.input(DB_INPUT_PORT_BOX, 1, n.input_port("other")).input(DB_INPUT_PORT_BOX, 0, host::testing::SIG(din));
  }
  VOK_ATOM_NODE* core = n.lut("core", {ibuf}, 0x2).atom();
  core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 0);
  n.reg("r").clk(clk).d(core);
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(0, 3, 1, din->get_id()));
  host::timing::set_io_delay(din->get_id(), {"clk", 0, -300});
  n.timing()->perform_quick_timing_analysis(false);
  // A clock pin's path into the core has no slack of its own: give it one.
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  const KEM_NODE* in = kem->get_kem_node_from_iterm(core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  if (clock) kem->set_quick_slack(in->begin_fanin(), -100);
  ASSERT_NE(kem->get_edge(in->begin_fanin())->get_slack(), KEM_QUICK_NO_SLACK);
  cfg_set_on("velmo_auto_dc_verbose");
  std::size_t chain13 = 0;
  auto elements = [&] {
    VELMO_DELAY_CHAIN_OP owner(m_env);
    collect(owner);
    PASS pass(m_env, &owner);
    pass.build_optimization_elements();
    chain13 = pass.get_element_map().count({din, T(13)});
    return pass.get_element_map().count({din, T(12)});
  };
  // The pin's path through its second pad-to-core chain (13) instead.
  auto second = [&] {
    core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 1);
    elements();
    core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 0);
    return chain13;
  };
  if (clock) {
    EXPECT_EQ(elements(), 0u);
    EXPECT_GE(count("**** pin:        din  is used as a clk."), 1);
    EXPECT_GE(count("****             skipping the pad-to-core delay chain processing"), 1);
    EXPECT_EQ(second(), 0u);
    return;
  }
  EXPECT_EQ(second(), 1u);
  EXPECT_EQ(elements(), 1u);
  host::options::set(host::dc::moz_variable_of(12), 4, "2", "din");
  EXPECT_EQ(elements(), 0u);
  EXPECT_GE(count("**** pin:        din  has a user assignment or was prevented from being optimized by SIV."), 1);
  host::options::unset(host::dc::moz_variable_of(12), "din");
  EXPECT_EQ(elements(), 1u);
  m_env->get_netlist_reuse_utility()->preserve_delay_chains(din->get_id());
  EXPECT_EQ(elements(), 0u);
}

TEST_F(AutoDelayChainTest, OlderPinChainsAreRefusedForUserOptionsAndPreservedPins) { older_pin(false); }
TEST_F(AutoDelayChainTest, OlderPinChainsAreRefusedFromAClockSource) { older_pin(true); }

std::string file_text(const char* name) {
  std::ifstream in(name);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// PLL elements: relationship 0 is a pos_edges record of the direct chains
// (414, 417) and a neg_edges record of the others (415, 416); a DQSN pin
// keeps its PLL elements in a group.
TEST_F(AutoDelayChainTest, PllElementsTakeRecordsByDirectionAndIgnoreDqsn) {
  design();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS pass(m_env, &owner);
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  KEM_EDGE* edge =
      kem->get_edge(kem->get_kem_node_from_iterm(sc.ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->begin_fanin());
  host::dc::mark_dqsn(sc.dout->get_id());
  std::map<int, OPTIMIZATION_ELEMENT*> element;
  for (int t : {414, 415, 416, 417}) {
    element[t] = pass.build_optimization_element(edge, T(t), VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN, VELMO_KEM_EDGE_DATA,
                                                 sc.dout);
    for (int rel : {0, 1})
      pass.build_kem_edge_slack_info_for_given_edge(edge, VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN, T(t))
          ->opt_elements.emplace_back(element[t], rel);
  }
  // The phase-shift chain takes its records as they come: 0 positive.
  OPTIMIZATION_ELEMENT* phase =
      pass.build_optimization_element(edge, T(418), VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN, VELMO_KEM_EDGE_DATA, sc.dout);
  for (int rel : {1, 0})
    pass.build_kem_edge_slack_info_for_given_edge(edge, VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN, T(418))
        ->opt_elements.emplace_back(phase, rel);
  pass.update_optimization_elements_kem_edge_lists();
  for (int t : {414, 415, 416, 417}) {
    const bool direct = t == 414 || t == 417;
    ASSERT_EQ(element[t]->pos_edges.size(), 1u) << t;
    ASSERT_EQ(element[t]->neg_edges.size(), 1u) << t;
    EXPECT_EQ(element[t]->pos_edges[0]->opt_elements[0].second, direct ? 0 : 1) << t;
  }
  ASSERT_EQ(phase->pos_edges.size(), 1u);
  ASSERT_EQ(phase->neg_edges.size(), 1u);
  EXPECT_EQ(phase->pos_edges[0]->opt_elements[0].second, 0);
  EXPECT_EQ(phase->neg_edges[0]->opt_elements[0].second, 1);
  // The reports list the negative records too.
  pass.dump_optimization_timing_info("pll");
  EXPECT_NE(file_text("velmo_opt_elements_timing_info_pll.out")
                .find("\t\tOptimization Element Neg Edge Ids:\n\t\t\t" + std::to_string(phase->neg_edges[0]->edge_id) +
                      " - slack: "),
            std::string::npos);
  pass.dump_optimization_info();
  EXPECT_NE(file_text("velmo_opt_elements_info.out")
                .find("\t\tOptimization Element Neg Edge Ids (Num. of Edges = 1):\n\t\t\t" +
                      std::to_string(phase->neg_edges[0]->edge_id) + "\n\t\tOptimization Element Data:\n"),
            std::string::npos);
  pass.build_optimization_groups();
  const OPTIMIZATION_GROUP* g = group_of(pass, sc.dout, VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(types_of(g), std::vector<int>({414, 415, 416, 417}));
}

// With both PLL switches on, the owner's PLL edges make the pass's PLL
// elements: chains 414-417 for each atom of a delay-chain edge, 418 for each
// atom of a phase-shift edge, each record on the side its relationship says.
TEST_F(AutoDelayChainTest, PllEdgesOfTheOwnerBecomeElementsWhenSwitchedOn) {
  design();
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  KEM_EDGE* edge =
      kem->get_edge(kem->get_kem_node_from_iterm(sc.ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->begin_fanin());
  ASSERT_NE(edge->get_slack(), KEM_QUICK_NO_SLACK);
  for (bool on : {false, true}) {
    SCOPED_TRACE(on);
    if (on) {
      cfg_set_on("velmo_auto_pll_delay_chain");
      cfg_set_on("velmo_auto_pll_phase_shift");
    }
    VELMO_DELAY_CHAIN_OP owner(m_env);
    owner.get_pll_delay_chain_edges()[edge->get_id()] = PLL_AFFECTED_KEM_EDGE{edge, {sc.dout, sc.din}, {0, 1}};
    owner.get_pll_phase_shift_edges()[edge->get_id()] = PLL_AFFECTED_KEM_EDGE{edge, {sc.dout}, {1}};
    PASS pass(m_env, &owner);
    pass.build_optimization_elements();
    const auto& map = pass.get_element_map();
    for (int t : {414, 415, 416, 417, 418})
      for (VOK_ATOM_NODE* atom : {sc.dout, sc.din}) {
        const bool made = on && (t != 418 || atom == sc.dout);
        ASSERT_EQ(map.count({atom, T(t)}), made ? 1u : 0u) << t << " " << atom->get_string_hpath();
        if (!made) continue;
        const OPTIMIZATION_ELEMENT* e = map.at({atom, T(t)});
        // Relationship 0 is a positive record of the direct chains (414,
        // 417), 1 of the others; the phase-shift chain's 1 is negative.
        const int rel = atom == sc.dout && t != 418 ? 0 : 1;
        const bool positive = t == 418 ? rel == 0 : (t == 414 || t == 417) == (rel == 0);
        EXPECT_EQ(e->pos_edges.size(), positive ? 1u : 0u) << t;
        EXPECT_EQ(e->neg_edges.size(), positive ? 0u : 1u) << t;
      }
  }
}

// Only an input pin's (pin-to-core) group is marked, once a chain of it acts
// on more timed fan-outs than the threshold (10,000 unless set), with one
// warning per group however many of its chains are over.
TEST_F(AutoDelayChainTest, HighFanoutInputPinIsWarnedOnceAboveTheThreshold) {
  design();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  collect(owner);
  auto mutable_group = [&](const PASS& pass, VOK_ATOM_NODE* atom, VELMO_OPT_ELEMENT_GROUP_TYPE type) {
    OPTIMIZATION_GROUP* g = const_cast<OPTIMIZATION_GROUP*>(group_of(pass, atom, type));
    EXPECT_NE(g, nullptr);
    return g;
  };
  {
    // The default threshold: din's chain made to act on 10,000 and then
    // 10,001 fan-outs (its one edge record repeated).
    PASS pass(m_env, &owner);
    pass.build_optimization_elements();
    pass.build_optimization_groups();
    OPTIMIZATION_GROUP* g = mutable_group(pass, sc.din, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
    ASSERT_NE(g, nullptr);
    OPTIMIZATION_ELEMENT* e = g->opt_elements.front();
    const std::vector<KEM_EDGE_SLACK_INFO*> pos = e->pos_edges, neg = e->neg_edges;
    ASSERT_FALSE(pos.empty() && neg.empty());
    for (std::size_t fanouts : {10000u, 10001u}) {
      e->pos_edges.assign(fanouts - neg.size(), pos.empty() ? neg.front() : pos.front());
      g->is_high_fanout_input_pin = false;
      pass.identify_pin_to_core_optimization_groups_with_high_fanout_pins();
      EXPECT_EQ(g->is_high_fanout_input_pin, fanouts == 10001u) << fanouts;
    }
    e->pos_edges = pos;
    EXPECT_EQ(pass.get_msgr()->size(), 1u);
  }
  for (int threshold : {2, 1, 0}) {
    cfg_set_int_value("velmo_high_fanout_input_pins_thershold", threshold);
    PASS pass(m_env, &owner);
    pass.build_optimization_elements();
    pass.build_optimization_groups();
    OPTIMIZATION_GROUP* g = mutable_group(pass, sc.din, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
    OPTIMIZATION_GROUP* out = mutable_group(pass, sc.dout, VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN);
    ASSERT_TRUE(g != nullptr && out != nullptr);
    ASSERT_FALSE(out->opt_elements.front()->pos_edges.empty() && out->opt_elements.front()->neg_edges.empty());
    // At 0 din's group holds its chain twice: both over, one warning.
    if (threshold == 0) g->opt_elements.push_back(g->opt_elements.front());
    pass.identify_pin_to_core_optimization_groups_with_high_fanout_pins();
    // din's element acts on two edges: 2 is not above 2, it is above 1.
    EXPECT_EQ(g->is_high_fanout_input_pin, threshold < 2) << threshold;
    EXPECT_EQ(pass.get_msgr()->size(), threshold < 2 ? 1u : 0u) << threshold;
    // dout's output pin, over every threshold here, is never an input pin.
    EXPECT_FALSE(out->is_high_fanout_input_pin) << threshold;
    if (threshold == 0) g->opt_elements.pop_back();
    if (threshold == 1) pass.get_msgr()->post();
  }
  bool found = false;
  for (const auto& m : host::messages::posted())
    found |= m.text.find("Input pin din has too many fanouts (number of fanouts is 2 which is larger than the "
                         "threshold value of 1)") != std::string::npos;
  EXPECT_TRUE(found);
}

TEST_F(AutoDelayChainTest, FineChainsFollowTheirCoarseChainsOnFamilies7And37And62) {
  for (int family : {7, 37, 62, 46, 8, 12, 19}) {
    host::testing::device(Family::code(family)).build();
    VELMO_DELAY_CHAIN_OP owner(m_env);
    PASS pass(m_env, &owner);
    std::vector<YOS_UINT_DATA_ENUM> types = {T(153), T(152), T(153)};
    pass.append_fine_delay_chains(types);
    std::vector<YOS_UINT_DATA_ENUM> d1 = {T(144)};
    pass.append_fine_delay_chains(d1);
    // Families 8, 12 and 19 give chain 144 the highest setting 16; every
    // other chain keeps its own.
    if (family == 8 || family == 12 || family == 19) {
      EXPECT_EQ(pass.get_max_delay_chain_setting(T(144)), 16) << family;
      EXPECT_EQ(pass.get_max_delay_chain_setting(T(145)), 7) << family;
    }
    if (family == 7 || family == 37 || family == 62) {
      EXPECT_EQ(std::vector<int>(types.begin(), types.end()), std::vector<int>({153, 152, 153, 305, 301}));
      EXPECT_EQ(std::vector<int>(d1.begin(), d1.end()), std::vector<int>({144, 300}));
    } else {
      EXPECT_EQ(types.size(), 3u);
      EXPECT_EQ(d1.size(), 1u);
    }
  }
}

}  // namespace

namespace {

TEST_F(AutoDelayChainTest, ReportsListGroupsElementsAndRecords) {
  design();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  collect(owner);
  PASS pass(m_env, &owner);
  // Empty lists: the headings alone.
  pass.dump_optimization_info();
  EXPECT_EQ(file_text("velmo_opt_elements_info.out"),
            "\n\nVEC_OF_OPTIMIZATION_GROUP:\n\n\nVEC_OF_OPTIMIZATION_ELEMENT:\n\n\nVEC_OF_KEM_EDGE_SLACK_INFO:\n");
  // din's chain starts at 3: its element starts there.
  yos_current_interface()->set_uint_data(sc.din, T(446), 3);
  pass.build_optimization_elements();
  pass.build_optimization_groups();
  pass.dump_optimization_info();
  const std::string info = file_text("velmo_opt_elements_info.out");
  const OPTIMIZATION_ELEMENT* in = pass.get_element_map().at({sc.din, T(446)});
  const std::string din_id = std::to_string(sc.din->get_id());
  for (const std::string& want :
       {std::string("\tOptimization Group #0 - Is DQ_DQS: NO - Is high fanout input pin: NO\n"
                    "\t\tOpt Element Group Type: VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN\n"
                    "\t\tOpt Element Atom Id Name (Id): din (" + din_id + ") - Opt Element Type Input Delay Chain 0 - "
                    "Edge Type:DATA\n\t\tOptimization Group Data:\n\t\t\tcurrent_best_score1_wc_slack:-2147483647\n"),
        std::string("\tOptimization Element #0\n\t\tOpt Element Element Type:Input Delay Chain 0\n"
                    "\t\tOpt Element Group Type: VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN\n"
                    "\t\tAtom Identifier Name (Id): din (" + din_id + ")\n"
                    "\t\tOptimization Element Pos Edge Ids (Num. of Edges = 2):\n\t\t\t" +
                    std::to_string(in->pos_edges[0]->edge_id) + "\n"),
        std::string("\t\t\tinitial_setting:3\n\t\t\tcurrent_best_setting:3\n\t\t\ttmp_setting:3\n"
                    "\t\t\tmin_setting:0\n\t\t\tmax_setting:15\n"),
        std::string("\tKEM Edge ID: #" + std::to_string(in->pos_edges[0]->edge_id) +
                    "\n\t\tOpt Element Group Type: VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN\n"
                    "\t\tOptimization Elements Types:\n\t\t\tInput Delay Chain 0\n\t\tKEM Edge Slack Info Data:\n"
                    "\t\t\tSetup(slack[0][0]):-2147483647\t\t\t\tHold(slack[1][0]):-2147483647\n"
                    "\t\t\tSetup(slack[0][1]):-2147483647\t\t\t\tHold(slack[1][1]):-2147483647\n")})
    EXPECT_NE(info.find(want), std::string::npos) << want << "\n---\n" << info;
  // Each element lists both kinds of records.
  for (const auto& [key, e] : pass.get_element_map()) {
    std::string edges = "\t\tOptimization Element Pos Edge Ids (Num. of Edges = " + std::to_string(e->pos_edges.size()) + "):\n";
    for (const KEM_EDGE_SLACK_INFO* r : e->pos_edges) edges += "\t\t\t" + std::to_string(r->edge_id) + "\n";
    edges += "\t\tOptimization Element Neg Edge Ids (Num. of Edges = " + std::to_string(e->neg_edges.size()) + "):\n";
    for (const KEM_EDGE_SLACK_INFO* r : e->neg_edges) edges += "\t\t\t" + std::to_string(r->edge_id) + "\n";
    EXPECT_NE(info.find(edges + "\t\tOptimization Element Data:\n"), std::string::npos) << edges << "\n---\n" << info;
  }

  pass.dump_optimization_timing_info("before_core_to_pin_0");
  const std::string timing = file_text("velmo_opt_elements_timing_info_before_core_to_pin_0.out");
  EXPECT_NE(timing.find("\t\t\tcurrent_best_score1_wc_slack: -2147483647\n"), std::string::npos);
  // The headings, then each group's four scores in order.
  EXPECT_EQ(timing.rfind("\n\nVEC_OF_OPTIMIZATION_GROUP:\n\tOptimization Group #0\n\t\tOptimization Group Data:\n"
                         "\t\t\tcurrent_best_score1_wc_slack: ",
                         0),
            0u)
      << timing;
  EXPECT_THAT(timing, ::testing::ContainsRegex("current_best_score1_wc_slack: -?[0-9]+\n\t\t\tcurrent_best_score2_sum_of_wc_"
                                               "slack: -?[0-9]+\n\t\t\ttmp_score1_wc_slack: -?[0-9]+\n"));
  // Each group ends with a blank line.
  EXPECT_THAT(timing, ::testing::ContainsRegex("tmp_score2_sum_of_wc_slack: -?[0-9]+\n\n\n\nVEC_OF_OPTIMIZATION_ELEMENT:\n"));
  EXPECT_NE(timing.find("\t\t\t" + std::to_string(in->pos_edges[0]->edge_id) +
                        " - slack: slack[tsu][slow]):-2147483647 slack[tsu][fast]):-2147483647 "
                        "slack[th][slow]):-2147483647 slack[th][fast]):-2147483647 \n"),
            std::string::npos)
      << timing;

  // The trace line needs the optimisation switch.
  auto* element = const_cast<OPTIMIZATION_ELEMENT*>(in);
  pass.dump_optimization_timing_info_for_opt_element(element);
  EXPECT_FALSE(std::ifstream("velmo_optimization_timing_info_for_opt_element.out").good());
  cfg_set_on("velmo_auto_dc_verbose_optimizations");
  PASS traced(m_env, &owner);
  traced.dump_optimization_timing_info_for_opt_element(element);
  EXPECT_EQ(file_text("velmo_optimization_timing_info_for_opt_element.out"),
            "Opt Element Element Type:Input Delay Chain 0 Atom Name (Id): din (" + din_id +
                ") -- twc_slack[tsu]:-2147483647 twc_slack[th]:-2147483647 tmp_setting:3\n");

  // A report that cannot be opened (a folder in its place) is left out, and
  // the pass goes on.
  std::remove("velmo_optimization_timing_info_for_opt_element.out");
  for (const char* blocked : {"velmo_optimization_timing_info_for_opt_element.out",
                              "velmo_opt_elements_timing_info_blocked.out"})
    ASSERT_TRUE(std::filesystem::create_directory(blocked)) << blocked;
  traced.dump_optimization_timing_info_for_opt_element(element);
  traced.dump_optimization_timing_info("blocked");
  EXPECT_TRUE(std::filesystem::is_directory("velmo_opt_elements_timing_info_blocked.out"));
  std::filesystem::remove("velmo_optimization_timing_info_for_opt_element.out");
  std::filesystem::remove("velmo_opt_elements_timing_info_blocked.out");
}

// The reports with real slacks at both corners, hold included, a
// high-fanout input pin and a core-to-pin group: the whole text, with the
// ids and slacks of the scene's records filled in.
TEST_F(AutoDelayChainTest, ReportsWithSlacksGolden) {
  design();
  cfg_set_on("velmo_auto_dc_hold_time");
  cfg_set_int_value("velmo_high_fanout_input_pins_thershold", 1);
  VELMO_DELAY_CHAIN_OP owner(m_env);
  collect(owner);
  PASS pass(m_env, &owner);
  pass.init_yeb_cell_delays();
  pass.build_auto_delay_chain_vec_new();
  pass.build_optimization_elements();
  pass.build_optimization_groups();
  pass.identify_pin_to_core_optimization_groups_with_high_fanout_pins();
  for (int c : {0, 1})
    for (auto g : {VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN})
      pass.perform_timing_corner_analysis(ZEL_TIMING_MODEL_SLOW, c, hov, hov_get_accessories(), true, g);
  const std::vector<OPTIMIZATION_ELEMENT*> elements(pass.get_optimization_elements().begin(),
                                                   pass.get_optimization_elements().end());
  ASSERT_EQ(elements.size(), 3u);
  for (OPTIMIZATION_ELEMENT* e : elements) pass.load_worse_case_slack_for_optimization_element(e);
  const std::vector<KEM_EDGE_SLACK_INFO*> records(pass.get_kem_edge_slack_infos().begin(),
                                                 pass.get_kem_edge_slack_infos().end());
  ASSERT_EQ(records.size(), 4u);
  for (const KEM_EDGE_SLACK_INFO* r : records)
    for (int c : {0, 1}) {
      ASSERT_NE(r->slack[0][c], VELMO_NO_SLACK_VALUE);
      ASSERT_NE(r->slack[0][c], r->slack[1][c]) << "setup and hold tell apart";
    }
  ASSERT_NE(records[0]->slack[0][0], records[0]->slack[0][1]) << "the corners tell apart";
  const std::string din = "din (" + std::to_string(sc.din->get_id()) + ")";
  const std::string dout = "dout (" + std::to_string(sc.dout->get_id()) + ")";
  auto n = [](std::int32_t v) { return std::to_string(v); };
  auto id = [&](int i) { return n(records[static_cast<std::size_t>(i)]->edge_id); };
  auto sl = [&](int i, int k, int c) { return n(records[static_cast<std::size_t>(i)]->slack[k][c]); };
  const std::string group_data =
      "\t\tOptimization Group Data:\n\t\t\tcurrent_best_score1_wc_slack:-2147483647\n"
      "\t\t\tcurrent_best_score2_sum_of_wc_slack:0\n\t\t\ttmp_score1_wc_slack:-2147483647\n"
      "\t\t\ttmp_score2_sum_of_wc_slack:0\n\n";
  const std::string settings =
      "\t\t\tinitial_setting:0\n\t\t\tcurrent_best_setting:0\n\t\t\ttmp_setting:0\n\t\t\tmin_setting:0\n"
      "\t\t\tmax_setting:15\n";
  std::string want =
      "\n\nVEC_OF_OPTIMIZATION_GROUP:\n"
      "\tOptimization Group #0 - Is DQ_DQS: NO - Is high fanout input pin: YES\n"
      "\t\tOpt Element Group Type: VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN\n"
      "\t\tOpt Element Atom Id Name (Id): " + din + " - Opt Element Type Input Delay Chain 0 - Edge Type:DATA\n" + group_data +
      "\tOptimization Group #1 - Is DQ_DQS: NO - Is high fanout input pin: NO\n"
      "\t\tOpt Element Group Type: VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN\n"
      "\t\tOpt Element Atom Id Name (Id): " + dout + " - Opt Element Type Output Delay Chain - Edge Type:DATA\n"
      "\t\tOpt Element Atom Id Name (Id): " + dout + " - Opt Element Type Output Enable Delay Chain - Edge Type:DATA\n" + group_data +
      "\n\nVEC_OF_OPTIMIZATION_ELEMENT:\n";
  const char* kGroup[2] = {"VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN", "VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN"};
  const int first_record[3] = {0, 2, 3}, record_count[3] = {2, 1, 1};
  // The chain names of the three elements and of the four records' edges.
  const char* kName[3] = {"Input Delay Chain 0", "Output Delay Chain", "Output Enable Delay Chain"};
  const int record_element[4] = {0, 0, 1, 2};
  for (int i = 0; i < 3; ++i) {
    const OPTIMIZATION_ELEMENT* e = elements[static_cast<std::size_t>(i)];
    want += "\tOptimization Element #" + n(i) + "\n\t\tOpt Element Element Type:" + kName[i] + "\n\t\tOpt Element Group Type: " +
            kGroup[i == 0 ? 0 : 1] + "\n\t\tAtom Identifier Name (Id): " + (i == 0 ? din : dout) +
            "\n\t\tOptimization Element Pos Edge Ids (Num. of Edges = " + n(record_count[i]) + "):\n";
    for (int r = first_record[i]; r < first_record[i] + record_count[i]; ++r) want += "\t\t\t" + id(r) + "\n";
    want += "\t\tOptimization Element Neg Edge Ids (Num. of Edges = 0):\n\t\tOptimization Element Data:\n"
            "\t\t\twc_slack[0]:" + n(e->wc_slack[0]) + "\n\t\t\twc_slack[1]:" + n(e->wc_slack[1]) + "\n" + settings;
  }
  want += "\n\nVEC_OF_KEM_EDGE_SLACK_INFO:\n";
  for (int r = 0; r < 4; ++r) {
    want += "\tKEM Edge ID: #" + id(r) + "\n\t\tOpt Element Group Type: " + kGroup[r < 2 ? 0 : 1] +
            "\n\t\tOptimization Elements Types:\n\t\t\t" + kName[record_element[r]] +
            "\n\t\tKEM Edge Slack Info Data:\n";
    for (int c : {0, 1})
      want += "\t\t\tSetup(slack[0][" + n(c) + "]):" + sl(r, 0, c) + "\t\t\t\tHold(slack[1][" + n(c) + "]):" +
              sl(r, 1, c) + "\n";
  }
  pass.dump_optimization_info();
  EXPECT_EQ(file_text("velmo_opt_elements_info.out"), want);
  // The worst slacks are the records' minimum over kinds' corners.
  EXPECT_EQ(elements[0]->wc_slack[0], std::min({records[0]->slack[0][0], records[0]->slack[0][1],
                                                records[1]->slack[0][0], records[1]->slack[0][1]}));

  pass.dump_optimization_timing_info("golden");
  const std::string timing = file_text("velmo_opt_elements_timing_info_golden.out");
  for (int r = 0; r < 4; ++r)
    EXPECT_NE(timing.find("\t\t\t" + id(r) + " - slack: slack[tsu][slow]):" + sl(r, 0, 0) + " slack[tsu][fast]):" +
                          sl(r, 0, 1) + " slack[th][slow]):" + sl(r, 1, 0) + " slack[th][fast]):" + sl(r, 1, 1) + " \n"),
              std::string::npos)
        << r << "\n" << timing;
  EXPECT_NE(timing.find("\t\t\twc_slack[tsu]:" + n(elements[2]->wc_slack[0]) + "\n\t\t\twc_slack[th]:" +
                        n(elements[2]->wc_slack[1]) + "\n"),
            std::string::npos);
  std::remove("velmo_opt_elements_info.out");
  std::remove("velmo_opt_elements_timing_info_golden.out");
}

TEST_F(AutoDelayChainTest, SlacksKeepTheMinimumPerSlotAndFollowSettingChanges) {
  design();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  collect(owner);
  PASS pass(m_env, &owner);  // hold optimisation off
  pass.init_yeb_cell_delays();
  pass.build_auto_delay_chain_vec_new();
  pass.build_optimization_elements();
  pass.build_optimization_groups();
  for (int c : {0, 1})
    pass.perform_timing_corner_analysis(ZEL_TIMING_MODEL_SLOW, c, hov, hov_get_accessories(), true,
                                        VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
  EXPECT_EQ(count("AUTO DELAY CHAIN: call KELD for Pin-to-Core edges, TSU slack, fast Corner... 0 sec"), 1);
  // Both stopwatches stand still between the analyses.
  for (GEN_STOPWATCH* watch : {&velmo_auto_dc::timing_analyzer_stopwatch(), &velmo_auto_dc::processing_stopwatch()}) {
    const double elapsed = watch->get_elapsed_seconds();
    host::clock::advance(std::chrono::milliseconds(5000));
    EXPECT_EQ(watch->get_elapsed_seconds(), elapsed);
  }
  auto* in = const_cast<OPTIMIZATION_ELEMENT*>(pass.get_element_map().at({sc.din, T(446)}));
  const OPTIMIZATION_ELEMENT* out = pass.get_element_map().at({sc.dout, T(430)});
  KEM_EDGE_SLACK_INFO* r = in->pos_edges[0];
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  // Each slot holds its own corner's slack, and the slow corner the flow had
  // annotated is annotated again afterwards.
  const KEM_CORNER_MANAGER* corners = kem->get_corner_manager();
  EXPECT_EQ(corners->get_current_corner(), KEM_TIMING_MODEL::get_list_of_timing_models(0)[0]);
  const int fast = corners->get_corner_id(KEM_TIMING_MODEL::get_list_of_timing_models(0)[1]);
  ASSERT_GE(fast, 0) << "the fast corner was analysed";
  EXPECT_EQ(r->slack[0][0], host::sta::edge_setup_slack(r->edge_id, corners->get_current_corner_id()));
  EXPECT_EQ(r->slack[0][1], host::sta::edge_setup_slack(r->edge_id, fast));
  EXPECT_NE(r->slack[0][0], r->slack[0][1]);
  hov->perform_quick_timing_analysis(false);
  const std::int32_t v = kem->get_edge(r->edge_id)->get_slack();
  ASSERT_NE(v, KEM_QUICK_NO_SLACK);
  EXPECT_EQ(r->slack[0][0], v);
  EXPECT_EQ(r->slack[1][0], VELMO_NO_SLACK_VALUE) << "hold off: no hold slots";
  EXPECT_EQ(out->pos_edges[0]->slack[0][0], VELMO_NO_SLACK_VALUE) << "only the analysed group";
  // The smaller value stays; an edge without slack never fills a slot.
  r->slack[0][0] = v - 5;
  pass.collect_slack_new(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, 0, 0);
  EXPECT_EQ(r->slack[0][0], v - 5);
  r->slack[0][0] = v + 5;
  pass.collect_slack_new(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, 0, 0);
  EXPECT_EQ(r->slack[0][0], v);
  kem->set_quick_slack(r->edge_id, KEM_QUICK_NO_SLACK);
  pass.collect_slack_new(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, 1, 0);
  EXPECT_EQ(r->slack[1][0], VELMO_NO_SLACK_VALUE);

  // 446 at the slow corner: 72 ps per setting. 0 -> 5 lowers every setup
  // slot by 360 and leaves the empty hold slots empty; 5 -> 0 restores them.
  std::vector<std::array<std::int32_t, 2>> before;
  for (const KEM_EDGE_SLACK_INFO* e : in->pos_edges) before.push_back({e->slack[0][0], e->slack[0][1]});
  pass.update_slack_info_for_optimization_group(in, 0, 5);
  for (std::size_t i = 0; i < in->pos_edges.size(); ++i) EXPECT_EQ(in->pos_edges[i]->slack[0][0], before[i][0] - 360);
  EXPECT_EQ(r->slack[1][0], VELMO_NO_SLACK_VALUE);
  const std::int32_t worst = std::min({in->pos_edges[0]->slack[0][0], in->pos_edges[0]->slack[0][1],
                                       in->pos_edges[1]->slack[0][0], in->pos_edges[1]->slack[0][1]});
  EXPECT_EQ(in->wc_slack[0], worst);
  pass.update_slack_info_for_optimization_group(in, 5, 0);
  for (std::size_t i = 0; i < in->pos_edges.size(); ++i) {
    EXPECT_EQ(in->pos_edges[i]->slack[0][0], before[i][0]);
    EXPECT_EQ(in->pos_edges[i]->slack[0][1], before[i][1]);
  }
  EXPECT_EQ(pass.get_dmf_value(T(446), 99, sc.din, 0, 0), 0) << "a setting the table lacks";
  EXPECT_EQ(pass.get_dmf_value(T(446), 5, sc.din, 1, 1), 273) << "fast: 5 x 72 x 0.76";
  EXPECT_EQ(host::testing::expect_internal_error([&] { pass.get_dmf_value(T(446), 1, nullptr, 0, 0); }).condition,
            "atom is NULL!");
}

TEST_F(AutoDelayChainTest, HorizontalPadsFromPlacementOrLockedRegion) {
  design();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS pass(m_env, &owner);
  const int nx = m_env->get_device()->get_nx();
  EXPECT_FALSE(pass.is_horizontal_pad(sc.din)) << "unplaced, not locked";
  auto lock = [&](int xmin, int xmax) {
    TIBEX_LOCATION_CONSTRAINT c;
    c.add_locked(TIBEX_LOCKED_CONSTRAINT::box(xmin, 0, xmax, 3), 0x80);
    m_env->get_design()->set_atom_location_constraint(sc.din->get_id(), c);
  };
  lock(0, 2);
  EXPECT_TRUE(pass.is_horizontal_pad(sc.din));
  lock(1, nx - 2);
  EXPECT_FALSE(pass.is_horizontal_pad(sc.din));
  lock(3, nx - 1);
  EXPECT_TRUE(pass.is_horizontal_pad(sc.din));
  // Locked to one left pad: that pad's orientation.
  TIBEX_LOCATION_CONSTRAINT exact;
  exact.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(0, 3, 1), 0x80);
  m_env->get_design()->set_atom_location_constraint(sc.din->get_id(), exact);
  EXPECT_TRUE(pass.is_horizontal_pad(sc.din));
  EXPECT_FALSE(pass.is_horizontal_pad(sc.ibuf)) << "not a pin";
  // A placed pin: its pad decides, whatever its lock says.
  lock(1, nx - 2);
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(0, 3, 1, sc.din->get_id()));
  EXPECT_TRUE(pass.is_horizontal_pad(sc.din));
  lock(0, 2);
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(5, 0, 1, sc.din->get_id()));
  EXPECT_FALSE(pass.is_horizontal_pad(sc.din));
}

TEST_F(AutoDelayChainTest, SlackOverrideFileForPinToCoreEdges) {
  design();
  VELMO_DELAY_CHAIN_OP owner(m_env);
  collect(owner);
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  const KEM_NODE* d = kem->get_kem_node_from_iterm(sc.ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  KEM_EDGE* e = kem->get_edge(d->begin_fanin());
  const std::int32_t own = e->get_slack();
  {
    // Switch off: the edge's slack whatever the file says.
    std::ofstream("velmo_auto_dc.in") << "din ireg 1 2 3 4\n";
    PASS pass(m_env, &owner);
    EXPECT_EQ(pass.get_wc_slack_of_edge(e, 0, 0, T(446), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN), own);
  }
  cfg_set_on("velmo_auto_dc_slack_file");
  PASS pass(m_env, &owner);
  EXPECT_EQ(pass.get_dst_atom_of_edge(e), sc.ireg);
  auto slack = [&](int i, int j, VELMO_OPT_ELEMENT_GROUP_TYPE g = VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN) {
    return pass.get_wc_slack_of_edge(e, i, j, T(446), g);
  };
  std::ofstream("velmo_auto_dc.in") << "-din ireg 7 7 7 7\n"
                                       "din ireg 5 6\n"
                                       "din core 1 2 3 4\n"
                                       "din   ireg  10 x 30 -40abc\n"
                                       "din ireg 50 60 70 80\n";
  EXPECT_EQ(slack(0, 0), 10) << "comment and short lines skipped, first match decides";
  EXPECT_EQ(slack(0, 1), VELMO_NO_SLACK_VALUE);
  EXPECT_EQ(slack(1, 0), 30);
  EXPECT_EQ(slack(1, 1), -40);
  EXPECT_EQ(slack(0, 0, VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN), own) << "only pin-to-core edges";
  // A long number wraps instead of overflowing; a line past 1023 characters
  // ends the scan after its first part.
  std::ofstream("velmo_auto_dc.in") << "din ireg 4294967297 y - 9\n";
  EXPECT_EQ(slack(0, 0), 1);
  EXPECT_EQ(slack(0, 1), 0);
  std::ofstream("velmo_auto_dc.in") << "-" << std::string(1100, 'c') << "\ndin ireg 1 2 3 4\n";
  EXPECT_EQ(slack(0, 0), own);
  for (std::size_t length : {1000, 1022}) {
    std::ofstream("velmo_auto_dc.in") << "-" << std::string(length, 'c') << "\ndin ireg 1 2 3 4\n";
    EXPECT_EQ(slack(0, 0), 1) << "a line of " << length + 1 << " characters is not too long";
  }
  // A long line is read up to its 1023rd character: here the last digit.
  std::string at_limit = "din ireg 1 2 3 ";
  at_limit += std::string(1021 - at_limit.size(), ' ') + "45 99 and more";
  std::ofstream("velmo_auto_dc.in") << at_limit << "\n";
  EXPECT_EQ(slack(1, 1), 45);

  // A comment line is skipped even when its names are the edge's: a pin
  // whose name begins with "-" (matched once the line does not start with it).
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk2");
  n.clock("clk2", 2000, clk);
  VOK_ATOM_NODE* reg = n.io_reg("-reg", 396).clk(clk).d(n.io_in("-pin")).atom();
  host::timing::set_io_delay(n.find("-pin")->get_id(), {"clk2", 300, 100});
  const std::string long_name(255, 'p');
  VOK_ATOM_NODE* reg2 = n.io_reg("reg2", 396).clk(clk).d(n.io_in(long_name)).atom();
  host::timing::set_io_delay(n.find(long_name)->get_id(), {"clk2", 300, 100});
  hov_get_accessories()->clear_sta_edge_filter();
  n.timing()->perform_quick_timing_analysis(false);
  kem = hov_get_accessories()->get_kem_netlist();
  KEM_EDGE* dashed =
      kem->get_edge(kem->get_kem_node_from_iterm(reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->begin_fanin());
  ASSERT_NE(dashed->get_slack(), KEM_QUICK_NO_SLACK);
  VELMO_DELAY_CHAIN_OP owner2(m_env);
  PASS pass2(m_env, &owner2);
  std::ofstream("velmo_auto_dc.in") << "-pin -reg 7 7 7 7\n";
  EXPECT_EQ(pass2.get_wc_slack_of_edge(dashed, 0, 0, T(446), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN),
            dashed->get_slack());
  std::ofstream("velmo_auto_dc.in") << "-pin -reg 7 7 7 7\n -pin -reg 8 8 8 8\n";
  EXPECT_EQ(pass2.get_wc_slack_of_edge(dashed, 0, 0, T(446), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN), 8);
  // A name field is read up to 255 characters: a longer name in the file
  // stands for the pin its first 255 name.
  KEM_EDGE* long_edge =
      kem->get_edge(kem->get_kem_node_from_iterm(reg2->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->begin_fanin());
  std::ofstream("velmo_auto_dc.in") << long_name << "qq reg2 9 9 9 9\n";
  EXPECT_EQ(pass2.get_wc_slack_of_edge(long_edge, 0, 0, T(446), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN), 9);
  std::remove("velmo_auto_dc.in");
}

}  // namespace
