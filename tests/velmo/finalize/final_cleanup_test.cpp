// The sweep of sector-level clock gates that drive nothing, with the logic
// that fed only them, from the netlist and the routing.
#include <filesystem>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "siv/siv_atom_mod_utility.h"
#include "testing/host_test.h"
#include "testing/own_process.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "velmo_expert.h"
#include "vok/vok_chip_db_entry.h"
#include "wexan/wexan_env.h"

using host::testing::HostTest;
using host::testing::SIG;

namespace {

class FinalCleanupTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    m_expert = VELMO_EXPERT::create(CMP_FACADE::current(), m_env);
  }
  void TearDown() override {
    VELMO_EXPERT::destroy();
    delete m_env;
    HostTest::TearDown();
  }
  // A sector-level clock gate fed by `in`; its clock output drives nothing.
  VOK_ATOM_NODE* gate(host::testing::NETLIST_BUILDER& n, const std::string& name, SIG in, SIG in2 = SIG()) {
    auto g = n.atom(VOK_ATOM_KIND::SECTOR_CLK_GATE, name).input(DB_INPUT_PORT_CLK, 0, in);
    if (in2.oterm) g.input(DB_INPUT_PORT_ENA, 0, in2);
    g->add_output_term(DB_OUTPUT_PORT_CLK_GATE, 0);
    R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(
        g.id(), PELK::intern(4, "SECTOR_LEVEL_CLK_GATE_GROUP"), PELK::intern(4, "G0"));
    return g;
  }
  WEXAN_ENV* m_env = nullptr;
  VELMO_EXPERT* m_expert = nullptr;
};

TEST_F(FinalCleanupTest, DeadGateChainsGoLiveLogicAndPreservedLogicStay) {
  auto n = host::testing::netlist();
  auto in = n.input_port("in");
  auto a = n.lut("a", {in}, 0x2);
  auto b = n.lut("b", {a}, 0x2);
  auto shared = n.lut("shared", {in}, 0x2);
  auto r = n.reg("r").clk(in).d(shared);
  auto kept = n.lut("kept", {in}, 0x2);
  kept->set_modifiable(false);
  const int g1 = gate(n, "g1", b, shared)->get_id();
  const int g_kept = gate(n, "g_kept", kept, in)->get_id();
  // A gate that still drives a register stays, and so does its logic.
  auto live_in = n.lut("live_in", {in}, 0x2);
  VOK_ATOM_NODE* g2 = gate(n, "g2", live_in);
  n.reg("r2").clk(SIG(g2->get_output_term_by_type(DB_OUTPUT_PORT_CLK_GATE, 0))).d(in);
  // Logic shared by two dead gates.
  auto both = n.lut("both", {in}, 0x2);
  const int g3 = gate(n, "g3", both)->get_id();
  const int g4 = gate(n, "g4", both)->get_id();
  const int a_id = a.id(), b_id = b.id(), both_id = both.id();
  // A black box whose only load is a dead gate stays.
  auto box = n.blackbox("bb", [](host::testing::NETLIST_BUILDER& c) { c.output("o", c.input("i")); });
  box.in("i", in);
  const int g5 = gate(n, "g5", box.out("o"))->get_id();

  // Chains of uneven depth into one dead gate, and a driver that reaches it
  // both directly and through another: all of it goes, each atom once.
  auto x1 = n.lut("x1", {in}, 0x2);
  auto x2 = n.lut("x2", {x1}, 0x2);
  auto x3 = n.lut("x3", {x2}, 0x2);
  auto y1 = n.lut("y1", {in}, 0x2);
  const int g6 = gate(n, "g6", x3, y1)->get_id();
  auto fork = n.lut("fork", {in}, 0x2);
  auto join = n.lut("join", {fork}, 0x2);
  const int g7 = gate(n, "g7", join, fork)->get_id();
  const std::vector<int> uneven{g6, x1.id(), x2.id(), x3.id(), y1.id(), g7, fork.id(), join.id()};
  // A dead gate inside a box: its logic goes, the box and its port stay.
  int in_box_gate = -1, in_box_lut = -1, in_box_port = -1;
  auto box2 = n.blackbox("bb2", [&](host::testing::NETLIST_BUILDER& c) {
    SIG port = c.input("i");
    in_box_port = port.oterm->get_my_node()->get_id();
    auto l = c.lut("l", {port}, 0x2);
    in_box_lut = l.id();
    in_box_gate = gate(c, "g_in_box", l)->get_id();
  });
  box2.in("i", in);
  VOK_ATOM_NETLIST* box_netlist = box2.child();

  auto d = host::testing::routing();
  int b_wire = -1, shared_to_gate = -1, shared_to_r = -1;
  d.routing(b).wire(host::testing::h(2, 2)).mark(b_wire).sink(n.find("g1")->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  d.routing(shared)
      .wire(host::testing::h(3, 3))
      .branch([&](auto& br) {
        br.wire(host::testing::v(3, 3)).mark(shared_to_gate).sink(
            n.find("g1")->get_input_term_by_type(DB_INPUT_PORT_ENA, 0));
      })
      .wire(host::testing::h(4, 3)).mark(shared_to_r).sink(r.iterm(DB_INPUT_PORT_DATA_IN));
  d.attach();
  VOK_RE_ROUTING* routing = m_env->get_chip_db_entry()->get_routing();

  EXPECT_TRUE(m_expert->final_cleanup());

  VOK_ATOM_NETLIST* nl = m_env->get_atom_netlist();
  for (int gone : {g1, b_id, a_id, g3, g4, both_id, g5}) EXPECT_EQ(nl->get_atom_by_id(gone), nullptr) << gone;
  EXPECT_NE(n.find("bb"), nullptr);
  EXPECT_NE(n.find("shared"), nullptr);
  EXPECT_NE(n.find("r"), nullptr);
  EXPECT_NE(n.find("g2"), nullptr);
  EXPECT_NE(n.find("live_in"), nullptr);
  // Preserved logic and the design input stay although they fed only a dead
  // gate; the gate itself goes.
  EXPECT_EQ(nl->get_atom_by_id(g_kept), nullptr);
  EXPECT_NE(n.find("kept"), nullptr);
  EXPECT_NE(n.find("in"), nullptr);
  for (int gone : uneven) EXPECT_EQ(nl->get_atom_by_id(gone), nullptr) << gone;
  EXPECT_EQ(box_netlist->get_atom_by_id(in_box_gate), nullptr);
  EXPECT_EQ(box_netlist->get_atom_by_id(in_box_lut), nullptr);
  EXPECT_NE(box_netlist->get_atom_by_id(in_box_port), nullptr) << "the box's port stays";
  EXPECT_NE(n.find("bb2"), nullptr);
  EXPECT_TRUE(nl->sanity_check());

  EXPECT_FALSE(routing->is_live(b_wire));
  EXPECT_FALSE(routing->is_live(shared_to_gate));
  EXPECT_TRUE(routing->is_live(shared_to_r));
  EXPECT_EQ(routing->get_sink_nodes(r.iterm(DB_INPUT_PORT_DATA_IN)).size(), 1u);
  EXPECT_EQ(host::siv::live_utilities(), 0);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"WEXAN_ENV::create_atom_mod_utility_for_algorithm(9",
                                                "VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"velmo_clkgate_cleanup\"",
                                                "SIV_ATOM_MOD_UTILITY::remove_node",
                                                "VOK_RE_ROUTING_MODIFIER::~VOK_RE_ROUTING_MODIFIER(\"velmo_clkgate_cleanup\"",
                                                "SIV_ATOM_MOD_UTILITY::~SIV_ATOM_MOD_UTILITY"}));
}

// What the sweep may not delete stays, however dead: a preserved gate and
// what feeds it, the device's I/O atoms, a driver with another output still
// in use, a gate that has no clock output to look at, and a gate of another
// kind.
TEST_F(FinalCleanupTest, WhatTheSweepMayNotDeleteStays) {
  auto n = host::testing::netlist();
  auto in = n.input_port("in");
  auto kept_in = n.lut("kept_in", {in}, 0x2);
  VOK_ATOM_NODE* kept = gate(n, "kept", kept_in);
  kept->set_modifiable(false);
  auto ibuf = n.io_in("a");
  gate(n, "g_ibuf", ibuf);
  n.io_in("p");
  gate(n, "g_pad", SIG(n.find("p")));
  auto obuf = n.atom(VOK_ATOM_KIND::OBUF, "ob").input(DB_INPUT_PORT_BOX, 0, in);
  gate(n, "g_obuf", obuf);
  // A RAM whose first output feeds only a dead gate and whose second output
  // feeds a register.
  auto ram = n.atom(VOK_ATOM_KIND::RAM, "ram").input(DB_INPUT_PORT_BOX, 0, in);
  ram->add_output_term(DB_OUTPUT_PORT_DATA, 1);
  gate(n, "g_ram", ram.out(DB_OUTPUT_PORT_DATA, 0));
  n.reg("r").clk(in).d(ram.out(DB_OUTPUT_PORT_DATA, 1));
  auto no_clock = n.atom(VOK_ATOM_KIND::SECTOR_CLK_GATE, "no_clock").input(DB_INPUT_PORT_CLK, 0, in);
  R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(
      no_clock.id(), PELK::intern(4, "SECTOR_LEVEL_CLK_GATE_GROUP"), PELK::intern(4, "G0"));
  // Only sector-level gates are swept: an ordinary clock gate in the group
  // whose output drives nothing stays, and so does what feeds it.
  auto plain_in = n.lut("plain_in", {in}, 0x2);
  auto plain = n.atom(VOK_ATOM_KIND::CLK_GATE, "plain").input(DB_INPUT_PORT_CLK, 0, plain_in);
  if (plain->get_output_term_by_type(DB_OUTPUT_PORT_CLK_GATE, 0) == nullptr)
    plain->add_output_term(DB_OUTPUT_PORT_CLK_GATE, 0);
  R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(
      plain.id(), PELK::intern(4, "SECTOR_LEVEL_CLK_GATE_GROUP"), PELK::intern(4, "G0"));

  EXPECT_TRUE(m_expert->final_cleanup());
  for (const char* stays : {"kept", "kept_in", "a~ibuf", "a", "p", "ob", "ram", "r", "no_clock", "plain", "plain_in"})
    EXPECT_NE(n.find(stays), nullptr) << stays;
  for (const char* gone : {"g_ibuf", "g_pad", "g_obuf", "g_ram"}) EXPECT_EQ(n.find(gone), nullptr) << gone;
  EXPECT_EQ(ram.out(DB_OUTPUT_PORT_DATA, 1).oterm->count_flatten_fanouts(), 1);
  EXPECT_TRUE(m_env->get_atom_netlist()->sanity_check());
  // The before and after dumps are for debugging only.
  for (const std::string& name : host::call_names()) EXPECT_NE(name, "ZEL_ATOM_DUMPER::dump_current_atom_netlist");
}

TEST_F(FinalCleanupTest, NoTaggedGateMeansNoEditAndTheSwitchesAreFrozen) {
  auto n = host::testing::netlist();
  auto in = n.input_port("in");
  // A sector clock gate without the group metadata is not swept.
  auto g = n.atom(VOK_ATOM_KIND::SECTOR_CLK_GATE, "untagged").input(DB_INPUT_PORT_CLK, 0, in);
  g->add_output_term(DB_OUTPUT_PORT_CLK_GATE, 0);
  EXPECT_TRUE(m_expert->final_cleanup());
  EXPECT_NE(n.find("untagged"), nullptr);
  for (const std::string& name : host::call_names())
    EXPECT_NE(name, "WEXAN_ENV::create_atom_mod_utility_for_algorithm");

  // The skip switch was read at the first call of the process: switching it
  // on now changes nothing.
  cfg_set_on("velmo_skip_sweeping_unused_slclkgates");
  auto dead = gate(n, "dead", in);
  const int dead_id = dead->get_id();
  EXPECT_TRUE(m_expert->final_cleanup());
  EXPECT_EQ(m_env->get_atom_netlist()->get_atom_by_id(dead_id), nullptr);
}

// The switches are read at the first sweep of the process: a process that
// starts with the skip switch on sweeps nothing.
TEST_F(FinalCleanupTest, TheSkipSwitchOnAtTheFirstSweepLeavesEveryGate) {
  if (!host::testing::in_own_process()) return;
  cfg_set_on("velmo_skip_sweeping_unused_slclkgates");
  auto n = host::testing::netlist();
  auto in = n.input_port("in");
  auto feed = n.lut("feed", {in}, 0x2);
  gate(n, "dead", feed);
  EXPECT_TRUE(m_expert->final_cleanup());
  EXPECT_NE(n.find("dead"), nullptr);
  EXPECT_NE(n.find("feed"), nullptr);
  EXPECT_EQ(host::call_count("WEXAN_ENV::create_atom_mod_utility_for_algorithm"), 0);
}

// With the verbose switch on at the first sweep, the netlist is dumped before
// and after the edit; a sweep with nothing to sweep dumps nothing.
TEST_F(FinalCleanupTest, TheVerboseSwitchDumpsTheNetlistAroundTheEdit) {
  if (!host::testing::in_own_process()) return;
  cfg_set_on("velmo_final_cleanup_verbose_debug");
  auto n = host::testing::netlist();
  auto in = n.input_port("in");
  EXPECT_TRUE(m_expert->final_cleanup());
  EXPECT_EQ(host::call_count("ZEL_ATOM_DUMPER::dump_current_atom_netlist"), 0);
  gate(n, "dead", n.lut("feed", {in}, 0x2));
  host::testing::routing().attach();
  host::clear_calls();
  EXPECT_TRUE(m_expert->final_cleanup());
  EXPECT_EQ(n.find("dead"), nullptr);
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "ZEL_ATOM_DUMPER::dump_current_atom_netlist(\"atom_netlist.before_final_cleanup_sweeping\", true)",
                  "SIV_ATOM_MOD_UTILITY::remove_node",
                  "ZEL_ATOM_DUMPER::dump_current_atom_netlist(\"atom_netlist.after_final_cleanup_sweeping\", true)"}));
  // The routing is dumped too, before and after.
  EXPECT_TRUE(std::filesystem::exists("stitched.before_final_cleanup_sweeping"));
  EXPECT_TRUE(std::filesystem::exists("stitched.after_final_cleanup_sweeping"));
}

}  // namespace
