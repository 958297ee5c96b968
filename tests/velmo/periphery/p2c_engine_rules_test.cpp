// The periphery-core placement passes, rule by rule: a group solved whole
// posts no shortfall warning and is routed, a failed direction ends the pass
// before the other one starts, bounds that meet are a requirement and not an
// error, and the UIB/ESRAM pass commits a fixed register only at its very
// site and reports every refused register, whatever domain it was in; a
// requirement's shape (wire counts, delay bounds) decides how its group is
// solved and, with the routing switches, whether the group is routed.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "velmo_periphery_to_core_placement.h"
#include "tibex/tibex_location_constraint.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"

namespace {

constexpr int INT = 4;

class P2cEngineRulesTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    s = host::testing::scenes::kx_periphery();
  }
  static void assign(VOK_ATOM_NODE* atom, int code, const std::string& value) {
    host::options::set(code, INT, value, atom->get_string_hpath());
  }
  static unsigned site(int x, int y, int z) {
    return host::device::die_info()->get_place_info()->get_global_id(0, x, y, z);
  }
  static std::vector<POSTED_MESSAGE> posted(unsigned id) {
    std::vector<POSTED_MESSAGE> out;
    for (const auto& m : host::messages::posted())
      if (m.id == id) out.push_back(m);
    return out;
  }
  // A UIB at (x, 9) whose input in[0] is driven by `driver`.
  static VOK_ATOM_NODE* periphery_input(const std::string& name, int x, VOK_ATOM_NODE* driver) {
    auto n = host::testing::netlist();
    VOK_ATOM_NODE* p = n.atom(VOK_ATOM_KIND::UFI_UIB, name).input(DB_INPUT_PORT_DATA_IN, 0, driver).placed(site(x, 9, 0), dev_kind::UIB);
    host::testing::map_port(p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0),
                            host::testing::gesk_instance(name + "_inst", x, 9, 0), "in[0]");
    return p;
  }
  static void clear_routing() {
    VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
    VOK_CHIP_DB_ENTRY::current()->explicit_hard_routing_constraint_gids().clear();
  }
  host::testing::scenes::KX_PERIPHERY s;
};

}  // namespace

// With partial placement disallowed, a group whose every transfer is solved
// is committed without the shortfall warning, and with its routing.
TEST_F(P2cEngineRulesTest, AWholeSolvedGroupPostsNoShortfallWarning) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r0 = n.reg("r0").d(s.u0);
  VOK_ATOM_NODE* r1 = n.reg("r1").d(s.e0);
  assign(r0, 838, "4");
  assign(r1, 838, "4");
  cfg_set_on("velmo_disallow_partial_p2c_placement");
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  ASSERT_TRUE(p.periphery_to_core_register_placement());
  EXPECT_TRUE(r0->is_placed());
  EXPECT_TRUE(r1->is_placed());
  EXPECT_TRUE(posted(16656).empty());
  // Committed whole: routed as a group allowed to be partial would be.
  for (VOK_ATOM_NODE* r : {r0, r1}) {
    EXPECT_EQ(p.p2c_result_status(r->get_string_hpath()), VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED);
    EXPECT_NE(VOK_CHIP_DB_ENTRY::current()->get_routing()->get_sink_nodes(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)).size(), 0u);
  }
}

// A periphery-to-core group with inconsistent requirements ends the pass:
// the core-to-periphery groups are not started at all.
TEST_F(P2cEngineRulesTest, AFailedPeripheryToCoreGroupEndsThePassBeforeTheOtherDirection) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* q = n.reg("q").d(s.e0);
  assign(q, 841, "100");
  assign(q, 842, "300");
  // A core-to-periphery transfer that would be placed on its own.
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* c = n.reg("cr").clk(clk);
  VOK_ATOM_NODE* u1 = n.atom(VOK_ATOM_KIND::UFI_UIB, "u1")
                          .input(DB_INPUT_PORT_DATA_IN, 0, c)
                          .placed(site(6, 9, 0), dev_kind::UIB);
  host::testing::map_port(u1->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0),
                          host::testing::gesk_instance("u1_inst", 6, 9, 0), "in[0]");
  assign(c, 845, "3");
  {
    VELMO_PERIPHERY_CORE_PLACEMENT alone(m_env);
    host::options::unset(841, q->get_string_hpath());
    host::options::unset(842, q->get_string_hpath());
    ASSERT_TRUE(alone.periphery_to_core_register_placement());
    ASSERT_TRUE(c->is_placed());
    c->clear_location();
    q->clear_location();
  }
  assign(q, 841, "100");
  assign(q, 842, "300");
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  EXPECT_FALSE(p.periphery_to_core_register_placement());
  EXPECT_EQ(posted(16293).size(), 1u);
  EXPECT_FALSE(c->is_placed());
  EXPECT_EQ(p.c2p_result_status("cr"), VELMO_PERIPHERY_CORE_PLACEMENT::NOT_OPTIMIZED);
}

// A UIB/ESRAM register fixed by the user is committed only at the very site
// its solve gives it: fixed one step away in x, in y or in the sub-location
// it is refused (the pass fails and reports it under its fixed site); fixed
// at the solved site it is committed there, though its design box leaves
// that site out.
TEST_F(P2cEngineRulesTest, AUibRegisterFixedOneStepFromItsSolvedSiteIsRefused) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* z = n.reg("z").clk(clk);
  periphery_input("u1", 6, z);
  assign(z, 837, "2");
  cfg_set_off("yun_post_plan_uib_esram_c2p_retimer");
  unsigned solved;
  {
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.UIB_ESRAM_C2P_core_register_placement());
    ASSERT_TRUE(z->is_placed());
    solved = z->get_location_gid();
  }
  const auto at = host::device::die_info()->get_place_info()->get_place_block(solved);
  ASSERT_TRUE(at);
  const int x = at->get_x(), y = at->get_y(), sub = at->get_sub_location();
  struct STEP {
    int dx, dy, dz;
  };
  for (const STEP& step : {STEP{1, 0, 0}, STEP{0, -1, 0}, STEP{0, 0, 1}, STEP{0, 0, 0}}) {
    const int fx = x + step.dx, fy = y + step.dy, fz = sub + step.dz;
    SCOPED_TRACE(std::to_string(fx) + "," + std::to_string(fy) + "," + std::to_string(fz));
    ASSERT_TRUE(host::device::die_info()->get_place_info()->get_place_block(site(fx, fy, fz)));
    const bool at_solved_site = step.dx == 0 && step.dy == 0 && step.dz == 0;
    z->clear_location();
    clear_routing();
    TIBEX_LOCATION_CONSTRAINT lc;
    lc.add_locked(TIBEX_LOCKED_CONSTRAINT::box(0, 0, 0, 0), host::constraints::SOURCE_DESIGN);
    lc.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(fx, fy, fz), host::constraints::SOURCE_USER);
    host::constraints::set(z->get_id(), lc);
    const std::size_t errors = posted(20368).size();
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_EQ(p.UIB_ESRAM_C2P_core_register_placement(), at_solved_site);
    if (at_solved_site) {
      EXPECT_EQ(z->get_location_gid(), solved);
      EXPECT_EQ(posted(20368).size(), errors);
      continue;
    }
    EXPECT_FALSE(z->is_placed());
    const auto e = posted(20368);
    ASSERT_EQ(e.size(), errors + 1);
    ASSERT_EQ(e.back().subs.size(), 1u);
    const std::string corner = "(" + std::to_string(fx) + ", " + std::to_string(fy) + ")";
    EXPECT_NE(e.back().subs[0].text.find(corner + " and top-right corner " + corner), std::string::npos)
        << e.back().subs[0].text;
    ASSERT_EQ(e.back().subs[0].subs.size(), 1u);
    EXPECT_EQ(e.back().subs[0].subs[0].text, "z");
  }
}

// Clock domains are committed one after the other; a register refused in
// one domain is reported when the pass ends, also when a later domain was
// committed after it, and the other domain's register is committed.
TEST_F(P2cEngineRulesTest, AUibRegisterRefusedInOneDomainIsReportedAfterTheOthers) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* low = n.reg("ck_low").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* high = n.reg("ck_high").placed(site(6, 4, 2), dev_kind::FF);
  ASSERT_LT(low->get_id(), high->get_id());
  VOK_ATOM_NODE* a = n.reg("ra").clk(low);
  VOK_ATOM_NODE* b = n.reg("rb").clk(high);
  periphery_input("ua", 6, a);
  periphery_input("ub", 9, b);
  assign(a, 837, "2");
  assign(b, 837, "2");
  cfg_set_off("yun_post_plan_uib_esram_c2p_retimer");
  // Each in turn fixed to a site no solve gives it: first the register of
  // the first domain, then that of the last.
  for (VOK_ATOM_NODE* refused : {a, b}) {
    VOK_ATOM_NODE* other = refused == a ? b : a;
    SCOPED_TRACE(refused->get_string_hpath());
    a->clear_location();
    b->clear_location();
    clear_routing();
    host::constraints::set(other->get_id(), TIBEX_LOCATION_CONSTRAINT());
    TIBEX_LOCATION_CONSTRAINT lc;
    lc.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(1, 2, 1), host::constraints::SOURCE_USER);
    host::constraints::set(refused->get_id(), lc);
    const std::size_t errors = posted(20368).size();
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_FALSE(p.UIB_ESRAM_C2P_core_register_placement());
    EXPECT_FALSE(refused->is_placed());
    EXPECT_TRUE(other->is_placed());
    const auto e = posted(20368);
    ASSERT_EQ(e.size(), errors + 1);
    ASSERT_EQ(e.back().subs.size(), 1u);
    EXPECT_NE(e.back().subs[0].text.find("(1, 2) and top-right corner (1, 2)"), std::string::npos)
        << e.back().subs[0].text;
    ASSERT_EQ(e.back().subs[0].subs.size(), 1u);
    EXPECT_EQ(e.back().subs[0].subs[0].text, refused->get_string_hpath());
  }
}

// Bounds that meet (as many wires at least as at most, a minimum delay equal
// to the maximum) are a requirement like any other: the pass goes on without
// an error. Bounds crossed by one end it.
TEST_F(P2cEngineRulesTest, BoundsThatMeetAreARequirementAndCrossedOnesAnError) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* w = n.reg("w").d(s.u0);
  VOK_ATOM_NODE* t = n.reg("t").d(s.e0);
  struct CASE {
    const char* max_wires;
    const char* min_wires;
    const char* max_delay;
    const char* min_delay;
    bool ok;
  };
  for (const CASE& c : {CASE{"3", "3", "400", "400", true}, CASE{"3", "4", "400", "400", false},
                        CASE{"3", "3", "400", "401", false}}) {
    SCOPED_TRACE(std::string(c.max_wires) + " " + c.min_wires + " " + c.max_delay + " " + c.min_delay);
    w->clear_location();
    t->clear_location();
    clear_routing();
    assign(w, 838, c.max_wires);
    assign(w, 840, c.min_wires);
    assign(t, 841, c.max_delay);
    assign(t, 842, c.min_delay);
    const std::size_t wire_errors = posted(16199).size(), delay_errors = posted(16293).size();
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    EXPECT_EQ(p.periphery_to_core_register_placement(), c.ok);
    const std::size_t errors = posted(16199).size() + posted(16293).size() - wire_errors - delay_errors;
    EXPECT_EQ(errors, c.ok ? 0u : 1u);
  }
}

// Delay bounds are given in picoseconds and handed to the solver as such:
// on this scene the shortest chain out of u0 takes between 65 and 70 ps and
// the longest within reach less than 2000 ps. A maximum of 0 ps is a bound
// like any other (nothing meets it), not the absence of one.
TEST_F(P2cEngineRulesTest, DelayBoundsAreMetInPicoseconds) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r = n.reg("r").d(s.u0);
  struct CASE {
    const char* max;  // nullptr: not assigned
    const char* min;
    bool placed;
  };
  for (const CASE& c : {CASE{"0", nullptr, false}, CASE{"60", nullptr, false}, CASE{"80", nullptr, true},
                        CASE{"80", "60", true}, CASE{"20000", nullptr, true}, CASE{nullptr, "1000", true},
                        CASE{nullptr, "2000", false}, CASE{"20000", "2000", false}}) {
    SCOPED_TRACE(std::string(c.max ? c.max : "-") + " " + (c.min ? c.min : "-"));
    r->clear_location();
    clear_routing();
    c.max ? assign(r, 841, c.max) : host::options::unset(841, r->get_string_hpath());
    c.min ? assign(r, 842, c.min) : host::options::unset(842, r->get_string_hpath());
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    EXPECT_EQ(r->is_placed(), c.placed);
    EXPECT_EQ(p.p2c_result_status("r"), c.placed ? VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED
                                                 : VELMO_PERIPHERY_CORE_PLACEMENT::NOT_OPTIMIZED);
  }
}

// A UIB/ESRAM register that even the relaxed solve (up to three wires)
// cannot reach ends the pass with an internal error rather than being left
// quietly where it was.
TEST_F(P2cEngineRulesTest, AUibRegisterNoSolveReachesIsAnInternalError) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* z = n.reg("z").clk(clk);
  periphery_input("u1", 9, z);
  assign(z, 837, "2");
  cfg_set_off("yun_post_plan_uib_esram_c2p_retimer");
  DeviceSpec spec = host::device::spec();
  ASSERT_TRUE(host::testing::cut_routing_at(spec, host::testing::periphery_chain_gid(9, 9, 0, 2), false));
  host::device::configure(spec);
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  const auto e = host::testing::expect_internal_error([&] { p.UIB_ESRAM_C2P_core_register_placement(); });
  EXPECT_EQ(e.condition, "tough_set_leftovers.empty()");
  EXPECT_FALSE(z->is_placed());
}

// A requirement's shape decides how its group is solved and whether the
// group's routing is published. With no delay bound at all the group is
// solved by wire counts; any delay bound (an upper one alone, a lower one
// alone, or both; -1 ps stands for "none") makes it a delay requirement. A
// delay requirement is routed whenever routing is published at all; a wire
// requirement only when routing is published and, besides, wire requirements
// are to be routed too or the router asked for the transfer itself. On this
// scene every chain out of u0 takes at least 65 ps.
TEST_F(P2cEngineRulesTest, TheRequirementShapeDecidesTheSolveAndTheRouting) {
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r = n.reg("r").d(s.u0);
  VOK_ATOM_ITERM* in = r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  enum SHAPE { WIRES, ROUTER_WIRES, UPPER, LOWER, BOTH };
  struct CASE {
    SHAPE shape;
    const char* max_delay;  // delay shapes only
    const char* min_delay;
    bool publish, publish_wire_based;
    bool by_wires;   // handed to the solver as a wire requirement
    int placed;      // 1 / 0, or -1: not looked at
    bool routed;
  };
  const CASE cases[] = {
      {WIRES, nullptr, nullptr, true, false, true, 1, false},
      {WIRES, nullptr, nullptr, false, true, true, 1, false},
      {WIRES, nullptr, nullptr, true, true, true, 1, true},
      {ROUTER_WIRES, nullptr, nullptr, true, false, true, 1, true},
      {ROUTER_WIRES, nullptr, nullptr, false, false, true, 1, false},
      {UPPER, "80", "-1", true, false, false, 1, true},
      {UPPER, "80", "-1", false, true, false, 1, false},
      // A bound no chain meets: solved by delays, so nothing is placed.
      {UPPER, "60", "-1", true, false, false, 0, true},
      {UPPER, "60", "-1", false, true, false, 0, false},
      {LOWER, "-1", "-2", true, false, false, -1, true},
      {LOWER, "-1", "-2", false, true, false, -1, false},
      {BOTH, "80", "60", true, false, false, 1, true},
      {BOTH, "60", "0", true, true, false, 0, true},
      {BOTH, "80", "60", false, true, false, 1, false},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(std::to_string(c.shape) + " " + (c.max_delay ? c.max_delay : "-") + " " +
                 (c.min_delay ? c.min_delay : "-") + (c.publish ? " publish" : "") +
                 (c.publish_wire_based ? " wire-based" : ""));
    r->clear_location();
    clear_routing();
    for (int code : {838, 839, 840, 841, 842}) host::options::unset(code, r->get_string_hpath());
    if (c.shape == WIRES) assign(r, 838, "4");
    if (c.shape == ROUTER_WIRES) assign(r, 839, "4");
    if (c.max_delay != nullptr) assign(r, 841, c.max_delay);
    if (c.min_delay != nullptr) assign(r, 842, c.min_delay);
    c.publish ? cfg_set_on("velmo_p2c_publish_routing") : cfg_set_off("velmo_p2c_publish_routing");
    c.publish_wire_based ? cfg_set_on("velmo_p2c_publish_routing_for_wire_based")
                         : cfg_set_off("velmo_p2c_publish_routing_for_wire_based");
    host::clear_calls();
    const std::size_t mark = host::messages::posted().size();
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    // The solver's wire-based argument is the second to last one.
    std::vector<std::string> flags;
    for (const std::string& line : host::call_lines())
      if (line.rfind("wexan_solve_c2p_routing_problem(", 0) == 0) {
        const std::size_t last = line.rfind(", ");
        const std::size_t before = line.rfind(", ", last - 1);
        flags.push_back(line.substr(before + 2, last - before - 2));
      }
    ASSERT_FALSE(flags.empty());
    for (const std::string& f : flags) EXPECT_EQ(f, c.by_wires ? "true" : "false");
    // The group's report line says whether it was routed, placed or not.
    std::vector<std::string> lines;
    const auto all = host::messages::posted();
    for (std::size_t i = mark; i < all.size(); ++i)
      if (all[i].id == 16239)
        for (const auto& sub : all[i].subs) lines.push_back(sub.text.substr(0, sub.text.find(" of 1")));
    ASSERT_EQ(lines.size(), 1u);
    if (c.placed >= 0) {
      EXPECT_EQ(lines[0], std::string(c.routed ? "Placed and routed " : "Placed ") + (c.placed ? "1" : "0"));
      EXPECT_EQ(r->is_placed(), c.placed == 1);
    } else {
      EXPECT_EQ(lines[0].rfind(c.routed ? "Placed and routed " : "Placed ", 0), 0u) << lines[0];
      EXPECT_EQ(lines[0].find("routed") != std::string::npos, c.routed) << lines[0];
    }
    const auto placed = r->is_placed() ? (c.routed ? VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED
                                                   : VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED)
                                       : VELMO_PERIPHERY_CORE_PLACEMENT::NOT_OPTIMIZED;
    EXPECT_EQ(p.p2c_result_status("r"), placed);
    const auto& routing = *VOK_CHIP_DB_ENTRY::current()->get_routing();
    EXPECT_EQ(routing.get_sink_nodes(in).empty(), !(c.routed && r->is_placed()));
  }
  // The router's own assignment routes a wire requirement only going into
  // the core: out of the core it is placed only, unless wire requirements
  // are routed anyway; a delay requirement out of the core is routed.
  for (int code : {838, 839, 840, 841, 842}) host::options::unset(code, r->get_string_hpath());
  cfg_set_on("velmo_p2c_publish_routing");
  VOK_ATOM_NODE* clk = n.reg("clk").placed(site(6, 4, 1), dev_kind::FF);
  VOK_ATOM_NODE* out = n.reg("out").clk(clk);
  VOK_ATOM_ITERM* port = periphery_input("u1", 6, out)->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  struct C2P_CASE {
    int code;  // 845 router wires, 847 maximum delay
    const char* value;
    bool publish_wire_based;
    bool routed;
  };
  for (const C2P_CASE& c : {C2P_CASE{845, "3", false, false}, C2P_CASE{845, "3", true, true},
                            C2P_CASE{847, "20000", false, true}}) {
    SCOPED_TRACE(std::to_string(c.code) + (c.publish_wire_based ? " wire-based" : ""));
    out->clear_location();
    clear_routing();
    for (int code : {843, 845, 846, 847, 848}) host::options::unset(code, out->get_string_hpath());
    assign(out, c.code, c.value);
    c.publish_wire_based ? cfg_set_on("velmo_p2c_publish_routing_for_wire_based")
                         : cfg_set_off("velmo_p2c_publish_routing_for_wire_based");
    VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
    ASSERT_TRUE(p.periphery_to_core_register_placement());
    ASSERT_TRUE(out->is_placed());
    EXPECT_EQ(p.c2p_result_status("out"), c.routed ? VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_AND_ROUTED
                                                   : VELMO_PERIPHERY_CORE_PLACEMENT::PLACED_NOT_ROUTED);
    EXPECT_EQ(VOK_CHIP_DB_ENTRY::current()->get_routing()->get_sink_nodes(port).empty(), !c.routed);
  }
}
