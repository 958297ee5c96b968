// The periphery-core placement object: construction and its settings, the
// requirement record and the assignment readers, and the mapping between
// terminals, periphery ports, routing elements and register sites.
#include <memory>
#include <string>

#include "cfg/cfg.h"
#include "gesk/gesk_bundle.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "yeb/yeb_timing_model.h"
#include "r5t/r5t_interface.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "testing/routing_builder.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_periphery_to_core_placement.h"
#include "velmo_port_translation.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::Family;
using host::testing::expect_internal_error;

namespace {

constexpr int INT = 4, ENUM = 6, TIME = 7;

class P2cPlacementTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(Family::KX).build();
  }
  static void assign(VOK_ATOM_NODE* atom, int code, int type, const std::string& value) {
    host::options::set(code, type, value, atom->get_string_hpath());
  }
  static std::string metadata(VOK_ATOM_NODE* atom, const char* key) {
    const PELK v = R5T_INTERFACE::get_instance()->get_atom_metadata(atom->get_id(), PELK::intern(4, key));
    return v.cname() ? v.cname() : "";
  }
  static unsigned route_gid(int kind, int x, int y, int index) {
    return host::device::die_info()->get_route_info()->get_gid(kind, x, y, index);
  }
  static unsigned site(int x, int y, int z) { return host::device::die_info()->get_place_info()->get_global_id(0, x, y, z); }
};

}  // namespace

TEST_F(P2cPlacementTest, WireRequirements) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* a = n.reg("a");
  VOK_ATOM_NODE* b = n.reg("b");
  VOK_ATOM_NODE* none = n.reg("none");
  assign(a, 840, INT, "3");
  assign(b, 839, INT, "4");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  P2C_MATRIX_STRUCT ma, mb;
  ASSERT_TRUE(have_p2c_assignment(a, &ma));
  EXPECT_EQ(ma.min_wire, 3);
  EXPECT_EQ(ma.max_wire, 5);
  EXPECT_FALSE(ma.router_lock);
  EXPECT_EQ(p.user_friendly_p2c_matrix(ma), "between 3 and 5 routing wire(s) from the periphery");
  ASSERT_TRUE(have_p2c_wire_assignment(b, &mb));
  EXPECT_EQ(mb.min_wire, 0);
  EXPECT_EQ(mb.max_wire, 4);
  EXPECT_TRUE(mb.router_lock);
  EXPECT_EQ(metadata(b, "RETIMER_NO_TOUCH"), "LOCKED");
  EXPECT_EQ(metadata(b, "SPaR_NO_TOUCH"), "LOCKED");
  EXPECT_EQ(metadata(a, "SPaR_NO_TOUCH"), "");
  EXPECT_EQ(p.user_friendly_p2c_matrix(mb), "within 4 routing wire(s) from the periphery");
  // C2P codes are separate; no record asked: only the answer.
  EXPECT_FALSE(have_c2p_assignment(a, nullptr));
  EXPECT_FALSE(have_p2c_assignment(none, nullptr));
  EXPECT_TRUE(have_c2p_router_moz_assignment(b->get_string_hpath()));
  EXPECT_FALSE(have_c2p_router_moz_assignment(a->get_string_hpath()));
}

TEST_F(P2cPlacementTest, DelayRequirementsWinOverWires) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* a = n.reg("a");
  VOK_ATOM_NODE* b = n.reg("b");
  assign(a, 842, TIME, "1000 ps");
  assign(a, 840, INT, "3");
  assign(b, 847, TIME, "0.8 ns");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  P2C_MATRIX_STRUCT ma, mb;
  ASSERT_TRUE(have_p2c_assignment(a, &ma));
  EXPECT_EQ(ma.min_delay.get_ps(), 1000);
  EXPECT_EQ(ma.max_delay.get_ps(), 1500);
  EXPECT_EQ(ma.min_wire, -1);  // the wires were not read
  ASSERT_TRUE(have_c2p_assignment(b, &mb));
  EXPECT_EQ(mb.max_delay.get_ps(), 800);
  EXPECT_EQ(mb.min_delay.get_ps(), 0);  // a zero delay, not "no bound"
  EXPECT_EQ(p.user_friendly_p2c_matrix(mb), "within the delay between 0 ps and 800 ps from the periphery");
  P2C_MATRIX_STRUCT only_max;
  only_max.max_delay = BIG_TIME::from_ps(700);
  EXPECT_EQ(p.user_friendly_p2c_matrix(only_max), "within the delay range of 700 ps from the periphery");
}

TEST_F(P2cPlacementTest, RecordsDifferByEachField) {
  P2C_MATRIX_STRUCT a, b;
  EXPECT_FALSE(a != b);
  auto box = [](int x0, int x1) { return std::make_shared<TIBEX_LOCKED_CONSTRAINT>(TIBEX_LOCKED_CONSTRAINT::box(x0, 1, x1, 3)); };
  a.region_constraint = box(1, 4);
  EXPECT_TRUE(a != b);
  b.region_constraint = box(1, 4);
  EXPECT_FALSE(a != b);
  b.region_constraint = box(1, 5);
  EXPECT_TRUE(a != b);
  b.region_constraint = box(1, 4);
  for (int field = 0; field < 9; ++field) {
    P2C_MATRIX_STRUCT c = a;
    switch (field) {
      case 0: c.max_wire = 2; break;
      case 1: c.min_wire = 1; break;
      case 2: c.max_delay = BIG_TIME::from_ps(9); break;
      case 3: c.router_lock = true; break;
      case 4: c.partition_id = 3; break;
      case 5: std::get<2>(c.location) = 7; break;
      case 6: c.min_delay = BIG_TIME::from_ps(4); break;
      case 7: std::get<0>(c.location) = 5; break;
      case 8: std::get<1>(c.location) = 6; break;
    }
    EXPECT_TRUE(c != a) << field;
  }
}

TEST_F(P2cPlacementTest, SlackEstimationRequestsAndEligibility) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* src = n.reg("src");
  VOK_ATOM_NODE* dst = n.reg("dst");
  EXPECT_EQ(check_p2c_slack_estimation_moz_for_src_dst_atoms(src, dst), 3);
  assign(src, 836, ENUM, "3");
  assign(dst, 836, ENUM, "52");
  EXPECT_EQ(check_p2c_slack_estimation_moz_for_src_dst_atoms(src, dst), 52);
  // When both ask, the source's request counts.
  assign(src, 836, ENUM, "2");
  EXPECT_EQ(check_p2c_slack_estimation_moz_for_src_dst_atoms(src, dst), 2);
  EXPECT_EQ(check_p2c_slack_estimation_moz_for_src_dst_atoms(dst, src), 52);
  assign(src, 836, ENUM, "3");
  // An atom's request makes the object eligible on family 48, and with it
  // partial placement is disallowed by default.
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_TRUE(p.is_slack_estimation_eligible());
    EXPECT_TRUE(p.disallows_partial_placement());
  }
  host::options::unset(836, dst->get_string_hpath());
  EXPECT_FALSE(VELMO_PERIPHERY_CORE_PLACEMENT(m_env).is_slack_estimation_eligible());
  host::options::set(836, ENUM, "2");  // project option
  EXPECT_TRUE(VELMO_PERIPHERY_CORE_PLACEMENT(m_env).is_slack_estimation_eligible());
  host::options::unset(836);
  cfg_set_on("velmo_p2c_perform_slack_estimation");
  EXPECT_TRUE(VELMO_PERIPHERY_CORE_PLACEMENT(m_env).is_slack_estimation_eligible());
  cfg_set_off("velmo_disallow_partial_p2c_placement");
  EXPECT_FALSE(VELMO_PERIPHERY_CORE_PLACEMENT(m_env).disallows_partial_placement());
  host::testing::device(Family::KY).build();
  EXPECT_FALSE(VELMO_PERIPHERY_CORE_PLACEMENT(m_env).is_slack_estimation_eligible());
}

TEST_F(P2cPlacementTest, SettingsDefaults) {
  const VELMO_P2C_SETTINGS& s = velmo_p2c_settings();
  EXPECT_FLOAT_EQ(s.window_guardband_min, 0.1f);
  EXPECT_FLOAT_EQ(s.window_guardband_max, 0.1f);
  EXPECT_EQ(s.p2c_window_absolute_guardband_min, 150);
  EXPECT_EQ(s.c2p_window_absolute_guardband_max, 150);
  EXPECT_EQ(s.group_granularity_small, 150);
  EXPECT_EQ(s.group_granularity_large, 500);
  EXPECT_EQ(s.p2c_effort_level, 5);
}

TEST_F(P2cPlacementTest, PreOccupiedRoutingAndPipelineSites) {
  auto s = host::testing::scenes::kx_periphery();
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* z = n.zota_reg("z").placed(site(5, 5, 1), 643);
  // A net through the fabric: its wires have a graph-2 edge.
  const unsigned w1 = route_gid(700, 2, 2, 0), w2 = route_gid(700, 3, 2, 0);
  auto rt = host::testing::routing();
  rt.routing(s.a).wire_gid(w1).wire_gid(w2).virtual_sink();
  rt.attach();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_TRUE(p.pre_occupied_re_gids().exists(static_cast<int>(w1 & 0x7FFFFFFFu)));
  EXPECT_TRUE(p.pre_occupied_re_gids().exists(static_cast<int>(w2 & 0x7FFFFFFFu)));
  // The scene's partial chain touches only block-network edges: neither
  // element, the one above the port nor the port, is pre-occupied.
  for (const int k : {0, 1})
    EXPECT_FALSE(p.pre_occupied_re_gids().exists(static_cast<int>(host::testing::periphery_chain_gid(3, 9, 1, k) & 0x7FFFFFFFu))) << k;
  EXPECT_TRUE(p.pre_occupied_re_gids().exists(static_cast<int>(z->get_location_gid())));
  EXPECT_EQ(p.zota_register_gids().count(z->get_location_gid()), 1u);
}

TEST_F(P2cPlacementTest, TimingModelAndScalingFactors) {
  cfg_set_on("velmo_verbose_p2c_placement");
  host::pexa::set_loaded_timing_model_enum(0, 1);  // the fast corner: a real model, not fully sampled
  host::pexa::set_loaded_timing_model_enum(1, 1);
  host::yeb::set_model_flags(1, true, false);
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_NE(p.default_timing_model(), nullptr);
    EXPECT_EQ(p.default_timing_model()->get_timing_model_enum(), 0);  // reloaded at the slow corner
    EXPECT_THAT(host::debug::texts(),
                CallSequence(std::vector<std::string>{
                    "WEXAN P2C: WARNING: fast_900mv_-40c is not a default slow corner YEB ddb",
                    "WEXAN P2C: WARNING: The default slow timing corner of the device",
                    "WEXAN P2C: Loaded slow corner YEB ddb: IS_REAL_MODEL=TRUE; IS_FULLY_SAMPLED=TRUE",
                    "p2c hold local scaling factor: 0.65(min_rise), 0.6175(min_fall)"}));
    EXPECT_FLOAT_EQ(p.local_scaling_factor(), 1.0f);
    EXPECT_FLOAT_EQ(p.hold_scaling_factors().first, 0.6175f);
    EXPECT_FLOAT_EQ(p.hold_scaling_factors().second, 0.6825f);
  }
  host::yeb::set_model_flags(1, false, false);  // not real: kept as it is
  EXPECT_EQ(VELMO_PERIPHERY_CORE_PLACEMENT(m_env).default_timing_model()->get_timing_model_enum(), 1);
  host::pexa::set_loaded_timing_model_enum(1, -1);
  EXPECT_EQ(expect_internal_error([&] { VELMO_PERIPHERY_CORE_PLACEMENT p(m_env); }).condition,
            "dev_timing_model_enum != DEV_TIMING_MODEL_INVALID");
}

TEST_F(P2cPlacementTest, ConstructionNeedsTheBundle) {
  host::gesk::load(false, false);
  auto err = expect_internal_error([&] { VELMO_PERIPHERY_CORE_PLACEMENT p(m_env); });
  EXPECT_EQ(err.condition, "GESK chip must be loaded before running delay annotation!");
}

// ---- ports and sites -----------------------------------------------------------------

TEST_F(P2cPlacementTest, RegisterSitesOfLabOutputs) {
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_EQ(p.get_ff_gid_from_lab_re_output_port(static_cast<int>(route_gid(282, 3, 4, 90))), site(3, 4, 1));
  EXPECT_EQ(p.get_ff_gid_from_lab_re_output_port(static_cast<int>(route_gid(282, 3, 4, 93))), site(3, 4, 5));
  EXPECT_EQ(p.get_ff_gid_from_lab_re_output_port(static_cast<int>(route_gid(282, 3, 4, 129))), site(3, 4, 59));
  auto err = expect_internal_error([&] { p.get_ff_gid_from_lab_re_output_port(static_cast<int>(route_gid(282, 3, 4, 140))); });
  EXPECT_EQ(err.condition, "index >= offset && index < (offset + NUM_SUBLOCS)");
  host::testing::device(Family::KX15).build();
  VELMO_PERIPHERY_CORE_PLACEMENT p15(m_env);
  err = expect_internal_error([&] { p15.get_ff_gid_from_lab_re_output_port(static_cast<int>(route_gid(282, 3, 4, 90))); });
  EXPECT_EQ(err.condition, "Unsupported family");
}

TEST_F(P2cPlacementTest, RegisterSitesOfLabInputs) {
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_EQ(p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 9))), std::make_pair(true, site(3, 4, 8)));
    EXPECT_EQ(p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 8))), std::make_pair(false, site(3, 4, 7)));
    EXPECT_EQ(p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 79))), std::make_pair(false, site(3, 4, 59)));
    EXPECT_EQ(p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 14))), std::make_pair(true, site(3, 4, 10)));
    auto err = expect_internal_error([&] { p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 3))); });
    EXPECT_EQ(err.condition, "subloc != -1");
  }
  host::testing::device(Family::KY).build();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_EQ(p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 3))), std::make_pair(true, site(3, 4, 1)));
  EXPECT_EQ(p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 72))), std::make_pair(false, site(3, 4, 56)));
  EXPECT_EQ(p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 12))), std::make_pair(true, site(3, 4, 10)));
  EXPECT_EQ(p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 15))), std::make_pair(false, site(3, 4, 11)));
  auto err = expect_internal_error([&] { p.get_ff_gid_from_lab_re_input_port(static_cast<int>(route_gid(282, 3, 4, 140))); });
  EXPECT_EQ(err.condition, "subloc != -1");
}

TEST_F(P2cPlacementTest, PortNames) {
  EXPECT_EQ(labout_to_port_name("LAB_PORT_MUX_X3Y4_LABOUTT[6]"), "b1leout[0]");
  EXPECT_EQ(labout_to_port_name("LABOUTB[19]"), "b1leout[1]");
  EXPECT_EQ(expect_internal_error([] { labout_to_port_name("LABOUTT[20]"); }).condition, "num < 20");
  EXPECT_EQ(expect_internal_error([] { labout_to_port_name("LABOUTT[-1]"); }).condition, "num < 20");
  EXPECT_EQ(expect_internal_error([] { labout_to_port_name("LABOUTT[6"); }).condition, "num < 20");
  EXPECT_EQ(expect_internal_error([] { labout_to_port_name("LABIN[3]"); }).condition,
            "labout.find(\"LABOUT\") != std::string::npos");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_EQ(p.leim_to_port_name("X_LEIME1_y"), "leime1_");
    EXPECT_EQ(p.leim_to_port_name("LEIMF0"), "leimf0_");
    EXPECT_EQ(expect_internal_error([&] { p.leim_to_port_name("LEIMB"); }).condition,
              "The given leim is not supported in P2C, only leim{a, b, e, f, e0, e1, f0, f1} are supported");
  }
  host::testing::device(Family::KY).build();
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_EQ(p.leim_to_port_name("LEIMB_3"), "leimb");
  EXPECT_EQ(p.leim_to_port_name("LEIME0"), "leime");
  host::testing::device(Family::KX15).build();
  VELMO_PERIPHERY_CORE_PLACEMENT p15(m_env);
  EXPECT_EQ(expect_internal_error([&] { p15.leim_to_port_name("LEIME"); }).condition, "P2C/C2P Unsupported families");
}

TEST_F(P2cPlacementTest, TerminalPortsAndTheirTranslation) {
  auto s = host::testing::scenes::kx_periphery();
  VOK_ATOM_OTERM* out = s.u0->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0);
  VOK_ATOM_ITERM* in0 = s.u0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  const unsigned port_out = host::testing::periphery_chain_gid(3, 9, 4, 0);
  EXPECT_EQ(p.get_top_level_port_gid(s.u0, out, true), port_out);
  EXPECT_EQ(p.get_top_level_port_gid(s.u0, in0, false), host::testing::periphery_chain_gid(3, 9, 0, 0));
  // The walk's first entry is the chain's far end.
  EXPECT_EQ(p.get_gid_after_port_translation(port_out, true), host::testing::periphery_chain_gid(3, 9, 4, 2) & 0x7FFFFFFFu);
  EXPECT_EQ(p.get_gid_after_port_translation(0xFFFFFFFFu, true), 0xFFFFFFFFu);
  // An input port looked up as an output port is found as bidirectional.
  EXPECT_EQ(p.get_top_level_port_gid(s.u0, in0, true), host::testing::periphery_chain_gid(3, 9, 0, 0));
  // No entry (c's data input maps to no device port): none.
  EXPECT_EQ(p.get_top_level_port_gid(s.c, s.c->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), false), 0xFFFFFFFFu);
  // Two entries: ignored, with a line whatever the verbose switch says.
  host::testing::map_port(out, 0, "out[1]");
  EXPECT_EQ(p.get_top_level_port_gid(s.u0, out, true), 0xFFFFFFFFu);
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Ignoring P2C/C2P for TERM OPORT_1 of atom " + std::to_string(s.u0->get_id()) +
                           " (u0) of type = ATOM_" + std::to_string(s.u0->get_atom_type()) +
                           ": it has 2 port mappings, but we only deal with TERM with exact 1 port mapping"));
}

TEST_F(P2cPlacementTest, OutermostPortOfTheStitchedNetwork) {
  host::testing::scenes::kx_periphery();
  const auto chain = [](int port, int k) { return host::testing::periphery_chain_gid(3, 9, port, k); };
  auto& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  // A tree: fabric wire -> input chain of in[0] down to the port (block-
  // network edges below the wire), and a port with two non-fabric children.
  const unsigned wire = route_gid(700, 3, 8, 0);
  const int root = r.new_root(static_cast<std::int32_t>(wire));
  host::testing::NET_BUILDER(&r, root).wire_gid(chain(0, 2)).wire_gid(chain(0, 1)).wire_gid(chain(0, 0));
  const int fork = r.new_root(static_cast<std::int32_t>(chain(5, 0)));
  host::testing::NET_BUILDER(&r, fork).branch([&](auto& b) { b.wire_gid(chain(5, 1)); }).wire_gid(chain(1, 0));
  cfg_set_on("velmo_verbose_p2c_placement");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_EQ(p.get_most_top_level_port_gid(chain(0, 2), true), chain(0, 0));
  EXPECT_EQ(p.get_most_top_level_port_gid(chain(0, 0), false), chain(0, 2));
  // Backwards from the chain's top: its edge up is a fabric edge.
  EXPECT_EQ(p.get_most_top_level_port_gid(chain(0, 2), false), 0xFFFFFFFFu);
  EXPECT_EQ(p.get_most_top_level_port_gid(chain(5, 0), true), 0xFFFFFFFFu);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("found multiple children for " + std::to_string(chain(5, 0))));
  EXPECT_EQ(p.get_most_top_level_port_gid(route_gid(700, 5, 5, 0), true), 0xFFFFFFFFu);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("couldn't find mapping for " + std::to_string(route_gid(700, 5, 5, 0))));

  // A gid in two trees maps to the node met last.
  const int later = r.new_root(static_cast<std::int32_t>(chain(0, 0)));
  host::testing::NET_BUILDER(&r, later).wire_gid(chain(2, 1));
  VELMO_PERIPHERY_CORE_PLACEMENT q(m_env);
  EXPECT_EQ(q.get_most_top_level_port_gid(chain(0, 0), true), chain(2, 1));
  EXPECT_EQ(q.get_most_top_level_port_gid(chain(0, 0), false), 0xFFFFFFFFu);
}
