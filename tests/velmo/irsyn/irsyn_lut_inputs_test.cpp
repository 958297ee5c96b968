// The LUTs the resynthesiser changes: the description takes the eight LUT
// data inputs only (an input used as anything else is the resynthesiser's
// internal error), a plain LUT's inputs and outputs, the extended mode an
// eighth input alone puts a LUT in; the keys of tried LUTs, and the fake
// mask update of a rewired LUT.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "irsyn_manager_scene.h"
#include "velmo_irsyn_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class IrsynLutInputsTest : public IRSYN_MANAGER_SCENE {};

// Inputs 0 and 7 are described at their own slot; a usage just below the
// first data input or just past the eighth is refused, whichever input
// carries it.
TEST_F(IrsynLutInputsTest, OnlyTheEightDataInputsAreDescribed) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 10, clk);
  SIG a = n.reg("a").clk(clk).d(n.input_port("i"));
  SIG b = n.reg("b").clk(clk).d(n.input_port("j"));
  auto l = n.lut("l", {a, b}, [](const LUT_INPUTS& x) { return x[0] != x[1]; });
  n.reg("q").clk(clk).d(l);
  place_at(n.find("a"), 3, 3, 0);
  place_at(n.find("b"), 3, 3, 1);
  place_at(l, 3, 3, 2);
  place_at(n.find("q"), 3, 3, 3);
  n.timing();
  make_manager();
  VOK_ATOM_ITERM* in0 = l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  VOK_ATOM_ITERM* in1 = l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0);
  ASSERT_TRUE(in0 && in1);
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  in1->set_usage(DB_INPUT_PORT_LUT_DATA + 7);
  manager->expand_lut(l, &mask, codes, inv, 1);
  EXPECT_GE(codes[0], 0);
  EXPECT_GE(codes[7], 0);
  EXPECT_NE(codes[0], codes[7]);
  for (int i = 1; i < 7; ++i) EXPECT_EQ(codes[i], IRSYN_CODE_UNUSED) << i;
  for (VOK_ATOM_ITERM* t : {in0, in1})
    for (int usage : {DB_INPUT_PORT_LUT_DATA - 1, DB_INPUT_PORT_LUT_DATA + 8, static_cast<int>(DB_INPUT_PORT_CARRY_IN)}) {
      const int kept = t->get_any_usage_as();
      t->set_usage(usage);
      const auto e = expect_internal_error([&] { manager->expand_lut(l, &mask, codes, inv, 1); });
      EXPECT_EQ(e.condition, "iidx >= 0 && iidx <= 7") << usage;
      t->set_usage(kept);
    }
}

// A plain LUT, the only kind rotated or exchanged: every input used as one
// of the eight data inputs (the first and the eighth included) through an
// ordinary connection (codes 0, 1, 3 and 4), every output combinational.
TEST_F(IrsynLutInputsTest, APlainLutHasDataInputsOfOrdinaryCodesAndCombinationalOutputs) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 10, clk);
  SIG a = n.reg("a").clk(clk).d(n.input_port("i"));
  SIG b = n.reg("b").clk(clk).d(n.input_port("j"));
  auto l = n.lut("l", {a, b}, [](const LUT_INPUTS& x) { return x[0] && x[1]; });
  n.reg("q").clk(clk).d(l);
  n.timing();
  IRSYN_MANAGER& m = make_manager();
  auto plain = [&] {
    const bool rotate = m.can_rotate(l), resyn = m.is_resynthable(l);
    EXPECT_EQ(rotate, resyn);
    return rotate;
  };
  ASSERT_TRUE(plain());
  VOK_ATOM_ITERM* in1 = l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0);
  const int usage = in1->get_any_usage_as();
  for (int u = DB_INPUT_PORT_LUT_DATA; u <= DB_INPUT_PORT_LUT_DATA + 7; ++u) {
    in1->set_usage(u);
    EXPECT_TRUE(plain()) << "usage " << u;
  }
  for (int u : {DB_INPUT_PORT_LUT_DATA - 1, DB_INPUT_PORT_LUT_DATA + 8, static_cast<int>(DB_INPUT_PORT_CARRY_IN)}) {
    in1->set_usage(u);
    EXPECT_FALSE(plain()) << "usage " << u;
  }
  in1->set_usage(usage);
  const int code = in1->get_connection_code();
  for (int c = 0; c < 8; ++c) {
    in1->set_connection_code(c);
    EXPECT_EQ(plain(), c == 0 || c == 1 || c == 3 || c == 4) << "code " << c;
  }
  in1->set_connection_code(code);
  ASSERT_TRUE(plain());
  VOK_ATOM_OTERM* out = l->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0);
  out->set_usage(DB_OUTPUT_PORT_REG);
  EXPECT_FALSE(plain());
  out->set_usage(DB_OUTPUT_PORT_COMB);
  EXPECT_TRUE(plain());
}

// A LUT with its eighth input used and its seventh not is in extended mode:
// its critical first input is rotated into its fixed partners 1 and 4 only,
// never into every later slot as a six-input LUT's would be.
TEST_F(IrsynLutInputsTest, AnEighthInputAlonePutsALutInExtendedMode) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 10, clk);
  std::vector<SIG> regs;
  for (int i = 0; i < 7; ++i) {
    regs.push_back(n.reg("r" + std::to_string(i)).clk(clk).d(n.input_port("i" + std::to_string(i))));
    // The first is far away: its input is the critical one.
    if (i == 0) place_at(n.find("r0"), 10, 8, 0);
    else place_at(n.find("r" + std::to_string(i)), 3, 3, i);
  }
  auto l = n.lut("l", std::vector<SIG>(regs.begin(), regs.begin() + 6),
                 [](const LUT_INPUTS& x) { return (x[0] && x[1]) || (x[2] != x[3]) || (x[4] && !x[5]); });
  vok_connect(regs[6].oterm, l->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 7), 0));
  auto q = n.reg("q").clk(clk).d(l);
  place_at(l, 3, 4, 0);
  place_at(q, 3, 4, 1);
  n.timing();
  IRSYN_MANAGER& m = make_manager();
  m.m_rotate_margin = -100000;
  m.m_wns_cost = 1;  // better than any design's: no attempt is kept
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  m.expand_lut(l, &mask, codes, inv, 1);
  ASSERT_EQ(codes[6], IRSYN_CODE_UNUSED);
  ASSERT_GE(codes[7], 0);
  m.m_vars.clear();
  EXPECT_FALSE(m.rotate_one(vok_get_logical_port(l->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0))));
  EXPECT_EQ(m.m_num_tries, 2);
  EXPECT_TRUE(m.m_changed_luts.empty());
}

// r0 (the next LAB over) and r1 feed LUT b; b, r2 and r3 feed LUT a; a feeds q.
struct PAIR {
  VOK_ATOM_NODE *r0, *b, *a;
};
PAIR pair_scene(NETLIST_BUILDER& n) {
  SIG clk = n.input_port("clk");
  n.clock("clk", 10, clk);
  std::vector<SIG> r;
  for (int i = 0; i < 4; ++i) {
    r.push_back(n.reg("r" + std::to_string(i)).clk(clk).d(n.input_port("i" + std::to_string(i))));
    place_at(n.find("r" + std::to_string(i)), i == 0 ? 4 : 3, 3, i);
  }
  auto b = n.lut("b", {r[0], r[1]}, [](const LUT_INPUTS& x) { return x[0] && x[1]; });
  auto a = n.lut("a", {b, r[2], r[3]}, [](const LUT_INPUTS& x) { return x[0] && x[1] && x[2]; });
  auto q = n.reg("q").clk(clk).d(a);
  place_at(b, 3, 3, 4);
  place_at(a, 3, 3, 5);
  place_at(q, 3, 3, 6);
  n.timing();
  return {n.find("r0"), b, a};
}

VOK_ATOM_LOGICAL_PORT out_port(VOK_ATOM_NODE* lut) {
  return vok_get_logical_port(lut->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
}

// A LUT (a rotation's) or a driving LUT (an exchange's) whose changes were
// all given back is not tried again; once a change of it is kept its key is
// free again.
TEST_F(IrsynLutInputsTest, TriedKeysAreFreedOnlyByAKeptChange) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  const PAIR p = pair_scene(n);
  IRSYN_MANAGER& m = make_manager();
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  auto rotation_key = [&] {
    m.m_vars.clear();
    return m.expand_lut(p.b, &mask, codes, inv, 123456);
  };
  auto exchange_key = [&] {
    m.m_vars.clear();
    const std::uint32_t key_a = m.expand_lut(p.a, &mask, codes, inv, 654321);
    return m.expand_lut(p.b, &mask, codes, inv, key_a);
  };
  m.m_rotate_margin = m.m_resyn_margin = -100000;
  m.m_wns_cost = 1;  // better than any design's: nothing is kept
  for (const bool rotate : {true, false}) {
    SCOPED_TRACE(rotate ? "rotation" : "exchange");
    const std::uint32_t key = rotate ? rotation_key() : exchange_key();
    auto run = [&] { return rotate ? m.rotate_one(out_port(p.b)) : m.resyn_one(out_port(p.a)); };
    const int tries = m.m_num_tries;
    EXPECT_FALSE(run());
    ASSERT_GT(m.m_num_tries, tries);
    EXPECT_EQ(m.m_tried.count(key), 1u);
    const int first = m.m_num_tries;
    EXPECT_FALSE(run());
    EXPECT_EQ(m.m_num_tries, first);
  }
  // b's critical input made slow whatever drives it: rotating it into b's
  // unused slot gains and is kept.
  host::kem::annotate_iterm_delay(p.b->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0), 3000, 3000);
  sta_full_update_timing(true);
  m.m_wns_cost = m.get_wns_cost();
  m.m_tried.clear();
  const std::uint32_t rotated = rotation_key();
  EXPECT_TRUE(m.rotate_one(out_port(p.b)));
  EXPECT_EQ(m.m_tried.count(rotated), 0u);
  EXPECT_EQ(m.m_changed_luts, std::set<int>{p.b->get_id()});
}

TEST_F(IrsynLutInputsTest, AKeptExchangeFreesTheDrivingLutsKey) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  const PAIR p = pair_scene(n);
  IRSYN_MANAGER& m = make_manager();
  m.m_wns_cost = m.get_wns_cost();
  m.m_resyn_margin = -100000;
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  const std::uint32_t key_b = m.expand_lut(p.b, &mask, codes, inv, m.expand_lut(p.a, &mask, codes, inv, 654321));
  m.m_vars.clear();
  EXPECT_TRUE(m.resyn_one(out_port(p.a)));
  EXPECT_EQ(m.m_tried.count(key_b), 0u);
  EXPECT_EQ(m.m_changed_luts, (std::set<int>{p.a->get_id(), p.b->get_id()}));
}

// With the fake update on, every LUT whose connections a pass changes is
// handed its own mask, unchanged, before the change is implemented; off,
// no mask is set.
TEST_F(IrsynLutInputsTest, RewiredLutsGetTheirOwnMaskWithTheFakeUpdate) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  const PAIR p = pair_scene(n);
  IRSYN_MANAGER& m = make_manager();
  m.m_wns_cost = 1;
  m.m_resyn_margin = -100000;
  auto masks_set = [&] {
    std::vector<std::string> masks;
    for (const auto& l : host::call_lines()) {
      if (l.rfind("DUX::implement(", 0) == 0) break;
      if (l.rfind("DUX::set_lutmask(", 0) == 0) masks.push_back(l);
    }
    return masks;
  };
  auto own = [](VOK_ATOM_NODE* lut) {
    return "DUX::set_lutmask(atom#" + std::to_string(lut->get_id()) + ", " +
           std::to_string(lut->get_lutmask().get_value()) + ")";
  };
  for (const bool fake : {true, false}) {
    SCOPED_TRACE(fake);
    m.m_fake_taint = fake;
    m.m_tried.clear();
    host::clear_calls();
    EXPECT_FALSE(m.reroute_one(
        vok_get_logical_port(p.a->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0))));
    EXPECT_EQ(masks_set(), fake ? std::vector<std::string>{own(p.a)} : std::vector<std::string>{});
    host::clear_calls();
    EXPECT_FALSE(m.resyn_one(out_port(p.a)));
    EXPECT_EQ(masks_set(), fake ? (std::vector<std::string>{own(p.b), own(p.a)}) : std::vector<std::string>{});
  }
}

}  // namespace
