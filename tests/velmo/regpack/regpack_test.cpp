// Register packing: the family interface's delays and packers, the legality
// listener in both modes and the prefit packing run.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "jopp/jopp_pr.h"
#include "msg/msg_base.h"
#include "nolt/nolt_register_packer.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "thr/thr_drl.h"
#include "velmo_register_packer.h"
#include "velmo_register_packer_clk_region_callback.h"
#include "velmo_register_packer_op_interface.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wump/wump_die_info.h"

using host::testing::DEVICE_BUILDER;
using host::testing::Family;
using host::testing::HostTest;

namespace {

class RegpackTest : public HostTest {
protected:
  void make_env(int family) {
    DEVICE_BUILDER(family).build();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete m_env;
    HostTest::TearDown();
  }
  WEXAN_ENV* m_env = nullptr;
};

int delay(const VELMO_REGISTER_PACKER_OP_INTERFACE& rp, VOK_ATOM_OTERM* o, VOK_ATOM_ITERM* i, bool& flag) {
  return rp.get_delay_for_connection(o, i, flag);
}

}  // namespace

TEST_F(RegpackTest, DelayTableRowsAndOutFlag) {
  // The packer's workaround notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  make_env(Family::KY);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto ibuf = n.io_in("din");
  auto r = n.reg("r").clk(clk).d(ibuf);
  auto l = n.lut("l", {r, r}, 0x6ull);
  auto l2 = n.lut("l2", {l}, 0x2ull);
  auto ram = n.ram("m");
  auto opad = n.io_out("dout", l);
  // io_out returns the pad; the output buffer drives it.
  VOK_ATOM_ITERM* pad_in_term = opad->get_iterm_slot(0);
  ASSERT_NE(pad_in_term, nullptr);
  VOK_ATOM_NODE* obuf = pad_in_term->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node();
  ASSERT_TRUE(obuf->is_io_obuf());
  VELMO_REGISTER_PACKER_OP_INTERFACE rp;

  VOK_ATOM_OTERM* lut_out = l.out().oterm;
  VOK_ATOM_ITERM* reg_d = r.iterm(DB_INPUT_PORT_DATA_IN);
  VOK_ATOM_ITERM* lut_in = l2.iterm(static_cast<DB_INPUT_PORT_TYPE>(12));
  bool flag = false;
  // LUT to register by data-input usage.
  reg_d->set_usage(20);
  EXPECT_EQ(delay(rp, lut_out, reg_d, flag), 104);
  reg_d->set_usage(32);
  EXPECT_EQ(delay(rp, lut_out, reg_d, flag), 416);
  reg_d->set_usage(0);
  EXPECT_EQ(delay(rp, lut_out, reg_d, flag), 416);
  reg_d->set_usage(7);
  EXPECT_EQ(delay(rp, lut_out, reg_d, flag), 488);
  // LUT to LUT by output usage: two fixed figures, else 2.349 ns.
  lut_out->set_usage(0);
  EXPECT_EQ(delay(rp, lut_out, lut_in, flag), 45);
  lut_out->set_usage(252);
  EXPECT_EQ(delay(rp, lut_out, lut_in, flag), 320);
  lut_out->set_usage(9);
  EXPECT_EQ(delay(rp, lut_out, lut_in, flag), 488);
  // A LUT may drive an input buffer input whose usage is not 9.
  VOK_ATOM_ITERM* ibuf_in = ibuf->get_iterm_slot(0);
  ASSERT_NE(ibuf_in, nullptr);
  ibuf_in->set_usage(4);
  EXPECT_EQ(delay(rp, lut_out, ibuf_in, flag), 676);
  ibuf_in->set_usage(9);
  EXPECT_EQ(host::testing::expect_internal_error([&] { delay(rp, lut_out, ibuf_in, flag); }).condition,
            "lcell (id: " + std::to_string(l.id()) + ") cannot drive pads or ibufs, only obufs (id: " +
                std::to_string(ibuf.id()) + ")");
  // Register and LUT to an output buffer, register to a LUT and a register;
  // input buffer to a register and to an output buffer.
  VOK_ATOM_ITERM* obuf_in = obuf->get_iterm_slot(0);
  ASSERT_NE(obuf_in, nullptr);
  EXPECT_EQ(delay(rp, r.out().oterm, obuf_in, flag), 1284);
  EXPECT_EQ(delay(rp, r.out().oterm, lut_in, flag), 488);
  EXPECT_EQ(delay(rp, r.out().oterm, reg_d, flag), 488);
  EXPECT_EQ(delay(rp, lut_out, obuf_in, flag), 1284);
  EXPECT_EQ(delay(rp, ibuf.out().oterm, reg_d, flag), 1021);
  EXPECT_EQ(delay(rp, ibuf.out().oterm, obuf_in, flag), 1015);
  EXPECT_EQ(host::testing::expect_internal_error([&] { delay(rp, r.out().oterm, ibuf_in, flag); }).condition,
            "ff cannot drive pads or ibufs, only obufs");
  EXPECT_FALSE(flag);

  // The two pad connections return 0 and set the out-flag.
  VOK_ATOM_OTERM* pad_out = ibuf_in->get_source(VOK_TRAVERSE_AS_STORED);
  ASSERT_NE(pad_out, nullptr);
  ASSERT_TRUE(pad_out->get_my_node()->is_pin());
  EXPECT_EQ(delay(rp, pad_out, ibuf_in, flag), 0);
  EXPECT_TRUE(flag);
  flag = false;
  EXPECT_EQ(delay(rp, obuf->get_oterm_slot(0), pad_in_term, flag), 0);
  EXPECT_TRUE(flag);
  EXPECT_EQ(host::testing::expect_internal_error([&] { delay(rp, obuf->get_oterm_slot(0), lut_in, flag); }).condition,
            "Pleck IO output buffer should only drive pads");
  EXPECT_EQ(host::testing::expect_internal_error([&] { delay(rp, pad_out, lut_in, flag); }).condition,
            "Pad should only drive ibufs");
  // RAM rows: from a RAM (never into an input buffer), and into one from a
  // LUT, a register and an input buffer.
  VOK_ATOM_OTERM* ram_out = ram->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0);
  ASSERT_NE(ram_out, nullptr);
  EXPECT_EQ(delay(rp, ram_out, lut_in, flag), 706);
  EXPECT_EQ(delay(rp, ram_out, obuf_in, flag), 1581);
  EXPECT_EQ(host::testing::expect_internal_error([&] { delay(rp, ram_out, ibuf_in, flag); }).condition,
            "lcell cannot drive pads or ibufs, only obufs");
  VOK_ATOM_ITERM* ram_in = ram->add_input_term(DB_INPUT_PORT_DATA_IN, 0);
  EXPECT_EQ(delay(rp, lut_out, ram_in, flag), 717);
  EXPECT_EQ(delay(rp, r.out().oterm, ram_in, flag), 717);
  EXPECT_EQ(delay(rp, ibuf.out().oterm, ram_in, flag), 1517);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("****** HACK WARNING ******"));
}

TEST_F(RegpackTest, InterfaceMakesAndDeletesItsPackers) {
  make_env(Family::KX);
  {
    VELMO_REGISTER_PACKER_OP_INTERFACE rp;
    std::vector<DB_INPUT_PORT_TYPE> ports{DB_INPUT_PORT_CLK};
    rp.get_packing_input_ports_for_register(&ports);
    EXPECT_EQ(ports, (std::vector<DB_INPUT_PORT_TYPE>{static_cast<DB_INPUT_PORT_TYPE>(20),
                                                       static_cast<DB_INPUT_PORT_TYPE>(32),
                                                       static_cast<DB_INPUT_PORT_TYPE>(0)}));
    NOLT_REGISTER_PACKER* io = rp.create_io_register_packer(m_env, m_env->get_design());
    EXPECT_EQ(io, rp.get_io_register_packer());
    EXPECT_NE(rp.create_ram_register_packer(m_env), nullptr);
    EXPECT_NE(rp.create_mac_register_packer(m_env), nullptr);
    EXPECT_EQ(host::counters::get("NOLT_REGISTER_PACKER"), 3);
    EXPECT_EQ(host::counters::get("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE"), 1);
    rp.delete_register_packers();
    rp.delete_register_packers();  // harmless
    EXPECT_EQ(host::counters::get("NOLT_REGISTER_PACKER"), 0);
    EXPECT_EQ(host::counters::get("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE"), 0);
    EXPECT_EQ(rp.get_io_register_packer(), nullptr);

    std::vector<NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER*> listeners;
    rp.create_register_packer_legality_listeners(listeners);
    ASSERT_EQ(listeners.size(), 1u);
    EXPECT_EQ(host::testing::expect_internal_error([&] { rp.create_register_packer_legality_listeners(listeners); })
                  .condition,
              "listeners.empty()");
    delete listeners[0];

    host::script::queue<bool>("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::create_dsp_register_packer").push(false);
    EXPECT_EQ(host::testing::expect_internal_error([&] { rp.create_mac_register_packer(m_env); }).condition,
              "m_dsp_register_packer != NULL");
  }
  // Destroying the interface frees what a failed creation left.
  EXPECT_EQ(host::counters::get("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE"), 0);
}

TEST_F(RegpackTest, LocationManagerModeCommitsAcceptedPairs) {
  make_env(Family::KY);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto a = n.reg("a").clk(clk);
  auto b = n.reg("b").clk(clk);
  auto c = n.reg("c").clk(clk);
  auto ram = n.ram("m");
  auto mac = n.mac("x");
  VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK cb;
  EXPECT_TRUE(cb.uses_location_manager());
  EXPECT_TRUE(cb.is_ram_packing_feasible({a, ram}, nullptr));
  // The accepted pair is committed: the same register cannot go anywhere else.
  EXPECT_FALSE(cb.is_dsp_packing_feasible({a, mac}, nullptr));
  EXPECT_TRUE(cb.is_ram_packing_feasible({b, ram}, nullptr));
  EXPECT_FALSE(cb.is_ram_packing_feasible({c, ram}, nullptr));  // the block is full
  EXPECT_TRUE(cb.is_dsp_packing_feasible({c, mac}, nullptr));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "NORBO_MANAGER::initialize_devices(ptr, ptr, true, 1)",
                                      "NORBO_MANAGER::can_pack_atoms(atom#" + std::to_string(a.id()),
                                      "NORBO_MANAGER::pack_atoms(atom#" + std::to_string(a.id()),
                                  }));
  // An accepted I/O pair is committed the same way.
  auto d = n.reg("d").clk(clk);
  auto accepted = n.io_in("din0");
  host::clear_calls();
  EXPECT_TRUE(cb.is_io_packing_feasible({d, accepted}, NOLT_IO_RP_INPUT_REGISTER, nullptr));
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains("NORBO_MANAGER::pack_atoms(atom#" + std::to_string(d.id()) + ", atom#" +
                                  std::to_string(accepted.id()) + ", 0)"));
  // I/O pairs refused by the manager leave status 8 in the explanation.
  auto ibuf = n.io_in("din");
  NOLT_RP_EXPLANATION why;
  EXPECT_FALSE(cb.is_io_packing_feasible({a, ibuf}, NOLT_IO_RP_INPUT_REGISTER, &why));
  ASSERT_EQ(why.io_entries().size(), 1u);
  EXPECT_EQ(why.io_entries()[0].status, 8);
  EXPECT_EQ(why.io_entries()[0].register_id, a.id());
}

TEST_F(RegpackTest, ClockRuleModeOnLargePeripheryFamilies) {
  make_env(Family::KX15);
  auto n = host::testing::netlist();
  auto c1 = n.input_port("c1");
  auto c2 = n.input_port("c2");
  auto c3 = n.input_port("c3");
  auto a = n.reg("a").clk(c1);
  auto b = n.reg("b").clk(c2);
  auto c = n.reg("c").clk(c3);
  auto d = n.reg("d").clk(c1);
  auto ram = n.ram("m");
  VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK cb;
  EXPECT_FALSE(cb.uses_location_manager());
  EXPECT_TRUE(cb.is_ram_packing_feasible({a, ram}, nullptr));
  EXPECT_TRUE(cb.is_ram_packing_feasible({b, ram}, nullptr));
  EXPECT_FALSE(cb.is_ram_packing_feasible({c, ram}, nullptr));  // a third clock
  EXPECT_TRUE(cb.is_ram_packing_feasible({d, ram}, nullptr));   // a clock already there
  EXPECT_EQ(JOPP::clocks_at_block(ram.id()), 2);
  for (const HOST_CALL& call : host::calls()) EXPECT_NE(call.name, "NORBO_MANAGER::initialize_devices");
}

TEST_F(RegpackTest, IoFeasibilityWithALockedTargetSite) {
  make_env(Family::KX);
  auto n = host::testing::netlist();
  auto c1 = n.input_port("c1");
  auto c2 = n.input_port("c2");
  auto c3 = n.input_port("c3");
  auto a = n.reg("a").clk(c1);
  auto b = n.reg("b").clk(c2);
  auto c = n.reg("c").clk(c3);
  // Pin 1 of the left-edge tile (0, 2): site parent at z 6, input buffer at z 8.
  auto ibuf = n.io_in("din").locked(0, 2, 8, 0x200);
  auto free_ibuf = n.io_in("din2");
  auto lut = n.lut("l", {a}, 0x2ull);
  VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK cb;

  // An unlocked buffer is always feasible.
  EXPECT_TRUE(cb.is_io_packing_feasible({c, free_ibuf}, NOLT_IO_RP_INPUT_REGISTER, nullptr));
  EXPECT_TRUE(cb.is_io_packing_feasible({a, ibuf}, NOLT_IO_RP_INPUT_REGISTER, nullptr));
  EXPECT_TRUE(cb.is_io_packing_feasible({b, ibuf}, NOLT_IO_RP_INPUT_REGISTER, nullptr));
  NOLT_RP_EXPLANATION why;
  EXPECT_FALSE(cb.is_io_packing_feasible({c, ibuf}, NOLT_IO_RP_INPUT_REGISTER, &why));
  ASSERT_EQ(why.io_entries().size(), 1u);
  EXPECT_EQ(why.io_entries()[0].status, 8);
  EXPECT_EQ(why.io_entries()[0].io_id, ibuf.id());
  EXPECT_EQ(why.submessages().size(), 1u);

  // The target is the input-register site (kind 653) under the same site
  // parent: z 10 of the tile.
  const unsigned target = host::device::die_info()->get_place_info()->get_global_id(653, 0, 2, 10);
  EXPECT_EQ(JOPP::clocks_at_site(target), 2);
  // An output buffer of the same pin (z 9) takes its register at the
  // output-register site (kind 654), z 11.
  auto opad = n.io_out("dout", lut.out());
  host::testing::GENERIC_BUILDER obuf(opad->get_iterm_slot(0)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node());
  ASSERT_TRUE(obuf->is_io_obuf());
  obuf.locked(0, 2, 9, 0x200);
  EXPECT_TRUE(cb.is_io_packing_feasible({c, obuf}, NOLT_IO_RP_OUTPUT_REGISTER, nullptr));
  EXPECT_EQ(JOPP::clocks_at_site(host::device::die_info()->get_place_info()->get_global_id(654, 0, 2, 11)), 1);
  EXPECT_EQ(JOPP::clocks_at_site(target), 2);

  // Only buffers can take an I/O register.
  EXPECT_EQ(host::testing::expect_internal_error(
                [&] { cb.is_io_packing_feasible({a, lut}, NOLT_IO_RP_INPUT_REGISTER, nullptr); })
                .condition,
            "io_atom->is_io_obuf() || io_atom->is_io_ibuf()");
  // A buffer locked where its pin has no register site of that kind.
  auto misplaced = n.io_in("din4").locked(3, 3, 0, 0x200);
  EXPECT_EQ(host::testing::expect_internal_error(
                [&] { cb.is_io_packing_feasible({a, misplaced}, NOLT_IO_RP_INPUT_REGISTER, nullptr); })
                .condition,
            "target_gid != DEV_ILLEGAL_GLOBAL_ID");
  // A locked box is not an exact location.
  auto boxed = n.io_in("din3").locked_box(0, 1, 0, 3, 0x200);
  EXPECT_EQ(host::testing::expect_internal_error(
                [&] { cb.is_io_packing_feasible({a, boxed}, NOLT_IO_RP_INPUT_REGISTER, nullptr); })
                .condition,
            "io_loc_locked.is_specified_exactly()");
}

TEST_F(RegpackTest, PackingRunsUserThenOpportunisticPacking) {
  make_env(Family::KY);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.reg("a").clk(clk).locked(3, 3, 1, 0x200);
  host::clear_calls();
  EXPECT_TRUE(VELMO_REGISTER_PACKER::do_packing(m_env));
  EXPECT_EQ(host::call_names(), (std::vector<std::string>{
                                    "MUB_PERIPH_FLOW::pre_regpack",
                                    "NOLT_FF_REGISTER_PACKER_OP::NOLT_FF_REGISTER_PACKER_OP",
                                    "NOLT_FF_REGISTER_PACKER_OP::perform_timing_analysis",
                                    "GEN_PROFILE_BINS::open_with_tag",
                                    "GEN_PROFILE_BINS::open_with_tag",
                                    "NOLT_RP_UTIL::sweep_inverters_and_wire_luts_at_packable_boundaries",
                                    "GEN_PROFILE_BINS::close",
                                    "NOLT_FF_REGISTER_PACKER_OP::initialize_and_sweep_netlist",
                                    "NOLT_FF_REGISTER_PACKER_OP::pack_registers_due_to_location_assignments",
                                    "GEN_PROFILE_BINS::close",
                                    "GEN_PROFILE_BINS::open_with_tag",
                                    "NOLT_FF_REGISTER_PACKER_OP::pack_registers_opportunistically",
                                    "GEN_PROFILE_BINS::close",
                                    "NOLT_FF_REGISTER_PACKER_OP::~NOLT_FF_REGISTER_PACKER_OP",
                                    "NOLT_FF_REGISTER_PACKER_OP::free_permanent_data",
                                }));

  // A failed location-assignment pass skips opportunistic packing.
  host::clear_calls();
  host::script::queue<bool>("NOLT_FF_REGISTER_PACKER_OP::pack_registers_due_to_location_assignments").push(false);
  EXPECT_FALSE(VELMO_REGISTER_PACKER::do_packing(m_env));
  for (const std::string& name : host::call_names())
    EXPECT_NE(name, "NOLT_FF_REGISTER_PACKER_OP::pack_registers_opportunistically");

  // A failed periphery step skips both but still builds, analyses and frees.
  host::clear_calls();
  host::script::queue<bool>("MUB_PERIPH_FLOW::pre_regpack").push(false);
  EXPECT_FALSE(VELMO_REGISTER_PACKER::do_packing(m_env));
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "NOLT_FF_REGISTER_PACKER_OP::perform_timing_analysis",
                                      "NOLT_FF_REGISTER_PACKER_OP::~NOLT_FF_REGISTER_PACKER_OP",
                                      "NOLT_FF_REGISTER_PACKER_OP::free_permanent_data"}));
  for (const std::string& name : host::call_names())
    EXPECT_NE(name, "NOLT_FF_REGISTER_PACKER_OP::initialize_and_sweep_netlist");

  // User packing needs the environment.
  NOLT_FF_REGISTER_PACKER_OP op(false);
  EXPECT_EQ(host::testing::expect_internal_error([&] { VELMO_REGISTER_PACKER::do_user_register_packing(nullptr, &op); })
                .condition,
            "env");
}

TEST_F(RegpackTest, UserPackingEndsEarlyWithoutLockedRegisters) {
  make_env(Family::KY);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  // A register kept out of packing (bit 46) does not count.
  auto kept = n.reg("k").clk(clk).locked(3, 3, 1, 0x200);
  kept->set_bit(46, true);
  // Registers inside a black box count.
  EXPECT_FALSE(VELMO_REGISTER_PACKER::check_for_user_locked_ffs(m_env));
  n.blackbox("u", [](auto& c) { c.reg("inner").locked(4, 4, 1, 0x200); });
  EXPECT_TRUE(VELMO_REGISTER_PACKER::check_for_user_locked_ffs(m_env));
}

TEST_F(RegpackTest, ARegisterWithOnlyAFloatingConstraintIsUserLocked) {
  make_env(Family::KY);
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  host::testing::region("R", {{0, 0, 5, 5}});
  // A floating constraint of another source does not count.
  n.reg("other").clk(clk).floating(0, 0x1);
  EXPECT_FALSE(VELMO_REGISTER_PACKER::check_for_user_locked_ffs(m_env));
  n.reg("f").clk(clk).floating(0, 0x200);
  EXPECT_TRUE(VELMO_REGISTER_PACKER::check_for_user_locked_ffs(m_env));
}

TEST_F(RegpackTest, UserPackingEarlyExitRunsOpportunisticPacking) {
  make_env(Family::KY);
  EXPECT_TRUE(VELMO_REGISTER_PACKER::do_packing(m_env));
  auto names = host::call_names();
  for (const std::string& name : names) {
    EXPECT_NE(name, "NOLT_RP_UTIL::sweep_inverters_and_wire_luts_at_packable_boundaries");
    EXPECT_NE(name, "NOLT_FF_REGISTER_PACKER_OP::initialize_and_sweep_netlist");
  }
  EXPECT_THAT(names, CallSequence(std::vector<std::string>{
                         "NOLT_FF_REGISTER_PACKER_OP::pack_registers_opportunistically"}));
}

TEST_F(RegpackTest, SkippedWhenEveryPartitionSkipsTheFitter) {
  make_env(Family::KY);
  host::wexan::set_all_partitions_can_skip_fitter(true);
  host::clear_calls();
  EXPECT_TRUE(VELMO_REGISTER_PACKER::do_packing(m_env));
  EXPECT_TRUE(VELMO_REGISTER_PACKER::do_packing_with_w3j3(m_env));
  EXPECT_TRUE(host::calls().empty());
}

TEST_F(RegpackTest, SkippedWhenRegisterPackingIsSwitchedOff) {
  // Each packing run reads its switch once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("velmo_enable_regpack");
  make_env(Family::KY);
  host::clear_calls();
  EXPECT_TRUE(VELMO_REGISTER_PACKER::do_packing(m_env));
  EXPECT_TRUE(host::calls().empty());
}

// Each run reads the switch the first time it runs: the port-model run saw
// it off, the later main run sees it on.
TEST_F(RegpackTest, EachRunReadsTheSwitchOnItsOwn) {
  // Each packing run reads its switch once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("velmo_enable_regpack");
  make_env(Family::KY);
  host::clear_calls();
  EXPECT_TRUE(VELMO_REGISTER_PACKER::do_packing_with_w3j3(m_env));
  EXPECT_TRUE(host::calls().empty());
  cfg_set_on("velmo_enable_regpack");
  VELMO_REGISTER_PACKER::do_packing(m_env);
  EXPECT_THAT(host::call_names(), ::testing::Contains("NOLT_FF_REGISTER_PACKER_OP::perform_timing_analysis"));
  // Once read, each run keeps its value.
  cfg_set_off("velmo_enable_regpack");
  host::clear_calls();
  VELMO_REGISTER_PACKER::do_packing(m_env);
  EXPECT_FALSE(host::calls().empty());
}

TEST_F(RegpackTest, W3j3RunPacksRamRegistersAggressively) {
  make_env(Family::KY);
  host::clear_calls();
  host::script::queue<bool>("NOLT_FF_REGISTER_PACKER_OP::pack_ram_register_aggressively").push(false);
  EXPECT_FALSE(VELMO_REGISTER_PACKER::do_packing_with_w3j3(m_env));
  EXPECT_EQ(host::call_lines(), (std::vector<std::string>{
                                    "MUB_PERIPH_FLOW::pre_regpack()",
                                    "NOLT_FF_REGISTER_PACKER_OP::NOLT_FF_REGISTER_PACKER_OP(true)",
                                    "NOLT_FF_REGISTER_PACKER_OP::pack_ram_register_aggressively()",
                                    "NOLT_FF_REGISTER_PACKER_OP::~NOLT_FF_REGISTER_PACKER_OP(true)",
                                    "NOLT_FF_REGISTER_PACKER_OP::free_permanent_data()",
                                }));
  // A failed periphery pre-pack leaves the RAM registers alone.
  host::clear_calls();
  host::script::queue<bool>("MUB_PERIPH_FLOW::pre_regpack").push(false);
  EXPECT_FALSE(VELMO_REGISTER_PACKER::do_packing_with_w3j3(m_env));
  EXPECT_EQ(host::call_count("NOLT_FF_REGISTER_PACKER_OP::pack_ram_register_aggressively"), 0);
}
