// The retimer's refusals that end an attempt before anything is searched
// or edited: a register that may not be retimed is refused and nothing of
// the attempt is accepted, and a carry chain that closes on itself is no
// chain.
#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class IrtmRefusalTest : public HostTest {
protected:
  void make_manager() {
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    mgr = std::make_unique<IRTM_MANAGER>(CMP_FACADE::current(), env);
    mgr->setup();
  }
  void TearDown() override {
    if (mgr) {
      mgr->cleanup(false);
      mgr.reset();
    }
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRTM_MANAGER> mgr;
};

// c0 fails setup in its domain but its atom may not be changed: the attempt
// fails, every kind of move is marked failed on it, nothing is accepted and
// no move is left on the stack, also when it was queued for a hold repair.
TEST_F(IrtmRefusalTest, ARegisterThatMayNotBeRetimedEndsTheAttemptWithNothingAccepted) {
  const scenes::KY_PIPELINE s = scenes::ky_pipeline(1);
  s[0].c0->set_modifiable(false);
  make_manager();
  IRTM_ITERATION* it = mgr->iteration();
  IRTM_FF* ff = mgr->create_irtm_ff(s[0].c0);
  ASSERT_NE(ff, nullptr);
  ff->update_slack(true);
  ASSERT_LT(ff->min_slack(), 0);
  HOV_INCR_WNS_DOMAIN domain{};
  bool found = false;
  for (const auto& [d, v] : sta_get_wns_map(IRTM_UTIL::s_instance->get_kem_netlist()))
    if (v.wns == ff->min_slack() || (!found && v.wns < 0)) {
      domain = d;
      found = true;
    }
  ASSERT_TRUE(found);
  it->m_domain = &domain;
  sta_incr_reset_changed_flops();
  it->m_current_worst_slack = ff->min_slack();
  it->m_initial_cost = {IRTM_UTIL::s_instance->get_wns_cost(), ff->min_slack()};
  std::vector<IRTM_OBJ*> objects{ff};
  EXPECT_FALSE(mgr->retime_iteration(&objects));
  EXPECT_EQ(it->m_accepted_moves, 0u);
  EXPECT_EQ(ff->m_failure_mask, 31u);
  EXPECT_TRUE(mgr->yun_stack().empty());
  EXPECT_FALSE(ff->is_bypassed());
  // Queued for a hold repair, the same register is refused the same way:
  // the repair is not attempted on it.
  ff->m_failure_mask = 0;
  ff->m_move_type = IRTM_MOVE::Backward;
  ff->m_hold = 1;
  std::vector<IRTM_OBJ*> repair{ff};
  EXPECT_FALSE(mgr->retime_iteration(&repair));
  EXPECT_EQ(repair.size(), 1u);
  EXPECT_EQ(it->m_accepted_moves, 0u);
  EXPECT_EQ(ff->m_failure_mask, 31u);
  EXPECT_TRUE(mgr->yun_stack().empty());
}

// Three cells whose carries close a loop, the first in another LAB than
// the other two: the walk from the middle cell stops, and answers no chain.
TEST_F(IrtmRefusalTest, ACarryLoopAcrossALabBorderIsNoChain) {
  device(Family::KY).build();
  auto n = netlist();
  SIG clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  SIG in = n.input_port("in");
  auto src = n.reg("src").clk(clk).d(in);
  place_at(src, 3, 3, 7);
  auto chain = n.carry_chain("add", 3);
  const int at[3][3] = {{2, 4, 0}, {3, 4, 0}, {3, 4, 3}};
  for (int i = 0; i < 3; ++i) {
    place_at(chain.cell(i), at[i][0], at[i][1], at[i][2]);
    vok_connect(src->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), chain.cell(i)->add_input_term(DB_INPUT_PORT_LUT_DATA, 0));
    auto sum = n.reg("sum" + std::to_string(i)).clk(clk).d(chain.cell(i).out(DB_OUTPUT_PORT_SUM));
    place_at(sum, 5, 4, 1 + 3 * i);
  }
  VOK_ATOM_ITERM* head_cin = chain.cell(0)->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0);
  vok_connect(chain.cell(2)->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0),
              head_cin ? head_cin : chain.cell(0)->add_input_term(DB_INPUT_PORT_CARRY_IN, 0));
  n.timing();
  make_manager();
  std::list<VOK_ATOM_NODE*> got;
  VOK_ATOM_ITERM* border = nullptr;
  EXPECT_FALSE(mgr->get_carry_chain(chain.cell(1), &got, &border));
  EXPECT_FALSE(mgr->get_carry_chain(chain.cell(1), &got, nullptr));
  EXPECT_FALSE(mgr->get_carry_chain(chain.cell(0), &got, nullptr));
}

}  // namespace
