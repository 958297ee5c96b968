// The automatic delay-chain pass's edge records, elements and groups: which
// edges and chains make elements, and what each element and group holds.
#include <string>

#include "auto_delay_chain_search_fixture.h"

using namespace adc_search_testing;

namespace {

class AutoDelayChainElementRulesTest : public AutoDelayChainSearchTest {};

// An edge record names its edge by id: no id (or a negative one) is no
// edge, an id beyond the timing netlist an internal error.
TEST_F(AutoDelayChainElementRulesTest, AnEdgeRecordsIdMustBeInTheTimingNetlist) {
  design();
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  const int n = kem->get_edge_count();
  KEM_EDGE_SLACK_INFO info;
  EXPECT_EQ(info.get_edge(), nullptr);
  info.edge_id = -2;
  EXPECT_EQ(info.get_edge(), nullptr);
  info.edge_id = 0;
  EXPECT_EQ(info.get_edge(), kem->get_edge(0));
  info.edge_id = n - 1;
  EXPECT_EQ(info.get_edge(), kem->get_edge(n - 1));
  info.edge_id = n;
  EXPECT_EQ(host::testing::expect_internal_error([&] { info.get_edge(); }).condition, "num_edge > this->edge_id");
}

// An input pin over the fan-out threshold is warned of in the words of the
// high-fanout mode: searched like the others (mode 2) or left as it is.
TEST_F(AutoDelayChainElementRulesTest, TheHighFanoutWarningSaysWhatTheSearchDoes) {
  design();
  cfg_set_int_value("velmo_high_fanout_input_pins_thershold", 0);
  for (const char* mode : {"2", "3"}) {
    host::options::set(905, 6, mode);
    PASS pass(m_env, owner.get());
    pass.build_optimization_elements();
    pass.build_optimization_groups();
    const std::size_t before = host::messages::posted().size();
    pass.identify_pin_to_core_optimization_groups_with_high_fanout_pins();
    pass.get_msgr()->post();
    const auto posted = host::messages::posted();
    ASSERT_EQ(posted.size(), before + 1) << mode;
    const std::string& text = posted.back().text;
    EXPECT_NE(text.find("Input pin din has too many fanouts"), std::string::npos) << text;
    const bool searched = text.find("searched like the other pins") != std::string::npos;
    const bool left = text.find("will not be optimized") != std::string::npos;
    EXPECT_EQ(searched, std::string(mode) == "2") << text;
    EXPECT_EQ(left, std::string(mode) == "3") << text;
  }
}

// Chain 15 of a pin is left alone when the pin or the pin paired with it
// feeds a compensating PLL, not for a pairing of two ordinary pins.
TEST_F(AutoDelayChainElementRulesTest, OnlyACompensatedPairedPinHoldsChain15) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto ibuf = n.io_in("din");
  n.atom(VOK_ATOM_KIND::IOPLL, "pll").input(DB_INPUT_PORT_PLL_REFCLK, 0, ibuf)->set_parameter(VOK_PARAMETER_TYPE::UINT,
                                                                                             9000, 2);
  n.io_in("din2");
  n.io_in("din3");
  VOK_ATOM_NODE* din = n.find("din");
  VOK_ATOM_NODE* din2 = n.find("din2");
  VOK_ATOM_NODE* din3 = n.find("din3");
  VELMO_DELAY_CHAIN_OP o(m_env);
  PASS pass(m_env, &o);
  host::dc::pair(din2->get_id(), din3->get_id());
  EXPECT_FALSE(pass.skip_pin_due_to_pll(din2, T(15))) << "paired with an ordinary pin";
  EXPECT_FALSE(pass.skip_pin_due_to_pll(din3, T(15)));
  EXPECT_TRUE(pass.skip_pin_due_to_pll(din, T(15))) << "feeds the PLL itself";
  host::dc::pair(din3->get_id(), din->get_id());
  EXPECT_TRUE(pass.skip_pin_due_to_pll(din3, T(15))) << "paired with the compensated pin";
  EXPECT_FALSE(pass.skip_pin_due_to_pll(din3, T(16))) << "only chain 15 follows the pair";
}

// A group's edge records are each listed once, in the order its elements
// first name them, whichever side of an element a record is on.
TEST_F(AutoDelayChainElementRulesTest, AGroupsEdgeRecordsAreListedOnce) {
  design();
  PASS pass(m_env, owner.get());
  SYNTH s;
  OPTIMIZATION_ELEMENT* a = s.element(sc.din, 446, 0, 3);
  OPTIMIZATION_ELEMENT* b = s.element(sc.din, 12, 0, 3);
  KEM_EDGE_SLACK_INFO* r1 = s.record(10, 20);
  KEM_EDGE_SLACK_INFO* r2 = s.record(30, 40);
  KEM_EDGE_SLACK_INFO* r3 = s.record(50, 60);
  SYNTH::act(a, r1, true);
  SYNTH::act(a, r2, false);
  SYNTH::act(a, r1, false);
  SYNTH::act(b, r2, true);
  SYNTH::act(b, r3, false);
  SYNTH::act(b, r1, true);
  std::vector<KEM_EDGE_SLACK_INFO*> out;
  pass.get_edge_vec_for_opt_group(&s.group, out);
  EXPECT_EQ(out, (std::vector<KEM_EDGE_SLACK_INFO*>{r1, r2, r3}));
}

}  // namespace
