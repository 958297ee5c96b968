// The retimer's registers, moves and failures; routing-element trees; the
// changed-register tracker; the register queue.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "cmp/cmp_facade.h"
#include "kem/kem_manager.h"
#include "msg/msg_base.h"
#include "oxu/oxu_job.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "testing/timing_builder.h"
#include "irtm_fixture.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;
constexpr std::int32_t NS = IRTM_NO_SLACK;

// A design of registers in clock domain "clk" (launch and capture 0): each
// r_i feeds s_i; plus helpers the tests add. The utility is the retimer's.
class IrtmTest : public velmo_test::IrtmFixture {
public:
  void start(int registers = 4) {
    device(Family::KY).build();
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    clk = n->input_port("clk");
    n->clock("clk", 1000, clk);
    for (int i = 0; i < registers; ++i) {
      auto r = n->reg("r" + std::to_string(i)).clk(clk).d(n->input_port("in" + std::to_string(i)));
      n->reg("s" + std::to_string(i)).clk(clk).d(r);
      regs.push_back(r);
    }
  }
  void analyse() {
    n->timing();
    make_util(KEM_MANAGER::get()->get_kem_netlist());
  }
  std::unique_ptr<NETLIST_BUILDER> n;
  SIG clk;
  std::vector<VOK_ATOM_NODE*> regs;
};

IRTM_FF with_slacks(VOK_ATOM_NODE* atom, std::int32_t in, std::int32_t out) {
  IRTM_FF ff(atom);
  ff.m_data_slack = in;
  ff.m_output_slack = out;
  return ff;
}

// ---------------------------------------------------------------- objects

TEST_F(IrtmTest, RegistersSortByCriticalityThenAtomIdNoSlackLast) {
  start();
  IRTM_FF a = with_slacks(regs[0], 5, NS), b = with_slacks(regs[1], NS, NS), c = with_slacks(regs[2], -3, 7),
          d = with_slacks(regs[3], 9, 5);
  std::vector<IRTM_FF*> v{&d, &b, &c, &a};
  std::sort(v.begin(), v.end(), CMP_IRTM_FF_LT());
  EXPECT_EQ(v, (std::vector<IRTM_FF*>{&c, &a, &d, &b}));
  EXPECT_FALSE(CMP_IRTM_FF_LT()(&a, &a));
  // Which way: the critical side.
  EXPECT_EQ(with_slacks(regs[0], -50, 100).compute_move(), IRTM_MOVE::Backward);
  EXPECT_EQ(with_slacks(regs[0], 100, -50).compute_move(), IRTM_MOVE::Forward);
  EXPECT_EQ(with_slacks(regs[0], 20, 20).compute_move(), IRTM_MOVE::None);
  EXPECT_EQ(with_slacks(regs[0], NS, NS).compute_move(), IRTM_MOVE::None);
  EXPECT_EQ(with_slacks(regs[0], NS, -4).min_slack(), -4);
  IRTM_FF sec(regs[0]);
  sec.m_secondary_slack_b = -9;
  sec.m_data_slack = 3;
  EXPECT_EQ(sec.min_input_slack(), -9);
}

TEST_F(IrtmTest, SlackRefreshFollowsTheAnalysis) {
  start(1);
  // u: a clock enable and a synchronous clear beside its data input.
  auto u = n->reg("u").clk(clk).d(regs[0]).ce(n->input_port("en")).sclr(n->input_port("sc"));
  auto open_d = n->reg("open_d").clk(clk);
  open_d->add_input_term(DB_INPUT_PORT_DATA_IN, 0);
  // Before the analysis there is neither a timing utility nor an environment.
  EXPECT_EQ(IRTM_FF(regs[0]).get_tco(), 0);
  EXPECT_EQ(IRTM_IPIN(vok_get_logical_port(regs[0]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))).get_atom(),
            nullptr);
  analyse();
  IRTM_FF ff(regs[0]);
  EXPECT_FALSE(ff.update_slack(false));
  EXPECT_EQ(ff.m_data_slack, NS);
  EXPECT_TRUE(ff.update_slack(true));
  EXPECT_EQ(ff.m_output_slack, util->get_min_node_slack(timing_output(regs[0])));
  EXPECT_NE(ff.m_output_slack, NS);
  EXPECT_EQ(ff.m_secondary_slack_a, NS);  // no clock enable
  EXPECT_FALSE(ff.update_slack(true));    // nothing moved
  // A change on an input alone is a change.
  ff.m_data_slack = 12345;
  EXPECT_TRUE(ff.update_slack(true));
  EXPECT_NE(ff.m_data_slack, 12345);
  EXPECT_GT(ff.get_tco(), 0);
  ff.m_deleted = 1;
  EXPECT_FALSE(ff.update_slack(false));
  EXPECT_EQ(ff.min_slack(), NS);
  // A change on either secondary input alone is a change; none is none.
  IRTM_FF fu(u);
  EXPECT_TRUE(fu.update_slack(true));
  EXPECT_NE(fu.m_data_slack, NS);
  EXPECT_FALSE(fu.update_slack(true));
  fu.m_secondary_slack_a = 12345;
  EXPECT_TRUE(fu.update_slack(true));
  EXPECT_EQ(fu.m_secondary_slack_a, util->get_min_node_slack(timing_input(u, DB_INPUT_PORT_ENA)));
  fu.m_secondary_slack_b = 12345;
  EXPECT_TRUE(fu.update_slack(true));
  EXPECT_EQ(fu.m_secondary_slack_b, util->get_min_node_slack(timing_input(u, DB_INPUT_PORT_SCLR)));
  // A register whose output feeds nothing has no clock-to-output delay.
  EXPECT_EQ(IRTM_FF(n->find("s0")).get_tco(), 0);
  // An unconnected data input leaves its stored slack as it was.
  IRTM_FF fo(open_d);
  fo.m_data_slack = 77;
  EXPECT_FALSE(fo.update_slack(true));
  EXPECT_EQ(fo.m_data_slack, 77);
}

TEST_F(IrtmTest, RegisterCompatibility) {
  start(2);
  auto other_clk = n->input_port("clk2");
  auto x = IRTM_FF(regs[0]), y = IRTM_FF(regs[1]);
  EXPECT_TRUE(x.compatible(&y, true, true));
  // Clock inversion, then another clock source.
  scenes::set_inverted(regs[1], DB_INPUT_PORT_CLK);
  EXPECT_FALSE(x.compatible(&y, true, true));
  scenes::set_inverted(regs[1], DB_INPUT_PORT_CLK, 0, false);
  vok_connect(other_clk.oterm, regs[1]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  EXPECT_FALSE(x.compatible(&y, true, true));
  vok_connect(clk.oterm, regs[1]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  // A present but unused clock enable matches an absent one; used, it does not.
  VOK_ATOM_ITERM* ce = regs[1]->add_input_term(DB_INPUT_PORT_ENA, 0);
  EXPECT_TRUE(x.compatible_inputs(&y, DB_INPUT_PORT_ENA));
  ce->set_used(true);
  EXPECT_FALSE(x.compatible_inputs(&y, DB_INPUT_PORT_ENA));
  EXPECT_FALSE(x.compatible(&y, true, true));
  EXPECT_TRUE(x.compatible(&y, false, true));  // secondary signals not checked
  ce->set_used(false);
  // Secondary inputs present but unconnected are no secondary signals.
  regs[1]->add_input_term(DB_INPUT_PORT_SCLR, 0);
  EXPECT_FALSE(y.has_secondary_signals());
  // An asynchronous clear makes a register incompatible with any.
  vok_connect(n->input_port("rst").oterm, regs[1]->add_input_term(DB_INPUT_PORT_ACLR, 0));
  EXPECT_FALSE(y.has_only_sync_signal());
  EXPECT_FALSE(x.compatible(&y, false, false));
  EXPECT_FALSE(y.compatible(&x, false, false));
  // Bypass: refused only when asked.
  auto z = n->reg("z").clk(clk).d(regs[0]);
  IRTM_FF fz(z);
  scenes::set_bypassed(z);
  EXPECT_TRUE(fz.is_bypassed());
  EXPECT_FALSE(x.compatible(&fz, true, true));
  EXPECT_TRUE(x.compatible(&fz, true, false));
  EXPECT_TRUE(x.has_secondary_signals() == false);
  // A synchronous clear keeps a register among the synchronous ones: two on
  // the same clear are compatible. Without a connected data input none is.
  auto u = n->reg("u").clk(clk).d(regs[0]);
  auto v = n->reg("v").clk(clk).d(regs[0]);
  SIG sclr = n->input_port("sclr");
  vok_connect(sclr.oterm, u->add_input_term(DB_INPUT_PORT_SCLR, 0));
  vok_connect(sclr.oterm, v->add_input_term(DB_INPUT_PORT_SCLR, 0));
  IRTM_FF fu(u), fv(v);
  EXPECT_TRUE(fu.has_only_sync_signal());
  EXPECT_TRUE(fu.has_secondary_signals());  // a synchronous clear is one
  EXPECT_TRUE(fu.compatible(&fv, true, true));
  v->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->disconnect_from_source(VOK_NET_ITERM::OPEN);
  EXPECT_FALSE(fu.compatible(&fv, true, true));
  EXPECT_FALSE(fv.compatible(&fu, true, true));
}

TEST_F(IrtmTest, MovesFailuresAndPortSymbols) {
  start(1);
  analyse();
  IRTM_MOVE m(42);
  m.m_bypassed = {1, 2};
  m.m_enabled = {4};
  m.m_rerouted = {vok_get_logical_port(regs[0]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))};
  m.m_atoms = {regs[0]};
  m.m_slots = {3};
  m.m_gid_to_id[3] = 9;
  m.type = IRTM_MOVE::Forward;
  m.m_qfbk_gid = 7;
  m.failure.set(IRTM_FAILURE::NO_SLOT, regs[0]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  EXPECT_EQ(m.num_bypassed_ff(), 2);
  m.clear();
  EXPECT_EQ(m.m_checkpoint_id, 42u);
  EXPECT_EQ(m.num_bypassed_ff(), 0);
  EXPECT_TRUE(m.m_enabled.empty());
  EXPECT_TRUE(m.m_rerouted.empty());
  EXPECT_TRUE(m.m_atoms.empty());
  EXPECT_TRUE(m.m_slots.empty());
  EXPECT_EQ(m.m_gid_to_id.find(3), m.m_gid_to_id.end());
  EXPECT_EQ(m.type, IRTM_MOVE::None);
  EXPECT_EQ(m.m_qfbk_gid, 0xFFFFFFFFu);
  EXPECT_EQ(m.failure.get_reason(), IRTM_FAILURE::NONE);
  EXPECT_STREQ(IRTM_MOVE::type_name(IRTM_MOVE::Reroute), "Reroute");
  EXPECT_STREQ(IRTM_FAILURE::reason_text(6), "incompatible zota");
  EXPECT_STREQ(IRTM_FAILURE::reason_text(17), "unknown");

  IRTM_FAILURE f;
  EXPECT_EQ(f.get_iterm(), nullptr);
  VOK_ATOM_ITERM* d = regs[0]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  f.set(IRTM_FAILURE::BAD_FANOUT, d);
  EXPECT_EQ(f.get_iterm(), d);
  f.set(IRTM_FAILURE::BAD_FANOUT, regs[0]->get_oterm_slot(0));
  EXPECT_FALSE(f.is_input());
  EXPECT_EQ(f.get_iterm(), nullptr);
  // Port type 0 is a port type like any other.
  VOK_ATOM_ITERM* t0 = regs[0]->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(0), 0);
  f.set(IRTM_FAILURE::BAD_FANOUT, t0);
  EXPECT_EQ(f.get_iterm(), t0);
  EXPECT_EQ(IRTM_IPIN(vok_get_logical_port(t0)).get_iterm(), t0);

  // Input pins look their terminal up again by value.
  IRTM_IPIN pin(vok_get_logical_port(d));
  EXPECT_EQ(pin.m_type, IRTM_OBJ::IPIN);
  EXPECT_EQ(pin.get_iterm(), d);
  EXPECT_EQ(pin.min_input_slack(), util->get_min_node_slack(timing_input(regs[0], DB_INPUT_PORT_DATA_IN)));
  EXPECT_FALSE(pin.is_deleted());

  const HOST_INTERNAL_ERROR e =
      expect_internal_error([] { IRTM_INPUT_PORT_SYMBOL s(vok_output_port_symbol(DB_OUTPUT_PORT_REG)); });
  EXPECT_NE(e.condition.find("does not belong to namespace"), std::string::npos);
}

// ---------------------------------------------------------------- trees

TEST_F(IrtmTest, TreesPrintCountAndCollectTheirLeaves) {
  start(4);
  analyse();
  RE_MANAGER mgr;
  EXPECT_EQ(mgr.find_node(regs[0]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)), nullptr);
  std::vector<VOK_ATOM_ITERM*> d;
  for (VOK_ATOM_NODE* r : regs) d.push_back(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  RE_NON_TERMINAL* src = mgr.create_source_node(regs[0]->get_oterm_slot(0));
  RE_NON_TERMINAL* s1 = mgr.create_node(0x80000010u, 3);
  RE_NON_TERMINAL* s2 = mgr.create_node(0x80000011u, 4);
  src->add_child(s1);
  src->add_child(mgr.create_leaf_node(d[0]));
  src->add_child(s2);
  s1->add_child(mgr.create_leaf_node(d[1]));
  s1->add_child(mgr.create_leaf_node(d[2]));
  s2->add_child(mgr.create_leaf_node(d[3]));
  EXPECT_EQ(src->get_num_children(), 3);
  EXPECT_EQ(src->get_num_leaf(), 1);  // direct leaves only
  EXPECT_EQ(s1->get_num_leaf(), 2);
  std::vector<VOK_ATOM_ITERM*> out{nullptr};
  src->get_iterms(&out);
  EXPECT_EQ(out, (std::vector<VOK_ATOM_ITERM*>{nullptr, d[1], d[2], d[0], d[3]}));
  EXPECT_EQ(mgr.find_node(d[2])->get_parent(), s1);

  const std::size_t before = host::debug::texts().size();
  src->show();
  const auto texts = host::debug::texts();
  ASSERT_EQ(texts.size(), before + 4);  // grandchildren are not printed
  const int r0 = regs[0]->get_id();
  const std::uint32_t loc = regs[0]->get_location_gid();
  EXPECT_EQ(texts[before], "Oterm: nc=  3  " + std::to_string(loc) + " (?) -- (" + std::to_string(r0) + ") r0|" +
                               regs[0]->get_oterm_slot(0)->get_wysiwyg_port_name());
  EXPECT_EQ(texts[before + 1].rfind("---+ Zota:  nc=2    2147483664 (", 0), 0u) << texts[before + 1];
  EXPECT_EQ(texts[before + 2].rfind("---+ Iterm:  ", 0), 0u);
  EXPECT_EQ(texts[before + 3].rfind("---+ Zota:  nc=1    2147483665", 0), 0u);

  // Misuse.
  EXPECT_EQ(expect_internal_error([&] { mgr.create_node(0x80000010u, 1); }).condition, "!m_re_map.exists(re_gid)");
  EXPECT_EQ(expect_internal_error([&] { mgr.create_leaf_node(d[0]); }).condition, "!m_iterm_map.exists(iterm)");
  EXPECT_EQ(expect_internal_error([&] { s2->add_child(mgr.find_node(d[0])); }).condition, "!child->m_parent");
  EXPECT_EQ(expect_internal_error([&] { src->get_re_gid(); }).condition, "is_slot()");
  EXPECT_EQ(expect_internal_error([&] { s1->get_source(); }).condition, "is_src()");
  EXPECT_THROW(boost::get<std::uint32_t>(src->m_identity), boost::bad_get);
  const auto leaf_children = expect_internal_error([&] { mgr.find_node(d[0])->children(); });
  EXPECT_EQ(leaf_children.condition, "children() of a leaf");
  EXPECT_EQ(leaf_children.tag, "VELMO");
  EXPECT_EQ(leaf_children.file, "velmo_irtm_test_tree");
  EXPECT_EQ(s1->get_re_gid(), 0x80000010u);
  EXPECT_EQ(src->get_source(), regs[0]->get_oterm_slot(0));
  mgr.clear();
  EXPECT_EQ(mgr.find_node(d[0]), nullptr);
  EXPECT_NE(mgr.create_node(0x80000010u, 1), nullptr);  // the gid is free again
}

// ---------------------------------------------------------------- changed registers

TEST_F(IrtmTest, ChangedRegistersAndTheirFeeders) {
  start(0);
  // k -> g -> f1 -> l -> c1; f1 -> p (bypassed) -> c2; f2 -> c2's enable;
  // c3 fed by f1.
  auto k = n->reg("k").clk(clk).d(n->input_port("a"));
  auto g = n->reg("g").clk(clk).d(k);
  auto f1 = n->reg("f1").clk(clk).d(g);
  auto f2 = n->reg("f2").clk(clk).d(n->input_port("b"));
  // w writes a LUT-RAM that l reads: the walk stops at the RAM.
  auto w = n->reg("w").clk(clk).d(n->input_port("c"));
  auto m = n->lutram("m").data_in(w).clk(clk);
  auto l = n->lut("l", {f1, m}, [](const LUT_INPUTS& x) { return !x[0]; });
  auto c1 = n->reg("c1").clk(clk).d(l);
  auto p = n->reg("p").clk(clk).d(f1);
  scenes::set_bypassed(p);
  auto c2 = n->reg("c2").clk(clk).d(p).ce(f2);
  auto c3 = n->reg("c3").clk(clk).d(f1);
  int z = 1;
  for (VOK_ATOM_NODE* a : {f1.atom(), f2.atom(), p.atom(), c1.atom(), c2.atom(), c3.atom(), g.atom(), k.atom()}) {
    place_at(a, 2, 2, z);
    z += z % 3 == 1 ? 1 : 2;
  }
  place_at(l, 2, 2, 0);
  place_at(w, 3, 3, 1);
  place_at(m, 3, 3, 6);
  analyse();
  FF_CHANGE_MANAGER tracker(util->get_kem_netlist());
  // No record, then an empty one.
  sta_incr_track_changed_flops(false, false);
  for (bool a : {false, true})
    for (bool b : {false, true}) EXPECT_TRUE(tracker.get_changed_flops(a, b)->empty());
  sta_incr_track_changed_flops(true, true);
  sta_incr_reset_changed_flops();
  for (bool a : {false, true})
    for (bool b : {false, true}) EXPECT_TRUE(tracker.get_changed_flops(a, b)->empty());
  // c3, c1 and c2 change: c1 moves, then the analysis records them.
  c1->set_location(site_gid(5, 5, 1), 643);
  c2->set_location(site_gid(6, 6, 1), 643);
  c3->set_location(site_gid(7, 7, 1), 643);
  for (VOK_ATOM_NODE* a : {c1.atom(), c2.atom(), c3.atom()}) env->indicate_that_atom_netlist_is_modified(a->get_id());
  sta_increm_update_timing();
  using V = std::vector<VOK_ATOM_NODE*>;
  // The direct part is the host's record in its order (the moved registers
  // and those whose required times moved with them).
  V record;
  for (const auto& [key, atom] : *sta_incr_get_changed_flops()) record.push_back(atom);
  const V direct = *tracker.get_changed_flops(true, false);
  EXPECT_EQ(direct, record);
  for (VOK_ATOM_NODE* a : {c1.atom(), c2.atom(), c3.atom()}) EXPECT_NE(std::find(direct.begin(), direct.end(), a), direct.end());
  // Feeders: f1 once (through l, through the bypassed p, directly), f2, and
  // g, which feeds f1 (whose required time moved with c1's); ascending atom
  // id after the direct ones. The bypassed p is walked through, the live g
  // is not: k, behind g, is no feeder.
  EXPECT_EQ(*tracker.get_changed_flops(false, true), (V{g, f1, f2}));
  V both = record;
  both.insert(both.end(), {g, f1, f2});
  EXPECT_EQ(*tracker.get_changed_flops(true, true), both);
  tracker.reset();
  sta_incr_reset_changed_flops();
  EXPECT_TRUE(tracker.get_changed_flops(true, true)->empty());
}

TEST_F(IrtmTest, ALongCascadeIsWalkedWithoutRecursion) {
  start(0);
  auto f = n->reg("f").clk(clk).d(n->input_port("a"));
  SIG s = f;
  for (int i = 0; i < 100000; ++i) s = n->lut("c" + std::to_string(i), {s}, [](const LUT_INPUTS& x) { return x[0]; });
  auto end = n->reg("end").clk(clk).d(s);
  analyse();
  FF_CHANGE_MANAGER tracker(util->get_kem_netlist());
  tracker.find_changed_req_flops_recur(timing_input(end, DB_INPUT_PORT_DATA_IN));
  sta_incr_track_changed_flops(true, true);
  sta_incr_reset_changed_flops();
  EXPECT_TRUE(tracker.get_changed_flops(false, true)->empty());
}

// ---------------------------------------------------------------- queue

// A register whose slacks come from a table instead of the analysis.
class TABLE_FF : public IRTM_FF {
public:
  TABLE_FF(VOK_ATOM_NODE* atom, std::map<int, std::pair<int, int>>* table) : IRTM_FF(atom), m_table(table) {}
  bool update_slack(bool full) override {
    if (m_deleted || !full) return IRTM_FF::update_slack(full);
    const auto [data, out] = (*m_table)[static_cast<int>(m_atom_id)];
    const bool changed = data != m_data_slack || out != m_output_slack;
    m_data_slack = data;
    m_output_slack = out;
    return changed;
  }
  std::map<int, std::pair<int, int>>* m_table;
};

class QueueTest : public IrtmTest {
public:
  void make(int registers) {
    start(registers);
    analyse();
    queue.set_factory([this](VOK_ATOM_NODE* a) -> IRTM_FF* {
      auto& ff = ffs[a->get_id()];
      if (!ff) ff = std::make_unique<TABLE_FF>(a, &table);
      return ff.get();
    });
    for (VOK_ATOM_NODE* r : regs) table[r->get_id()] = {-1, 0};
  }
  std::vector<int> ids() const {
    std::vector<int> v;
    for (const IRTM_FF* ff : queue.m_ff_list) v.push_back(ff->get_atom()->get_id());
    return v;
  }
  const HOV_INCR_WNS_DOMAIN domain{0, 0, 0, 0};
  std::map<int, std::pair<int, int>> table;
  std::map<int, std::unique_ptr<TABLE_FF>> ffs;
  IRTM_FF_QUEUE queue;
};

TEST_F(QueueTest, CandidatesAndOrder) {
  make(6);
  const int r0 = regs[0]->get_id(), r1 = regs[1]->get_id(), r2 = regs[2]->get_id(), r3 = regs[3]->get_id(),
            r4 = regs[4]->get_id(), r5 = regs[5]->get_id();
  table[r0] = {0, 10};   // slack 0: out
  table[r1] = {-1, 10};  // in
  table[r2] = {NS, -8};  // no data-input slack: out
  table[r3] = {-5, 3};   // in, first
  table[r4] = {7, -1};   // equal to r1: after it by atom id
  table[r5] = {-2, NS};  // no output slack: out
  queue.initialize(&domain);
  EXPECT_EQ(ids(), (std::vector<int>{r3, r1, r4}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("QUEUE size: 3 min: -5  max: -1"));
  // Each initialisation forgets the last moves of the round before.
  ffs[r3]->m_last_move = IRTM_MOVE::Backward;
  queue.initialize(&domain);
  EXPECT_EQ(ffs[r3]->m_last_move, 0u);
  EXPECT_EQ(ids(), (std::vector<int>{r3, r1, r4}));
  // The s registers (the r's loads) are in the domain too but fail nothing.
  EXPECT_EQ(queue.m_ff_to_iter.size(), 3u);

  // update without requeue: slacks refreshed, places kept.
  table[r4] = {-9, 1};
  queue.update(nullptr, false);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("QUEUE changed: 0 compared: 0/3"));
  std::vector<VOK_ATOM_NODE*> changed{regs[4]};
  queue.update(&changed, false);
  EXPECT_EQ(ids(), (std::vector<int>{r3, r1, r4}));
  // With requeue it moves to the front.
  queue.update(&changed, true);
  EXPECT_EQ(ids(), (std::vector<int>{r4, r3, r1}));
  // A changed register of equal slack goes behind the queued one.
  table[r0] = {-5, 2};
  changed = {regs[0]};
  queue.update(&changed, true);
  EXPECT_EQ(ids(), (std::vector<int>{r4, r3, r0, r1}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("QUEUE changed: 1 compared: 3/4"));
  // A changed register that fails no more leaves the queue.
  table[r1] = {3, 10};
  changed = {regs[1]};
  queue.update(&changed, true);
  EXPECT_EQ(ids(), (std::vector<int>{r4, r3, r0}));
  // A queued register bypassed since is dropped where the merge passes it.
  scenes::set_bypassed(regs[0]);
  table[r1] = {-1, 10};
  queue.update(&changed, true);
  EXPECT_EQ(ids(), (std::vector<int>{r4, r3, r1}));
  // A changed register that is bypassed is neither refreshed nor counted.
  table[r0] = {-20, 1};
  changed = {regs[0]};
  queue.update(&changed, true);
  EXPECT_EQ(ids(), (std::vector<int>{r4, r3, r1}));
  EXPECT_NE(ffs[r0]->m_data_slack, -20);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("QUEUE changed: 0 compared: 0/3"));

  // The list/map invariant.
  EXPECT_EQ(expect_internal_error([&] { queue.remove_ff(queue.m_ff_list.end()); }).condition,
            "iter != m_ff_list.end()");
  ffs[r1]->m_deleted = 1;
  EXPECT_EQ(expect_internal_error([&] { queue.insert_ff(queue.m_ff_list.end(), ffs[r1].get()); }).condition,
            "!ff->is_deleted()");
  ffs[r1]->m_deleted = 0;
  std::list<IRTM_FF*> stray{ffs[r5].get()};
  EXPECT_EQ(expect_internal_error([&] { queue.remove_ff(stray.begin()); }).condition, "fi != m_ff_to_iter.end()");
}

TEST_F(QueueTest, DomainMembershipThroughInputsButNotTheClock) {
  start(0);
  // x: its output feeds only a design port, its data input comes from a
  // register of the domain; y: linked to the domain by its clock only.
  auto f = n->reg("f").clk(clk).d(n->input_port("a"));
  auto x = n->reg("x").clk(clk).d(f);
  n->output_port("ox", x);
  auto y = n->reg("y").clk(clk).d(n->input_port("b"));
  n->output_port("oy", y);
  analyse();
  table[x->get_id()] = {-3, 4};
  table[y->get_id()] = {-3, 4};
  TABLE_FF fx(x, &table), fy(y, &table);
  EXPECT_TRUE(queue.in_domain(&fx, domain));
  EXPECT_FALSE(queue.in_domain(&fy, domain));
  // A changed register outside the domain is not queued, however it fails.
  queue.set_factory([this](VOK_ATOM_NODE* a) -> IRTM_FF* {
    auto& ff = ffs[a->get_id()];
    if (!ff) ff = std::make_unique<TABLE_FF>(a, &table);
    return ff.get();
  });
  queue.initialize(&domain);
  EXPECT_EQ(ids(), (std::vector<int>{x->get_id()}));
  std::vector<VOK_ATOM_NODE*> changed{x.atom(), y.atom()};
  table[x->get_id()] = {-5, 4};
  queue.update(&changed, true);
  EXPECT_EQ(ids(), (std::vector<int>{x->get_id()}));
  EXPECT_EQ(ffs[x->get_id()]->m_data_slack, -5);
}

// Slacks -1 to -7 over `count` registers: queued in slack, then atom-id
// order, the same on 1 and 4 threads.
void check_sort(QueueTest& t, int count) {
  t.make(count);
  for (int i = 0; i < count; ++i) t.table[t.regs[static_cast<std::size_t>(i)]->get_id()] = {-(i % 7) - 1, 5};
  OXU_PROCESSOR_MANAGER::set_thread_count(1);
  t.queue.initialize(&t.domain);
  const std::vector<int> one = t.ids();
  OXU_PROCESSOR_MANAGER::set_thread_count(4);
  t.queue.initialize(&t.domain);
  EXPECT_EQ(t.ids(), one);
  ASSERT_EQ(one.size(), static_cast<std::size_t>(count));
  for (std::size_t i = 1; i < one.size(); ++i) {
    const auto a = t.table[one[i - 1]], b = t.table[one[i]];
    EXPECT_TRUE(a.first < b.first || (a.first == b.first && one[i - 1] < one[i])) << i;
  }
}

TEST_F(QueueTest, FourHundredNinetyNineSortSeriallyInOrder) { check_sort(*this, 499); }
TEST_F(QueueTest, FiveHundredSortInParallelInTheSameOrder) { check_sort(*this, 500); }

// ---------------------------------------------------------------- iteration state

TEST_F(IrtmTest, IterationPinsTraceAndHoldCost) {
  start(3);
  analyse();
  IRTM_ITERATION it(env);
  // The limits a round runs under when nothing is configured.
  EXPECT_EQ(it.m_max_non_crit_iterations, 1);
  EXPECT_EQ(it.m_crit_iterations, 100);
  EXPECT_EQ(it.m_setup_iterations, 4);
  EXPECT_EQ(it.m_hold_iterations, 8);
  EXPECT_EQ(it.m_max_batch_size, 12);
  EXPECT_EQ(it.m_crit_range, 1);
  EXPECT_EQ(it.m_initial_cost.cost, NS);
  EXPECT_TRUE(it.m_critical);
  auto port = [](VOK_ATOM_NODE* a) { return vok_get_logical_port(a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)); };
  IRTM_IPIN* p0 = it.create_irtm_ipin(port(regs[0]));
  ASSERT_TRUE(p0);
  EXPECT_EQ(it.create_irtm_ipin(port(regs[0])), p0);  // one pin per terminal
  IRTM_IPIN* p1 = it.create_irtm_ipin(port(regs[1]));
  IRTM_IPIN* p2 = it.create_irtm_ipin(port(regs[2]));
  VOK_ATOM_LOGICAL_PORT gone(99999, vok_input_port_symbol(DB_INPUT_PORT_DATA_IN), 0);
  EXPECT_EQ(it.create_irtm_ipin(gone), nullptr);
  // A None object is traced with the type compute_move gives; its own type stays.
  IRTM_FF ff = with_slacks(regs[0], -50, 100);
  it.m_name = "[0 0][1]";
  it.next_object(&ff);
  EXPECT_EQ(ff.m_move_type, IRTM_MOVE::None);
  const std::string want = "[0 0][1] Yun[0] Backward: input = -50 q = 100 -- (" +
                           std::to_string(regs[0]->get_location_gid()) + ") [?] (" + std::to_string(regs[0]->get_id()) +
                           ")  r0";
  EXPECT_THAT(host::debug::texts(), HasDebugLine(want.c_str()));
  // A hold repair sets the move cost once, from the initial cost and the
  // domain's WNS.
  HOV_INCR_WNS_DOMAIN d{0, 0, 0, 0};
  it.m_domain = &d;
  it.m_initial_cost = {-40, -7};
  ff.m_move_type = IRTM_MOVE::Forward;
  ff.m_hold = 1;
  it.next_object(&ff);
  // A stored type is traced as it is (compute_move would say Backward).
  // The trace line of the register's move, after its object count and type.
  auto move_line = [&](const std::string& head) {
    return head + ": input = -50 q = 100 -- (" + std::to_string(regs[0]->get_location_gid()) + ") [?] (" +
           std::to_string(regs[0]->get_id()) + ")  r0";
  };
  EXPECT_THAT(host::debug::texts(), HasDebugLine(move_line("[0 0][1] Yun[1] Forward (HOLD)").c_str()));
  EXPECT_EQ(it.m_move_cost.cost, -40);
  EXPECT_EQ(it.m_move_cost.slack, util->get_domain_wns(d));
  it.m_initial_cost = {-99, -99};
  it.next_object(&ff);
  EXPECT_EQ(it.m_move_cost.cost, -40);
  EXPECT_EQ(it.m_hold_moves, 2u);
  EXPECT_EQ(it.m_object_counter, 3u);
  // A stored type without the hold flag is no hold repair.
  ff.m_hold = 0;
  it.next_object(&ff);
  EXPECT_THAT(host::debug::texts(), HasDebugLine(move_line("[0 0][1] Yun[3] Forward").c_str()));
  EXPECT_EQ(it.m_hold_moves, 2u);
  // Summary: two wire LUTs, both failed; two re-routes, one failed (the
  // two failure bits on different numbers of pins).
  IRTM_IPIN* p3 = it.create_irtm_ipin(vok_get_logical_port(regs[0]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)));
  ASSERT_TRUE(p3);
  p0->m_move_type = p1->m_move_type = IRTM_MOVE::Wirelut;
  p0->m_failure_mask = p1->m_failure_mask = 1u << 3;
  p2->m_move_type = p3->m_move_type = IRTM_MOVE::Reroute;
  p3->m_failure_mask = 1u << 4;
  it.cleanup_irtm_ipins();
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Deleted Ipins 4 , wl = 0/2 rr = 1/2"));
  EXPECT_TRUE(it.m_ipins.empty());
  IRTM_IPIN* bad = it.create_irtm_ipin(port(regs[0]));
  ASSERT_TRUE(bad);
  EXPECT_THROW(it.cleanup_irtm_ipins(), HOST_INTERNAL_ERROR);
}

// ---------------------------------------------------------------- register registry

TEST_F(IrtmTest, RegistryRetiresAndRevivesRegisterObjects) {
  start(2);
  place_at(regs[0], 3, 3, 1);
  place_at(regs[1], 3, 3, 2);
  analyse();
  IRTM_MANAGER mgr(env);
  IRTM_FF* ff = mgr.create_irtm_ff(regs[0]);
  ASSERT_TRUE(ff);
  EXPECT_EQ(mgr.create_irtm_ff(regs[0]), ff);
  EXPECT_EQ(mgr.get_irtm_ff(regs[0]->get_location_gid()), ff);
  EXPECT_EQ(mgr.get_irtm_ff(vok_get_logical_port(regs[0]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))), ff);
  EXPECT_EQ(mgr.create_irtm_ff(n->find("s0")), nullptr);  // unplaced
  EXPECT_EQ(mgr.find_irtm_ff(regs[1]), nullptr);         // never looked at
  // Retire, then the atom comes back under its id: the same object, its
  // failure mask kept, its slacks and its move history reset.
  ff->m_failure_mask = 5;
  ff->m_data_slack = -3;
  ff->m_last_move = IRTM_MOVE::Backward;
  ff->m_move_type = IRTM_MOVE::Forward;
  ff->m_hold = 1;
  EXPECT_EQ(mgr.erase_irtm_ff_by_id(static_cast<std::uint32_t>(regs[0]->get_id())), 1);
  EXPECT_EQ(mgr.erase_irtm_ff_by_id(static_cast<std::uint32_t>(regs[0]->get_id())), 0);
  EXPECT_TRUE(ff->is_deleted());
  EXPECT_EQ(ff->get_atom(), nullptr);
  EXPECT_EQ(mgr.find_irtm_ff(regs[0]), nullptr);
  EXPECT_EQ(mgr.create_irtm_ff(regs[0]), ff);
  EXPECT_FALSE(ff->is_deleted());
  EXPECT_EQ(ff->m_failure_mask, 5u);
  EXPECT_EQ(ff->m_data_slack, NS);
  EXPECT_EQ(ff->m_last_move, 0u);
  EXPECT_EQ(ff->m_move_type, IRTM_MOVE::None);
  EXPECT_EQ(ff->m_hold, 0u);
  EXPECT_TRUE(mgr.retired().empty());
  // A second retirement is freed by the clean-up.
  mgr.create_irtm_ff(regs[1]);
  mgr.erase_irtm_ff_by_id(static_cast<std::uint32_t>(regs[1]->get_id()));
  mgr.cleanup_irtm_ffs();
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Deleted ZOTA ATOMS 1"));
  EXPECT_TRUE(mgr.retired().empty());
  // Erasing by gid needs a pipeline slot.
  EXPECT_EQ(expect_internal_error([&] { mgr.erase_irtm_ff(regs[0]->get_location_gid()); }).condition,
            "util()->is_zota_gid(re_gid)");
}

}  // namespace
