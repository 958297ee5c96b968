// The LCELL periphery router, rule by rule: which wire LUTs it takes (free,
// one fan-out, a port to reach), what a success reports, which LAB outputs
// and cells it refuses, the LAB output name it maps, the forward route
// around blacklisted elements and the backward search around held slots.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "velmo_periphery_to_core_placement.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::periphery_chain_gid;

namespace {

constexpr int INT = 4;
constexpr int kLcellRouterOption = 844;
constexpr std::uint64_t kWire = 0x1;

class LcellRouterRulesTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::scenes::kx_periphery();
  }
  static void assign(VOK_ATOM_NODE* atom) {
    host::options::set(kLcellRouterOption, INT, "2", atom->get_string_hpath());
  }
  static const WUMP_DIE_INFO* die() { return host::device::die_info(); }
  static unsigned site(int x, int y, int z) { return die()->get_place_info()->get_global_id(0, x, y, z); }
  static unsigned lab_out(int x, int y, int index) {
    return die()->get_route_info()->get_gid(dev_kind::LAB_RE, x, y, index);
  }
  static VOK_ATOM_ITERM* d(VOK_ATOM_NODE* r) { return r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0); }
  // A UIB at (x, 9) whose input in[0] is driven by `driver`; its port is
  // mapped unless `mapped` is false.
  static VOK_ATOM_NODE* periphery_input(const std::string& name, int x, VOK_ATOM_NODE* driver, bool mapped = true) {
    auto n = host::testing::netlist();
    VOK_ATOM_NODE* p =
        n.atom(VOK_ATOM_KIND::UFI_UIB, name).input(DB_INPUT_PORT_DATA_IN, 0, driver).placed(site(x, 9, 0), dev_kind::UIB);
    if (mapped) host::testing::map_port(d(p), host::testing::gesk_instance(name + "_inst", x, 9, 0), "in[0]");
    return p;
  }
  static std::string leout(VOK_ATOM_NODE* a) {
    const PELK v = R5T_INTERFACE::get_instance()->get_atom_mapping(a->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
    return v.is_null() ? "" : v.cname();
  }
  static int errors() {
    int n = 0;
    for (const auto& m : host::messages::posted()) n += m.id == 20779 ? 1 : 0;
    return n;
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
};

}  // namespace

// The pass takes only a wire LUT that is still unplaced, drives exactly one
// input, and whose input has a top-level port; the others are left as they
// are, without an error. A LUT it places is a success: no error, pass true.
TEST_F(LcellRouterRulesTest, OnlyFreeSingleFanoutWireLutsWithAPortAreTakenAndASuccessIsNoError) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* good = n.lut("good", {src}, kWire);
  VOK_ATOM_NODE* placed = n.lut("placed", {src}, kWire).placed(site(2, 6, 0), dev_kind::LUT);
  VOK_ATOM_NODE* twice = n.lut("twice", {src}, kWire);
  VOK_ATOM_NODE* unmapped = n.lut("unmapped", {src}, kWire);
  VOK_ATOM_NODE* u_good = periphery_input("u_good", 6, good);
  VOK_ATOM_NODE* u_placed = periphery_input("u_placed", 9, placed);
  VOK_ATOM_NODE* u_twice = periphery_input("u_twice", 3, twice);
  n.reg("other_load").d(twice);
  VOK_ATOM_NODE* u_unmapped = periphery_input("u_unmapped", 3, unmapped, false);
  for (VOK_ATOM_NODE* w : {good, placed, twice, unmapped}) assign(w);
  // The assignment at another value than 2 asks for nothing.
  VOK_ATOM_NODE* other_value = n.lut("other_value", {src}, kWire);
  VOK_ATOM_NODE* u_other_value = periphery_input("u_other_value", 9, other_value);
  host::options::set(kLcellRouterOption, INT, "3", other_value->get_string_hpath());
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_TRUE(p.place_and_route_c2p_lcell());
  EXPECT_EQ(errors(), 0);
  EXPECT_TRUE(good->is_placed());
  EXPECT_FALSE(route_above(d(u_good)).empty());
  EXPECT_EQ(placed->get_location_gid(), site(2, 6, 0));
  EXPECT_EQ(leout(placed), "");
  EXPECT_TRUE(route_above(d(u_placed)).empty());
  EXPECT_FALSE(twice->is_placed());
  EXPECT_TRUE(route_above(d(u_twice)).empty());
  EXPECT_FALSE(unmapped->is_placed());
  EXPECT_TRUE(route_above(d(u_unmapped)).empty());
  EXPECT_FALSE(other_value->is_placed());
  EXPECT_TRUE(route_above(d(u_other_value)).empty());
}

// The name a LUT's output is mapped to counts the output within its bank;
// the input usage 17 keeps a LUT out of bank 1 only; a cell the die reports
// disabled is refused.
TEST_F(LcellRouterRulesTest, BankNamesAndRefusedCells) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src").placed(site(6, 4, 1), dev_kind::FF);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  VOK_RE_ROUTING_MODIFIER mod(*VOK_CHIP_DB_ENTRY::current()->get_routing(), "test", false, false);
  auto place = [&](const std::string& name, int ux, int lx, int ly, int index, int usage = 0) {
    VOK_ATOM_NODE* w = n.lut(name, {src}, kWire);
    if (usage != 0) w->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(12), 0)->set_usage(usage);
    VOK_ATOM_NODE* u = periphery_input("u_" + name, ux, w);
    const bool ok = p.place_and_route_wire_lut_from_lab_re_to_periphery(w, lab_out(lx, ly, index), periphery_chain_gid(ux, 9, 0, 0),
                                                                       d(u), mod, die()->get_blacklisting());
    return std::make_pair(ok, w);
  };
  // Index 96 (k = 2): sub-location 3, bank 1, the first output of the bank
  // with two a bank (k modulo 2).
  auto [b1_ok, b1] = place("b1", 9, 3, 6, 96);
  ASSERT_TRUE(b1_ok);
  EXPECT_EQ(b1->get_location_gid(), site(3, 6, 3));
  EXPECT_EQ(leout(b1), "b1leout[0]");
  // Usage 17 in bank 0 (index 94, sub-location 0) is fine.
  auto [u17_ok, u17] = place("u17", 3, 1, 6, 94, 17);
  EXPECT_TRUE(u17_ok);
  EXPECT_EQ(u17->get_location_gid(), site(1, 6, 0));
  EXPECT_EQ(leout(u17), "b0leout[0]");

  // A cell the die reports disabled is no place for a LUT.
  DeviceSpec spec = host::device::spec();
  spec.disabled_locations.insert(site(2, 6, 0));
  host::device::configure(spec);
  VELMO_PERIPHERY_CORE_PLACEMENT q(m_env);
  VOK_ATOM_NODE* w = n.lut("w_disabled", {src}, kWire);
  VOK_ATOM_NODE* u = periphery_input("u_disabled", 6, w);
  const WUMP_BLACKLISTING* bl = die()->get_blacklisting();
  ASSERT_TRUE(bl->is_placement_gid_blacklisted(site(2, 6, 0)));
  EXPECT_FALSE(q.place_and_route_wire_lut_from_lab_re_to_periphery(w, lab_out(2, 6, 94), periphery_chain_gid(6, 9, 0, 0),
                                                                   d(u), mod, bl));
  EXPECT_FALSE(w->is_placed());
  // The next cell of the LAB (output 96: sub-location 3) takes it.
  EXPECT_TRUE(q.place_and_route_wire_lut_from_lab_re_to_periphery(w, lab_out(2, 6, 96), periphery_chain_gid(6, 9, 0, 0),
                                                                  d(u), mod, bl));
  EXPECT_EQ(w->get_location_gid(), site(2, 6, 3));
}

// The forward route from the LAB output to the port runs around blacklisted
// routing elements.
TEST_F(LcellRouterRulesTest, TheForwardRouteAvoidsBlacklistedElements) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* w = n.lut("w", {src}, kWire);
  VOK_ATOM_NODE* u = periphery_input("u1", 6, w);
  const unsigned port = periphery_chain_gid(6, 9, 0, 0);
  std::vector<unsigned> first;
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    VOK_RE_ROUTING_MODIFIER mod(*VOK_CHIP_DB_ENTRY::current()->get_routing(), "test", false, false);
    ASSERT_TRUE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w, lab_out(2, 6, 94), port, d(u), mod,
                                                                    die()->get_blacklisting()));
    first = route_above(d(u));
  }
  // Blacklist an element in the middle of that route (neither the port's
  // chain nor the LAB output) and route the LUT again from the same output,
  // on a routing without the first route.
  ASSERT_GE(first.size(), 5u);
  const unsigned middle = first[first.size() - 2];
  VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
  DeviceSpec spec = host::device::spec();
  spec.blacklist_gids.push_back(middle | 0x80000000u);
  host::device::configure(spec);
  ASSERT_TRUE(die()->get_blacklisting()->is_routing_gid_blacklisted(middle | 0x80000000u));
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  VOK_RE_ROUTING_MODIFIER mod(*VOK_CHIP_DB_ENTRY::current()->get_routing(), "test", false, false);
  ASSERT_TRUE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w, lab_out(2, 6, 94), port, d(u), mod,
                                                                  die()->get_blacklisting()));
  const std::vector<unsigned> second = route_above(d(u));
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second.front(), port & 0x7FFFFFFFu);
  for (unsigned g : second) EXPECT_FALSE(die()->get_blacklisting()->is_routing_gid_blacklisted(g | 0x80000000u)) << g;
}

// A periphery register (an I/O register) is a periphery destination like a
// periphery block: the wire LUT feeding it is placed and routed to its port.
TEST_F(LcellRouterRulesTest, AWireLutFeedingAPeripheryRegisterIsTaken) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* w = n.lut("w", {src}, kWire);
  VOK_ATOM_NODE* io = n.io_reg("io").d(w).placed(site(6, 9, 0), dev_kind::IO_IN_REG);
  ASSERT_TRUE(io->is_peripheral());
  host::testing::map_port(d(io), host::testing::gesk_instance("io_inst", 6, 9, 0), "in[0]");
  assign(w);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_TRUE(p.place_and_route_c2p_lcell());
  EXPECT_TRUE(w->is_placed());
  const std::vector<unsigned> wires = route_above(d(io));
  ASSERT_FALSE(wires.empty());
  EXPECT_EQ(wires.front(), periphery_chain_gid(6, 9, 0, 0) & 0x7FFFFFFFu);
}

// On family 46 the LAB outputs run from 94 to 133: the last is a start too,
// its LUT in the LAB's last cell.
TEST_F(LcellRouterRulesTest, OnFamily46TheLastLabOutputIsAStart) {
  DeviceSpec spec = host::device::spec();
  spec.family = host::testing::Family::KY;
  host::device::configure(spec);
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* w = n.lut("w", {n.reg("src").placed(site(6, 4, 1), dev_kind::FF)}, kWire);
  VOK_ATOM_NODE* u = periphery_input("u", 5, w);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  VOK_RE_ROUTING_MODIFIER mod(*VOK_CHIP_DB_ENTRY::current()->get_routing(), "test", false, false);
  ASSERT_TRUE(p.place_and_route_wire_lut_from_lab_re_to_periphery(w, lab_out(2, 6, 133), periphery_chain_gid(5, 9, 0, 0),
                                                                  d(u), mod, die()->get_blacklisting()));
  EXPECT_EQ(w->get_location_gid(), site(2, 6, 57));
  EXPECT_EQ(leout(w), "b1leout[1]");
}

// The backward search from the port keeps off elements a pipeline register
// holds: where the only way into the port's chain is a wire slot holding
// one (the chain's other wires blacklisted), no LAB output is tried and the
// assignment fails with its error, the LUT left unplaced.
TEST_F(LcellRouterRulesTest, TheSearchDoesNotPassAWireAPipelineRegisterHolds) {
  DeviceSpec spec = host::device::spec();
  spec.family = host::testing::Family::KY;
  spec.routing_tracks = 4;
  spec.wire_pipeline_slots = true;
  host::device::configure(spec);
  std::vector<unsigned> wires;
  die()->get_fanin_gids(periphery_chain_gid(5, 9, 0, 2), wires);
  const auto held = std::find_if(wires.begin(), wires.end(), [](unsigned g) { return die()->get_route_info()->is_zota_gid(g); });
  ASSERT_NE(held, wires.end());
  for (unsigned g : wires)
    if (g != *held) spec.blacklist_gids.push_back(g);
  host::device::configure(spec);
  auto n = host::testing::netlist();
  n.zota_reg("z").placed(*held, static_cast<int>(die()->get_route_info()->get_route_node_of(*held).element_type));
  VOK_ATOM_NODE* w = n.lut("w", {n.reg("src").placed(site(6, 4, 1), dev_kind::FF)}, kWire);
  periphery_input("u", 5, w);
  assign(w);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_EQ(p.zota_register_gids().count(*held), 1u);
  EXPECT_FALSE(p.place_and_route_c2p_lcell());
  EXPECT_EQ(errors(), 1);
  EXPECT_FALSE(w->is_placed());
}
