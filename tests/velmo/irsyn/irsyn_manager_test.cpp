// The resynthesiser on small placed designs: entry points, the domain loop,
// slack lookups and acceptance, LUT expansion, the three passes and their
// refusals; at every implementation the function of each register input
// over the register outputs must stay what it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_script.h"
#include "dux/dux.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "msg/msg_base.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/routing_builder.h"
#include "testing/scenes.h"
#include "velmo_eco_tcl.h"
#include "velmo_irsyn_test.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "vok/vok_re_logical_port.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

// The function of every register data input over the register outputs,
// sampled on fixed random assignments (exhaustively when few registers).
class CONE_CHECK {
public:
  explicit CONE_CHECK(VOK_ATOM_NETLIST* n) : m_netlist(n) { m_before = sample(); }
  std::vector<std::vector<bool>> sample() const {
    std::vector<const VOK_ATOM_NODE*> regs;
    for (const VOK_ATOM_NODE* a : m_netlist->get_atom_list())
      if (a->is_ff()) regs.push_back(a);
    std::vector<std::vector<bool>> out;
    std::mt19937 rng(5);
    const unsigned rounds = regs.size() <= 8 ? (1u << regs.size()) : 256u;
    for (unsigned r = 0; r < rounds; ++r) {
      std::map<int, bool> leaf;
      for (std::size_t i = 0; i < regs.size(); ++i)
        leaf[regs[i]->get_id()] = regs.size() <= 8 ? ((r >> i) & 1u) != 0 : (rng() & 1u) != 0;
      std::vector<bool> row;
      for (const VOK_ATOM_NODE* reg : regs)
        row.push_back(read(reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), leaf));
      out.push_back(row);
    }
    return out;
  }
  bool unchanged() const { return sample() == m_before; }

private:
  static bool read(const VOK_ATOM_ITERM* t, const std::map<int, bool>& leaf) {
    if (!t || !t->is_connected()) return false;
    const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
    const bool v = s ? value(s->get_my_node(), leaf) : !t->is_tie_low();
    return v != t->is_inverted();
  }
  static bool value(const VOK_ATOM_NODE* a, const std::map<int, bool>& leaf) {
    if (!a) return false;
    if (a->get_kind() != VOK_ATOM_KIND::COMB_CELL) {
      auto it = leaf.find(a->get_id());
      return it != leaf.end() && it->second;
    }
    unsigned in = 0;
    int width = 0;
    for (int k = 0; k < 6; ++k) {
      const VOK_ATOM_ITERM* t = a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + k), 0);
      if (!t) continue;
      width = k + 1;
      if (read(t, leaf)) in |= 1u << k;
    }
    return host::lut_eval(a->get_lutmask().get_value(), width, in);
  }
  VOK_ATOM_NETLIST* m_netlist;
  std::vector<std::vector<bool>> m_before;
};

class IrsynTest : public HostTest {
public:
  using BODY = std::function<void(NETLIST_BUILDER&, SIG clk)>;
  void start(int family, int period_ps, const BODY& body) {
    device(family).build();
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    SIG clk = n->input_port("clk");
    n->clock("clk", period_ps, clk);
    body(*n, clk);
    n->timing();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  // Checks the register functions at every implementation from now on.
  void watch_functions() {
    check = std::make_unique<CONE_CHECK>(n->get_netlist());
    DUX::set_implement_observer([this] {
      ++implements;
      EXPECT_TRUE(check->unchanged()) << "implement " << implements;
    });
  }
  void TearDown() override {
    DUX::set_implement_observer({});
    manager.reset();
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  IRSYN_MANAGER& make_manager() {
    manager = std::make_unique<IRSYN_MANAGER>(CMP_FACADE::current(), env);
    manager->m_domain = HOV_INCR_WNS_DOMAIN{0, 0, 0, 0};
    manager->m_wns_cost = manager->get_wns_cost();
    return *manager;
  }
  static int count(const std::string& text) {
    const auto t = host::debug::texts();
    return static_cast<int>(std::count(t.begin(), t.end(), text));
  }
  static int count_prefix(const std::string& prefix) {
    int c = 0;
    for (const auto& l : host::debug::texts()) c += l.rfind(prefix, 0) == 0;
    return c;
  }
  static std::vector<std::string> lines_with(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : host::debug::texts())
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
  static VOK_ATOM_LOGICAL_PORT out_port(VOK_ATOM_NODE* a) {
    return vok_get_logical_port(a->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  }
  static VOK_ATOM_LOGICAL_PORT in_port(VOK_ATOM_NODE* a, int slot) {
    return vok_get_logical_port(a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + slot), 0));
  }
  std::unique_ptr<NETLIST_BUILDER> n;
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRSYN_MANAGER> manager;
  std::unique_ptr<CONE_CHECK> check;
  int implements = 0;
};

constexpr int FAMILY_46 = Family::KY;
bool and_all(const LUT_INPUTS& x, int n) {
  for (int i = 0; i < n; ++i)
    if (!x[i]) return false;
  return true;
}

// Registers r0..r<count-1> fed by input ports, in LAB (3, 3) but for `far`,
// placed across the device so that its input is the critical one.
std::vector<SIG> input_regs(NETLIST_BUILDER& n, SIG clk, int count, int far) {
  std::vector<SIG> ins;
  for (int i = 0; i < count; ++i) {
    auto r = n.reg("r" + std::to_string(i)).clk(clk).d(n.input_port("i" + std::to_string(i)));
    place_at(r, i == far ? 10 : 3, i == far ? 8 : 3, i);
    ins.push_back(r);
  }
  return ins;
}

// r0 (far away) and r1 feed B; B, r2 and r3 feed A; A feeds q. With
// `pipeline`, r<pipeline> is a pipeline register.
struct PAIR {
  VOK_ATOM_NODE *r0, *r1, *r2, *r3, *b, *a, *q;
};
PAIR build_pair(NETLIST_BUILDER& n, SIG clk, bool inverted_a = false, int pipeline = -1) {
  PAIR p;
  VOK_ATOM_NODE** r[4] = {&p.r0, &p.r1, &p.r2, &p.r3};
  for (int i = 0; i < 4; ++i) {
    const std::string k = std::to_string(i);
    *r[i] = (i == pipeline ? n.zota_reg("r" + k) : n.reg("r" + k)).clk(clk).d(n.input_port("i" + k));
  }
  p.b = n.lut("b", {p.r0, p.r1}, [](const LUT_INPUTS& x) { return and_all(x, 2); });
  if (inverted_a)
    p.a = n.lut("a", {p.b, p.r2, p.r3}, [](const LUT_INPUTS& x) { return x[0] && !x[1] && x[2]; });
  else
    p.a = n.lut("a", {p.b, p.r2, p.r3}, [](const LUT_INPUTS& x) { return and_all(x, 3); });
  p.q = n.reg("q").clk(clk).d(p.a);
  place_at(p.r0, 4, 3, 0);
  place_at(p.r1, 3, 3, 1);
  place_at(p.r2, 3, 3, 2);
  place_at(p.r3, 3, 3, 3);
  place_at(p.b, 3, 3, 4);
  place_at(p.a, 3, 3, 5);
  place_at(p.q, 3, 3, 6);
  return p;
}

// ---------------------------------------------------------------- entry points and loop

TEST_F(IrsynTest, AnotherFamilyReturnsOneAndTouchesNothing) {
  start(Family::KZ, 10, [](NETLIST_BUILDER& n, SIG clk) { build_pair(n, clk); });
  host::clear_calls();
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_resynthesis(), 1);
  for (const auto& l : host::call_lines()) EXPECT_EQ(l.find("DUX"), std::string::npos) << l;
  EXPECT_TRUE(host::bins::events().empty());
  EXPECT_EQ(count_prefix("VM Debug: "), 0);
}

TEST_F(IrsynTest, TheTclEntryNeedsAnEnvironment) {
  device(FAMILY_46).build();
  const HOST_INTERNAL_ERROR e = expect_internal_error([] { VELMO_ECO_TCL::test_incremental_resynthesis(); });
  EXPECT_EQ(e.condition, "m_env");
}

TEST_F(IrsynTest, WithoutAFailingDomainOnlyTheSummaryLinesAppear) {
  start(FAMILY_46, 1000000, [](NETLIST_BUILDER& n, SIG clk) { build_pair(n, clk); });
  host::clear_calls();
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_resynthesis(), 1);
  const auto lines = lines_with("VM Debug: ");
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "VM Debug: starting wns cost 0");
  EXPECT_EQ(lines.back(), "VM Debug: implement stats tries 0 better 0 worse 0 fail 0");
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("VM Debug: domain wns = ", 0), 0u) << lines[i];
  EXPECT_EQ(lines.size() - 2, sta_get_wns_domains().size());
  for (const auto& l : host::call_lines()) EXPECT_EQ(l.find("DUX::implement"), std::string::npos) << l;
  EXPECT_TRUE(host::bins::balanced());
  // The analysis no longer takes stale timing once the run is over.
  EXPECT_FALSE(sta_is_stale_timing_allowed());
}

TEST_F(IrsynTest, WithEveryPassLimitZeroDomainsAreVisitedAndNoPassRuns) {
  start(FAMILY_46, 10, [](NETLIST_BUILDER& n, SIG clk) { build_pair(n, clk); });
  cfg_set_value("post_route_resyn_num_reroute_passes", "0");
  cfg_set_value("post_route_resyn_num_rotate_passes", "0");
  cfg_set_value("post_route_resyn_num_resyn_passes", "0");
  EXPECT_EQ(VELMO_ECO_TCL::test_incremental_resynthesis(), 1);
  EXPECT_GE(count_prefix("VM Debug: domain wns = -"), 1);
  EXPECT_EQ(count_prefix("VM Debug: reroute pass"), 0);
  EXPECT_EQ(count_prefix("VM Debug: rotate pass"), 0);
  EXPECT_EQ(count_prefix("VM Debug: resyn pass"), 0);
}

// An accepted exchange on one path while an untouched, worse path sets the
// domain's WNS: the pass kind ends after it with the exit switch on and
// runs the next pass with it off.
void two_paths(NETLIST_BUILDER& n, SIG clk) {
  build_pair(n, clk);
  SIG s = n.reg("w0").clk(clk).d(n.input_port("iw"));
  place_at(s.oterm->get_my_node(), 10, 1, 0);
  for (int k = 0; k < 4; ++k) {
    auto l = n.lut("w" + std::to_string(k + 1), {s}, [](const LUT_INPUTS& x) { return x[0]; });
    place_at(l, 3, 6, k);
    s = l;
  }
  auto wq = n.reg("wq").clk(clk).d(s);
  place_at(wq, 3, 4, 0);
}

TEST_F(IrsynTest, AnUnimprovedDomainEndsThePassKindOnlyWithTheExitSwitch) {
  for (const bool exit_on : {true, false}) {
    SCOPED_TRACE(exit_on);
    start(FAMILY_46, 10, two_paths);
    watch_functions();
    cfg_set_value("post_route_resyn_num_rotate_passes", "0");
    cfg_set_value("post_route_resyn_nonimprove_exit", exit_on ? "on" : "off");
    cfg_set_value("post_route_resyn_near_critical", "100000");
    cfg_set_value("post_route_resyn_resyn_margin", "0");
    EXPECT_EQ(VELMO_ECO_TCL::test_incremental_resynthesis(), 1);
    EXPECT_EQ(count("VM Debug: resyn pass 1 num ops = 1"), 1);
    EXPECT_EQ(count_prefix("VM Debug: new domain wns"), 0);
    EXPECT_EQ(count_prefix("VM Debug: resyn pass 2 num ops = "), exit_on ? 0 : 1);
    // Without the switch the kind still ends at the first pass that changes
    // nothing, well before its limit of ten.
    EXPECT_EQ(count("VM Debug: resyn pass 2 num ops = 0"), exit_on ? 0 : 1);
    EXPECT_EQ(count_prefix("VM Debug: resyn pass "), exit_on ? 1 : 2);
    EXPECT_GT(implements, 0);
    // The run ends naming each LUT the accepted exchange altered, once.
    std::vector<std::string> changed;
    for (const char* name : {"b", "a"}) changed.push_back("VM Debug: resynthesised LUT " + std::to_string(n->find(name)->get_id()));
    EXPECT_EQ(lines_with("VM Debug: resynthesised LUT "), changed);
    DUX::set_implement_observer({});
    delete env;
    env = nullptr;
    HostTest::TearDown();
    HostTest::SetUp();
    implements = 0;
  }
}

// Two rows r<k>a, r<k>b -> l<k> -> q<k>, each LUT's first input brought
// over a detour (row 1's the longer): re-routing it gains, and row 1 fails
// worst until its re-route.
std::vector<VOK_ATOM_NODE*> detours(NETLIST_BUILDER& n, SIG clk) {
  std::vector<VOK_ATOM_NODE*> luts;
  for (int k = 0; k < 2; ++k) {
    const std::string i = std::to_string(k);
    const int y = 2 + 3 * k;
    auto ra = n.reg("r" + i + "a").clk(clk).d(n.input_port("i" + i + "a"));
    auto rb = n.reg("r" + i + "b").clk(clk).d(n.input_port("i" + i + "b"));
    auto l = n.lut("l" + i, {ra, rb}, [](const LUT_INPUTS& x) { return and_all(x, 2); });
    auto q = n.reg("q" + i).clk(clk).d(l);
    place_at(ra, 2, y, 0);
    place_at(rb, 3, y + 1, 1);
    place_at(l, 3, y + 1, 4);
    place_at(q, 3, y + 1, 6);
    auto net = routing().routing(ra).wire(lab_output(2, y, 94)).wire(h(2, y, 1)).wire(v(6, y, 1));
    if (k == 1) net.wire(h(6, y + 4, 1, 0, true)).wire(v(2, y + 4, 1, 0, true));
    net.wire(lab_input(3, y + 1, 5)).sink(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
    scenes::set_inverted(l, DB_INPUT_PORT_LUT_DATA, 0, true);  // a re-route keeps it
    luts.push_back(l);
  }
  return luts;
}

// The domain loop over re-route passes: each pass takes its candidates
// worst first; a pass that raised the domain's WNS hands the new WNS to the
// next, whose window then reaches row 0 (with a window of 1 ps, pass 1 saw
// row 1 only); no more passes run than the limit allows; and every LUT a
// re-route kept is counted as resynthesised.
TEST_F(IrsynTest, ReroutePassesTakeTheWorstFirstCarryTheWnsAndStopAtTheirLimit) {
  struct RUN {
    int limit, near_critical;
    std::vector<int> changed;  // rows, in the order tried
    int last_ops;              // changes the last pass kept
  };
  for (const RUN run : {RUN{1, 1, {1}, 1}, RUN{2, 1, {1, 0}, 1}, RUN{1, 100000, {1, 0}, 2}}) {
    SCOPED_TRACE(std::to_string(run.limit) + " passes, window " + std::to_string(run.near_critical));
    std::vector<VOK_ATOM_NODE*> l;
    start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { l = detours(n, clk); });
    watch_functions();
    cfg_set_value("post_route_resyn_num_reroute_passes", std::to_string(run.limit).c_str());
    cfg_set_value("post_route_resyn_num_rotate_passes", "0");
    cfg_set_value("post_route_resyn_num_resyn_passes", "0");
    cfg_set_value("post_route_resyn_near_critical", std::to_string(run.near_critical).c_str());
    EXPECT_EQ(VELMO_ECO_TCL::test_incremental_resynthesis(), 1);
    auto entered = [&](int row) {
      return "VM Debug: entering reroute_one aid" + std::to_string(n->find("r" + std::to_string(row) + "a")->get_id()) +
             " -> aid" + std::to_string(l[static_cast<std::size_t>(row)]->get_id()) + ":";
    };
    std::vector<std::string> order;
    for (const std::string& line : lines_with("VM Debug: entering reroute_one "))
      for (int row : {0, 1})
        if (line.rfind(entered(row), 0) == 0 && std::find(order.begin(), order.end(), entered(row)) == order.end())
          order.push_back(entered(row));
    std::vector<std::string> want_order, changed;
    std::set<int> ids;  // the run names them in id order
    for (int row : run.changed) {
      want_order.push_back(entered(row));
      ids.insert(l[static_cast<std::size_t>(row)]->get_id());
    }
    for (int id : ids) changed.push_back("VM Debug: resynthesised LUT " + std::to_string(id));
    EXPECT_EQ(order, want_order);
    EXPECT_EQ(lines_with("VM Debug: resynthesised LUT "), changed);
    EXPECT_EQ(count_prefix("VM Debug: reroute pass " + std::to_string(run.limit + 1) + " "), 0);
    const std::string last = "VM Debug: reroute pass " + std::to_string(run.limit) + " num ops = ";
    EXPECT_EQ(count(last + std::to_string(run.last_ops)), 1);
    EXPECT_TRUE(check->unchanged());
    DUX::set_implement_observer({});
    delete env;
    env = nullptr;
    HostTest::TearDown();
    HostTest::SetUp();
  }
  // The resynthesis and rotate passes take their LUTs worst first too (the
  // netlist holds row 0 first).
  std::vector<VOK_ATOM_NODE*> l;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { l = detours(n, clk); });
  IRSYN_MANAGER& m = make_manager();
  m.m_near_critical = 100000;
  for (const std::string kind : {"resyn", "rotate"}) {
    if (kind == "resyn")
      m.resyn_pass(m.get_domain_wns());
    else
      m.rotate_pass(m.get_domain_wns());
    std::vector<std::string> want;
    for (const VOK_ATOM_NODE* lut : {l[1], l[0]})
      want.push_back("VM Debug: entering " + kind + "_one aid" + std::to_string(lut->get_id()));
    EXPECT_EQ(lines_with("VM Debug: entering " + kind + "_one "), want);
  }
}

// ---------------------------------------------------------------- lookups and acceptance

TEST_F(IrsynTest, AcceptanceBoundaries) {
  PAIR p;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk); });
  IRSYN_MANAGER& m = make_manager();
  // The limits, margins and switches the settings leave.
  EXPECT_EQ(std::vector<int>({m.m_num_reroute_passes, m.m_num_rotate_passes, m.m_num_resyn_passes}),
            std::vector<int>({0, 10, 10}));
  EXPECT_EQ(std::vector<int>({m.m_near_critical, m.m_rotate_margin, m.m_resyn_margin, m.m_hold_margin}),
            std::vector<int>({50, 50, 100, 1}));
  EXPECT_EQ(std::vector<bool>({m.m_nonimprove_exit, m.m_avoid_zotas, m.m_fake_taint, m.m_dump_netlist_pre}),
            std::vector<bool>({true, true, true, false}));
  const VOK_ATOM_OTERM* o = p.a->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0);
  const std::int32_t now = m.get_min_slack(o);
  ASSERT_LT(now, 0);
  const std::int32_t hold = m.get_min_hold_slack(o);
  m.m_wns_cost = m.get_wns_cost();
  // Equal slack: rejected.
  EXPECT_FALSE(m.is_solution_better(o, now));
  EXPECT_EQ(count("VM Debug: slack worse " + std::to_string(now) + " -> " + std::to_string(now)), 1);
  // Hold equal to the margin passes; one more fails.
  m.m_hold_margin = hold + 1;
  EXPECT_FALSE(m.is_solution_better(o, now - 1));
  EXPECT_EQ(count("VM Debug: hold fail " + std::to_string(hold)), 1);
  m.m_hold_margin = hold;
  // A cost better than the design's: rejected; worse or equal: accepted, and
  // the design's cost becomes the one the next change is judged against.
  const std::int32_t cost = m.get_wns_cost();
  m.m_wns_cost = cost + 1;
  EXPECT_FALSE(m.is_solution_better(o, now - 1));
  EXPECT_EQ(count_prefix("VM Debug: wns worse "), 1);
  m.m_wns_cost = cost - 1;
  EXPECT_TRUE(m.is_solution_better(o, now - 1));
  EXPECT_EQ(m.m_wns_cost, cost);
  EXPECT_TRUE(m.is_solution_better(o, now - 1));
  EXPECT_EQ(m.m_wns_cost, cost);
  EXPECT_EQ(count_prefix("VM Debug: slack better "), 2);
  // The input-term form reads the input's own node.
  const VOK_ATOM_ITERM* t = p.a->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  EXPECT_FALSE(m.is_solution_better(t, m.get_min_slack(t)));
  // The cost is the sum of the failing domains' WNS.
  std::int64_t sum = 0;
  for (const auto& [d, v] : sta_get_wns_map(host::hov::current_kem_netlist()))
    if (v.wns < 0) sum += v.wns;
  EXPECT_EQ(cost, sum);
  // A domain without an entry: no slack known.
  m.m_domain = HOV_INCR_WNS_DOMAIN{7, 7, 0, 0};
  EXPECT_EQ(m.get_min_slack(o), IRSYN_NO_SLACK);
  EXPECT_EQ(m.get_domain_wns(), IRSYN_NO_SLACK);
}

// Through the pipeline register p of the pipeline scene: forward from its
// driver a0 to p's output, backward from its load pc to p's data input; a
// register that is no pipeline register ends the walk.
TEST_F(IrsynTest, PipelineRegisterSlacksAreTracedBothWays) {
  device(FAMILY_46).build();
  const scenes::KY_PIPELINE s = scenes::ky_pipeline(1);
  env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  IRSYN_MANAGER& m = make_manager();
  const auto& c = s[0];
  const VOK_ATOM_OTERM* pq = c.p->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  const VOK_ATOM_ITERM* pd = c.p->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  for (const HOV_INCR_WNS_DOMAIN& d : sta_get_wns_domains()) {
    m.m_domain = d;
    if (m.get_min_slack(pq) != IRSYN_NO_SLACK && m.get_min_slack(pd) != IRSYN_NO_SLACK) break;
  }
  ASSERT_NE(m.get_min_slack(pq), IRSYN_NO_SLACK);
  std::int32_t setup = IRSYN_NO_SLACK, hold = IRSYN_NO_SLACK;
  m.trace_slack_fwd_thru_zotas(c.a0->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), &setup, &hold);
  EXPECT_EQ(setup, m.get_min_slack(pq));
  EXPECT_EQ(hold, m.get_min_hold_slack(pq));
  // Values already lower stay.
  std::int32_t low_setup = setup - 1, low_hold = hold - 1;
  m.trace_slack_fwd_thru_zotas(c.a0->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), &low_setup, &low_hold);
  EXPECT_EQ(std::make_pair(low_setup, low_hold), std::make_pair(setup - 1, hold - 1));
  setup = hold = IRSYN_NO_SLACK;
  m.trace_slack_bwd_thru_zotas(c.pc->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), &setup, &hold);
  EXPECT_EQ(setup, m.get_min_slack(pd));
  EXPECT_EQ(hold, m.get_min_hold_slack(pd));
  // From p's own output forward, or from p's input backward: no pipeline
  // register beyond.
  setup = hold = IRSYN_NO_SLACK;
  m.trace_slack_fwd_thru_zotas(pq, &setup, &hold);
  m.trace_slack_bwd_thru_zotas(pd, &setup, &hold);
  EXPECT_EQ(std::make_pair(setup, hold), std::make_pair(IRSYN_NO_SLACK, IRSYN_NO_SLACK));
}

// The dump before the passes: one block per ALE (the LUTs a and b share
// one, z has one of its own), each atom of it with its mask or type, its
// name, and every input with its driver (0 for a tied one) and slack.
TEST_F(IrsynTest, TheDumpListsEachAleOnceWithItsAtomsAndInputs) {
  PAIR p;
  VOK_ATOM_NODE* z = nullptr;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    p = build_pair(n, clk);
    z = n.lut("z", {p.r0}, [](const LUT_INPUTS& x) { return !x[0]; });
    place_at(z, 5, 5, 0);
    n.reg("zq").clk(clk).d(z);
    place_at(n.find("zq"), 5, 5, 1);
  });
  scenes::tie_input(p.a, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 3), 0, true);
  cfg_set_on("post_route_resyn_dump_netlist_pre");
  IRSYN_MANAGER& m = make_manager();
  ASSERT_TRUE(m.m_dump_netlist_pre);
  m.m_num_rotate_passes = m.m_num_resyn_passes = 0;
  EXPECT_EQ(m.resyn(), 1);
  const auto lines = lines_with("VM Debug: ");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "VM Debug: dump ALE");
  EXPECT_EQ(count("VM Debug: dump ALE"), 2);
  EXPECT_EQ(count_prefix("VM Debug: dump   aid" + std::to_string(z->get_id()) + " mask "), 1);
  auto aid = [](const VOK_ATOM_NODE* a) { return "aid" + std::to_string(a->get_id()); };
  auto mask = [](const VOK_ATOM_NODE* a) {
    char text[32];
    std::snprintf(text, sizeof text, "64'h%016llx", static_cast<unsigned long long>(a->get_lutmask().get_value()));
    return std::string(text);
  };
  EXPECT_EQ(count_prefix("VM Debug: dump   " + aid(p.a) + " mask " + mask(p.a) + " meta"), 1);
  EXPECT_EQ(count_prefix("VM Debug: dump   " + aid(p.b) + " mask " + mask(p.b) + " meta"), 1);
  EXPECT_EQ(count_prefix("VM Debug: dump   " + aid(p.r1) + " type "), 1);
  EXPECT_EQ(count_prefix("VM Debug: dump   " + aid(p.r0) + " "), 0);  // another LAB
  EXPECT_EQ(count_prefix("VM Debug: dump   " + aid(p.q) + " "), 0);   // another ALE
  EXPECT_EQ(count("VM Debug: dump   name b"), 1);
  // A's inputs in slot order: B (with its slack), r2, r3 and the tied one.
  const auto dump = lines_with("VM Debug: dump");
  const auto name_a = std::find(dump.begin(), dump.end(), "VM Debug: dump   name a");
  ASSERT_GE(dump.end() - name_a, 5);
  std::vector<std::string> drivers;
  for (auto it = name_a + 1; it != name_a + 5; ++it) drivers.push_back(it->substr(0, it->find(" pelk")));
  const std::string slack_b =
      std::to_string(m.get_min_slack(p.a->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)));
  EXPECT_NE(drivers[0].find(" src " + aid(p.b) + " slack " + slack_b), std::string::npos) << drivers[0];
  EXPECT_NE(drivers[1].find(" src " + aid(p.r2) + " slack "), std::string::npos) << drivers[1];
  EXPECT_NE(drivers[2].find(" src " + aid(p.r3) + " slack "), std::string::npos) << drivers[2];
  EXPECT_NE(drivers[3].find(" src aid0 slack " + std::to_string(IRSYN_NO_SLACK)), std::string::npos) << drivers[3];
}

TEST_F(IrsynTest, ExpansionSharesVariablesAndKeysIgnoreTheMask) {
  VOK_ATOM_NODE *r, *s, *l;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    r = n.reg("r").clk(clk).d(n.input_port("i0"));
    s = n.reg("s").clk(clk).d(n.input_port("i1"));
    l = n.lut("l", {r, s, r}, [](const LUT_INPUTS& x) { return x[0] != x[1] && x[2]; });
    auto q = n.reg("q").clk(clk).d(l);
    place_at(r, 10, 8, 0);
    place_at(s, 3, 3, 0);
    place_at(l, 3, 3, 1);
    place_at(q, 3, 3, 2);
  });
  scenes::tie_input(l, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 3), 0, false);
  scenes::set_inverted(l, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 3), 0, true);
  scenes::tie_input(l, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 4), 0, true);
  scenes::tie_input(l, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 5), 0, true);
  scenes::set_inverted(l, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 5), 0, true);
  // r's first use the slower: the variable keeps the smaller slack, not
  // the last one seen.
  host::kem::annotate_iterm_delay(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0), 3000, 3000);
  sta_full_update_timing(true);
  IRSYN_MANAGER& m = make_manager();
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  const std::uint32_t key = m.expand_lut(l, &mask, codes, inv, 123456);
  ASSERT_EQ(m.m_vars.size(), 2u);
  EXPECT_EQ(codes[0], codes[2]);
  EXPECT_NE(codes[0], codes[1]);
  const std::int32_t s0 = m.get_min_slack(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  const std::int32_t s2 =
      m.get_min_slack(l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 2), 0));
  ASSERT_LT(s0, s2);
  EXPECT_EQ(m.m_vars[static_cast<std::size_t>(codes[0])].slack, s0);
  EXPECT_EQ(m.add_div_var(r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), s2), codes[0]);
  EXPECT_EQ(m.m_vars[static_cast<std::size_t>(codes[0])].slack, s0);
  // A constant's code is what it reads: tied low and inverted reads 1, tied
  // high reads 1, tied high and inverted reads 0.
  EXPECT_EQ(codes[3], IRSYN_CODE_ONE);
  EXPECT_TRUE(inv[3]);
  EXPECT_EQ(codes[4], IRSYN_CODE_ONE);
  EXPECT_FALSE(inv[4]);
  EXPECT_EQ(codes[5], IRSYN_CODE_ZERO);
  EXPECT_TRUE(inv[5]);
  EXPECT_EQ(codes[6], IRSYN_CODE_UNUSED);
  EXPECT_EQ(mask, l->get_lutmask().get_value());
  // Another mask, the same key; another seed, another key.
  l->get_lutmask() = VOK_LUTMASK(~mask);
  m.m_vars.clear();
  EXPECT_EQ(m.expand_lut(l, &mask, codes, inv, 123456), key);
  m.m_vars.clear();
  EXPECT_NE(m.expand_lut(l, &mask, codes, inv, 654321), key);
  // Other input slacks (a longer clock period), another key.
  const VOK_ATOM_OTERM* clock = r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)->get_source(VOK_TRAVERSE_AS_STORED);
  const host::timing::CLOCK declared = host::timing::clocks().front();
  host::timing::declare_clock(declared.name, declared.period_ps + 300, clock);
  sta_full_update_timing(true);
  m.m_vars.clear();
  EXPECT_NE(m.expand_lut(l, &mask, codes, inv, 123456), key);
  host::timing::declare_clock(declared.name, declared.period_ps, clock);
  sta_full_update_timing(true);
  m.m_vars.clear();
  EXPECT_EQ(m.expand_lut(l, &mask, codes, inv, 123456), key);
  // The variable table is searched, not appended to, for a known driver.
  EXPECT_EQ(m.add_div_var(r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), -100000), codes[0]);
  EXPECT_EQ(m.m_vars[static_cast<std::size_t>(codes[0])].slack, -100000);
}

// ---------------------------------------------------------------- passes

TEST_F(IrsynTest, TheWindowLimitTakesRerouteButNotRotation) {
  PAIR p;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk); });
  IRSYN_MANAGER& m = make_manager();
  // A domain without a WNS entry gives no candidate at all.
  m.m_domain = HOV_INCR_WNS_DOMAIN{7, 7, 0, 0};
  EXPECT_EQ(m.reroute_pass(IRSYN_NO_SLACK), 0);
  EXPECT_EQ(m.rotate_pass(IRSYN_NO_SLACK), 0);
  EXPECT_EQ(count_prefix("VM Debug: entering"), 0);
  m.m_domain = HOV_INCR_WNS_DOMAIN{0, 0, 0, 0};
  // B's worst input (r0, slot 0) is its re-route choice; its output slack
  // is the rotate candidate's.
  const std::int32_t in_slack = m.get_min_slack(p.b->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  const std::int32_t out_slack = m.get_min_slack(p.b->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  const int w = m.get_domain_wns();
  m.m_near_critical = in_slack - w;
  m.reroute_pass(w);
  EXPECT_EQ(count_prefix("VM Debug: entering reroute_one aid" + std::to_string(p.r0->get_id()) + " -> aid" +
                         std::to_string(p.b->get_id())),
            1);
  m.m_near_critical = out_slack - w;
  m.rotate_pass(w);
  EXPECT_EQ(count("VM Debug: entering rotate_one aid" + std::to_string(p.b->get_id())), 0);
  m.m_near_critical = out_slack - w + 1;
  m.rotate_pass(w);
  EXPECT_EQ(count("VM Debug: entering rotate_one aid" + std::to_string(p.b->get_id())), 1);
}

TEST_F(IrsynTest, HoweverWideTheNearCriticalRangeAPositiveSlackIsNoCandidate) {
  PAIR p;
  start(FAMILY_46, 100000, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk); });
  IRSYN_MANAGER& m = make_manager();
  const int w = m.get_domain_wns();
  ASSERT_GT(m.get_min_slack(p.b->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0)), 0);
  m.m_near_critical = 10000000;
  EXPECT_EQ(m.rotate_pass(w), 0);
  EXPECT_EQ(m.resyn_pass(w), 0);
  EXPECT_EQ(count_prefix("VM Debug: entering"), 0);
}

TEST_F(IrsynTest, OfTwoEqualWorstInputsTheFirstIsRotatedAndRerouted) {
  VOK_ATOM_NODE *r0, *r1, *l;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    std::vector<SIG> ins = input_regs(n, clk, 2, -1);
    r0 = ins[0].oterm->get_my_node();
    r1 = ins[1].oterm->get_my_node();
    l = n.lut("l", ins, [](const LUT_INPUTS& x) { return x[0] != x[1]; });
    auto q = n.reg("q").clk(clk).d(l);
    place_at(l, 3, 3, 5);
    place_at(q, 3, 3, 6);
  });
  IRSYN_MANAGER& m = make_manager();
  VOK_ATOM_ITERM* t0 = l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  VOK_ATOM_ITERM* t1 = l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0);
  // Fixed connection delays, the first input's longer by what its slot is
  // faster through the LUT: the two inputs end up with the same slack.
  host::kem::annotate_iterm_delay(t0, 500, 400);
  host::kem::annotate_iterm_delay(t1, 500, 400);
  sta_full_update_timing(true);
  const std::int32_t gap = m.get_min_slack(t0) - m.get_min_slack(t1);
  ASSERT_GT(gap, 0);
  host::kem::annotate_iterm_delay(t0, 500 + gap, 400 + gap);
  sta_full_update_timing(true);
  ASSERT_EQ(m.get_min_slack(t0), m.get_min_slack(t1));
  ASSERT_LT(m.get_min_slack(t0), 0);
  // Rotation too takes the first of the two as the critical slot (each
  // move into a slower unused slot is refused and given back).
  m.m_rotate_margin = -100000;
  EXPECT_FALSE(m.rotate_one(out_port(l)));
  const auto swaps = lines_with("VM Debug:   swapping ");
  ASSERT_FALSE(swaps.empty());
  for (const auto& line : swaps) {
    if (line.rfind("VM Debug:   swapping into", 0) != 0) {
      EXPECT_EQ(line.rfind("VM Debug:   swapping 0 ", 0), 0u) << line;
    }
  }
  ASSERT_EQ(m.get_min_slack(t0), m.get_min_slack(t1));
  m.m_near_critical = 1000000;
  m.reroute_pass(m.get_domain_wns());
  const auto tried = lines_with("VM Debug: entering reroute_one aid");
  ASSERT_FALSE(tried.empty());
  EXPECT_EQ(count_prefix("VM Debug: entering reroute_one aid" + std::to_string(r0->get_id()) + " -> aid" +
                         std::to_string(l->get_id())),
            1);
  EXPECT_EQ(count_prefix("VM Debug: entering reroute_one aid" + std::to_string(r1->get_id()) + " -> aid" +
                         std::to_string(l->get_id())),
            0);
}

// (The critical-slot search cannot be told from one that starts from any
// other negative "none"; the eight in its parameter `codes[8]` is not read.)
TEST_F(IrsynTest, RotationOrderUnusedSlotAndTriedKeys) {
  VOK_ATOM_NODE* l;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    std::vector<SIG> ins = input_regs(n, clk, 4, 0);
    l = n.lut("l", ins, [](const LUT_INPUTS& x) { return (x[0] && x[1]) || (x[2] != x[3]); });
    auto q = n.reg("q").clk(clk).d(l);
    place_at(l, 3, 3, 5);
    place_at(q, 3, 3, 6);
  });
  watch_functions();
  IRSYN_MANAGER& m = make_manager();
  m.m_rotate_margin = -100000;
  host::clear_calls();
  EXPECT_FALSE(m.rotate_one(out_port(l)));
  // Slot 0 is critical, slot 5 unused: candidates 2, 3, 4, the unused one first.
  const auto swaps = lines_with("VM Debug:   swapping ");
  ASSERT_EQ(swaps.size(), 4u);
  EXPECT_EQ(swaps[0], "VM Debug:   swapping 0 4");
  EXPECT_EQ(swaps[1], "VM Debug:   swapping into unused port 4");
  EXPECT_TRUE(swaps[2] == "VM Debug:   swapping 0 2" || swaps[2] == "VM Debug:   swapping 0 3") << swaps[2];
  EXPECT_EQ(m.m_num_tries, 3);
  EXPECT_EQ(implements, 3);
  // Into the unused slot: only slot 0 disconnected, slot 4 connected, mask swapped.
  const std::string aid = "atom#" + std::to_string(l->get_id());
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{"DUX::disconnect(iterm#" + std::to_string(l->get_id()) + ".12.0",
                                                    "DUX::connect(", "DUX::set_lutmask(" + aid, "DUX::implement(",
                                                    "DUX::restore_checkpoint("}));
  // Everything given back.
  EXPECT_TRUE(check->unchanged());
  EXPECT_EQ(l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 4), 0), nullptr);
  // The same LUT again in the same pass kind: refused by its key.
  EXPECT_FALSE(m.rotate_one(out_port(l)));
  EXPECT_EQ(m.m_num_tries, 3);
  EXPECT_EQ(lines_with("VM Debug:   swapping ").size(), 4u);
  // The margin is a bound the slot may reach: with it set to the larger
  // distance between slot 0's slack and that of slots 2 and 3, the slot at
  // that distance is still tried, a slot nearer is not.
  auto slack = [&](int j) {
    return m.get_min_slack(l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + j), 0));
  };
  const std::int32_t s0 = slack(0), d2 = slack(2) - s0, d3 = slack(3) - s0;
  m.m_tried.clear();
  m.m_rotate_margin = std::max(d2, d3);
  EXPECT_FALSE(m.rotate_one(out_port(l)));
  const auto again = lines_with("VM Debug:   swapping ");
  const auto tried = [&](int j) {
    return std::count(again.begin() + 4, again.end(), "VM Debug:   swapping 0 " + std::to_string(j));
  };
  EXPECT_EQ(tried(2), d2 == m.m_rotate_margin ? 1 : 0);
  EXPECT_EQ(tried(3), d3 == m.m_rotate_margin ? 1 : 0);
  // A LUT none of whose inputs is used has no critical slot to rotate.
  for (int i = 0; i < 4; ++i)
    l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0)->set_used(false);
  const std::size_t before = lines_with("VM Debug:   swapping ").size();
  m.m_tried.clear();
  EXPECT_FALSE(m.rotate_one(out_port(l)));
  EXPECT_EQ(lines_with("VM Debug:   swapping ").size(), before);
  EXPECT_TRUE(m.m_changed_luts.empty());
  // With slot 0's connection slow whatever drives it, moving the critical
  // input into the unused slot 4 gains: the rotation stands, and the LUT
  // counts as resynthesised.
  for (int i = 0; i < 4; ++i)
    l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0)->set_used(true);
  host::kem::annotate_iterm_delay(l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0), 3000, 3000);
  sta_full_update_timing(true);
  m.m_wns_cost = m.get_wns_cost();
  m.m_tried.clear();
  m.m_rotate_margin = -100000;
  const int better = m.m_num_better;
  EXPECT_TRUE(m.rotate_one(out_port(l)));
  EXPECT_EQ(m.m_num_better, better + 1);
  EXPECT_EQ(lines_with("VM Debug:   swapping ").back(), "VM Debug:   swapping into unused port 4");
  EXPECT_EQ(m.m_changed_luts, std::set<int>{l->get_id()});
}

// The swaps a rotation tries (no attempt kept): the critical slot k into
// every later slot up to the last, 5, when slot 5 is used; into slots
// max(k + 1, 2) to 4 when it is not. Each attempt keeps the LUT's function.
TEST_F(IrsynTest, NormalModeRotatesTheCriticalSlotIntoLaterSlots) {
  struct CASE {
    int inputs, critical;
    std::vector<int> into;
  };
  for (const CASE c : {CASE{6, 0, {1, 2, 3, 4, 5}}, CASE{6, 2, {3, 4, 5}}, CASE{4, 1, {2, 3, 4}}, CASE{4, 3, {4}}}) {
    SCOPED_TRACE(std::to_string(c.inputs) + " inputs, critical " + std::to_string(c.critical));
    VOK_ATOM_NODE* l;
    start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
      std::vector<SIG> ins = input_regs(n, clk, c.inputs, c.critical);
      l = n.lut("l", ins, [](const LUT_INPUTS& x) {
        return (x[0] && x[1]) || (x[2] != x[3]) || (x.n > 4 && x[4] && !x[5]);
      });
      auto q = n.reg("q").clk(clk).d(l);
      place_at(l, 3, 3, 6);
      place_at(q, 3, 3, 7);
    });
    watch_functions();
    IRSYN_MANAGER& m = make_manager();
    m.m_rotate_margin = -100000;
    m.m_wns_cost = 1;  // better than any design's: nothing is kept
    EXPECT_FALSE(m.rotate_one(out_port(l)));
    std::vector<std::string> swaps, want;
    for (const std::string& line : lines_with("VM Debug:   swapping "))
      if (line.rfind("VM Debug:   swapping into", 0) != 0) swaps.push_back(line);
    std::sort(swaps.begin(), swaps.end());
    for (int j : c.into) want.push_back("VM Debug:   swapping " + std::to_string(c.critical) + " " + std::to_string(j));
    EXPECT_EQ(swaps, want);
    EXPECT_EQ(implements, static_cast<int>(want.size()));
    TearDown();
    SetUp();
    implements = 0;
  }
}

TEST_F(IrsynTest, ExtendedModeRotatesOnlyFixedPartners) {
  // Critical slot 0 goes into 1 or 4, 1 into 4, 2 into 3, 5 into 6.
  const std::map<int, std::vector<std::string>> partners{
      {0, {"0 1", "0 4"}}, {1, {"1 4"}}, {2, {"2 3"}}, {5, {"5 6"}}};
  for (const auto& [critical, into] : partners) {
    SCOPED_TRACE(critical);
    start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
      auto q = n.reg("q").clk(clk).d(scenes::lut8(n, "l", input_regs(n, clk, 8, critical),
                                                  [](const LUT_INPUTS& x) { return x[3] && x[7]; }));
      place_at(n.find("l"), 3, 4, 0);
      place_at(q, 3, 4, 1);
    });
    IRSYN_MANAGER& m = make_manager();
    m.m_rotate_margin = -100000;
    m.m_wns_cost = 1;
    m.rotate_one(out_port(n->find("l")));
    std::vector<std::string> swaps;
    for (const std::string& line : lines_with("VM Debug:   swapping ")) swaps.push_back(line.substr(21));
    std::sort(swaps.begin(), swaps.end());
    EXPECT_EQ(swaps, into);
    TearDown();
    SetUp();
  }
  // Critical slot 3: no partner.
  VOK_ATOM_NODE* l;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    std::vector<SIG> ins = input_regs(n, clk, 8, 3);
    l = scenes::lut8(n, "l", ins, [](const LUT_INPUTS& x) { return x[3] && x[7]; });
    auto q = n.reg("q").clk(clk).d(l);
    place_at(l, 3, 4, 0);
    place_at(q, 3, 4, 1);
  });
  IRSYN_MANAGER& m = make_manager();
  m.m_rotate_margin = -100000;
  EXPECT_FALSE(m.rotate_one(out_port(l)));
  EXPECT_EQ(count_prefix("VM Debug:   swapping"), 0);
  EXPECT_EQ(m.m_num_tries, 0);
  // Nor when the critical slot is the last one, 7 (with 3 and 6 made fast,
  // slot 5 comes next: it would be rotated into 6).
  auto in = [&](int i) { return l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0); };
  host::kem::annotate_iterm_delay(in(3), 0, 0);
  host::kem::annotate_iterm_delay(in(6), 0, 0);
  host::kem::annotate_iterm_delay(in(7), 5000, 4000);
  sta_full_update_timing(true);
  for (int i = 0; i < 7; ++i) ASSERT_LT(m.get_min_slack(in(7)), m.get_min_slack(in(i))) << i;
  m.m_tried.clear();
  EXPECT_FALSE(m.rotate_one(out_port(l)));
  EXPECT_EQ(count_prefix("VM Debug:   swapping"), 0);
}

TEST_F(IrsynTest, ResynthesisExchangesSymmetricInputsAndKeepsTheFunction) {
  PAIR p;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk); });
  watch_functions();
  IRSYN_MANAGER& m = make_manager();
  // The margin is a bound an exchange may reach: B's critical input (r0, in
  // slot 0) against the best of A's candidate slots (r2, r3).
  auto slack = [&](VOK_ATOM_NODE* lut, int slot) {
    return m.get_min_slack(lut->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + slot), 0));
  };
  const std::int32_t reach = std::max(slack(p.a, 1), slack(p.a, 2)) - slack(p.b, 0);
  ASSERT_GT(reach, 0);
  m.m_resyn_margin = reach + 1;
  EXPECT_FALSE(m.resyn_one(out_port(p.a)));
  EXPECT_EQ(m.m_num_tries, 0);
  m.m_tried.clear();
  m.m_resyn_margin = reach;
  const std::int32_t before = m.get_min_slack(p.a->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  EXPECT_TRUE(m.resyn_one(out_port(p.a)));
  EXPECT_GE(count_prefix("VM Debug: regular symmetry found (0, "), 1);
  EXPECT_EQ(m.m_num_tries, 1);
  EXPECT_EQ(m.m_num_better, 1);
  EXPECT_GT(m.get_min_slack(p.a->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0)), before);
  // r0 now feeds A directly.
  bool r0_feeds_a = false;
  for (const VOK_ATOM_ITERM* t : p.a->citerms())
    if (t->get_source(VOK_TRAVERSE_AS_STORED) && t->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node() == p.r0)
      r0_feeds_a = true;
  EXPECT_TRUE(r0_feeds_a);
  EXPECT_TRUE(check->unchanged());
  EXPECT_EQ(m.m_changed_luts, (std::set<int>{p.a->get_id(), p.b->get_id()}));
}

TEST_F(IrsynTest, InvertedSymmetryInvertsBothMasksWithoutAFakeUpdate) {
  PAIR p;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk, true); });
  watch_functions();
  IRSYN_MANAGER& m = make_manager();
  m.m_resyn_margin = 0;
  const std::uint64_t ma = p.a->get_lutmask().get_value(), mb = p.b->get_lutmask().get_value();
  host::clear_calls();
  m.resyn_one(out_port(p.a));
  ASSERT_EQ(count("VM Debug: inverted symmetry found (0, 1)"), 1);
  // The first attempt (slot 1, inverted): both masks inverted, nothing else set.
  std::vector<std::string> masks;
  for (const auto& l : host::call_lines()) {
    if (l.rfind("DUX::implement(", 0) == 0) break;
    if (l.rfind("DUX::set_lutmask(", 0) == 0) masks.push_back(l);
  }
  ASSERT_GE(masks.size(), 2u);
  EXPECT_EQ(masks[0], "DUX::set_lutmask(atom#" + std::to_string(p.b->get_id()) + ", " +
                          std::to_string(IRSYN_MANAGER::invert_mask(mb, false, 0)) + ")");
  EXPECT_EQ(masks[1], "DUX::set_lutmask(atom#" + std::to_string(p.a->get_id()) + ", " +
                          std::to_string(IRSYN_MANAGER::invert_mask(ma, false, 1)) + ")");
  EXPECT_EQ(masks.size(), 2u);
  EXPECT_GT(implements, 0);
}

// An inverted connection keeps its inversion wherever a change moves it:
// the critical input rotated into a later slot and the input of that slot
// moved into the critical one, B's critical input and A's inputs exchanged
// both ways, an input re-routed in place. Every attempt keeps the register
// functions.
TEST_F(IrsynTest, InvertedConnectionsKeepTheirInversionWhereverAChangeMovesThem) {
  PAIR p;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk); });
  // B's critical input (r0) and A's inputs from r2 and r3 inverted.
  scenes::set_inverted(p.b, DB_INPUT_PORT_LUT_DATA, 0, true);
  for (int slot : {1, 2}) scenes::set_inverted(p.a, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + slot), 0, true);
  n->timing();
  watch_functions();
  IRSYN_MANAGER& m = make_manager();
  m.m_rotate_margin = m.m_resyn_margin = -100000;
  m.m_wns_cost = 1;  // better than any design's: nothing is kept
  EXPECT_FALSE(m.rotate_one(out_port(p.a)));  // B's output into slots 2 (r3), 3 and 4
  EXPECT_FALSE(m.rotate_one(out_port(p.b)));  // r0 into slots 2, 3 and 4
  EXPECT_FALSE(m.resyn_one(out_port(p.a)));   // r0 against r2, then r3
  EXPECT_FALSE(m.reroute_one(in_port(p.b, 0)));
  EXPECT_EQ(m.m_num_tries, 9);
  EXPECT_EQ(implements, m.m_num_tries);
  EXPECT_TRUE(check->unchanged());
}

// With the avoid switch on (the default) no pass moves a connection of a
// pipeline register: one driving a LUT's worst input is no re-route
// candidate, neither rotated nor exchanged as a critical input, and never
// the input a LUT's critical input is rotated or exchanged with. Off, each
// of them is tried.
TEST_F(IrsynTest, PipelineRegistersAreLeftAloneWithTheAvoidSwitch) {
  for (const bool avoid : {true, false}) {
    SCOPED_TRACE(avoid);
    PAIR p;
    // r0, B's worst input, a pipeline register: neither B's re-route nor its
    // rotation nor A's exchange with B moves it.
    start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk, false, 0); });
    IRSYN_MANAGER& m = make_manager();
    ASSERT_TRUE(m.m_avoid_zotas);
    m.m_avoid_zotas = avoid;
    m.m_near_critical = 100000;
    m.m_rotate_margin = m.m_resyn_margin = -100000;
    m.reroute_pass(m.get_domain_wns());
    EXPECT_EQ(count_prefix("VM Debug: entering reroute_one aid" + std::to_string(p.r0->get_id()) + " "), avoid ? 0 : 1);
    int tries = m.m_num_tries;
    m.rotate_one(out_port(p.b));
    EXPECT_EQ(m.m_num_tries > tries, !avoid);
    tries = m.m_num_tries;
    m.resyn_one(out_port(p.a));
    EXPECT_EQ(m.m_num_tries > tries, !avoid);
    TearDown();
    SetUp();
    // r3 (A's slot 2) a pipeline register: A's critical input B is neither
    // rotated nor exchanged into slot 2.
    start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk, false, 3); });
    IRSYN_MANAGER& m2 = make_manager();
    m2.m_avoid_zotas = avoid;
    m2.m_rotate_margin = m2.m_resyn_margin = -100000;
    m2.rotate_one(out_port(p.a));
    EXPECT_EQ(count("VM Debug:   swapping 0 2"), avoid ? 0 : 1);
    EXPECT_EQ(count("VM Debug:   swapping 0 3"), 1);
    m2.resyn_one(out_port(p.a));
    EXPECT_EQ(count("VM Debug: regular symmetry found (0, 2)"), avoid ? 0 : 1);
    EXPECT_EQ(count("VM Debug: regular symmetry found (0, 1)"), 1);
    TearDown();
    SetUp();
  }
}

// Only plain LUTs are rotated or exchanged: modifiable, every input a LUT
// data input of an ordinary kind, every output combinational. The
// resynthesis test asks the modification check instead of the modifiable
// flag. A LUT whose worst input is no data input, or one of another kind,
// is no re-route candidate.
// A change whose atom is gone is not made, and one whose implementation
// fails is counted and undone.
TEST_F(IrsynTest, OnlyPlainLutsAndTheirDataInputsAreChanged) {
  PAIR p;
  VOK_ATOM_NODE *carry_in = nullptr, *adder = nullptr, *behind = nullptr, *own = nullptr, *inner2 = nullptr;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    p = build_pair(n, clk);
    // A LUT whose worst input is a carry-in from far away, and an adder.
    auto far = n.reg("far").clk(clk).d(n.input_port("i_far"));
    place_at(far, 10, 8, 0);
    carry_in = n.lut("carry_in", {p.r1}, [](const LUT_INPUTS& x) { return x[0]; });
    place_at(carry_in, 3, 4, 0);
    vok_connect(SIG(far).oterm, carry_in->add_input_term(DB_INPUT_PORT_CARRY_IN, 0));
    n.reg("q_ci").clk(clk).d(carry_in);
    place_at(n.find("q_ci"), 3, 4, 1);
    auto chain = n.carry_chain("add", 1);
    adder = chain.cell(0);
    place_at(adder, 3, 5, 0);
    vok_connect(p.r2->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), adder->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
    n.reg("q_add").clk(clk).d(chain.cell(0).out(DB_OUTPUT_PORT_SUM));
    place_at(n.find("q_add"), 3, 5, 1);
    // A LUT fed through a partition's output port: an edit of it would
    // reconnect across the boundary. A LUT inside the partition, fed from
    // inside it, belongs to the partition's netlist, not this one.
    auto box = n.blackbox("u", [&](auto& c) {
      auto cc = c.input("c"), i = c.input("i");
      c.output("o", c.reg("inner").clk(cc).d(i));
      inner2 = c.reg("inner2").clk(cc).d(i).atom();
      own = c.lut("own", {SIG(inner2)}, [](const LUT_INPUTS& x) { return !x[0]; }).atom();
      place_at(inner2, 10, 7, 0);
      place_at(own, 3, 7, 0);
      place_at(c.reg("q_own").clk(cc).d(own).atom(), 3, 7, 1);
    });
    box.in("c", clk).in("i", p.r1);
    behind = n.lut("behind", {box.out("o"), SIG(p.r2)}, [](const LUT_INPUTS& x) { return x[0] != x[1]; });
    place_at(behind, 3, 6, 0);
    n.reg("q_behind").clk(clk).d(behind);
    place_at(n.find("q_behind"), 3, 6, 1);
  });
  IRSYN_MANAGER& m = make_manager();
  EXPECT_TRUE(m.can_rotate(p.b));
  EXPECT_TRUE(m.is_resynthable(p.b));
  for (const VOK_ATOM_NODE* a : {carry_in, adder, behind, own, p.r0, static_cast<VOK_ATOM_NODE*>(nullptr)}) {
    EXPECT_FALSE(m.can_rotate(a));
    EXPECT_FALSE(m.is_resynthable(a));
  }
  m.m_near_critical = 100000;
  m.reroute_pass(m.get_domain_wns());
  EXPECT_EQ(count_prefix("VM Debug: entering reroute_one aid" + std::to_string(n->find("far")->get_id()) + " "), 0);
  EXPECT_EQ(count_prefix("VM Debug: entering reroute_one aid" + std::to_string(inner2->get_id()) + " "), 0);
  EXPECT_GE(count_prefix("VM Debug: entering reroute_one aid" + std::to_string(p.r0->get_id()) + " "), 1);
  VOK_ATOM_ITERM* b0 = p.b->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  b0->set_connection_code(2);
  EXPECT_FALSE(m.can_rotate(p.b));
  EXPECT_FALSE(m.is_resynthable(p.b));
  const std::string into_b = "VM Debug: entering reroute_one aid" + std::to_string(p.r0->get_id()) + " ";
  const int entered = count_prefix(into_b);
  m.reroute_pass(m.get_domain_wns());
  EXPECT_EQ(count_prefix(into_b), entered);
  b0->set_connection_code(0);
  p.b->set_modifiable(false);
  EXPECT_FALSE(m.can_rotate(p.b));
  EXPECT_TRUE(m.is_resynthable(p.b));
  p.b->set_modifiable(true);
  host::drc::deny(p.b->get_id(), 42);
  EXPECT_TRUE(m.can_rotate(p.b));
  EXPECT_FALSE(m.is_resynthable(p.b));
  // Gone atoms: nothing tried.
  const int tries = m.m_num_tries;
  const VOK_ATOM_LOGICAL_PORT gone_in(99999, vok_input_port_symbol(DB_INPUT_PORT_LUT_DATA), 0);
  const VOK_ATOM_LOGICAL_PORT gone_out(99999, vok_output_port_symbol(DB_OUTPUT_PORT_COMB), 0);
  EXPECT_FALSE(m.reroute_one(gone_in));
  EXPECT_FALSE(m.rotate_one(gone_out));
  EXPECT_FALSE(m.resyn_one(gone_out));
  EXPECT_EQ(m.m_num_tries, tries);
  // A rotation whose implementation fails.
  watch_functions();
  m.m_tried.clear();
  m.m_rotate_margin = -100000;
  const int fails = m.m_num_fail, better = m.m_num_better, worse = m.m_num_worse;
  host::script::queue<int>("DUX::implement").push(4);
  m.rotate_one(out_port(p.a));
  EXPECT_EQ(m.m_num_fail, fails + 1);
  EXPECT_EQ(count("VM Debug: implement failed = No-route"), 1);
  EXPECT_EQ(m.m_num_tries - tries, (m.m_num_fail - fails) + (m.m_num_better - better) + (m.m_num_worse - worse));
  EXPECT_TRUE(check->unchanged());
}

TEST_F(IrsynTest, ResynthesisRefusals) {
  PAIR p;
  VOK_ATOM_NODE* a2;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    p = build_pair(n, clk);
    // A second LUT reading B's output and B twice.
    a2 = n.lut("a2", {p.b, p.r2, p.b}, [](const LUT_INPUTS& x) { return and_all(x, 3); });
    auto q2 = n.reg("q2").clk(clk).d(a2);
    place_at(a2, 3, 4, 0);
    place_at(q2, 3, 4, 1);
  });
  IRSYN_MANAGER& m = make_manager();
  m.m_resyn_margin = 0;
  EXPECT_FALSE(m.resyn_one(out_port(p.a)));
  EXPECT_EQ(count("VM Debug: min src fanout > 1"), 1);
  EXPECT_EQ(m.m_num_tries, 0);
  // A LUT in extended mode (its eighth input used) takes part in no
  // exchange, as A or as B, however symmetric the composed function.
  TearDown();
  SetUp();
  VOK_ATOM_NODE *wide = nullptr, *top = nullptr;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    std::vector<SIG> ins = input_regs(n, clk, 9, 0);
    wide = scenes::lut8(n, "wide", std::vector<SIG>(ins.begin(), ins.begin() + 8), [](const LUT_INPUTS& x) { return x[0] && x[1]; });
    top = n.lut("top", {SIG(wide), ins[8]}, [](const LUT_INPUTS& x) { return and_all(x, 2); });
    auto q = n.reg("q").clk(clk).d(top);
    place_at(wide, 3, 4, 0);
    place_at(top, 3, 4, 1);
    place_at(q, 3, 4, 2);
  });
  IRSYN_MANAGER& m2 = make_manager();
  m2.m_resyn_margin = -100000;
  EXPECT_FALSE(m2.resyn_one(out_port(top)));
  EXPECT_EQ(count("VM Debug: lut B is in extended mode"), 1);
  EXPECT_FALSE(m2.resyn_one(out_port(wide)));
  EXPECT_EQ(count("VM Debug: lut A is in extended mode"), 1);
  EXPECT_EQ(m2.m_num_tries, 0);
}

TEST_F(IrsynTest, ADriverInTwoSlotsOfAIsRefused) {
  VOK_ATOM_NODE* a;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    PAIR p = build_pair(n, clk);
    a = n.lut("a2", {p.b, p.r2, p.b}, [](const LUT_INPUTS& x) { return and_all(x, 3); });
    auto q2 = n.reg("q2").clk(clk).d(a);
    place_at(a, 3, 4, 0);
    place_at(q2, 3, 4, 1);
    // B feeds only a2 (A is given another driver).
    p.a->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->tie(true);
  });
  IRSYN_MANAGER& m = make_manager();
  m.m_resyn_margin = 0;
  EXPECT_FALSE(m.resyn_one(out_port(a)));
  EXPECT_EQ(count("VM Debug: min src feeds lut A twice"), 1);
  EXPECT_EQ(m.m_num_tries, 0);
}

// Each change reads its LUTs' input slacks anew: once the slacks have moved
// since the last change of a LUT, its critical input is the one critical
// now, for a rotation and for an exchange alike.
TEST_F(IrsynTest, EachChangeTakesTheCriticalInputFromTheSlacksOfNow) {
  PAIR p;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) { p = build_pair(n, clk); });
  IRSYN_MANAGER& m = make_manager();
  m.m_rotate_margin = m.m_resyn_margin = -100000;
  m.m_wns_cost = 1;  // better than any design's: nothing is kept
  auto into_a = [&](int slot) {
    return p.a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + slot), 0);
  };
  // With B's output (slot 0) by far A's slowest input, or else r2's (slot
  // 1), less slow than B's was.
  auto slowest = [&](int slot) {
    host::kem::annotate_iterm_delay(into_a(0), slot == 0 ? 5000 : 0, slot == 0 ? 5000 : 0);
    host::kem::annotate_iterm_delay(into_a(1), slot == 1 ? 2000 : 0, slot == 1 ? 2000 : 0);
    sta_full_update_timing(true);
    m.m_tried.clear();
  };
  // A rotation moves the slot slowest now: into slots 2, 3 and 4 each time.
  for (int slot : {0, 1}) {
    slowest(slot);
    EXPECT_FALSE(m.rotate_one(out_port(p.a)));
    EXPECT_EQ(count_prefix("VM Debug:   swapping " + std::to_string(slot) + " "), 3) << slot;
  }
  EXPECT_EQ(m.m_num_tries, 6);
  // An exchange: B (slot 0) is exchanged with r2 and r3; r2 (slot 1) is a
  // register, no LUT to exchange with.
  slowest(0);
  EXPECT_FALSE(m.resyn_one(out_port(p.a)));
  EXPECT_EQ(m.m_num_tries, 8);
  slowest(1);
  EXPECT_FALSE(m.resyn_one(out_port(p.a)));
  EXPECT_EQ(count("VM Debug: min src not LUT"), 1);
  EXPECT_EQ(m.m_num_tries, 8);
}

// A change given back leaves the timing as its checkpoint had it, and
// current: also when the change reached a node the incremental update
// cannot follow (the output of a register that may not be modified), which
// leaves the analysis stale until it is brought up to date.
TEST_F(IrsynTest, AChangeGivenBackLeavesTheTimingCurrent) {
  PAIR p;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    p = build_pair(n, clk);
    p.r0->set_modifiable(false);
  });
  IRSYN_MANAGER& m = make_manager();
  m.m_rotate_margin = -100000;
  const VOK_ATOM_OTERM* out = p.b->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0);
  const std::int32_t before = m.get_min_slack(out);
  EXPECT_FALSE(m.rotate_one(out_port(p.b)));  // r0 into B's unused slots
  EXPECT_GT(m.m_num_tries, 0);
  EXPECT_FALSE(sta_is_timing_stale());
  EXPECT_EQ(m.get_min_slack(out), before);
  EXPECT_EQ(count_prefix("VM Debug: ERROR mismatch"), 0);
}

TEST_F(IrsynTest, ASlackThatMovedUnderARestoreIsTraced) {
  VOK_ATOM_NODE* l;
  VOK_ATOM_NODE* clk_src = nullptr;
  start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
    clk_src = clk.oterm->get_my_node();
    std::vector<SIG> ins = input_regs(n, clk, 3, 0);
    l = n.lut("l", ins, [](const LUT_INPUTS& x) { return x[0] && x[1] && x[2]; });
    auto q = n.reg("q").clk(clk).d(l);
    place_at(l, 3, 3, 5);
    place_at(q, 3, 3, 6);
  });
  // A constraint change the engine does not record, made during the attempt.
  DUX::set_implement_observer([&] { host::timing::declare_clock("clk", 5, clk_src->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0)); });
  IRSYN_MANAGER& m = make_manager();
  m.m_rotate_margin = -100000;
  EXPECT_FALSE(m.rotate_one(out_port(l)));
  EXPECT_GE(count_prefix("VM Debug: ERROR mismatch slack bgn/curr "), 1);
}

}  // namespace

namespace {

// The whole run on the pipeline scene (re-route passes switched on too):
// every attempt keeps the register functions, the run ends with the
// statistics line, the failing domain's WNS is no worse and every change
// that stayed is counted.
TEST_F(IrsynTest, APipelineRunKeepsEveryFunctionAndNoDomainGetsWorse) {
  device(FAMILY_46).build();
  scenes::ky_pipeline(2);
  n = std::make_unique<NETLIST_BUILDER>(netlist());
  env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  watch_functions();
  cfg_set_value("post_route_resyn_num_reroute_passes", "2");
  cfg_set_value("post_route_resyn_rotate_margin", "0");
  cfg_set_value("post_route_resyn_resyn_margin", "0");
  cfg_set_value("post_route_resyn_near_critical", "100000");
  IRSYN_MANAGER& m = make_manager();
  const auto before = sta_get_wns_map(host::hov::current_kem_netlist());
  EXPECT_EQ(m.resyn(), 1);
  EXPECT_GT(m.m_num_tries, 0);
  EXPECT_EQ(implements, m.m_num_tries);
  EXPECT_EQ(m.m_num_tries, m.m_num_better + m.m_num_worse + m.m_num_fail);
  EXPECT_EQ(count_prefix("VM Debug: implement stats tries " + std::to_string(m.m_num_tries) + " better "), 1);
  EXPECT_EQ(count_prefix("VM Debug: ERROR mismatch"), 0);
  EXPECT_TRUE(check->unchanged());
  for (const auto& [d, v] : sta_get_wns_map(host::hov::current_kem_netlist()))
    if (auto it = before.find(d); it != before.end() && it->second.wns < 0) {
      EXPECT_GE(v.wns, it->second.wns);
    }
  EXPECT_EQ(m.m_changed_luts.empty(), m.m_num_better == 0);
  std::printf("pipeline run: tries %d better %d worse %d fail %d\n", m.m_num_tries, m.m_num_better, m.m_num_worse,
              m.m_num_fail);
}

}  // namespace

namespace {

// An inverted critical input exchanged with a tied slot: the constant moves
// to the inverted slot and must still read its value there.
TEST_F(IrsynTest, AConstantRotatedIntoAnInvertedSlotReadsItsValue) {
  for (const bool high : {false, true}) {  // a constant reading 0, then one reading 1
    SCOPED_TRACE(high);
    VOK_ATOM_NODE* l;
    start(FAMILY_46, 10, [&](NETLIST_BUILDER& n, SIG clk) {
      std::vector<SIG> ins = input_regs(n, clk, 2, 0);
      ins.push_back(ins[1]);
      l = n.lut("l", ins, [](const LUT_INPUTS& x) { return (x[0] && x[1]) != x[2]; });
      auto q = n.reg("q").clk(clk).d(l);
      place_at(l, 3, 3, 5);
      place_at(q, 3, 3, 6);
    });
    scenes::set_inverted(l, DB_INPUT_PORT_LUT_DATA, 0, true);
    scenes::tie_input(l, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 2), 0, high);
    n->timing();
    watch_functions();
    IRSYN_MANAGER& m = make_manager();
    m.m_rotate_margin = -100000;
    EXPECT_FALSE(m.rotate_one(out_port(l)));
    EXPECT_EQ(count("VM Debug:   swapping 0 2"), 1);
    EXPECT_GE(implements, 1);
    TearDown();
    SetUp();
    implements = 0;
  }
}

}  // namespace
