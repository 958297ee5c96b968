// The sector clock-gate fanout rewirer: groups and their sector boxes, moving
// fanouts to the gate of their sector, and what it leaves alone.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_clkgate_fanout_rewirer.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

using host::testing::DEVICE_BUILDER;
using host::testing::Family;
using host::testing::HostTest;

namespace {

class RewirerTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    DEVICE_BUILDER(Family::KY).build();  // 12 x 10 tiles: sectors split at x 6 and y 5
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    m_rewirer = new VELMO_CLKGATE_FANOUT_REWIRER(m_env);
  }
  void TearDown() override {
    delete m_rewirer;
    delete m_env;
    HostTest::TearDown();
  }
  // A sector gate of `group` placed on a register site of tile (x, y).
  VOK_ATOM_NODE* gate(host::testing::NETLIST_BUILDER& n, const std::string& name, int group, int x, int y,
                      bool original) {
    VOK_ATOM_NODE* g = n.atom(VOK_ATOM_KIND::SECTOR_CLK_GATE, name);
    g->add_output_term(DB_OUTPUT_PORT_CLK_GATE, 0);
    g->set_location(host::device::die_info()->get_place_info()->get_global_id(0, x, y, 1), 643);
    R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
    r5t->set_atom_metadata(g->get_id(), PELK::intern(4, "SECTOR_LEVEL_CLK_GATE_GROUP"),
                           PELK::intern(4, std::to_string(group)));
    if (original)
      r5t->set_atom_metadata(g->get_id(), PELK::intern(4, "SECTOR_LEVEL_CLK_GATE"), PELK::intern(4, "ORIGINAL"));
    return g;
  }
  static VOK_ATOM_OTERM* clk_out(VOK_ATOM_NODE* g) { return g->get_output_term_by_type(DB_OUTPUT_PORT_CLK_GATE, 0); }
  static VOK_ATOM_OTERM* clock_of(VOK_ATOM_NODE* r) {
    return r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  }

  WEXAN_ENV* m_env = nullptr;
  VELMO_CLKGATE_FANOUT_REWIRER* m_rewirer = nullptr;
};

}  // namespace

TEST_F(RewirerTest, FanoutsMoveToTheGateOfTheirSector) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* g0 = gate(n, "g0", 1, 2, 2, true);
  VOK_ATOM_NODE* g1 = gate(n, "g1", 1, 9, 7, false);
  auto stay = n.reg("stay").clk(clk_out(g0));
  auto edge = n.reg("edge").clk(clk_out(g0));
  auto move = n.reg("move").clk(clk_out(g0));
  auto unplaced = n.reg("unplaced").clk(clk_out(g0));
  auto io = n.io_reg("ioreg").clk(clk_out(g0));
  auto back = n.reg("back").clk(clk_out(g1));
  m_rewirer->set_atom_location(stay.id(), 3, 3);
  m_rewirer->set_atom_location(edge.id(), 5, 4);  // the sector's corner: bounds are inclusive
  m_rewirer->set_atom_location(move.id(), 9, 8);
  m_rewirer->set_atom_location(io.id(), 9, 8);
  m_rewirer->set_atom_location(back.id(), 1, 1);

  EXPECT_EQ(m_rewirer->work(), 1);
  EXPECT_EQ(clock_of(stay), clk_out(g0));
  EXPECT_EQ(clock_of(edge), clk_out(g0));
  EXPECT_EQ(clock_of(move), clk_out(g1));
  EXPECT_EQ(clock_of(back), clk_out(g0));
  // Periphery registers and fanouts without a location stay where they are.
  EXPECT_EQ(clock_of(io), clk_out(g0));
  EXPECT_EQ(clock_of(unplaced), clk_out(g0));
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Not rewiring atom " + std::to_string(unplaced.id()) + " without a recorded location"));
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::open_with_tag",
                                      "WEXAN_DESIGN::break_connection_between_iterm_and_oterm",
                                      "WEXAN_DESIGN::insert_fanout",
                                      "norbo_rewire_spine_tap_to_sector_level_clk_gate",
                                      "GEN_PROFILE_BINS::close"}));
}

// The original gate's fanouts are rewired before those of the gates listed
// ahead of it: the gate they move to takes them in that order. (Sectors do
// not overlap, so a gate's sector box is the one box holding it.)
TEST_F(RewirerTest, TheOriginalGateIsRewiredFirst) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* a = gate(n, "a", 1, 2, 2, false);
  VOK_ATOM_NODE* o = gate(n, "o", 1, 9, 2, true);
  VOK_ATOM_NODE* b = gate(n, "b", 1, 9, 7, false);
  auto from_a = n.reg("from_a").clk(clk_out(a));
  auto from_o = n.reg("from_o").clk(clk_out(o));
  m_rewirer->set_atom_location(from_a.id(), 8, 8);
  m_rewirer->set_atom_location(from_o.id(), 10, 8);
  EXPECT_EQ(m_rewirer->work(), 1);
  std::vector<VOK_ATOM_NODE*> order;
  for (VOK_ATOM_ITERM* t : clk_out(b)->fanout(VOK_TRAVERSE_HIERARCHICAL)) order.push_back(t->get_my_node());
  EXPECT_EQ(order, (std::vector<VOK_ATOM_NODE*>{from_o, from_a}));
}

TEST_F(RewirerTest, NoSectorGatesNoChange) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk);
  m_rewirer->set_atom_location(r.id(), 9, 8);
  // A sector gate without a group is not a member of any group.
  VOK_ATOM_NODE* loner = n.atom(VOK_ATOM_KIND::SECTOR_CLK_GATE, "loner");
  (void)loner;
  EXPECT_EQ(m_rewirer->work(), 0);
  for (const std::string& name : host::call_names())
    EXPECT_NE(name, "norbo_rewire_spine_tap_to_sector_level_clk_gate");
}

TEST_F(RewirerTest, FanoutOutsideEveryGateBoxIsAnInternalError) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* g0 = gate(n, "g0", 4, 2, 2, true);
  gate(n, "g1", 4, 9, 7, false);
  auto lost = n.reg("lost").clk(clk_out(g0));
  m_rewirer->set_atom_location(lost.id(), 9, 2);  // the lower-right sector has no gate of the group
  EXPECT_EQ(host::testing::expect_internal_error([&] { m_rewirer->work(); }).condition, "rewired");
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("fanout " + std::to_string(lost.id()) + " (9, 2) is outside of all clkgate fanout bbox"));
}

TEST_F(RewirerTest, PipelineRegistersTakeTheLocationOfTheirCoreNeighbour) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* g0 = gate(n, "g0", 2, 2, 2, false);  // no gate of the group is the original
  VOK_ATOM_NODE* g1 = gate(n, "g1", 2, 9, 7, false);
  // Forward: z1 -> z2 -> lut placed in the upper-right sector.
  auto z1 = n.zota_reg("z1").clk(clk_out(g0));
  auto z2 = n.zota_reg("z2").clk(clk_out(g0)).d(z1);
  auto l = n.lut("l", {z2}, 0x2ull);
  m_rewirer->set_atom_location(l.id(), 9, 8);
  // Backward: a placed register feeds z3, whose output goes nowhere.
  auto src = n.reg("src").clk(clk_out(g1));
  auto z3 = n.zota_reg("z3").clk(clk_out(g1)).d(src);
  m_rewirer->set_atom_location(src.id(), 1, 1);
  m_rewirer->set_atom_location(src.id(), 2, 1);  // the last location given counts
  // Backward to a register with no recorded location: not taken at (0, 0).
  auto z4 = n.zota_reg("z4").clk(clk_out(g1)).d(n.reg("unplaced").clk(clk_out(g1)));
  // A ring of pipeline registers with nothing placed around it.
  auto ra = n.zota_reg("ra").clk(clk_out(g0));
  auto rb = n.zota_reg("rb").clk(clk_out(g0)).d(ra);
  ra.d(rb);

  EXPECT_EQ(m_rewirer->work(), 1);
  EXPECT_EQ(clock_of(z1), clk_out(g1));
  EXPECT_EQ(clock_of(z2), clk_out(g1));
  EXPECT_EQ(clock_of(z3), clk_out(g0));
  EXPECT_EQ(clock_of(src), clk_out(g0));
  EXPECT_EQ(clock_of(ra), clk_out(g0));
  EXPECT_EQ(clock_of(z4), clk_out(g1));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Not rewiring ZOTA atom " + std::to_string(ra.id())));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Not rewiring ZOTA atom " + std::to_string(rb.id())));

  // Freed locations are gone: nothing is placed any more, so nothing moves.
  m_rewirer->free_all_atom_locations();
  EXPECT_EQ(m_rewirer->work(), 0);
}

TEST_F(RewirerTest, AssignedPipelineRegisterTakesItsSpineTapRow) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* g0 = gate(n, "g0", 3, 2, 2, true);
  VOK_ATOM_NODE* g1 = gate(n, "g1", 3, 9, 7, false);
  // Pipeline slot 60 of the LAB at (2, 8): its spine tap is in the centre
  // column of row 8, inside the upper-right sector.
  auto z = n.zota_reg("z").clk(clk_out(g0));
  host::options::set(1179, 6, "X2_Y8_N60", "z");
  // A project-wide value is no register's own assignment: one without its
  // own, and with nothing placed around it, stays.
  auto bare = n.zota_reg("bare").clk(clk_out(g0));
  host::options::set(1179, 6, "X2_Y8_N60");
  EXPECT_EQ(m_rewirer->work(), 1);
  EXPECT_EQ(clock_of(z), clk_out(g1));
  EXPECT_EQ(clock_of(bare), clk_out(g0));
}

TEST_F(RewirerTest, VerboseModeListsGroupsAndDumpsTheNetlist) {
  cfg_set_on("velmo_clkgate_fanout_rewirer_debug_verbose");
  delete m_rewirer;
  m_rewirer = new VELMO_CLKGATE_FANOUT_REWIRER(m_env);
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* g0 = gate(n, "g0", 5, 2, 2, true);
  auto r = n.reg("r").clk(clk_out(g0));
  m_rewirer->set_atom_location(r.id(), 1, 1);
  EXPECT_EQ(m_rewirer->work(), 0);
  EXPECT_THAT(host::debug::texts(), HasDebugLine(" group 5 with original gate id " + std::to_string(g0->get_id()) +
                                                 " with bbox (0, 0) - (5, 4)"));
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("fanout " + std::to_string(r.id()) + " placed in (1, 1) is already in the correct spot"));
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "ZEL_ATOM_DUMPER::dump_current_atom_netlist(\"atom_netlist.before_ky_clkgate_fanout_rewiring\"",
                  "ZEL_ATOM_DUMPER::dump_current_atom_netlist(\"atom_netlist.after_ky_clkgate_fanout_rewiring\""}));
}
