// The resynthesiser's bookkeeping around each change: every implemented
// attempt is counted once, as better or worse, and the LUT a kept change
// rewires is listed as changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <set>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "velmo_irsyn_test.h"
#include "vok/vok_re_logical_port.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class IrsynBookkeepingTest : public HostTest {
public:
  // r0 (the next LAB over) and r1 feed LUT b; b, r2 and r3 feed LUT a; a
  // feeds q.
  void SetUp() override {
    HostTest::SetUp();
    device(Family::KY).build();
    NETLIST_BUILDER n(host::vok::top_netlist());
    SIG clk = n.input_port("clk");
    n.clock("clk", 10, clk);
    std::vector<SIG> r;
    for (int i = 0; i < 4; ++i) {
      r.push_back(n.reg("r" + std::to_string(i)).clk(clk).d(n.input_port("i" + std::to_string(i))));
      place_at(n.find("r" + std::to_string(i)), i == 0 ? 4 : 3, 3, i);
    }
    b = n.lut("b", {r[0], r[1]}, [](const LUT_INPUTS& x) { return x[0] && x[1]; });
    a = n.lut("a", {b, r[2], r[3]}, [](const LUT_INPUTS& x) { return x[0] && x[1] && x[2]; });
    auto q = n.reg("q").clk(clk).d(a);
    place_at(b, 3, 3, 4);
    place_at(a, 3, 3, 5);
    place_at(q, 3, 3, 6);
    n.timing();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    m = std::make_unique<IRSYN_MANAGER>(CMP_FACADE::current(), env);
    m->m_domain = HOV_INCR_WNS_DOMAIN{0, 0, 0, 0};
    m->m_wns_cost = m->get_wns_cost();
  }
  void TearDown() override {
    m.reset();
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  static VOK_ATOM_LOGICAL_PORT out_port(VOK_ATOM_NODE* lut) {
    return vok_get_logical_port(lut->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
  }
  std::vector<int> counts() const { return {m->m_num_tries, m->m_num_better, m->m_num_worse, m->m_num_fail}; }

  VOK_ATOM_NODE *a = nullptr, *b = nullptr;
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRSYN_MANAGER> m;
};

// Refused attempts count as tried and worse; a kept one as tried and
// better; no implementation fails here.
TEST_F(IrsynBookkeepingTest, EachAttemptIsCountedOnceByItsOutcome) {
  m->m_rotate_margin = -100000;
  const std::int64_t cost = m->m_wns_cost;
  m->m_wns_cost = 1;  // better than any design's: nothing is kept
  EXPECT_FALSE(m->rotate_one(out_port(b)));
  const int refused = m->m_num_tries;
  ASSERT_GT(refused, 0);
  EXPECT_EQ(counts(), (std::vector<int>{refused, 0, refused, 0}));
  EXPECT_TRUE(m->m_changed_luts.empty());
  // b's critical input made slow whatever drives it: rotated into b's
  // unused slot, it gains and is kept at the first attempt.
  host::kem::annotate_iterm_delay(b->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0), 3000, 3000);
  sta_full_update_timing(true);
  m->m_wns_cost = m->get_wns_cost();
  ASSERT_LE(m->m_wns_cost, cost);
  m->m_tried.clear();
  EXPECT_TRUE(m->rotate_one(out_port(b)));
  EXPECT_EQ(counts(), (std::vector<int>{refused + 1, 1, refused, 0}));
  EXPECT_EQ(m->m_changed_luts, std::set<int>{b->get_id()});
}

// The lowest used slot whose variable has the smallest slack, as both
// passes pick the input to move; -1 without one.
int critical(const IRSYN_MANAGER& m, const int codes[8]) {
  int best = -1;
  for (int i = 0; i < 8; ++i)
    if (codes[i] >= 0 && (best < 0 || m.m_vars[static_cast<std::size_t>(codes[i])].slack <
                                           m.m_vars[static_cast<std::size_t>(codes[best])].slack))
      best = i;
  return best;
}

// A rotation into a used slot is tried only while the critical input's
// slack is at most the other input's less the margin: at that margin
// exactly it is tried, one more and only the unused slots are.
TEST_F(IrsynBookkeepingTest, TheRotateMarginIsReachedAtEquality) {
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  m->m_vars.clear();
  m->expand_lut(a, &mask, codes, inv, 123456);
  const int k = critical(*m, codes);
  ASSERT_EQ(k, 0);  // b's output, behind the far register
  ASSERT_GE(codes[2], 0);
  ASSERT_LT(codes[3], 0);
  const int gap = m->m_vars[static_cast<std::size_t>(codes[2])].slack - m->m_vars[static_cast<std::size_t>(codes[k])].slack;
  m->m_wns_cost = 1;  // nothing is kept
  for (const int extra : {0, 1}) {
    m->m_rotate_margin = gap + extra;
    m->m_tried.clear();
    const int before = m->m_num_tries;
    EXPECT_FALSE(m->rotate_one(out_port(a)));
    EXPECT_EQ(m->m_num_tries - before, extra == 0 ? 3 : 2) << extra;  // slots 2, 3 and 4
  }
}

// An exchange into a slot of A is tried only while B's critical input's
// slack is at most that slot's less the margin; the equal case is tried.
TEST_F(IrsynBookkeepingTest, TheResynthesisMarginIsReachedAtEquality) {
  std::uint64_t mask_a, mask_b;
  int codes_a[8], codes_b[8];
  bool inv_a[8], inv_b[8], skip[8] = {}, inverted[8];
  m->m_vars.clear();
  const std::uint32_t key_a = m->expand_lut(a, &mask_a, codes_a, inv_a, 654321);
  m->expand_lut(b, &mask_b, codes_b, inv_b, key_a);
  const int sa = critical(*m, codes_a), sb = critical(*m, codes_b);
  ASSERT_EQ(sa, 0);
  ASSERT_GE(sb, 0);
  const std::vector<int> slots =
      IRSYN_MANAGER::exchange_slots(mask_a, codes_a, inv_a, sa, mask_b, codes_b, sb, skip, inverted);
  ASSERT_EQ(slots.size(), 2u);  // r2 and r3, symmetric with b's inputs in the AND
  std::vector<int> gaps;
  for (int j : slots)
    gaps.push_back(m->m_vars[static_cast<std::size_t>(codes_a[j])].slack -
                   m->m_vars[static_cast<std::size_t>(codes_b[sb])].slack);
  const int low = std::min(gaps[0], gaps[1]), high = std::max(gaps[0], gaps[1]);
  m->m_wns_cost = 1;
  for (const auto& [margin, tries] : std::vector<std::pair<int, int>>{
           {low, 2}, {high, low == high ? 2 : 1}, {high + 1, 0}}) {
    m->m_resyn_margin = margin;
    m->m_tried.clear();
    const int before = m->m_num_tries;
    EXPECT_FALSE(m->resyn_one(out_port(a)));
    EXPECT_EQ(m->m_num_tries - before, tries) << margin;
  }
}

}  // namespace
