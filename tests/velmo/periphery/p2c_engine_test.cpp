// The periphery-core placement passes on the periphery scene: the LCELL
// periphery router, groups solved and committed (placement, lock, routing,
// hard marks), requirement errors, the UIB/ESRAM pass with its rejected
// registers, the report rows, and a place-and-route run after a commit.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "korrin/korrin_router.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "oxter/oxter_location_constraint.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "testing/routing_builder.h"
#include "tibex/tibex_placer.h"
#include "tibex/tibex_vpr_facade.h"
#include "velmo_periphery_to_core_placement.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_utilities.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "wump/wump_route_objects.h"

using host::testing::expect_internal_error;
using host::testing::periphery_chain_gid;
using host::testing::cut_routing_at;

namespace {

constexpr int INT = 4;
// The masks of a one-input LUT that passes its input through and of one that
// inverts it (mask bits are indexed by the complemented inputs).
constexpr std::uint64_t kWire = 0x1;
constexpr std::uint64_t kInverter = 0x2;

class P2cEngineTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    s = host::testing::scenes::kx_periphery();
  }
  static void assign(VOK_ATOM_NODE* atom, int code, const std::string& value) {
    host::options::set(code, INT, value, atom->get_string_hpath());
  }
  static const WUMP_DIE_INFO* die() { return host::device::die_info(); }
  // A port at (9, 9) listens to four wires of the LAB below it: all but
  // wire 0 are blacklisted.
  static void leave_one_wire_below_port_at_9() {
    const WUMP_ROUTE_INFO* info = die()->get_route_info();
    DeviceSpec spec = host::device::spec();
    for (int w : {4, 8, 12})
      spec.blacklist_gids.push_back(info->get_gid(w < 8 ? dev_kind::H_WIRE : dev_kind::V_WIRE, 9, 8, w));
    host::device::configure(spec);
  }
  static unsigned site(int x, int y, int z) { return die()->get_place_info()->get_global_id(0, x, y, z); }
  // A UIB at (x, 9) mapped to its own instance, feeding a new core register
  // (returned).
  static VOK_ATOM_NODE* uib_transfer(host::testing::NETLIST_BUILDER& n, const std::string& name, int x) {
    VOK_ATOM_NODE* u = n.atom(VOK_ATOM_KIND::UFI_UIB, name).placed(site(x, 9, 0), dev_kind::UIB);
    VOK_ATOM_NODE* r = n.reg("r_" + name).d(u);
    host::testing::map_port(u->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0),
                            host::testing::gesk_instance(name + "_inst", x, 9, 0), "out[0]");
    return r;
  }
  static unsigned lab_out(int x, int y, int index) {
    return die()->get_route_info()->get_gid(dev_kind::LAB_RE, x, y, index);
  }
  static VOK_ATOM_ITERM* d(VOK_ATOM_NODE* r) { return r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0); }
  // A UIB at (x, 9) (UIB columns: x a multiple of 3) whose input in[0] is
  // driven by `driver` (and in[1] by `second`, if given).
  static VOK_ATOM_NODE* periphery_input(const std::string& name, int x, VOK_ATOM_NODE* driver,
                                        VOK_ATOM_NODE* second = nullptr) {
    auto n = host::testing::netlist();
    auto b = n.atom(VOK_ATOM_KIND::UFI_UIB, name).input(DB_INPUT_PORT_DATA_IN, 0, driver);
    if (second != nullptr) b.input(DB_INPUT_PORT_DATA_IN, 1, second);
    VOK_ATOM_NODE* p = b.placed(site(x, 9, 0), dev_kind::UIB);
    const int instance = host::testing::gesk_instance(name + "_inst", x, 9, 0);
    host::testing::map_port(d(p), instance, "in[0]");
    if (second != nullptr) host::testing::map_port(p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1), instance, "in[1]");
    return p;
  }
  static std::string metadata(const VOK_ATOM_NODE* a, const char* key) {
    const PELK v = R5T_INTERFACE::get_instance()->get_atom_metadata(a->get_id(), PELK::intern(4, key));
    return v.is_null() ? "" : v.cname();
  }
  static std::vector<POSTED_MESSAGE> posted(unsigned id) {
    std::vector<POSTED_MESSAGE> out;
    for (const auto& m : host::messages::posted())
      if (m.id == id) out.push_back(m);
    return out;
  }
  // The routing-element ids from the sink of an input term up to its source.
  static std::vector<unsigned> route_above(const VOK_ATOM_ITERM* in) {
    const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
    const std::vector<int> sinks = r.get_sink_nodes(in);
    std::vector<unsigned> out;
    if (sinks.size() != 1) return out;
    for (int id = r.get_parent(sinks[0], VOK_RE_ROUTING_ZOTA_SKIP()); id != -1;
         id = r.get_parent(id, VOK_RE_ROUTING_ZOTA_SKIP()))
      if (r.is_wire(id)) out.push_back(r.get_gid(id) & 0x7FFFFFFFu);
    return out;
  }
  host::testing::scenes::KX_PERIPHERY s;
};

}  // namespace

TEST_F(P2cEngineTest, LcellRouterPlacesLocksMapsAndRoutesAssignedWireLuts) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* w = n.lut("w", {src}, kWire);
  VOK_ATOM_NODE* plain = n.lut("plain", {src}, kWire);  // no assignment
  VOK_ATOM_NODE* to_core = n.lut("to_core", {src}, kWire);
  n.reg("core_sink").d(to_core).placed(site(6, 5, 1), dev_kind::FF);  // its fanout is in the core
  VOK_ATOM_NODE* u1 = periphery_input("u1", 6, w);
  VOK_ATOM_NODE* u2 = periphery_input("u2", 9, plain);
  VOK_ATOM_NODE* inv = n.lut("inv", {src}, kInverter);  // assigned, but no wire LUT
  VOK_ATOM_NODE* u3 = periphery_input("u3", 3, inv);
  assign(w, 844, "2");
  assign(to_core, 844, "2");
  assign(inv, 844, "2");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  p.place_and_route_c2p_lcell();

  EXPECT_FALSE(inv->is_placed());
  EXPECT_TRUE(route_above(d(u3)).empty());
  EXPECT_FALSE(plain->is_placed());
  EXPECT_FALSE(to_core->is_placed());
  EXPECT_TRUE(route_above(d(u2)).empty());
  ASSERT_TRUE(w->is_placed());
  const auto cell = die()->get_place_info()->get_place_block(w->get_location_gid());
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->get_sub_location() % 3, 0);
  EXPECT_EQ(metadata(w, "LOCATION_LOCK"), "LOCKED");
  const PELK leout = R5T_INTERFACE::get_instance()->get_atom_mapping(w->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  ASSERT_FALSE(leout.is_null());
  EXPECT_EQ(std::string(leout.cname()).find("leout["), 2u) << leout.cname();
  // Routed from the LAB output behind the cell to the port, sink at u1.
  const std::vector<unsigned> wires = route_above(d(u1));
  ASSERT_GE(wires.size(), 2u);
  EXPECT_EQ(wires.front(), periphery_chain_gid(6, 9, 0, 0) & 0x7FFFFFFFu);
  const WUMP_ROUTE_NODE lab = die()->get_route_info()->get_route_node_of(wires.back() | 0x80000000u);
  EXPECT_EQ(static_cast<int>(lab.element_type), dev_kind::LAB_RE);
  EXPECT_EQ((lab.index - 94) / 2 * 3, cell->get_sub_location());
  EXPECT_EQ(lab.x, cell->get_x());
  for (unsigned g : wires) {
    EXPECT_EQ(p.zota_register_gids().count(g | 0x80000000u), 1u);
    EXPECT_NE(p.pre_occupied_re_gids().find(static_cast<int>(g)), p.pre_occupied_re_gids().end());
  }
  ASSERT_NE(p.blacklisted_locs().lookup({cell->get_x(), cell->get_y()}), nullptr);
}

TEST_F(P2cEngineTest, LcellCellArithmeticAndRefusedLabOutputs) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* w0 = n.lut("w0", {src}, kWire);
  VOK_ATOM_NODE* w1 = n.lut("w1", {src}, kWire);
  VOK_ATOM_NODE* w2 = n.lut("w2", {src}, kWire);
  VOK_ATOM_NODE* u1 = periphery_input("u1", 6, w0, w2);
  VOK_ATOM_NODE* u2 = periphery_input("u2", 9, w1);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  const WUMP_BLACKLISTING* bl = die()->get_blacklisting();
  VOK_RE_ROUTING_MODIFIER mod(*VOK_CHIP_DB_ENTRY::current()->get_routing(), "test", false, false);
  const unsigned port1 = periphery_chain_gid(6, 9, 0, 0), port2 = periphery_chain_gid(9, 9, 0, 0);
  auto leout = [](VOK_ATOM_NODE* a) {
    const PELK v = R5T_INTERFACE::get_instance()->get_atom_mapping(a->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
    return std::string(v.is_null() ? "" : v.cname());
  };
  // Only a wire LUT is placed this way: anything else is an internal error,
  // before any change.
  VOK_ATOM_NODE* inv = n.lut("inv", {src}, kInverter);
  const auto e = expect_internal_error(
      [&] { p.place_and_route_wire_lut_from_lab_re_to_periphery(inv, lab_out(2, 6, 94), port1, d(u1), mod, bl); });
  EXPECT_EQ(e.condition, "ZEL_LCELL_UTIL::atom_is_wire_lut(wirelut_atom)");
  EXPECT_FALSE(inv->is_placed());
  EXPECT_TRUE(p.blacklisted_locs().lookup({2, 6}) == nullptr);
  // Outside the LAB output range: passed over, nothing changed.
  EXPECT_FALSE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w0, lab_out(2, 6, 93), port1, d(u1), mod, bl));
  EXPECT_FALSE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w0, lab_out(2, 6, 134), port1, d(u1), mod, bl));
  EXPECT_FALSE(w0->is_placed());
  // A LUT whose input is used as 17 is not put in bank 1 (index 97).
  VOK_ATOM_ITERM* in1 = w1->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(12), 0);
  ASSERT_NE(in1, nullptr);
  in1->set_usage(17);
  EXPECT_FALSE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w1, lab_out(2, 6, 97), port2, d(u2), mod, bl));
  in1->set_usage(0);
  // 94: sub-location 0, bank 0; 97: sub-location 3, bank 1.
  ASSERT_TRUE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w0, lab_out(2, 6, 94), port1, d(u1), mod, bl));
  EXPECT_EQ(w0->get_location_gid(), site(2, 6, 0));
  EXPECT_EQ(leout(w0), "b0leout[0]");
  // The LAB now holds w0: another LUT is sent elsewhere.
  EXPECT_FALSE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w1, lab_out(2, 6, 97), port2, d(u2), mod, bl));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("(2, 6) is taken by some other ff or lut, try another one"));
  ASSERT_TRUE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w1, lab_out(3, 6, 97), port2, d(u2), mod, bl));
  EXPECT_EQ(w1->get_location_gid(), site(3, 6, 3));
  EXPECT_EQ(leout(w1), "b1leout[1]");
  // u1's neighbouring port in[1], from the LAB next to w0's: its shortest
  // routes all run through elements w0's route took, so it goes around them.
  const unsigned port1b = periphery_chain_gid(6, 9, 1, 0);
  VOK_ATOM_ITERM* in1b = u1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1);
  ASSERT_TRUE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w2, lab_out(1, 6, 94), port1b, in1b, mod, bl));
  EXPECT_EQ(w2->get_location_gid(), site(1, 6, 0));
  // Each route reaches its own port, and no element is in two of them.
  const std::vector<std::vector<unsigned>> routes{route_above(d(u1)), route_above(d(u2)), route_above(in1b)};
  const unsigned ports[] = {port1, port2, port1b};
  std::set<unsigned> seen;
  for (std::size_t r = 0; r < routes.size(); ++r) {
    ASSERT_GE(routes[r].size(), 3u) << r;
    EXPECT_EQ(routes[r].front(), ports[r] & 0x7FFFFFFFu) << r;
    for (unsigned g : routes[r]) EXPECT_TRUE(seen.insert(g).second) << "route " << r << " shares " << g;
  }
  // The banks split the cells as the device's cell counts say (items 34 and
  // 33): with four cells a bank, index 97 is cell 0 of bank 1.
  DeviceSpec spec = host::device::spec();
  spec.basic_int_data[33] = 4;
  host::device::configure(spec);
  VOK_ATOM_NODE* w3 = n.lut("w3", {src}, kWire);
  host::testing::GENERIC_BUILDER(u2).input(DB_INPUT_PORT_DATA_IN, 1, w3);
  VOK_ATOM_ITERM* in2b = u2->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1);
  host::testing::map_port(in2b, host::testing::gesk_instance("u2_inst_b", 9, 9, 0), "in[1]");
  VELMO_PERIPHERY_CORE_PLACEMENT four(m_env);
  ASSERT_TRUE(four.place_and_route_wire_lut_from_lab_re_to_periphery(w3, lab_out(3, 5, 97), periphery_chain_gid(9, 9, 1, 0),
                                                                     in2b, mod, die()->get_blacklisting()));
  EXPECT_EQ(leout(w3), "b1leout[0]");
}

TEST_F(P2cEngineTest, LcellWireLutNoLabCanTakeFailsWithAnError) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src").placed(site(6, 4, 1), dev_kind::FF);
  // Locked to a site that is no LAB cell: no LAB output can take it.
  VOK_ATOM_NODE* w = n.lut("w", {src}, kWire).locked(0, 0, 1);
  periphery_input("u1", 6, w);
  assign(w, 844, "2");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  // The user's assignment cannot be honoured: an error and a failed pass.
  EXPECT_FALSE(p.place_and_route_c2p_lcell());
  ASSERT_EQ(posted(20779).size(), 1u);
  EXPECT_NE(posted(20779)[0].text.find("Unable to place and/or route LCELL with LCELL_PERIPHERY_ROUTER moz on w"),
            std::string::npos);
  EXPECT_FALSE(w->is_placed());
  EXPECT_FALSE(p.UIB_ESRAM_C2P_core_register_placement());

  // A free wire LUT whose port is reached only through a blacklisted chain
  // element: the backward search does not enter it.
  host::options::unset(844, w->get_string_hpath());
  VOK_ATOM_NODE* w2 = n.lut("w2", {src}, kWire);
  periphery_input("u2", 9, w2);
  assign(w2, 844, "2");
  DeviceSpec spec = host::device::spec();
  spec.blacklist_gids.push_back(periphery_chain_gid(9, 9, 0, 1));
  host::device::configure(spec);
  VELMO_PERIPHERY_CORE_PLACEMENT blocked(m_env);
  EXPECT_FALSE(blocked.place_and_route_c2p_lcell());
  EXPECT_FALSE(w2->is_placed());
  // No LAB element was even tried.
  for (const std::string& line : host::debug::texts())
    EXPECT_EQ(line.find("wirelut " + std::to_string(w2->get_id()) + " is routing to lab re"), std::string::npos) << line;
  ASSERT_EQ(posted(20779).size(), 3u);
  EXPECT_NE(posted(20779)[2].text.find("on w2"), std::string::npos);
}

TEST_F(P2cEngineTest, NoGroupWritesNothing) {
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_TRUE(posted(16237).empty());
  EXPECT_TRUE(posted(16238).empty());
  EXPECT_TRUE(host::wexan::flushed_rows("Netlist Modifications").empty());
}

TEST_F(P2cEngineTest, P2cGroupPlacedThenRoutedWithHardOrSoftMarks) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r = n.reg("r").d(s.u0);
  assign(r, 838, "4");
  const unsigned port = periphery_chain_gid(3, 9, 4, 2) & 0x7FFFFFFFu;  // translated
  {
    // A wire requirement without the router's assignment is placed only.
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    ASSERT_TRUE(r->is_placed());
    EXPECT_EQ(metadata(r, "LOCATION_LOCK"), "LOCKED");
    EXPECT_EQ(p.p2c_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
    EXPECT_TRUE(route_above(d(r)).empty());
    const auto start = posted(16237);
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(start[0].text, "Starting register placement and routing for periphery-core transfers");
    const auto finish = posted(16239);
    ASSERT_EQ(finish.size(), 1u);
    EXPECT_EQ(finish[0].text.rfind("Register placement and routing for periphery-core transfers ending: elapsed time is ", 0), 0u)
        << finish[0].text;
    ASSERT_EQ(finish[0].subs.size(), 1u);
    EXPECT_EQ(finish[0].subs[0].text.rfind("Placed 1 of 1 core register(s)", 0), 0u) << finish[0].subs[0].text;
    const auto rows = host::wexan::flushed_rows("Netlist Modifications");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "u0");
    EXPECT_EQ(rows[0][2], "14");
    EXPECT_EQ(rows[0][4], "r");
  }
  // With the router's own assignment the wire requirement is routed all the
  // same, unless no routing is to be published at all.
  assign(r, 839, "4");
  for (const bool publish : {true, false}) {
    SCOPED_TRACE(publish);
    r->clear_location();
    VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
    VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().clear();
    publish ? cfg_set_on("velmo_p2c_publish_routing") : cfg_set_off("velmo_p2c_publish_routing");
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    ASSERT_TRUE(r->is_placed());
    EXPECT_EQ(p.p2c_result_status("r"), publish ? VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED
                                                : VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
    EXPECT_EQ(route_above(d(r)).empty(), !publish);
  }
  cfg_set_on("velmo_p2c_publish_routing");
  host::options::unset(839, r->get_string_hpath());
  VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
  VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().clear();
  // Routing for wire requirements on: routed from the port to r, marked hard.
  r->clear_location();
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    EXPECT_EQ(p.p2c_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
    const std::vector<unsigned> wires = route_above(d(r));
    ASSERT_GE(wires.size(), 2u);
    EXPECT_EQ(wires.back(), port);
    const WUMP_ROUTE_NODE mux = die()->get_route_info()->get_route_node_of(wires.front() | 0x80000000u);
    EXPECT_EQ(static_cast<int>(mux.element_type), dev_kind::LAB_RE);
    // The route information names LAB inputs LABIN[i], never after a local
    // interconnect (LEIM) port, so a routed register gets no input cell
    // mapping and no USE_WIRELUT value here: that setting cannot be reached.
    EXPECT_EQ(metadata(r, "USE_WIRELUT"), "");
    const auto at = die()->get_place_info()->get_place_block(r->get_location_gid());
    EXPECT_EQ(at->get_x(), mux.x);
    EXPECT_EQ(at->get_y(), mux.y);
    const std::set<int>& hard = VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids();
    EXPECT_EQ(hard.size(), wires.size());
    EXPECT_EQ(hard.count(static_cast<int>(port)), 1u);
    EXPECT_EQ(host::wexan::flushed_rows("Netlist Modifications").back()[2], "13");
  }
  r->clear_location();
  VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().clear();
  cfg_set_off("velmo_p2c_mark_routing_hard");
  cfg_set_on("velmo_verbose_p2c_placement");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    EXPECT_EQ(p.p2c_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
    EXPECT_TRUE(VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().empty());
    EXPECT_THAT(host::debug::texts(), HasDebugLine("publish as soft!"));
  }
  cfg_set_off("velmo_verbose_p2c_placement");
  // A delay requirement is routed whatever the wire-based switch says.
  r->clear_location();
  cfg_set_off("velmo_p2c_publish_routing_for_wire_based");
  VOK_ATOM_NODE* dly = n.reg("dly").d(s.e0);
  assign(dly, 841, "2000");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    EXPECT_EQ(p.p2c_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
    EXPECT_EQ(p.p2c_result_status("dly"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
    EXPECT_FALSE(route_above(d(dly)).empty());
  }
  // With routing not to be published, even a delay requirement is placed
  // only, and the messages say placement alone.
  r->clear_location();
  dly->clear_location();
  VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
  cfg_set_off("velmo_p2c_publish_routing");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_EQ(p.p2c_result_status("dly"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
  EXPECT_TRUE(route_above(d(dly)).empty());
  EXPECT_EQ(posted(16237).back().text, "Starting register placement for periphery-core transfers");
  EXPECT_EQ(posted(16239).back().text.rfind("Register placement for periphery-core transfers ending: ", 0), 0u);
}

// With the slack estimation on, a direction's end message carries totals:
// registers placed only and registers placed and routed, each counted from
// the first one, or that none was placed.
TEST_F(P2cEngineTest, EstimatedRunCountsPlacedOnlyAndRoutedRegistersInItsTotals) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r = n.reg("r").d(s.u0);
  assign(r, 838, "4");
  cfg_set_on("velmo_p2c_perform_slack_estimation");
  auto totals = [&] {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_TRUE(p.is_slack_estimation_eligible());
    const std::size_t mark = host::messages::posted().size();
    EXPECT_TRUE(p.periphery_to_core_register_placement());
    std::vector<std::string> out;
    const auto all = host::messages::posted();
    for (std::size_t i = mark; i < all.size(); ++i)
      if (all[i].id == 16239)
        for (const auto& sub : all[i].subs) out.push_back(sub.text);
    return out;
  };
  EXPECT_EQ(totals(), std::vector<std::string>{"Placed (but not routed) 1 of 1 core register(s)"});
  ASSERT_TRUE(r->is_placed());
  r->clear_location();
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  EXPECT_EQ(totals(), std::vector<std::string>{"Placed and routed 1 of 1 core register(s)"});
  // A transfer whose chain is cut behind its port is not placed at all.
  r->clear_location();
  host::options::set(838, INT, "", r->get_string_hpath());
  VOK_ATOM_NODE* cut_off = uib_transfer(n, "u2", 9);
  assign(cut_off, 838, "4");
  DeviceSpec spec = host::device::spec();
  cut_routing_at(spec, periphery_chain_gid(9, 9, 4, 2), true);
  host::device::configure(spec);
  EXPECT_EQ(totals(), std::vector<std::string>{"No core registers were placed or routed"});
  EXPECT_FALSE(cut_off->is_placed());
}

// A register fixed by the user to the site its solve gives it is committed
// there, though the design's box for it (the first locked constraint it
// carries) leaves that site out and the site check alone would refuse it.
TEST_F(P2cEngineTest, RegisterFixedAtItsSolvedSiteIsCommittedThere) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r = n.reg("r").d(s.u0);
  assign(r, 838, "4");
  unsigned solved;
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    ASSERT_TRUE(r->is_placed());
    solved = r->get_location_gid();
  }
  r->clear_location();
  const auto at = die()->get_place_info()->get_place_block(solved);
  ASSERT_TRUE(at);
  auto lc = host::constraints::get(r->get_id());
  lc.add_locked(TIBEX_LOCKED_CONSTRAINT::box(1, 1, 1, 1), host::constraints::SOURCE_DESIGN);
  lc.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(at->get_x(), at->get_y(), at->get_sub_location()),
                host::constraints::SOURCE_USER);
  host::constraints::set(r->get_id(), lc);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_FALSE(OXTER_LOCATION_CONSTRAINT::of(nullptr)->may_take(r, solved));
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_EQ(p.p2c_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
  EXPECT_EQ(r->get_location_gid(), solved);
  EXPECT_EQ(metadata(r, "LOCATION_LOCK"), "LOCKED");
}

// A transfer into a register inside a box is carried out like any other,
// but the report lists only connections whose two ends share a netlist.
TEST_F(P2cEngineTest, TheReportListsOnlyTransfersWithinOneNetlist) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* inner = nullptr;
  auto box = n.blackbox("sub", [&](host::testing::NETLIST_BUILDER& c) { inner = c.reg("r").d(c.input("d")).atom(); });
  box.in("d", s.u0);
  VOK_ATOM_NODE* outer = n.reg("top_r").d(s.e0);
  assign(inner, 838, "4");
  assign(outer, 838, "4");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_TRUE(inner->is_placed());
  EXPECT_TRUE(outer->is_placed());
  ASSERT_EQ(p.p2c_connections().size(), 2u);
  EXPECT_EQ(p.p2c_result_status(inner->get_string_hpath()), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
  const auto rows = host::wexan::flushed_rows("Netlist Modifications");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "e0");
  EXPECT_EQ(rows[0][4], "top_r");
  // Switched off, the transfers are carried out but no row is written.
  inner->clear_location();
  outer->clear_location();
  cfg_set_off("velmo_show_p2c_report");
  VELMO_PERIPHERY_CORE_PLACEMENT quiet(m_env);
  ASSERT_TRUE(quiet.periphery_to_core_register_placement());
  EXPECT_TRUE(outer->is_placed());
  EXPECT_EQ(host::wexan::flushed_rows("Netlist Modifications").size(), rows.size());
}

TEST_F(P2cEngineTest, C2pGroupCommittedFromLabOutputToThePort) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* r = n.reg("r").clk(clk);
  VOK_ATOM_NODE* u1 = periphery_input("u1", 6, r);
  // A wire requirement with the router's own assignment: a P2C transfer
  // would be routed, a C2P one is placed only.
  assign(r, 845, "3");
  cfg_set_on("velmo_verbose_p2c_placement");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    ASSERT_TRUE(r->is_placed());
    EXPECT_EQ(p.c2p_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
    EXPECT_THAT(host::debug::texts(), HasDebugLine("working on c2p group 0 with size 1"));
    EXPECT_TRUE(route_above(d(u1)).empty());
  }
  cfg_set_off("velmo_verbose_p2c_placement");
  // Placed only: no cell mapping changed, so the placer keeps mixed ALMs legal.
  EXPECT_FALSE(cfg_is_on("vpr_illegal_alm_when_r5t_bles_mixed_with_non_r5t_bles", false));
  r->clear_location();
  host::options::unset(845, r->get_string_hpath());
  assign(r, 843, "3");
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_EQ(posted(16238).size(), 2u);
  ASSERT_TRUE(r->is_placed());
  EXPECT_EQ(p.c2p_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
  // The chain hangs under r's output: LAB output first, the port last.
  const std::vector<unsigned> wires = route_above(d(u1));
  ASSERT_GE(wires.size(), 2u);
  EXPECT_EQ(wires.front(), periphery_chain_gid(6, 9, 0, 2) & 0x7FFFFFFFu);  // translated
  const WUMP_ROUTE_NODE mux = die()->get_route_info()->get_route_node_of(wires.back() | 0x80000000u);
  EXPECT_EQ(static_cast<int>(mux.element_type), dev_kind::LAB_RE);
  EXPECT_EQ(die()->get_place_info()->get_place_block(r->get_location_gid())->get_x(), mux.x);
  const VOK_RE_ROUTING& routing = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  EXPECT_NE(routing.get_source_node(r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0)), -1);
  // This family's LAB outputs carry no cell mapping: nothing mixes.
  EXPECT_FALSE(cfg_is_on("vpr_illegal_alm_when_r5t_bles_mixed_with_non_r5t_bles", false));

  // Family 15 stops earlier: the register site behind a LAB output is
  // refused there as an unsupported family (RegisterSitesOfLabOutputs), so
  // a routed transfer on it cannot reach the output cell mapping.
  // On family 26 the routed transfer maps r's output to a LAB output cell:
  // from now on the placer refuses ALMs that mix such cells with others.
  r->clear_location();
  VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
  VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().clear();
  DeviceSpec spec = host::device::spec();
  spec.base_family_override = 26;
  host::device::configure(spec);
  VELMO_PERIPHERY_CORE_PLACEMENT on26(m_env);
  ASSERT_TRUE(on26.periphery_to_core_register_placement());
  EXPECT_EQ(on26.c2p_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
  EXPECT_TRUE(cfg_is_on("vpr_illegal_alm_when_r5t_bles_mixed_with_non_r5t_bles", false));
}

TEST_F(P2cEngineTest, GroupPartlySolvedWithPartialPlacementOffIsPlacedOnly) {
  // Four transfers of one requirement and one set of controls: from u0, e0
  // and UIBs at x = 6 and x = 9.
  auto n = host::testing::netlist();
  std::vector<VOK_ATOM_NODE*> regs{n.reg("r0").d(s.u0), n.reg("r1").d(s.e0), uib_transfer(n, "u1", 6), uib_transfer(n, "u2", 9)};
  for (VOK_ATOM_NODE* r : regs) assign(r, 838, "4");
  // u2's chain is cut right behind its translated port: r_u2 has no solution.
  DeviceSpec spec = host::device::spec();
  ASSERT_TRUE(cut_routing_at(spec, periphery_chain_gid(9, 9, 4, 2), true));
  host::device::configure(spec);
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  cfg_set_on("velmo_disallow_partial_p2c_placement");
  host::clear_calls();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());

  const auto w = posted(16656);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_NE(w[0].text.find("for 1 of 4 core"), std::string::npos) << w[0].text;
  ASSERT_EQ(w[0].subs.size(), 1u);
  EXPECT_EQ(w[0].subs[0].text, "Example Register Name: r0");
  // The three solved are placed and locked, nothing is routed.
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(regs[i]->is_placed());
    EXPECT_EQ(metadata(regs[i], "LOCATION_LOCK"), "LOCKED");
    EXPECT_TRUE(route_above(d(regs[i])).empty());
    EXPECT_EQ(p.p2c_result_status(regs[i]->get_string_hpath()), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
  }
  EXPECT_FALSE(regs[3]->is_placed());
  EXPECT_TRUE(VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().empty());
  // First solve, then the tough set as a final attempt and the working set
  // as an ordinary one; neither makes progress, so the retry ends.
  std::vector<std::string> finals;
  for (const std::string& line : host::call_lines())
    if (line.rfind("wexan_solve_c2p_routing_problem", 0) == 0) finals.push_back(line.substr(line.rfind(',') + 2));
  EXPECT_EQ(finals, (std::vector<std::string>{"false)", "true)", "false)"}));

  // With the slack estimation asked for, the shortfall is reported in the
  // totals instead of a warning.
  for (VOK_ATOM_NODE* r : regs) r->clear_location();
  host::options::set(836, 6, "2", regs[0]->get_string_hpath());
  VELMO_PERIPHERY_CORE_PLACEMENT estimated(m_env);
  ASSERT_TRUE(estimated.is_slack_estimation_eligible());
  const std::size_t mark = host::messages::posted().size();
  ASSERT_TRUE(estimated.periphery_to_core_register_placement());
  EXPECT_EQ(posted(16656).size(), 1u);
  std::vector<std::string> totals;
  const auto all = host::messages::posted();
  for (std::size_t i = mark; i < all.size(); ++i)
    for (const auto& sub : all[i].subs)
      if (sub.text.rfind("Placed", 0) == 0) totals.push_back(sub.text);
  EXPECT_EQ(totals, std::vector<std::string>{"Placed (but not routed) 3 of 4 core register(s)"});
}

// A retried group commits the latest solve of each destination: the
// working set's re-solve avoided the first solve's elements, so the chains
// committed differ from those of the same transfers solved at once; each of
// them is marked hard.
TEST_F(P2cEngineTest, RetriedGroupCommitsTheLatestSolves) {
  auto n = host::testing::netlist();
  std::vector<VOK_ATOM_NODE*> regs{n.reg("r0").d(s.u0), n.reg("r1").d(s.e0), uib_transfer(n, "u1", 6)};
  VOK_ATOM_NODE* cut_off = uib_transfer(n, "u2", 9);
  for (VOK_ATOM_NODE* r : regs) assign(r, 838, "4");
  DeviceSpec spec = host::device::spec();
  cut_routing_at(spec, periphery_chain_gid(9, 9, 4, 2), true);
  host::device::configure(spec);
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  auto chains = [&] {
    std::vector<std::vector<unsigned>> out;
    for (VOK_ATOM_NODE* r : regs) out.push_back(route_above(d(r)));
    return out;
  };
  auto clear = [&] {
    for (VOK_ATOM_NODE* r : regs) r->clear_location();
    VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
    VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().clear();
  };
  clear();
  std::vector<std::vector<unsigned>> at_once;
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    at_once = chains();
  }
  for (const auto& c : at_once) ASSERT_GE(c.size(), 2u);
  clear();
  assign(cut_off, 838, "4");  // left over: the group is retried
  host::clear_calls();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_GT(host::call_count("wexan_solve_c2p_routing_problem"), 1);
  const auto retried = chains();
  for (std::size_t i = 0; i < regs.size(); ++i) {
    SCOPED_TRACE(regs[i]->get_string_hpath());
    EXPECT_TRUE(regs[i]->is_placed());
    ASSERT_GE(retried[i].size(), 2u);
    EXPECT_NE(retried[i], at_once[i]);
    EXPECT_EQ(retried[i].back(), at_once[i].back());  // the same translated port
  }
  EXPECT_FALSE(cut_off->is_placed());
  // Every chain the retried group committed is marked hard, and nothing else.
  std::set<int> routed;
  for (const auto& c : retried)
    for (unsigned g : c) routed.insert(static_cast<int>(g));
  EXPECT_EQ(VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids(), routed);
}

// A core-to-periphery group is retried like the other direction: the port
// cut off from the core is left over, and each other port keeps one chain,
// the latest solve's (it avoided the first solve's elements), running from a
// LAB output beside its register's new site to the port.
TEST_F(P2cEngineTest, RetriedC2pGroupCommitsTheLatestSolveOfEachPort) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  const std::vector<VOK_ATOM_NODE*> regs{n.reg("r0").clk(clk), n.reg("r1").clk(clk)};
  VOK_ATOM_NODE* cut_off = n.reg("cut_off").clk(clk);
  VOK_ATOM_NODE* u1 = periphery_input("u1", 6, regs[0], regs[1]);
  periphery_input("u2", 9, cut_off);
  const std::vector<VOK_ATOM_ITERM*> ports{d(u1), u1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1)};
  for (VOK_ATOM_NODE* r : regs) assign(r, 843, "3");
  DeviceSpec spec = host::device::spec();
  ASSERT_TRUE(cut_routing_at(spec, periphery_chain_gid(9, 9, 0, 2), false));
  host::device::configure(spec);
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  auto run = [&] {
    for (VOK_ATOM_NODE* r : regs) r->clear_location();
    VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
    VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().clear();
    host::clear_calls();
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_TRUE(p.periphery_to_core_register_placement());
    std::vector<std::vector<unsigned>> out;
    for (std::size_t i = 0; i < regs.size(); ++i) {
      SCOPED_TRACE(regs[i]->get_string_hpath());
      EXPECT_EQ(p.c2p_result_status(regs[i]->get_string_hpath()), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
      out.push_back(route_above(ports[i]));
      if (out.back().size() < 2u || !regs[i]->is_placed()) {
        ADD_FAILURE() << "not committed";
        continue;
      }
      const WUMP_ROUTE_NODE mux = die()->get_route_info()->get_route_node_of(out.back().back() | 0x80000000u);
      EXPECT_EQ(static_cast<int>(mux.element_type), dev_kind::LAB_RE);
      const auto at = die()->get_place_info()->get_place_block(regs[i]->get_location_gid());
      EXPECT_EQ(std::make_pair(at->get_x(), at->get_y()), std::make_pair(mux.x, mux.y));
    }
    return out;
  };
  const auto at_once = run();
  ASSERT_EQ(host::call_count("wexan_solve_c2p_routing_problem"), 1);
  assign(cut_off, 843, "3");  // left over: the group is retried
  const auto retried = run();
  EXPECT_GT(host::call_count("wexan_solve_c2p_routing_problem"), 1);
  EXPECT_FALSE(cut_off->is_placed());
  for (std::size_t i = 0; i < regs.size(); ++i) {
    SCOPED_TRACE(regs[i]->get_string_hpath());
    EXPECT_NE(retried[i], at_once[i]);
    ASSERT_FALSE(retried[i].empty());
    EXPECT_EQ(retried[i].front(), at_once[i].front());  // the same translated port
  }
}

// Every destination of a group left over by the first solve: no retry.
TEST_F(P2cEngineTest, GroupWithEveryDestinationLeftOverIsNotRetried) {
  auto n = host::testing::netlist();
  std::vector<VOK_ATOM_NODE*> regs;
  DeviceSpec spec = host::device::spec();
  for (int x : {6, 9}) {
    const std::string name = "u" + std::to_string(x);
    VOK_ATOM_NODE* u = n.atom(VOK_ATOM_KIND::UFI_UIB, name).placed(site(x, 9, 0), dev_kind::UIB);
    regs.push_back(n.reg("r_" + name).d(u));
    host::testing::map_port(u->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0),
                            host::testing::gesk_instance(name + "_inst", x, 9, 0), "out[0]");
    assign(regs.back(), 838, "4");
    // Each chain is cut right behind its translated port.
    cut_routing_at(spec, periphery_chain_gid(x, 9, 4, 2), true);
  }
  host::device::configure(spec);
  host::clear_calls();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  for (VOK_ATOM_NODE* r : regs) EXPECT_FALSE(r->is_placed());
  EXPECT_EQ(host::call_count("wexan_solve_c2p_routing_problem"), 1);
}

TEST_F(P2cEngineTest, InconsistentRequirementsEndThePass) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* q = n.reg("q").d(s.e0);
  assign(q, 841, "100");
  assign(q, 842, "300");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_FALSE(p.periphery_to_core_register_placement());
    const auto d = posted(16293);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NE(d[0].text.find("maximum delay of 100"), std::string::npos) << d[0].text;
    EXPECT_NE(d[0].text.find("minimum delay of 300"), std::string::npos) << d[0].text;
    EXPECT_FALSE(q->is_placed());
  }
  assign(q, 842, "50");
  VOK_ATOM_NODE* r = n.reg("r").d(s.u0);
  assign(r, 838, "2");
  assign(r, 840, "4");
  // A transfer made after r: its group comes after r's.
  VOK_ATOM_NODE* after = uib_transfer(n, "u9", 9);
  assign(after, 838, "3");
  const std::size_t finished = posted(16239).size();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_FALSE(p.periphery_to_core_register_placement());
  const auto e = posted(16199);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_NE(e[0].text.find("maximum of 2 wires and a minimum of 4"), std::string::npos);
  EXPECT_FALSE(r->is_placed());
  // The failed group ends the direction at once: the group after it is not
  // committed and the direction posts no end message.
  EXPECT_FALSE(after->is_placed());
  EXPECT_EQ(posted(16239).size(), finished);
}

TEST_F(P2cEngineTest, UibEsramPassPlacesAndRoutesOrReportsRefusedRegisters) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* z = n.reg("z").clk(clk);
  VOK_ATOM_NODE* u1 = periphery_input("u1", 6, z);
  assign(z, 837, "2");
  cfg_set_off("yun_post_plan_uib_esram_c2p_retimer");  // keeps z as it was placed
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_TRUE(p.UIB_ESRAM_C2P_core_register_placement());
    ASSERT_TRUE(z->is_placed());
    // Routed, and the route is marked hard.
    const std::vector<unsigned> wires = route_above(d(u1));
    ASSERT_FALSE(wires.empty());
    const std::set<int>& hard = VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids();
    for (unsigned g : wires) EXPECT_EQ(hard.count(static_cast<int>(g)), 1u) << g;
    EXPECT_THAT(host::debug::texts(),
                HasDebugLine("UIB ESRAM C2P placed and route 1 connections for this clock domain " +
                             std::to_string(clk->get_id())));
  }
  // Locked to a site the solver cannot give it, or to a box away from the
  // port: refused, each reported once under its site or its box (corners in
  // order). A site is reported though a wider box comes first.
  VOK_ATOM_NODE* y = n.reg("y").clk(clk);
  auto lc = host::constraints::get(y->get_id());
  lc.add_locked(TIBEX_LOCKED_CONSTRAINT::box(0, 0, 2, 3), host::constraints::SOURCE_DESIGN);
  lc.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(1, 2, 1), host::constraints::SOURCE_USER);
  host::constraints::set(y->get_id(), lc);
  VOK_ATOM_NODE* u2 = periphery_input("u2", 9, y);
  assign(y, 837, "2");
  // One boxed (taller than wide) away from its solved site: listed under its
  // box, which comes first.
  VOK_ATOM_NODE* boxed = n.reg("boxed").clk(clk).locked_box(1, 1, 2, 3);
  VOK_ATOM_NODE* e4 = n.atom(VOK_ATOM_KIND::UFI_ESRAM, "e4").input(DB_INPUT_PORT_DATA_IN, 0, boxed).placed(site(4, 9, 0), dev_kind::ESRAM);
  host::testing::map_port(d(e4), host::testing::gesk_instance("e4_inst", 4, 9, 0), "in[0]");
  assign(boxed, 837, "2");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_FALSE(p.UIB_ESRAM_C2P_core_register_placement());
  // Neither is moved, nor is its solved chain written into the routing.
  for (VOK_ATOM_NODE* refused : {y, boxed}) EXPECT_FALSE(refused->is_placed()) << refused->get_string_hpath();
  EXPECT_TRUE(route_above(d(u2)).empty());
  EXPECT_TRUE(route_above(d(e4)).empty());
  const auto e = posted(20368);
  ASSERT_EQ(e.size(), 1u);
  ASSERT_EQ(e[0].subs.size(), 2u);
  EXPECT_NE(e[0].subs[0].text.find("(1, 1) and top-right corner (2, 3)"), std::string::npos) << e[0].subs[0].text;
  ASSERT_EQ(e[0].subs[0].subs.size(), 1u);
  EXPECT_EQ(e[0].subs[0].subs[0].text, "boxed");
  EXPECT_NE(e[0].subs[1].text.find("(1, 2) and top-right corner (1, 2)"), std::string::npos) << e[0].subs[1].text;
  ASSERT_EQ(e[0].subs[1].subs.size(), 1u);
  EXPECT_EQ(e[0].subs[1].subs[0].text, "y");
}

// With the slot repopulation on, the pass re-creates the register it placed
// (same name, new atom): its connection is found again, so that the report
// written by the transfer pass that follows reads the new atom, not the
// freed one.
TEST_F(P2cEngineTest, UibEsramConnectionsFollowTheRegistersTheRepopulationRecreates) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* z = n.reg("z").clk(clk);
  VOK_ATOM_NODE* u1 = periphery_input("u1", 6, z);
  assign(z, 837, "2");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.UIB_ESRAM_C2P_core_register_placement());
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate_uib_esram_c2p_registers"), 1);
  // The port map is brought up to date (timing netlist update) for it.
  EXPECT_EQ(host::call_count("WEXAN_ENV::run_w3j3"), 1);
  VOK_ATOM_NODE* fresh = n.find("z");
  ASSERT_NE(fresh, nullptr);
  ASSERT_NE(fresh, z);
  ASSERT_EQ(p.c2p_connections().size(), 1u);
  EXPECT_EQ(p.c2p_connections()[0], std::make_tuple(fresh, u1, d(u1)));
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  const auto rows = host::wexan::flushed_rows("Netlist Modifications");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"z", std::to_string(fresh->get_atom_type()), "13",
                                                "OPORT_" + std::to_string(DB_OUTPUT_PORT_REG), "u1",
                                                std::to_string(u1->get_atom_type()),
                                                "IPORT_" + std::to_string(DB_INPUT_PORT_DATA_IN)}));
}

// A clock domain the near solve (one wire) settles only in part: ra is solved, rb
// (whose port has a RAM column below it, so no LAB output one wire away) is
// left over. ra is solved again alone with the first solve's elements given
// back (its only one-wire path is among them), then rb with up to three.
TEST_F(P2cEngineTest, UibDomainPartlySolvedIsSolvedAgainWithItsElementsGivenBack) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* a = n.reg("ra").clk(clk);
  VOK_ATOM_NODE* b = n.reg("rb").clk(clk);
  VOK_ATOM_NODE* ua = periphery_input("ua", 9, a);
  VOK_ATOM_NODE* ub = periphery_input("ub", 6, b);
  assign(a, 837, "2");
  assign(b, 837, "2");
  cfg_set_off("yun_post_plan_uib_esram_c2p_retimer");
  leave_one_wire_below_port_at_9();
  host::clear_calls();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_TRUE(p.UIB_ESRAM_C2P_core_register_placement());
  ASSERT_TRUE(a->is_placed());
  ASSERT_TRUE(b->is_placed());
  // Chain element, wire, LAB output; rb's path has more wires, three at most.
  const std::vector<unsigned> near = route_above(d(ua));
  ASSERT_EQ(near.size(), 3u);
  EXPECT_EQ(near[1], die()->get_route_info()->get_gid(dev_kind::H_WIRE, 9, 8, 0) & 0x7FFFFFFFu);
  EXPECT_GT(route_above(d(ub)).size(), near.size());
  EXPECT_LE(route_above(d(ub)).size(), 5u);
  // (destinations, minimum wires, maximum wires) of each solve: both within
  // one wire, ra alone again, rb within three.
  std::vector<std::string> solves;
  for (const std::string& line : host::call_lines())
    if (line.rfind("wexan_solve_c2p_routing_problem(", 0) == 0) {
      const std::size_t from = line.find('(') + 1;
      std::size_t to = from;
      for (int k = 0; k < 3; ++k) to = line.find(", ", to) + 2;
      solves.push_back(line.substr(from, to - 2 - from));
    }
  EXPECT_EQ(solves, (std::vector<std::string>{"2, 0, 1", "1, 0, 1", "1, 0, 3"}));
  // None of them is a final attempt: each may leave destinations over.
  for (const std::string& line : host::call_lines())
    if (line.rfind("wexan_solve_c2p_routing_problem(", 0) == 0)
      EXPECT_EQ(line.substr(line.rfind(',') + 2), "false)") << line;
}

// Clock domains are solved in ascending order of their clock driver: two
// registers whose ports share the one free wire one hop away, each in a
// domain of its own, give it to the lower domain; the other goes further.
TEST_F(P2cEngineTest, UibDomainsAreSolvedInTheOrderOfTheirClockDrivers) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* low = n.reg("ck_low").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* high = n.reg("ck_high").placed(site(6, 4, 2), dev_kind::FF);
  ASSERT_LT(low->get_id(), high->get_id());
  VOK_ATOM_NODE* a = n.reg("ra").clk(low);
  VOK_ATOM_NODE* b = n.reg("rb").clk(high);
  VOK_ATOM_NODE* u = periphery_input("ua", 9, a, b);
  assign(a, 837, "2");
  assign(b, 837, "2");
  cfg_set_off("yun_post_plan_uib_esram_c2p_retimer");
  leave_one_wire_below_port_at_9();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_TRUE(p.UIB_ESRAM_C2P_core_register_placement());
  ASSERT_TRUE(a->is_placed());
  ASSERT_TRUE(b->is_placed());
  EXPECT_EQ(route_above(d(u)).size(), 3u);
  EXPECT_GT(route_above(u->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1)).size(), 3u);
}

// A register committed by one group closes its LAB to the groups after it:
// a register fixed to another site of that LAB is left where it was.
TEST_F(P2cEngineTest, ACommittedRegisterClosesItsLabToLaterGroups) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* later = n.reg("later").d(s.u0).locked(3, 7, 1);
  assign(later, 841, "20000");
  {
    // Alone it takes its site.
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    ASSERT_TRUE(later->is_placed());
    EXPECT_EQ(later->get_location_gid(), site(3, 7, 1));
  }
  later->clear_location();
  VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
  VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().clear();
  // Made later, its located group comes first.
  VOK_ATOM_NODE* first = n.reg("first").d(s.e0).locked(3, 7, 2);
  assign(first, 841, "20000");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  ASSERT_TRUE(first->is_placed());
  EXPECT_EQ(first->get_location_gid(), site(3, 7, 2));
  EXPECT_FALSE(later->is_placed());
  EXPECT_EQ(p.p2c_result_status("later"), VELMO_PERIPHERY_CORE_PLACEMENT::NOT_OPTIMIZED);
  const auto* held = p.blacklisted_locs().lookup({3, 7});
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(*held, std::vector<VOK_ATOM_NODE*>{first});
}

// A fit on the scene: a P2C register behind u0 and a C2P register in front of
// a second UIB, committed with routing, then the host's placer and router.
TEST_F(P2cEngineTest, CommittedRegistersKeepTheirSitesThroughPlaceAndRoute) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.io_in("clk");
  VOK_ATOM_NODE* r = n.reg("r").clk(clk).d(s.u0);
  VOK_ATOM_NODE* l = n.lut("l", {r}, 0x1);
  VOK_ATOM_NODE* q = n.reg("q").clk(clk).d(l);
  VOK_ATOM_NODE* u1 = periphery_input("u1", 6, q);
  assign(r, 838, "4");
  assign(q, 843, "3");
  // The periphery's own stitched routing: u0's output and u1's input down
  // their interface chains to the translated ports.
  {
    auto rb = host::testing::routing();
    auto out = rb.routing(s.u0);
    for (int k = 0; k <= 2; ++k) out.wire_gid(periphery_chain_gid(3, 9, 4, k));
    auto in = rb.virtual_source();
    for (int k = 2; k >= 0; --k) in.wire_gid(periphery_chain_gid(6, 9, 0, k));
    in.sink(d(u1));
    rb.attach();
  }
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  ASSERT_EQ(p.p2c_result_status("r"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
  ASSERT_EQ(p.c2p_result_status("q"), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
  const unsigned r_site = r->get_location_gid(), q_site = q->get_location_gid();
  const std::vector<unsigned> r_chain = route_above(d(r)), q_chain = route_above(d(u1));

  // Each chain joins the stitched routing: it reaches the block's own port.
  ASSERT_GE(r_chain.size(), 4u);
  EXPECT_EQ(r_chain.back(), periphery_chain_gid(3, 9, 4, 0) & 0x7FFFFFFFu);
  ASSERT_GE(q_chain.size(), 4u);
  EXPECT_EQ(q_chain.front(), periphery_chain_gid(6, 9, 0, 0) & 0x7FFFFFFFu);
  // The report names both ends and the ports each connection leaves and
  // enters: u0's data output into r's data input, q's register output into
  // u1's data input.
  const auto oport = [](int t) { return "OPORT_" + std::to_string(t); };
  const auto iport = [](int t) { return "IPORT_" + std::to_string(t); };
  const auto rows = host::wexan::flushed_rows("Netlist Modifications");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"u0", std::to_string(s.u0->get_atom_type()), "13",
                                                oport(DB_OUTPUT_PORT_DATA), "r", std::to_string(r->get_atom_type()),
                                                iport(DB_INPUT_PORT_DATA_IN)}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"q", std::to_string(q->get_atom_type()), "13",
                                                oport(DB_OUTPUT_PORT_REG), "u1", std::to_string(u1->get_atom_type()),
                                                iport(DB_INPUT_PORT_DATA_IN)}));

  // Place and route the rest: the committed sites and the committed chains
  // (legal routing the router keeps) stay as they were.
  TIBEX_VPR_FACADE f;
  std::string why;
  ASSERT_TRUE(f.place());
  EXPECT_TRUE(host::placement::check_legal(&why)) << why;
  ASSERT_TRUE(f.route()) << host::facade::last_route_failure();
  EXPECT_TRUE(host::routing::check(&why)) << why;
  EXPECT_EQ(r->get_location_gid(), r_site);
  EXPECT_EQ(q->get_location_gid(), q_site);
  EXPECT_TRUE(l->is_placed());
  EXPECT_EQ(route_above(d(r)), r_chain);
  EXPECT_EQ(route_above(d(u1)), q_chain);
}
