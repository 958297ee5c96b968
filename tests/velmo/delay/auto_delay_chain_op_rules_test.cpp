// The automatic delay-chain pass's construction and flow rules: when it is
// on, which PLL records it takes up, and the per-atom slack record's edge.
#include <string>

#include "auto_delay_chain_search_fixture.h"
#include "kem/kem_timing_model.h"

using namespace adc_search_testing;

namespace {

class AutoDelayChainOpRulesTest : public AutoDelayChainSearchTest {
protected:
  bool enabled() {
    VELMO_DELAY_CHAIN_OP o(m_env);
    PASS pass(m_env, &o);
    return pass.is_enabled();
  }
};

// The pass is on only with its option on and the timing utility available.
TEST_F(AutoDelayChainOpRulesTest, OnlyItsOptionWithTheTimingUtilityTurnsThePassOn) {
  design();
  EXPECT_FALSE(enabled()) << "no option";
  host::options::set(904, 1, "off");
  EXPECT_FALSE(enabled()) << "option off";
  host::options::set(904, 1, "on");
  EXPECT_TRUE(enabled());
  host::hov::set_on(false);
  EXPECT_FALSE(enabled()) << "no timing utility";
  host::hov::set_on(true);
  EXPECT_TRUE(enabled());
}

// The owner's PLL records are taken up (their relationships without a
// side dropped, a record left without any removed) when either PLL switch
// is on, and left as they are when both are off.
TEST_F(AutoDelayChainOpRulesTest, PllRecordsAreTakenUpWhenEitherPllSwitchIsOn) {
  design();
  host::options::set(904, 1, "on");
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  KEM_EDGE* edge =
      kem->get_edge(kem->get_kem_node_from_iterm(sc.ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->begin_fanin());
  const int id = edge->get_id();
  for (const char* pll_switch : {"", "velmo_auto_pll_delay_chain", "velmo_auto_pll_phase_shift"}) {
    SCOPED_TRACE(pll_switch);
    cfg_set_off("velmo_auto_pll_delay_chain");
    cfg_set_off("velmo_auto_pll_phase_shift");
    if (*pll_switch) cfg_set_on(pll_switch);
    VELMO_DELAY_CHAIN_OP o(m_env);
    o.get_pll_delay_chain_edges()[id] = PLL_AFFECTED_KEM_EDGE{edge, {sc.din}, {-1}};
    o.get_pll_phase_shift_edges()[id] = PLL_AFFECTED_KEM_EDGE{edge, {sc.dout}, {-1}};
    PASS pass(m_env, &o);
    EXPECT_TRUE(pass.work_new());
    EXPECT_EQ(o.get_pll_delay_chain_edges().size(), *pll_switch ? 0u : 1u);
    EXPECT_EQ(o.get_pll_phase_shift_edges().size(), *pll_switch ? 0u : 1u);
  }
}

// The pass posts its messages before it returns: an input pin over the
// fan-out threshold is warned of once the pass is done, whoever asks next.
TEST_F(AutoDelayChainOpRulesTest, ThePassPostsItsMessages) {
  design();
  host::options::set(904, 1, "on");
  cfg_set_int_value("velmo_high_fanout_input_pins_thershold", 0);
  const std::size_t before = host::messages::posted().size();
  {
    PASS pass(m_env, owner.get());
    EXPECT_TRUE(pass.work_new());
    EXPECT_EQ(pass.get_msgr()->size(), 0u) << "nothing left queued";
  }
  const auto posted = host::messages::posted();
  bool found = false;
  for (std::size_t i = before; i < posted.size(); ++i)
    found |= posted[i].text.find("Input pin din has too many fanouts") != std::string::npos;
  EXPECT_TRUE(found);
}

// Whatever corner was annotated before, the pass leaves the slow one
// annotated when it has searched.
TEST_F(AutoDelayChainOpRulesTest, ThePassLeavesTheSlowCornerAnnotated) {
  design();
  host::options::set(904, 1, "on");
  const std::vector<KEM_TIMING_MODEL> models = KEM_TIMING_MODEL::get_list_of_timing_models(0);
  ASSERT_EQ(models.size(), 2u);
  const int fast = models[0].get_corner() == KEM_TIMING_MODEL::FAST ? 0 : 1;
  hov->switch_annotated_timing_model(m_env, models[fast]);
  PASS pass(m_env, owner.get());
  EXPECT_TRUE(pass.work_new());
  EXPECT_EQ(hov_get_accessories()->get_kem_netlist()->get_corner_manager()->get_current_corner().get_corner(),
            KEM_TIMING_MODEL::SLOW);
}

// A slack record's edge is looked up corner by corner, setup before hold;
// an id beyond the timing netlist is an internal error.
TEST_F(AutoDelayChainOpRulesTest, ASlackRecordsEdgeIdMustBeInTheTimingNetlist) {
  design();
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  const int n = kem->get_edge_count();
  ASSERT_GT(n, 2);
  PASS::SLACK_INFO info;
  info.edge_id[1][2] = n - 1;
  EXPECT_EQ(info.get_edge(), kem->get_edge(n - 1)) << "the last edge of the netlist";
  info.edge_id[1][0] = 1;
  info.edge_id[0][1] = 0;
  EXPECT_EQ(info.get_edge(), kem->get_edge(1)) << "corner 0 first";
  info.edge_id[0][0] = 2;
  EXPECT_EQ(info.get_edge(), kem->get_edge(2)) << "setup first";
  PASS::SLACK_INFO beyond;
  beyond.edge_id[0][1] = n;
  EXPECT_EQ(host::testing::expect_internal_error([&] { beyond.get_edge(); }).condition,
            "num_edge > this->edge_id[j][i]");
}

}  // namespace
