// Pipeline-register (ZOTA) depopulation, repopulation and merging: the gates
// and warnings, the forced depopulation, the restriction report, the
// repopulation decisions, the greedy merge and a full round trip through the
// host's placer and router that keeps the design's function.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "thr/thr_drl.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "korrin/korrin_router.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "piz/piz_table.h"
#include "r5t/r5t_interface.h"
#include "siv/siv_atom_mod_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "testing/route_helpers.h"
#include "testing/sim.h"
#include "tibex/tibex_location_constraint.h"
#include "tibex/tibex_placer.h"
#include "yos/yos_interface.h"
#include "velmo_retimer.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "zel/zel_dev_zota_util.h"
#include "wexan/wexan_env.h"
#include "yun/host_yun_env.h"

using host::testing::expect_internal_error;

namespace {

constexpr int kGlobalClockCode = 5;

class ZotaTest : public host::testing::HostTest {
protected:
  void start(void (*edit)(DeviceSpec&) = nullptr, bool with_yun_env = true) {
    host::testing::device(host::testing::Family::KY).build();
    if (edit) {
      DeviceSpec spec = host::device::spec();
      edit(spec);
      host::device::configure(spec);
    }
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    if (with_yun_env) host::wexan::set_yun_env(&m_yun_env);
  }
  void TearDown() override {
    delete m_env;
    EXPECT_EQ(host::counters::get("yun_utility"), 0);
    HostTest::TearDown();
  }
  static void set_metadata(const VOK_ATOM_NODE* a, const char* key, const char* value) {
    R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(a->get_id(), PELK::intern(4, key), PELK::intern(4, value));
  }
  static std::string metadata(const VOK_ATOM_NODE* a, const char* key) {
    PELK v = R5T_INTERFACE::get_or_create_instance()->get_atom_metadata(a->get_id(), PELK::intern(4, key));
    return v.is_null() ? "" : v.cname();
  }
  static std::vector<unsigned> message_ids() {
    std::vector<unsigned> out;
    for (const auto& m : host::messages::posted()) out.push_back(m.id);
    return out;
  }
  static bool bin_opened(const std::string& name) {
    for (const auto& e : host::bins::events())
      if (e.action == "open" && e.name == name) return true;
    return false;
  }
  static int calls_starting(const std::string& prefix) {
    const auto lines = host::call_lines();
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }
  static VOK_ATOM_NODE* find(const std::string& name) { return host::testing::netlist().find(name); }
  static void global_clock(VOK_ATOM_NODE* reg) {
    reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(kGlobalClockCode);
  }

  WEXAN_ENV* m_env = nullptr;
  HOST_YUN_ENV m_yun_env;
};

// ---- whole-netlist depopulation

TEST_F(ZotaTest, DepopulationIsSkippedWithAWarningWhenTheRetimerOrHoldOptimisationIsOff) {
  start([](DeviceSpec& s) {
    s.zota_depopulation = true;
    s.zento_retimer_disabled = true;
  });
  auto n = host::testing::netlist();
  n.zota_reg("z").d(n.input_port("in"));
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_EQ(message_ids(), std::vector<unsigned>{18881});

  DeviceSpec spec = host::device::spec();
  spec.zento_retimer_disabled = false;
  host::device::configure(spec);
  host::options::set(801, 6, "3");
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_EQ(message_ids(), (std::vector<unsigned>{18881, 18276}));
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
  EXPECT_FALSE(bin_opened("Depopulate Netlist"));

  // Depopulation by instance needs no retimer: with the retimer off only
  // the hold optimisation stops it.
  spec.zento_retimer_disabled = true;
  spec.zota_depopulation_by_instance = true;
  host::device::configure(spec);
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_EQ(message_ids(), (std::vector<unsigned>{18881, 18276, 18276}));
  // Any other hold setting lets it run.
  host::options::set(801, 6, "2");
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_EQ(message_ids().size(), 3u);
  EXPECT_EQ(host::call_count("YUN_UTILITY::depopulate_netlist"), 1);
}

TEST_F(ZotaTest, DepopulationUnplacesUnlockedZotaRegistersUnderTheTableReason) {
  start([](DeviceSpec& s) { s.zota_depopulation = true; });
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto z = n.zota_reg("z").clk(clk).d(n.input_port("in")).atom();
  auto locked = n.zota_reg("locked").clk(clk).d(z).atom();
  host::testing::place_in_slot(z, 3, 3, 61);
  host::testing::place_in_slot(locked, 3, 4, 61);
  set_metadata(locked, "RETIMER_NO_TOUCH", "LOCKED");
  cfg_set_on("duplicate_high_fanout_depop_signals");
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_FALSE(z->is_placed());
  EXPECT_TRUE(locked->is_placed());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_PIZ_TABLE::push_reason(\"Depopulate Netlist\", 17)",
                                      "YUN_UTILITY::depopulate_netlist",
                                      "WEXAN_DESIGN::update_atom_info_for_high_fanout_depop",
                                      "WEXAN_PIZ_TABLE::pop_reason"}));
  EXPECT_TRUE(bin_opened("Depopulate Netlist"));
  for (const auto& e : host::bins::events())
    if (e.action == "open" && e.name == "Depopulate Netlist") {
      EXPECT_EQ(e.group, "Prefit - Other");
      EXPECT_EQ(e.tag, "VELMO");
    }
}

TEST_F(ZotaTest, ANullUtilityIsAnInternalError) {
  start([](DeviceSpec& s) { s.zota_depopulation = true; });
  host::script::queue<bool>("yun_utility_factory").push(false);
  EXPECT_EQ(expect_internal_error([&] { VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env); })
                .condition,
            "yun_util");
}

// ---- forced depopulation

TEST_F(ZotaTest, UserAssignedRegisterOnANonGlobalClockStopsTheForcedDepopulation) {
  // The forced-depopulation switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("yun_depopulate_force_user_depop");
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  auto g = n.reg("g").clk(clk).d(r).atom();
  global_clock(g);
  host::options::set(1177, 6, "424", "r");
  host::options::set(1177, 6, "424", "g");
  EXPECT_FALSE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  ASSERT_EQ(message_ids(), std::vector<unsigned>{19306});
  EXPECT_EQ(host::messages::posted()[0].text, "Zento-Register r must be driven by a global clock. Its clock signal is clk.");
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
  EXPECT_FALSE(r->is_zota_marked());
  // Codes 3 and 4 are local routing as well.
  for (const int code : {3, 4}) {
    r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(code);
    EXPECT_FALSE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env)) << code;
  }
  EXPECT_EQ(message_ids(), (std::vector<unsigned>{19306, 19306, 19306}));
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
}

// The device enables the depopulation of user-assigned registers by
// instance (no setting needed).
TEST_F(ZotaTest, UserAssignedRegistersOnAGlobalClockAreDepopulated) {
  start([](DeviceSpec& s) { s.zota_depopulation_by_instance = true; });
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  auto other = n.reg("other").clk(clk).d(r).atom();
  // A clock tied to a constant is no local clock.
  auto tied = n.reg("tied").tie(DB_INPUT_PORT_CLK, 0, true).d(n.input_port("in2")).atom();
  // A register inside a black box is found as well.
  VOK_ATOM_NODE* inner = nullptr;
  auto box = n.blackbox("u_sub", [&](host::testing::NETLIST_BUILDER& c) {
    inner = c.reg("inner").clk(c.input("k")).d(c.input("d")).atom();
    c.output("o", inner);
  });
  box.in("k", clk).in("d", n.input_port("in3"));
  global_clock(inner);
  host::testing::place_at(r, 2, 2, 1);
  global_clock(r);
  // Nothing assigned yet: nothing to depopulate, which is a success.
  EXPECT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  EXPECT_TRUE(r->is_placed());
  EXPECT_EQ(host::call_count("YUN_UTILITY::depopulate_registers"), 0);
  host::options::set(1177, 6, "424", "r");
  host::options::set(1177, 6, "425", "other");
  host::options::set(1177, 6, "424", "tied");
  host::options::set(1177, 6, "424", inner->get_string_hpath());
  EXPECT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  EXPECT_TRUE(r->is_zota_marked());
  EXPECT_FALSE(r->is_placed());
  EXPECT_TRUE(tied->is_zota_marked());
  EXPECT_TRUE(inner->is_zota_marked());
  EXPECT_FALSE(other->is_zota_marked());
  EXPECT_TRUE(host::messages::posted().empty());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Force Depop flow depoped 0 LUTRAM data in ff, and 3 user assignments"));
  // The engine's answer is the pass's: a refusal is no success.
  host::script::queue<bool>("YUN_UTILITY::depopulate_registers").push(false);
  EXPECT_FALSE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::depopulate_registers"), 2);
}

TEST_F(ZotaTest, LutramInputRegisterTiedToAConstantGetsADrivingCellFirst) {
  // The LUT-RAM input switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("velmo_depop_lutram_port_a_data_in_register");
  start();
  // Nothing to depopulate is no failure.
  EXPECT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto ff = n.reg("ff").clk(clk).tie(DB_INPUT_PORT_DATA_IN, 0, false).locked_box(1, 1, 3, 3).atom();
  n.lutram("m").data_in(ff).clk(clk);
  auto gnd = n.reg("gnd").clk(clk).tie(DB_INPUT_PORT_DATA_IN, 0, true).atom();
  n.lutram("m0").data_in(gnd).clk(clk);
  auto zff = n.zota_reg("zff").clk(clk).d(n.input_port("in")).atom();
  n.lutram("m2").data_in(zff).clk(clk);
  // A register the fitter may not modify is left alone.
  auto fixed = n.reg("fixed").clk(clk).d(n.input_port("in2")).atom();
  fixed->set_modifiable(false);
  n.lutram("m3").data_in(fixed).clk(clk);
  // So is one with an enable: it is no simple register.
  auto enabled = n.reg("enabled").clk(clk).d(n.input_port("in3")).ce(n.input_port("en")).atom();
  n.lutram("m4").data_in(enabled).clk(clk);
  // Without the user-depopulation switch an assigned register is not forced.
  auto user = n.reg("user").clk(clk).d(n.input_port("in4")).atom();
  global_clock(user);
  host::options::set(1177, 6, "424", "user");
  EXPECT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  for (VOK_ATOM_NODE* left : {fixed, enabled, user}) {
    EXPECT_EQ(metadata(left, "RETIMER_NO_TOUCH"), "") << left->get_string_hpath();
    EXPECT_FALSE(left->is_zota_marked()) << left->get_string_hpath();
  }

  // The inserted cell drives the constant the register was tied to.
  for (const auto& [reg, mask] : std::vector<std::pair<VOK_ATOM_NODE*, std::uint64_t>>{{ff, ~std::uint64_t{0}}, {gnd, 0}}) {
    SCOPED_TRACE(reg->get_string_hpath());
    VOK_ATOM_NODE* cell = find(reg->get_string_hpath() + "~FITTER_INSERTED");
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->get_atom_type(), 247);
    EXPECT_EQ(cell->get_lutmask().get_value(), mask);
    const VOK_ATOM_ITERM* d = reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    ASSERT_NE(d->get_source(VOK_TRAVERSE_AS_STORED), nullptr);
    EXPECT_EQ(d->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node(), cell);
    EXPECT_EQ(host::constraints::get(cell->get_id()), host::constraints::get(reg->get_id()));
    EXPECT_EQ(metadata(reg, "RETIMER_NO_TOUCH"), "LOCKED");
    EXPECT_TRUE(reg->is_zota_marked());
  }
  EXPECT_EQ(metadata(zff, "RETIMER_NO_TOUCH"), "LOCKED");
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Force Depop flow depoped 2 LUTRAM data in ff, and 0 user assignments"));
}

// ---- restriction report

TEST_F(ZotaTest, TheRestrictionTableGoesToTheCurrentFolderCreatedByTheFitter) {
  start([](DeviceSpec& s) { s.rfpar = true; });
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.reg("simple").clk(clk).d(n.input_port("in"));
  n.reg("enabled").clk(clk).d(n.input_port("in2")).ce(n.input_port("en"));
  EXPECT_TRUE(VELMO_RETIMER::generate_zento_reg_restriction_report(m_env));
  const auto& tables = PIZ_REPORT_DATABASE::of(CMP_FACADE::current())->get_current_folder()->tables();
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0]->get_kind(), PIZ_ZENTO_REGISTER_RESTRICTIONS_TABLE);
  EXPECT_EQ(tables[0]->get_creator_module(), "FIT");
  EXPECT_EQ(tables[0]->rows().size(), 2u);

  host::hov::set_on(false);
  EXPECT_TRUE(VELMO_RETIMER::generate_zento_reg_restriction_report(m_env));
  EXPECT_EQ(tables.size(), 1u);
}

TEST_F(ZotaTest, AMissingRestrictionTableIsAnInternalError) {
  start([](DeviceSpec& s) { s.rfpar = true; });
  host::script::queue<bool>("PIZ_TABLE::create").push(false);
  EXPECT_EQ(expect_internal_error([&] { VELMO_RETIMER::generate_zento_reg_restriction_report(m_env); }).condition,
            "table_object != nullptr");
}

// ---- repopulation before the netlist update

class RepopulationStepTest : public ZotaTest {
protected:
  // Two depopulated registers; the first sits in a pipeline slot.
  void build(bool second_in_slot) {
    cfg_set_on("yun_depopulate_force_user_depop");
    start();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    a = n.reg("a").clk(clk).d(n.input_port("in")).atom();
    b = n.reg("b").clk(clk).d(a).atom();
    n.io_out("o", b);
    for (auto* r : {a, b}) {
      global_clock(r);
      host::options::set(1177, 6, "424", r->get_string_hpath());
    }
    ASSERT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
    host::testing::place_in_slot(a, 3, 3, 61);
    // The second one in a slot, or on an ordinary register site (the placer's
    // fallback when no slot fits).
    if (second_in_slot)
      host::testing::place_in_slot(b, 3, 4, 61);
    else
      host::testing::place_at(b, 3, 4, 1);
    slot_a = a->get_location_gid();
    host::clear_calls();
  }
  VOK_ATOM_NODE* a = nullptr;
  VOK_ATOM_NODE* b = nullptr;
  unsigned slot_a = 0;
};

TEST_F(RepopulationStepTest, RegistersComeBackPlacedAtTheirSlotsUnderTheSameNames) {
  // The depopulation switch build() sets is read once per process.
  if (!host::testing::in_own_process()) return;
  build(true);
  const int old_a = a->get_id();
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  VOK_ATOM_NODE* new_a = find("a");
  ASSERT_NE(new_a, nullptr);
  EXPECT_NE(new_a->get_id(), old_a);
  // A register in a routing slot is a pipeline register.
  EXPECT_EQ(new_a->get_kind(), VOK_ATOM_KIND::PIPELINE_REGISTER);
  EXPECT_TRUE(new_a->is_zota_marked());
  EXPECT_EQ(find("b")->get_kind(), VOK_ATOM_KIND::PIPELINE_REGISTER);
  EXPECT_EQ(new_a->get_location_gid(), slot_a);
  // Both start at the tightest pulse the part allows: level 1 without
  // trait 42.
  for (const char* name : {"a", "b"}) {
    int level = -1;
    EXPECT_TRUE(yos_current_interface()->get_enum_data(find(name), static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL), &level));
    EXPECT_EQ(level, 1) << name;
  }
  EXPECT_EQ(find("b")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node(),
            new_a);
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::insert_atom"), 2);
  EXPECT_EQ(host::call_count("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 1);
  EXPECT_THAT(host::call_lines(), ::testing::Contains("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)"));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "yun_utility_factory", "YUN_UTILITY::prepare_repopulation", "YUN_UTILITY::repopulate"}));
  // A later call finds them ZOTA-marked but has nothing left to re-create.
  host::clear_calls();
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 1);
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::insert_atom"), 0);
  EXPECT_EQ(find("a"), new_a);
}

TEST_F(RepopulationStepTest, ARegisterWithoutASlotFailsAfterTheEarlierOnesWereInserted) {
  // The depopulation switch build() sets is read once per process.
  if (!host::testing::in_own_process()) return;
  build(false);
  cfg_set_off("velmo_post_repop_global_taint");
  EXPECT_FALSE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  EXPECT_EQ(message_ids(), std::vector<unsigned>{18561});
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::insert_atom"), 1);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Error: Repopulation failed to find locations for depop FF!"));
  EXPECT_EQ(host::call_count("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 0);
}

TEST_F(RepopulationStepTest, PerRegisterTaintTaintsEachRemainingZotaRegister) {
  // The depopulation switch build() sets is read once per process.
  if (!host::testing::in_own_process()) return;
  build(true);
  cfg_set_off("velmo_post_repop_global_taint");
  auto n = host::testing::netlist();
  n.zota_reg("kept").d(n.input_port("x")).atom();
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  // The one left and the two re-created in their slots, no global taint.
  for (const char* name : {"kept", "a", "b"})
    EXPECT_THAT(host::call_lines(),
                ::testing::Contains("WEXAN_ENV::indicate_that_atom_netlist_is_modified(" +
                                    std::to_string(find(name)->get_id()) + ", false, false)"))
        << name;
  EXPECT_EQ(host::call_count("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 3);
}

TEST_F(RepopulationStepTest, TheRepopulationMatrix) {
  // The forced-repopulation switch is read once per process.
  if (!host::testing::in_own_process()) return;
  build(true);
  // Not asked: no repopulation wanted and the forced one switched off.
  cfg_set_off("yun_depopulate_force_repop_ea");
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(false, m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 0);
  EXPECT_TRUE(bin_opened("Depopulation Atom Netlist Modifications"));
  EXPECT_TRUE(a->is_zota_marked());
  // Asked on a ZOTA device.
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 1);
  // Asked on a device without pipeline slots: nothing is repopulated.
  DeviceSpec spec = host::device::spec();
  spec.family = 48;
  host::device::configure(spec);
  ASSERT_FALSE(ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, 0));
  host::clear_calls();
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 0);
  // Nor is the timing netlist told of a change.
  EXPECT_EQ(host::call_count("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 0);
}

TEST_F(RepopulationStepTest, TheForcedRepopulationRunsWhenNotAskedOnAnyDevice) {
  // The depopulation and repopulation switches are read once per process.
  if (!host::testing::in_own_process()) return;
  build(true);
  // The forced repopulation is on by default.
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(false, m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 1);
  DeviceSpec spec = host::device::spec();
  spec.family = 48;
  host::device::configure(spec);
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(false, m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 2);
}

TEST_F(RepopulationStepTest, WithoutZotaRegistersNoBinOpensAndWithoutAnEnvironmentNothingRuns) {
  start();
  auto n = host::testing::netlist();
  n.io_out("o", n.reg("r").clk(n.input_port("clk")).d(n.input_port("in")));
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::prepare_repopulation"), 1);
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 0);
  EXPECT_FALSE(bin_opened("Depopulation Atom Netlist Modifications"));
  // One inside a black box counts.
  auto box = n.blackbox("u_sub", [](host::testing::NETLIST_BUILDER& c) { c.output("o", c.zota_reg("z").d(c.input("d"))); });
  box.in("d", n.input_port("in2"));
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate"), 1);
  host::wexan::set_yun_env(nullptr);
  EXPECT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  EXPECT_EQ(host::call_count("yun_utility_factory"), 2);
}

// ---- merging

class MergeTest : public ZotaTest {
protected:
  void SetUp() override {
    ZotaTest::SetUp();
    start();
  }
  // n unplaced ZOTA registers on one driver, each feeding an output.
  std::vector<VOK_ATOM_NODE*> fan(host::testing::NETLIST_BUILDER& n, host::testing::SIG driver, const std::string& prefix,
                                  int count, host::testing::SIG clk) {
    std::vector<VOK_ATOM_NODE*> out;
    for (int i = 0; i < count; ++i) {
      auto z = n.zota_reg(prefix + std::to_string(i)).clk(clk).d(driver).atom();
      n.io_out(prefix + "_o" + std::to_string(i), z);
      out.push_back(z);
    }
    return out;
  }
  static std::string arg(const VOK_ATOM_NODE* a) { return "atom#" + std::to_string(a->get_id()); }
};

TEST_F(MergeTest, EquivalentRegistersOnOneDriverBecomeOne) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto src = n.lut("src", {n.input_port("in")}, 0x2);
  auto z = fan(n, src, "z", 3, clk);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Info: ZOTA FF merge performed 2 checks and 2 merges"));
  EXPECT_EQ(find("z0"), nullptr);
  EXPECT_EQ(find("z1"), nullptr);
  ASSERT_EQ(find("z2"), z[2]);
  EXPECT_EQ(z[2]->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0)->count_flatten_fanouts(), 3);
  EXPECT_EQ(host::siv::live_utilities(), 0);
}

TEST_F(MergeTest, RefusedMergesMakeNewRepresentativesOfferedInOrder) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto src = n.lut("src", {n.input_port("in")}, 0x2);
  auto z = fan(n, src, "z", 3, clk);
  host::script::queue<bool>("SIV_ATOM_MOD_UTILITY::merge").push(false).push(false);
  // The merge deletes the absorbed registers: name them before it runs.
  const std::string z0 = arg(z[0]), z1 = arg(z[1]), z2 = arg(z[2]);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "SIV_ATOM_MOD_UTILITY::merge_zota_registers(" + z0 + ", " + z1 + ")",
                                      "SIV_ATOM_MOD_UTILITY::merge_zota_registers(" + z0 + ", " + z2 + ")",
                                      "SIV_ATOM_MOD_UTILITY::merge_zota_registers(" + z1 + ", " + z2 + ")"}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Info: ZOTA FF merge performed 3 checks and 1 merges"));
  EXPECT_EQ(find("z0"), z[0]);
  EXPECT_EQ(find("z1"), nullptr);
}

TEST_F(MergeTest, LockedRegistersAreFollowedButNeverMergedUnlessTheyArePeripheryTransfers) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto src = n.lut("src", {n.input_port("in")}, 0x2);
  auto locked = fan(n, src, "l", 2, clk);
  for (auto* l : locked) set_metadata(l, "RETIMER_NO_TOUCH", "LOCKED");
  auto behind = fan(n, locked[0], "b", 2, clk);
  auto src2 = n.lut("src2", {n.input_port("in2")}, 0x2);
  auto p2c = fan(n, src2, "p", 2, clk);
  for (auto* p : p2c) {
    set_metadata(p, "RETIMER_NO_TOUCH", "LOCKED");
    set_metadata(p, "P2C_ZOTA", "P2C");
  }
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_EQ(find("l0"), locked[0]);
  EXPECT_EQ(find("l1"), locked[1]);
  EXPECT_EQ(find("b0"), nullptr);  // merged behind the locked register
  EXPECT_EQ(find("b1"), behind[1]);
  EXPECT_EQ(find("p0"), nullptr);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Info: ZOTA FF merge performed 2 checks and 2 merges"));
}

TEST_F(MergeTest, ARingOfZotaRegistersEndsTheWalk) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto x = n.lut("x", {n.input_port("in")}, 0x2);
  auto a = n.zota_reg("a").clk(clk).ce(x).atom();
  auto b = n.zota_reg("b").clk(clk).d(a).atom();
  auto c = n.zota_reg("c").clk(clk).d(x).atom();
  host::testing::REG_BUILDER(a).d(b);
  n.io_out("o", c);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Info: ZOTA FF merge performed 1 checks and 0 merges"));
  EXPECT_EQ(find("b"), b);
}

TEST_F(MergeTest, PlacedRegistersOnRoutingResourcesWithZotasCountOnlyThroughTheirLoads) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto src = n.lut("src", {n.input_port("in")}, 0x2);
  auto z = fan(n, src, "z", 2, clk);
  host::testing::place_in_slot(z[0], 3, 3, 61);
  host::testing::place_in_slot(z[1], 3, 4, 61);
  host::swavo::set_zota_routing_resources({z[0]->get_location_gid(), z[1]->get_location_gid()});
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Info: ZOTA FF merge performed 0 checks and 0 merges"));
  // The same registers outside such resources are merged (slot registers
  // count as unplaced).
  host::swavo::set_zota_routing_resources({});
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Info: ZOTA FF merge performed 1 checks and 1 merges"));
  // A placed ZOTA register heads the chain of the unplaced ones it drives.
  auto head = n.zota_reg("head").clk(clk).d(n.input_port("in2")).atom();
  host::testing::place_at(head, 2, 2, 1);
  fan(n, head, "y", 2, clk);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  const auto lines = host::debug::texts();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Info: ZOTA FF merge performed 1 checks and 1 merges"), 2);
  EXPECT_NE(host::testing::netlist().find("head"), nullptr);
  EXPECT_EQ((host::testing::netlist().find("y0") != nullptr) + (host::testing::netlist().find("y1") != nullptr), 1);
  // Registers placed on register sites of their own take no part.
  auto w = fan(n, n.lut("src3", {n.input_port("in3")}, 0x2), "w", 2, clk);
  host::testing::place_at(w[0], 2, 5, 1);
  host::testing::place_at(w[1], 2, 5, 2);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_EQ(host::debug::texts().back(), "Info: ZOTA FF merge performed 0 checks and 0 merges");
  EXPECT_EQ(find("w0"), w[0]);
  EXPECT_EQ(find("w1"), w[1]);
  // A register on such a resource that drives unplaced ZOTA registers leads
  // the walk on to them.
  auto slot = n.zota_reg("slot").clk(clk).d(n.lut("src4", {n.input_port("in4")}, 0x2)).atom();
  host::testing::place_in_slot(slot, 3, 5, 61);
  host::swavo::set_zota_routing_resources({slot->get_location_gid()});
  fan(n, slot, "v", 2, clk);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_EQ(host::debug::texts().back(), "Info: ZOTA FF merge performed 1 checks and 1 merges");
  EXPECT_EQ((find("v0") != nullptr) + (find("v1") != nullptr), 1);
}

// The walk goes through black boxes: the registers inside a box that one
// driver outside feeds through the box's input are merged like any others.
TEST_F(MergeTest, RegistersInsideABlackBoxAreMergedThroughItsInput) {
  auto n = host::testing::netlist();
  auto src = n.lut("src", {n.input_port("in")}, 0x2);
  auto box = n.blackbox("u_sub", [](host::testing::NETLIST_BUILDER& c) {
    auto d = c.input("d");
    auto k = c.input("k");
    c.output("o0", c.zota_reg("z0").clk(k).d(d));
    c.output("o1", c.zota_reg("z1").clk(k).d(d));
  });
  box.in("d", src);
  box.in("k", n.input_port("clk"));
  n.io_out("o0", box.out("o0"));
  n.io_out("o1", box.out("o1"));
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Info: ZOTA FF merge performed 1 checks and 1 merges"));
  int left = 0;
  for (VOK_ATOM_NODE* a : box.child()->nodes(VOK_TRAVERSE_AS_STORED)) left += a->is_zota_marked();
  EXPECT_EQ(left, 1);
}

// ---- UIB/ESRAM core-to-periphery registers

TEST_F(ZotaTest, UibEsramRegistersAreRecreatedUnplacedThroughTheModifier) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  // Every tagged register, not only the first.
  const std::vector<std::string> names{"r", "s"};
  std::vector<VOK_ATOM_NODE*> regs;
  for (const std::string& name : names) {
    auto r = n.reg(name).clk(clk).d(n.input_port("in_" + name)).atom();
    n.io_out("o_" + name, r);
    host::testing::place_at(r, 2, 2, static_cast<int>(regs.size()) + 1);
    set_metadata(r, "P2C_ZOTA", "UIB_ESRAM_C2P_ORIG");
    regs.push_back(r);
  }
  {
    VOK_RE_ROUTING_MODIFIER modifier(*VOK_CHIP_DB_ENTRY::current()->get_routing(), "test", false, false);
    VELMO_RETIMER::dedicated_repopulate_uib_esram_c2p_core_atoms(m_env, modifier);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    VOK_ATOM_NODE* fresh = find(names[i]);
    ASSERT_NE(fresh, nullptr) << names[i];
    EXPECT_NE(fresh, regs[i]) << names[i];
    EXPECT_FALSE(fresh->is_placed()) << names[i];
    EXPECT_EQ(fresh->get_kind(), VOK_ATOM_KIND::CORE_REGISTER) << names[i];
  }
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::insert_atom"), 2);
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate_uib_esram_c2p_registers"), 1);
  EXPECT_THAT(host::call_lines(), ::testing::Contains("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)"));
}

// ---- a round trip through the host's placer and router

TEST_F(ZotaTest, DepopulatedRegistersRoundTripThroughPlacementAndRoutingAndKeepTheFunction) {
  // The depopulation switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("yun_depopulate_force_user_depop");
  start();
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk");
  auto a = n.io_in("a");
  auto b = n.io_in("b");
  auto r1 = n.reg("r1").clk(clk).d(n.lut("x", {a, b}, [](auto v) { return v[0] ^ v[1]; })).atom();
  auto r2 = n.reg("r2").clk(clk).d(r1).atom();
  auto r3 = n.reg("r3").clk(clk).d(n.lut("y", {r2, a}, [](auto v) { return v[0] && !v[1]; })).atom();
  n.io_out("o1", r3);
  n.io_out("o2", r1);
  for (auto* r : {r1, r2, r3}) global_clock(r);
  host::options::set(1177, 6, "424", "r2");
  VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), VOK_TRAVERSE_HIERARCHICAL);

  const std::vector<std::string> ins{"a", "b"};
  const std::vector<std::string> outs{"o1", "o2"};
  std::vector<std::vector<bool>> stimuli;
  for (int c = 0; c < 12; ++c) stimuli.push_back({(c * 5 + 1) % 3 == 0, (c * 7) % 4 < 2});
  const auto before = host::testing::simulate(*host::vok::top_netlist(), ins, outs, stimuli);

  ASSERT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  ASSERT_TRUE(r2->is_zota_marked());
  ASSERT_TRUE(host::placement::place());
  ASSERT_NE(r2->get_location_gid() & 0x80000000u, 0u) << "not in a pipeline slot";
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  ASSERT_TRUE(VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env));
  VOK_ATOM_NODE* back = find("r2");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->get_kind(), VOK_ATOM_KIND::PIPELINE_REGISTER);
  EXPECT_TRUE(back->is_zota_marked());
  EXPECT_TRUE(host::placement::check_legal(&why)) << why;
  EXPECT_TRUE(host::routing::check(&why)) << why;
  EXPECT_EQ(host::testing::simulate(*host::vok::top_netlist(), ins, outs, stimuli), before);
}

}  // namespace
