// Rules of the pipeline-register (ZOTA) passes a caller sees: which registers
// the merge may touch, when depopulation runs and what it reports.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "piz/piz_table.h"
#include "r5t/r5t_interface.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "testing/route_helpers.h"
#include "thr/thr_drl.h"
#include "velmo_retimer.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "wexan/wexan_env.h"
#include "yun/host_yun_env.h"

namespace {

class RetimerRulesTest : public host::testing::HostTest {
protected:
  void start(void (*edit)(DeviceSpec&) = nullptr) {
    host::testing::device(host::testing::Family::KY).build();
    if (edit) {
      DeviceSpec spec = host::device::spec();
      edit(spec);
      host::device::configure(spec);
    }
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    host::wexan::set_yun_env(&m_yun_env);
  }
  void TearDown() override {
    host::wexan::set_yun_env(nullptr);
    delete m_env;
    EXPECT_EQ(host::counters::get("yun_utility"), 0);
    HostTest::TearDown();
  }
  static void set_metadata(const VOK_ATOM_NODE* a, const char* key, const char* value) {
    R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(a->get_id(), PELK::intern(4, key), PELK::intern(4, value));
  }
  static VOK_ATOM_NODE* find(const std::string& name) { return host::testing::netlist().find(name); }
  // Unplaced ZOTA registers on one driver, each feeding an output.
  static std::vector<VOK_ATOM_NODE*> fan(host::testing::NETLIST_BUILDER& n, host::testing::SIG driver,
                                         const std::string& prefix, int count, host::testing::SIG clk) {
    std::vector<VOK_ATOM_NODE*> out;
    for (int i = 0; i < count; ++i) {
      auto z = n.zota_reg(prefix + std::to_string(i)).clk(clk).d(driver).atom();
      n.io_out(prefix + "_o" + std::to_string(i), z);
      out.push_back(z);
    }
    return out;
  }
  static std::string last_merge_line() {
    std::string last;
    for (const auto& l : host::debug::texts())
      if (l.rfind("Info: ZOTA FF merge performed", 0) == 0) last = l;
    return last;
  }
  WEXAN_ENV* m_env = nullptr;
  HOST_YUN_ENV m_yun_env;
};

// Only unplaced registers the fitter may modify take part in a merge: a
// register on any register site (the first of the device too) or one the
// fitter may not modify stays as it is, and is not offered to the others.
// A placed one heads the walk over the unplaced ones it drives.
TEST_F(RetimerRulesTest, TheMergeLeavesPlacedAndUnmodifiableRegistersAlone) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto z = fan(n, n.lut("src", {n.input_port("in")}, 0x2), "z", 2, clk);
  const auto& table = host::device::die_info()->get_place_info()->get_location_table();
  ASSERT_NE(table[0].element, 0);
  z[0]->set_location(0, table[0].element);
  auto x = fan(n, z[0], "x", 2, clk);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_EQ(last_merge_line(), "Info: ZOTA FF merge performed 1 checks and 1 merges");
  EXPECT_EQ(find("z0"), z[0]);
  EXPECT_EQ(find("z1"), z[1]);
  EXPECT_EQ(find("x0"), nullptr);
  EXPECT_EQ(find("x1"), x[1]);

  auto y = fan(n, n.lut("src2", {n.input_port("in2")}, 0x2), "y", 3, clk);
  y[1]->set_modifiable(false);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_EQ(last_merge_line(), "Info: ZOTA FF merge performed 1 checks and 1 merges");
  EXPECT_EQ(find("y1"), y[1]);
  EXPECT_EQ((find("y0") != nullptr) + (find("y2") != nullptr), 1);
}

// A register that the driver feeds through two of its inputs is one
// participant, offered once and never to itself.
TEST_F(RetimerRulesTest, ARegisterReachedTwiceFromItsDriverIsOneParticipant) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto src = n.lut("src", {n.input_port("in")}, 0x2);
  auto twice = n.zota_reg("twice").clk(clk).d(src).ce(src).atom();
  n.io_out("o", twice);
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_EQ(last_merge_line(), "Info: ZOTA FF merge performed 0 checks and 0 merges");
  EXPECT_EQ(find("twice"), twice);
  for (const auto& l : host::call_lines()) EXPECT_EQ(l.rfind("SIV_ATOM_MOD_UTILITY::merge_zota_registers", 0), std::string::npos) << l;
}

// With the periphery-transfer switch off, a locked periphery-transfer
// register is as locked as any other.
TEST_F(RetimerRulesTest, LockedPeripheryTransfersStayUnmergedWhenTheFitterDoesNotManageThem) {
  // The switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("route_zota_manage_p2c_zota");
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto p = fan(n, n.lut("src", {n.input_port("in")}, 0x2), "p", 2, clk);
  for (auto* r : p) {
    set_metadata(r, "RETIMER_NO_TOUCH", "LOCKED");
    set_metadata(r, "P2C_ZOTA", "P2C");
  }
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_EQ(last_merge_line(), "Info: ZOTA FF merge performed 0 checks and 0 merges");
  EXPECT_EQ(find("p0"), p[0]);
  EXPECT_EQ(find("p1"), p[1]);
}

// Depopulation needs a device that depopulates and a retiming environment;
// the engine's refusal is the pass's answer, and the high-fanout update
// follows only a success, and only when asked for.
TEST_F(RetimerRulesTest, DepopulationNeedsAnEnvironmentAndReportsTheEnginesAnswer) {
  start();
  auto n = host::testing::netlist();
  auto z = n.zota_reg("z").clk(n.input_port("clk")).d(n.input_port("in")).atom();
  host::testing::place_in_slot(z, 3, 3, 61);
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  DeviceSpec spec = host::device::spec();
  spec.zota_depopulation = true;
  host::device::configure(spec);
  host::wexan::set_yun_env(nullptr);
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
  EXPECT_TRUE(z->is_placed());

  host::wexan::set_yun_env(&m_yun_env);
  host::script::queue<bool>("YUN_UTILITY::depopulate_netlist").push(true).push(false);
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::update_atom_info_for_high_fanout_depop"), 0);
  cfg_set_on("duplicate_high_fanout_depop_signals");
  EXPECT_FALSE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_EQ(host::call_count("YUN_UTILITY::depopulate_netlist"), 2);
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::update_atom_info_for_high_fanout_depop"), 0);
  EXPECT_TRUE(VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE::current(), m_env));
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::update_atom_info_for_high_fanout_depop"), 1);
}

// With the LUT-RAM input switch off, the forced depopulation takes only the
// user-assigned registers: a LUT-RAM's input register is neither depopulated
// nor locked. Once a device depopulated by instance, user assignments stay
// forced for the rest of the process.
TEST_F(RetimerRulesTest, WithoutTheLutramSwitchOnlyUserAssignedRegistersAreForced) {
  // The LUT-RAM switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("velmo_depop_lutram_port_a_data_in_register");
  start([](DeviceSpec& s) { s.zota_depopulation_by_instance = true; });
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto user = n.reg("user").clk(clk).d(n.input_port("in")).atom();
  host::testing::place_at(user, 2, 2, 1);
  user->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  host::options::set(1177, 6, "424", "user");
  auto ff = n.reg("ff").clk(clk).d(n.input_port("in2")).atom();
  n.lutram("m").data_in(ff).clk(clk);
  EXPECT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  EXPECT_TRUE(user->is_zota_marked());
  EXPECT_FALSE(ff->is_zota_marked());
  EXPECT_TRUE(R5T_INTERFACE::get_or_create_instance()->get_atom_metadata(ff->get_id(), PELK::intern(4, "RETIMER_NO_TOUCH")).is_null());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Force Depop flow depoped 0 LUTRAM data in ff, and 1 user assignments"));

  DeviceSpec spec = host::device::spec();
  spec.zota_depopulation_by_instance = false;
  host::device::configure(spec);
  auto later = n.reg("later").clk(clk).d(n.input_port("in3")).atom();
  later->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->set_connection_code(5);
  host::options::set(1177, 6, "424", "later");
  EXPECT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  EXPECT_TRUE(later->is_zota_marked());
}

// The restriction report is made for a depopulating device as for one with
// register packing after routing; for neither, none is made.
TEST_F(RetimerRulesTest, TheRestrictionReportFollowsDepopulation) {
  start();
  auto n = host::testing::netlist();
  n.reg("r").clk(n.input_port("clk")).d(n.input_port("in"));
  const auto& tables = PIZ_REPORT_DATABASE::of(CMP_FACADE::current())->get_current_folder()->tables();
  EXPECT_TRUE(VELMO_RETIMER::generate_zento_reg_restriction_report(m_env));
  EXPECT_EQ(tables.size(), 0u);
  DeviceSpec spec = host::device::spec();
  spec.zota_depopulation = true;
  host::device::configure(spec);
  EXPECT_TRUE(VELMO_RETIMER::generate_zento_reg_restriction_report(m_env));
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0]->rows().size(), 1u);
}

// Re-creating the core-to-periphery registers taints the netlist only when a
// register was re-created.
TEST_F(RetimerRulesTest, NoUibEsramRegisterRecreatedTaintsNothing) {
  start();
  auto n = host::testing::netlist();
  auto r = n.reg("r").clk(n.input_port("clk")).d(n.input_port("in")).atom();
  n.io_out("o", r);
  {
    VOK_RE_ROUTING_MODIFIER modifier(*VOK_CHIP_DB_ENTRY::current()->get_routing(), "test", false, false);
    VELMO_RETIMER::dedicated_repopulate_uib_esram_c2p_core_atoms(m_env, modifier);
  }
  EXPECT_EQ(find("r"), r);
  EXPECT_EQ(host::call_count("WEXAN_DESIGN::insert_atom"), 0);
  EXPECT_EQ(host::call_count("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 0);
}

// The search for unplaced registers behind placed ones on ZOTA routing
// resources ends on a ring of such placed registers, and finds nothing there.
TEST_F(RetimerRulesTest, ARingOfPlacedRegistersOnZotaResourcesEndsTheSearch) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto x = n.lut("x", {n.input_port("in")}, 0x2);
  auto a = n.zota_reg("a").clk(clk).ce(x).atom();
  auto b = n.zota_reg("b").clk(clk).d(a).atom();
  host::testing::REG_BUILDER(a).d(b);
  // The one register whose data comes from outside the ring heads the walk.
  auto c = n.zota_reg("c").clk(clk).d(x).atom();
  n.io_out("o", b);
  n.io_out("o2", c);
  host::testing::place_in_slot(a, 3, 3, 61);
  host::testing::place_in_slot(b, 3, 4, 61);
  host::testing::place_in_slot(c, 3, 5, 61);
  host::swavo::set_zota_routing_resources({a->get_location_gid(), b->get_location_gid(), c->get_location_gid()});
  VELMO_RETIMER::retimer_merge_zotas(m_env);
  EXPECT_EQ(last_merge_line(), "Info: ZOTA FF merge performed 0 checks and 0 merges");
  EXPECT_EQ(find("a"), a);
  EXPECT_EQ(find("b"), b);
  host::swavo::set_zota_routing_resources({});
}

// A LUT-RAM input register whose data input is open is skipped: it is
// neither depopulated nor locked, and the pass goes on.
TEST_F(RetimerRulesTest, ALutramInputRegisterWithAnOpenDataInputIsSkipped) {
  // The LUT-RAM switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("velmo_depop_lutram_port_a_data_in_register");
  cfg_set_on("lutram_zota_debug_verbose");
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto ff = n.reg("ff").clk(clk).d(n.input_port("in")).atom();
  ff->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->disconnect_from_source(VOK_NET_ITERM::OPEN);
  n.lutram("m").data_in(ff).clk(clk);
  EXPECT_TRUE(VELMO_RETIMER::force_depop_ffs_for_zota(m_env));
  EXPECT_FALSE(ff->is_zota_marked());
  EXPECT_TRUE(R5T_INTERFACE::get_or_create_instance()->get_atom_metadata(ff->get_id(), PELK::intern(4, "RETIMER_NO_TOUCH")).is_null());
  EXPECT_EQ(find("ff~FITTER_INSERTED"), nullptr);
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("lutram depop: input ff " + std::to_string(ff->get_id()) + " is unconnected or gnd"));
}

}  // namespace
