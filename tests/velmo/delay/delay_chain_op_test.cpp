// The I/O delay-chain operation: chain lists per device, the step
// dispatcher, value records, pad orientation and the user settings.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_env.h"
#include "yos/yos_interface.h"
#include "zel/zel_dc_table.h"

using host::testing::Family;

namespace {

using TYPES = std::vector<int>;

TYPES ints(const std::vector<YOS_UINT_DATA_ENUM>& v) { return TYPES(v.begin(), v.end()); }
YOS_UINT_DATA_ENUM T(int t) { return static_cast<YOS_UINT_DATA_ENUM>(t); }

class DelayChainOpTest : public host::testing::EnvTest {
protected:
  // An input pin feeding a register that drives an output pin.
  void pins() {
    auto n = host::testing::netlist();
    auto in = n.io_in("din");
    auto r = n.reg("r").clk(n.input_port("clk")).d(in);
    n.io_out("dout", r);
    din = n.find("din");
    dout = n.find("dout");
  }
  unsigned setting(VOK_ATOM_NODE* a, int type) const {
    unsigned v = 0;
    return yos_current_interface()->get_uint_data(a, T(type), &v) ? v : 0xFFFFFFFFu;
  }
  bool flag(VOK_ATOM_NODE* a, int type) const {
    bool v = false;
    yos_current_interface()->get_bool_data(a, static_cast<YOS_BOOL_DATA_ENUM>(host::dc::yos_bool_param_of(type)), &v);
    return v;
  }
  static void option(const std::string& pin, int type, int value) {
    host::options::set(host::dc::moz_variable_of(type), 4, std::to_string(value), pin);
  }
  static std::vector<unsigned> ids() {
    std::vector<unsigned> out;
    for (const auto& m : host::messages::posted()) out.push_back(m.id);
    return out;
  }
  static int count(const std::string& line) {
    const auto t = host::debug::texts();
    return static_cast<int>(std::count(t.begin(), t.end(), line));
  }
  VOK_ATOM_NODE* din = nullptr;
  VOK_ATOM_NODE* dout = nullptr;
};

TEST_F(DelayChainOpTest, ChainListsAndFlagsFollowTheDevice) {
  // Newer atoms: every chain of the table, PLL pseudo types appended once.
  host::testing::device(Family::KY).build();
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_EQ(ints(op.get_user_delay_types()), (TYPES{430, 431, 446, 447, 448, 449}));
    EXPECT_EQ(ints(op.get_auto_delay_types()), (TYPES{430, 431, 446, 448, 414, 415, 416, 417, 418}));
    EXPECT_EQ(ints(op.get_all_delay_types()), (TYPES{430, 431, 446, 447, 448, 449, 414, 415, 416, 417, 418}));
    EXPECT_TRUE(op.get_flag(0));
    EXPECT_FALSE(op.get_flag(2));
    EXPECT_TRUE(op.get_flag(3));
    EXPECT_FALSE(op.get_flag(4));
    EXPECT_FALSE(op.get_flag(5));
  }

  // A chain whose item is off disappears; an unsupported PLL pseudo type
  // stays; flags follow their items.
  host::testing::device(Family::KY)
      .basic_bool_data(host::dc::dev_item_of(447), false)
      .basic_bool_data(host::dc::dev_item_of(431), std::nullopt)
      .basic_bool_data(host::dc::dev_item_of(415), false)
      .basic_bool_data(105, true)
      .basic_bool_data(154, true)
      .basic_bool_data(77, std::nullopt)
      .build();
  cfg_set_on("velmo_auto_pll_phase_shift");
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_EQ(ints(op.get_user_delay_types()), (TYPES{430, 446, 448, 449}));
    EXPECT_EQ(ints(op.get_auto_delay_types()), (TYPES{430, 446, 448, 414, 415, 416, 417, 418}));
    EXPECT_FALSE(op.get_flag(0));
    EXPECT_TRUE(op.get_flag(2));
    EXPECT_TRUE(op.get_flag(5));
    EXPECT_FALSE(op.get_flag(6));
    EXPECT_TRUE(op.get_flag(7));
  }

  // Older atoms with 15 and the pair 294/296 side by side: flag 4 picks one.
  host::dc::FAMILY_TABLE t = host::dc::table(Family::code(52));
  t.user_types = {12, 13, 15, 294, 296};
  t.auto_types = {13, 15, 294, 296, 414};
  t.chains[294] = {7, host::dc::SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[296] = {7, host::dc::SIDE::INPUT, 0, 0, {}, {}, false};
  host::dc::set_table(52, t);
  host::testing::device(Family::code(52)).build();
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_EQ(ints(op.get_user_delay_types()), (TYPES{12, 13, 15}));
    EXPECT_EQ(ints(op.get_auto_delay_types()), (TYPES{13, 15, 414}));
    EXPECT_EQ(ints(op.get_all_delay_types()), (TYPES{12, 13, 15, 414}));
  }
  host::testing::device(Family::code(52)).basic_bool_data(119, true).build();
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.get_flag(4));
    EXPECT_EQ(ints(op.get_user_delay_types()), (TYPES{12, 13, 294, 296}));
    EXPECT_EQ(ints(op.get_auto_delay_types()), (TYPES{13, 294, 296, 414}));
  }
  // Type 13 is an automatic chain only with two pad-to-core chains.
  t.pad_to_core_chains = 1;
  host::dc::set_table(52, t);
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_EQ(ints(op.get_user_delay_types()), (TYPES{12, 13, 294, 296}));
    EXPECT_EQ(ints(op.get_auto_delay_types()), (TYPES{294, 296, 414}));
  }
}

TEST_F(DelayChainOpTest, ConstructionStopsWithoutDeviceOrIoUtility) {
  host::testing::device(Family::KY).build();
  host::pexa::hide_current_device(true);
  EXPECT_EQ(host::testing::expect_internal_error([&] { VELMO_DELAY_CHAIN_OP op(m_env); }).condition,
            "m_dev_basic_info != NULL");
  host::pexa::hide_current_device(false);
  host::script::queue<bool>("ZEL_ATOM_IO::create_util").push(false);
  EXPECT_EQ(host::testing::expect_internal_error([&] { VELMO_DELAY_CHAIN_OP op(m_env); }).condition,
            "m_zel_atom_io_util != NULL");
  // A family without an I/O atom utility builds without one.
  host::testing::device(Family::KX).build();
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_EQ(op.get_zel_atom_io_util(), nullptr);
}

TEST_F(DelayChainOpTest, DispatcherRunsEachStepAndPostsItsMessages) {
  host::testing::device(Family::KY).build();
  pins();
  option("din", 446, 99);
  VELMO_DELAY_CHAIN_OP op(m_env);

  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES));
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{
                                        "        performing:  Read User Info........", "            * SUCCESS *"}));
  EXPECT_EQ(ids(), (std::vector<unsigned>{16159}));

  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::VALIDATE_CHAIN_INFO));
  auto texts = host::debug::texts();
  EXPECT_EQ(texts[texts.size() - 2], "        performing:  Validate Chain Info........");
  EXPECT_EQ(texts.back(), "            * SUCCESS *");
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::VALIDATE_TO_OTHER_ASSIGNMENTS));

  // Step 5 reports a bad setting as an error and fails.
  yos_current_interface()->set_uint_data(din, T(446), 40);
  EXPECT_FALSE(op.work(VELMO_DELAY_CHAIN_OP::NETLIST_FLOW_LEGALITY_CHECK));
  texts = host::debug::texts();
  EXPECT_EQ(texts[texts.size() - 2], "        performing:  Netlist Flow Legality Check........");
  EXPECT_EQ(texts.back(), "            !!!FAILED!!!");
  EXPECT_EQ(ids(), (std::vector<unsigned>{16159, 16158}));

  for (auto step : {VELMO_DELAY_CHAIN_OP::PACKAGE_SKEW_COMPENSATION, VELMO_DELAY_CHAIN_OP::SET_PLL_BASIC_DELAY_CHAINS,
                    VELMO_DELAY_CHAIN_OP::DUMP_ATOMS})
    EXPECT_TRUE(op.work(step));
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{"ZEL_ATOM_DUMPER::dump_current_atom_netlist"}));
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{"Begin Dumping atoms", "End Dumping atoms"}));

  // The automatic steps run where item 53 allows them.
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN));
  EXPECT_EQ(count("AUTO DELAY CHAIN: turned OFF by user"), 1);
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::ESTIMATE_TIMING_DELAY_CHAIN));
  EXPECT_EQ(count("AUTO DELAY CHAIN turned OFF by user"), 1);

  for (int bad : {10, -1})
    EXPECT_EQ(host::testing::expect_internal_error([&] {
                op.work(static_cast<VELMO_DELAY_CHAIN_OP::DELAY_CHAIN_STEP>(bad));
              }).condition,
              "Delay Chain step not defined");

  // Step 6 reads the user's switch (so it is not reported as unused) on
  // families 8, 9, 19 and 59 only.
  for (int family : {7, 8, 9, 12, 19, 30, 52, 59}) {
    host::testing::device(Family::code(family)).build();
    std::string error;
    ASSERT_TRUE(host::cfg::set_from_assignment("velmo_set_pll_basic_delay_chains=off", &error));
    VELMO_DELAY_CHAIN_OP step6(m_env);
    EXPECT_TRUE(step6.work(VELMO_DELAY_CHAIN_OP::SET_PLL_BASIC_DELAY_CHAINS));
    const bool consulted = family == 8 || family == 9 || family == 19 || family == 59;
    EXPECT_EQ(host::cfg::unread_user_names().empty(), consulted) << family;
  }
  EXPECT_FALSE(std::ifstream("auto_delay_time").good());  // no time file by default
}

TEST_F(DelayChainOpTest, AutomaticStepsNeedTheirDeviceItem) {
  // With the switch off, a pass or chooser that ran would say so; with it
  // on, either would ask for the timing utility.
  for (const char* on : {"off", "on"}) {
    host::options::set(904, 1, on);
    for (std::optional<bool> item : {std::optional<bool>(false), std::optional<bool>()}) {
      host::testing::device(Family::KY).basic_bool_data(53, item).build();
      VELMO_DELAY_CHAIN_OP op(m_env);
      EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN));
      EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::ESTIMATE_TIMING_DELAY_CHAIN));
    }
  }
  EXPECT_EQ(host::call_count("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 0);
  EXPECT_EQ(count("AUTO DELAY CHAIN: turned OFF by user"), 0);
  EXPECT_EQ(count("AUTO DELAY CHAIN turned OFF by user"), 0);
  EXPECT_EQ(count("            * SUCCESS *"), 8);
}

TEST_F(DelayChainOpTest, ValueRecordsFoldFineChainsAndFallBackToValues) {
  host::dc::FAMILY_TABLE t = host::dc::table(19);
  t.chains[152].max_setting = 2;
  t.chains[305].max_setting = 3;
  t.chains[12].delay_other = {0, 11, 22};
  t.chains[12].delay_horizontal = {0, 13, 26};
  t.chains[12].zav_by_value_only = true;
  host::dc::set_table(19, t);
  host::testing::device(Family::IO_LEGACY).build();
  VELMO_DELAY_CHAIN_OP op(m_env);

  // The query by setting misses: both delays come from the query by value.
  DELAY_CHAIN_VALUE_VEC_ELEMENT* v = op.set_delay_value(T(12), 2);
  EXPECT_EQ(v->setting, 2u);
  EXPECT_EQ(v->other_delay, 22u);
  EXPECT_EQ(v->horizontal_delay, 26u);
  delete v;

  op.build_auto_delay_chain_vec();
  EXPECT_EQ(op.get_delay_chain_info(T(305)), nullptr);  // folded into 152
  EXPECT_EQ(op.get_delay_chain_info(T(414)), nullptr);  // PLL chains off
  EXPECT_EQ(op.get_delay_chain_info(T(999)), nullptr);
  const DELAY_CHAIN_INFO_VEC_ELEMENT* d5 = op.get_delay_chain_info(T(152));
  ASSERT_NE(d5, nullptr);
  ASSERT_EQ(d5->values.size(), 12u);
  for (unsigned i = 0; i < 12; ++i) EXPECT_EQ(d5->values[i]->setting, i);
  // Record 6: coarse 1 (50 ps) plus fine 2 (100 ps); 55 ps steps horizontally.
  EXPECT_EQ(d5->values[6]->other_delay, 150u);
  EXPECT_EQ(d5->values[6]->horizontal_delay, 165u);
  EXPECT_EQ(op.get_delay_chain_info(T(144))->values.size(), 17u * 4u);
  // With PLL chains on, the PLL delay-chain types join; the phase shift
  // never has a record.
  cfg_set_on("velmo_auto_pll_delay_chain");
  VELMO_DELAY_CHAIN_OP pll(m_env);
  pll.build_auto_delay_chain_vec();
  EXPECT_NE(pll.get_delay_chain_info(T(414)), nullptr);
  EXPECT_EQ(pll.get_delay_chain_info(T(418)), nullptr);

  EXPECT_STREQ(velmo_get_delay_chain_string(T(297)), "Illegal");
  // Every chain type of the supported families has a name.
  for (int family : {46, 48, 26, 15}) {
    const auto& table = host::dc::table(family);
    for (const auto* types : {&table.user_types, &table.auto_types})
      for (int t : *types) EXPECT_STRNE(velmo_get_delay_chain_string(T(t)), "Illegal") << family << " " << t;
    for (const auto& [t, chain] : table.chains) EXPECT_STRNE(velmo_get_delay_chain_string(T(t)), "Illegal") << t;
  }
  EXPECT_STREQ(velmo_get_delay_chain_string(T(15)), velmo_get_delay_chain_string(T(294)));
  EXPECT_STREQ(velmo_get_delay_chain_string(T(147)), "D3_1 Delay Chain 1");
}

TEST_F(DelayChainOpTest, SlackRecordsOrderByAtomThenChainPriority) {
  host::testing::device(Family::IO_LEGACY).build();
  pins();
  VELMO_DELAY_CHAIN_OP op(m_env);
  auto& map = op.get_slack_map();
  for (int t : {152, 144, 145, 147, 146}) map[{dout, T(t)}] = new VELMO_SLACK_INFO;
  map[{din, T(152)}] = new VELMO_SLACK_INFO;
  TYPES order;
  for (const auto& [key, info] : map) order.push_back(key.atom == din ? -1 : key.type);
  EXPECT_EQ(order, (TYPES{-1, 146, 147, 145, 144, 152}));
}

TEST_F(DelayChainOpTest, PadOrientationOfPlacedAndLockedPins) {
  host::testing::device(Family::KY).grid(12, 10).build();
  pins();
  VELMO_DELAY_CHAIN_OP op(m_env);
  WEXAN_DEVICE* device = m_env->get_device();
  // Placed on the left (item 3), the right (item 4) and the bottom edge.
  ASSERT_TRUE(device->place_atom_at_sub_location(0, 3, 1, din->get_id()));
  EXPECT_TRUE(op.is_horizontal_pad(din));
  EXPECT_FALSE(op.is_vertical_pad(din));
  ASSERT_TRUE(device->place_atom_at_sub_location(11, 3, 7, din->get_id()));
  EXPECT_TRUE(op.is_horizontal_pad(din));
  ASSERT_TRUE(device->place_atom_at_sub_location(5, 0, 1, din->get_id()));
  EXPECT_FALSE(op.is_horizontal_pad(din));
  EXPECT_TRUE(op.is_vertical_pad(din));

  // Unplaced: the user's exact lock names the pad; a region its edges.
  EXPECT_FALSE(op.is_horizontal_pad(dout));
  EXPECT_FALSE(op.is_vertical_pad(dout));
  WEXAN_DESIGN* design = m_env->get_design();
  TIBEX_LOCATION_CONSTRAINT exact;
  exact.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(11, 4, 1), host::constraints::SOURCE_USER);
  design->set_atom_location_constraint(dout->get_id(), exact);
  EXPECT_TRUE(op.is_horizontal_pad(dout));
  TIBEX_LOCATION_CONSTRAINT box;
  box.add_locked(TIBEX_LOCKED_CONSTRAINT::box(3, 0, 6, 2), host::constraints::SOURCE_USER);
  design->set_atom_location_constraint(dout->get_id(), box);
  EXPECT_FALSE(op.is_horizontal_pad(dout));
  EXPECT_TRUE(op.is_vertical_pad(dout));
  TIBEX_LOCATION_CONSTRAINT right;
  right.add_locked(TIBEX_LOCKED_CONSTRAINT::box(8, 2, 11, 5), host::constraints::SOURCE_USER);
  design->set_atom_location_constraint(dout->get_id(), right);
  EXPECT_TRUE(op.is_horizontal_pad(dout));
  EXPECT_FALSE(op.is_vertical_pad(dout));
  // A lock that is not the user's does not count.
  TIBEX_LOCATION_CONSTRAINT packing;
  packing.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(0, 4, 1), host::constraints::SOURCE_IO_PACKING);
  design->set_atom_location_constraint(dout->get_id(), packing);
  EXPECT_FALSE(op.is_horizontal_pad(dout));
}

TEST_F(DelayChainOpTest, OutOfRangeOptionsAreRepairedOrRefusedByMode) {
  host::testing::device(Family::KY).build();
  pins();
  option("din", 449, 9);  // highest setting 7
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO));
    EXPECT_EQ(setting(din, 449), 0u);
    EXPECT_FALSE(flag(din, 449));
    EXPECT_TRUE(ids().empty());
  }
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES));
    const auto posted = host::messages::posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].id, 16159u);
    EXPECT_EQ(posted[0].text,
              "Can't set option Input Delay Chain 3 on pin din to 9 -- legal setting range is from 0 to 7 -- changed to the "
              "default 0");
  }
  // A protected pin is neither read nor repaired.
  host::drc::deny(din->get_id(), 24);
  yos_current_interface()->set_uint_data(din, T(449), 5);
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES));
    EXPECT_EQ(setting(din, 449), 5u);
    EXPECT_EQ(host::messages::posted().size(), 1u);
  }
  // A bad setting no option asked for is repaired without a word; an atom
  // that is no pin carries no pin chain and is left as it is.
  yos_current_interface()->set_uint_data(dout, T(430), 40);
  VOK_ATOM_NODE* reg = host::testing::netlist().find("r");
  yos_current_interface()->set_uint_data(reg, T(449), 40);
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::VALIDATE_CHAIN_INFO));
    EXPECT_EQ(setting(dout, 430), 0u);
    EXPECT_EQ(setting(reg, 449), 40u);
    EXPECT_EQ(host::messages::posted().size(), 1u);
  }
}

TEST_F(DelayChainOpTest, LegalityCheckReportsWithoutWriting) {
  host::testing::device(Family::KY).build();
  pins();
  option("din", 449, 9);
  auto n = host::testing::netlist();
  n.io_in("later");  // a later pin whose chains are all legal
  yos_current_interface()->set_uint_data(din, T(449), 9);
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_FALSE(op.work(VELMO_DELAY_CHAIN_OP::NETLIST_FLOW_LEGALITY_CHECK));
  EXPECT_EQ(setting(din, 449), 9u);
  EXPECT_EQ(ids(), (std::vector<unsigned>{16158}));
  EXPECT_EQ(host::messages::posted()[0].text,
            "Can't set option Input Delay Chain 3 on pin din to 9 -- legal setting range is from 0 to 7");
}

TEST_F(DelayChainOpTest, LegalOptionsAreWrittenFlaggedAndConsumed) {
  host::testing::device(Family::IO_LEGACY).build();
  pins();
  option("din", 12, 5);
  host::options::set(host::dc::moz_variable_of(13), 1, "on", "din");  // a bool option reads as 1
  host::options::set(host::dc::moz_variable_of(145), 6, "3", "din");  // another value type is no option
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES));
  EXPECT_EQ(setting(din, 12), 5u);
  EXPECT_TRUE(flag(din, 12));
  EXPECT_EQ(setting(din, 13), 1u);
  EXPECT_TRUE(OMZ_DERIVED_OPTION::get_single_option("din", host::dc::moz_variable_of(12), false)
                  ->get_assignment()
                  ->test_flag(14));
  EXPECT_FALSE(OMZ_DERIVED_OPTION::get_single_option("din", host::dc::moz_variable_of(145), false)
                   ->get_assignment()
                   ->test_flag(14));
  EXPECT_EQ(setting(din, 145), 0u);  // the default of a used chain
  // Chains the pin does not use get nothing; the output pin's input chains
  // neither.
  EXPECT_EQ(setting(din, 14), 0xFFFFFFFFu);
  EXPECT_EQ(setting(dout, 12), 0xFFFFFFFFu);
  EXPECT_EQ(setting(dout, 14), 0u);
  EXPECT_TRUE(ids().empty());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(" +
                                      std::to_string(din->get_id())}));
}

TEST_F(DelayChainOpTest, UnusedChainsAreClearedOrReported) {
  host::testing::device(Family::IO_LEGACY).build();
  pins();
  // The output pin does not use the input chains 12 and 13.
  yos_current_interface()->set_uint_data(dout, T(12), 3);
  yos_current_interface()->set_uint_data(dout, T(13), 2);
  yos_current_interface()->set_uint_data(dout, T(145), 0);
  auto n = host::testing::netlist();
  n.io_out("dout2", n.input_port("x"));
  VOK_ATOM_NODE* dout2 = n.find("dout2");
  yos_current_interface()->set_uint_data(dout2, T(12), 1);
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_FALSE(op.work(VELMO_DELAY_CHAIN_OP::NETLIST_FLOW_LEGALITY_CHECK));
    const auto posted = host::messages::posted();
    ASSERT_EQ(posted.size(), 2u);  // both chains of the first pin, then the walk stops
    EXPECT_EQ(posted[0].id, 16156u);
    EXPECT_EQ(posted[0].text, "Can't set option Pad to Core 0 to 3 -- option is not used on pin dout");
    EXPECT_EQ(posted[1].text, "Can't set option Pad to Core 1 to 2 -- option is not used on pin dout");
  }
  // Warning mode clears them, but not on a pin whose delay chains may not
  // be changed; only the chain with an option is reported.
  option("dout", 13, 2);
  n.io_out("dout3", n.input_port("y"));
  VOK_ATOM_NODE* dout3 = n.find("dout3");
  yos_current_interface()->set_uint_data(dout3, T(12), 1);
  host::drc::deny(dout3->get_id(), 24);
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::VALIDATE_TO_OTHER_ASSIGNMENTS));
    EXPECT_EQ(setting(dout, 12), 0u);
    EXPECT_EQ(setting(dout, 13), 0u);
    EXPECT_EQ(setting(dout2, 12), 0u);
    EXPECT_EQ(setting(dout3, 12), 1u);
    EXPECT_FALSE(flag(dout, 13));
    const auto posted = host::messages::posted();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[2].id, 16157u);
    EXPECT_EQ(posted[2].text,
              "Can't set option Pad to Core 1 to 2 -- option is not used in pin dout -- changed to 0");
  }
}

TEST_F(DelayChainOpTest, OlderFamilyCompilesThroughTheEarlySteps) {
  // Without an I/O atom utility every chain counts as used, on any family.
  host::testing::device(Family::IO_LEGACY).base_family_override(48).build();
  pins();
  VELMO_DELAY_CHAIN_OP op(m_env);
  for (auto step : {VELMO_DELAY_CHAIN_OP::READ_USER_INFO, VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES,
                    VELMO_DELAY_CHAIN_OP::VALIDATE_CHAIN_INFO, VELMO_DELAY_CHAIN_OP::VALIDATE_TO_OTHER_ASSIGNMENTS})
    EXPECT_TRUE(op.work(step)) << step;
  EXPECT_EQ(setting(dout, 12), 2u);  // the default of a pad that is not horizontal
  EXPECT_FALSE(op.is_delay_chain_used(T(414), din));
  EXPECT_TRUE(op.is_delay_chain_used(T(12), dout));
}

TEST_F(DelayChainOpTest, FailedWritesFailTheirAssignment) {
  host::testing::device(Family::KY).build();
  pins();
  option("din", 446, 4);
  host::dc::fail_writes(din->get_id(), 446);
  VELMO_DELAY_CHAIN_OP op(m_env);
  // A legal value that cannot be written: no flag, the option not consumed,
  // yet reading succeeds.
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES));
  EXPECT_FALSE(flag(din, 446));
  EXPECT_FALSE(OMZ_DERIVED_OPTION::get_single_option("din", host::dc::moz_variable_of(446), false)
                   ->get_assignment()
                   ->test_flag(14));
  // A bad setting whose default cannot be written fails step 2.
  host::dc::FAMILY_TABLE t = host::dc::table(46);
  t.chains[446].max_setting = 3;
  host::dc::set_table(46, t);
  yos_current_interface()->set_uint_data(din, T(446), 9);
  VELMO_DELAY_CHAIN_OP op2(m_env);
  EXPECT_FALSE(op2.work(VELMO_DELAY_CHAIN_OP::VALIDATE_CHAIN_INFO));
  EXPECT_EQ(setting(din, 446), 9u);
  EXPECT_FALSE(flag(din, 446));
}

TEST_F(DelayChainOpTest, ChosenSettingsDelaysAndPllEdgeCleanup) {
  host::dc::FAMILY_TABLE t = host::dc::table(19);
  t.chains[305].max_setting = 3;
  host::dc::set_table(19, t);
  host::testing::device(Family::IO_LEGACY).build();
  pins();
  VELMO_DELAY_CHAIN_OP op(m_env);
  // 7 with four fine settings: coarse 1, fine 3.
  EXPECT_TRUE(op.set_best_delay_chain_setting(dout, T(152), 7));
  EXPECT_EQ(setting(dout, 152), 1u);
  EXPECT_EQ(setting(dout, 305), 3u);
  // Pad-to-core chains take the setting as it is.
  EXPECT_TRUE(op.set_best_delay_chain_setting(din, T(12), 6));
  EXPECT_EQ(setting(din, 12), 6u);
  host::dc::fail_writes(dout->get_id(), 153);
  EXPECT_FALSE(op.set_best_delay_chain_setting(dout, T(153), 5));
  EXPECT_EQ(setting(dout, 301), 0xFFFFFFFFu);  // no fine write after a failed coarse one

  // Delays: by orientation, 0 past the highest setting or without a table.
  op.build_auto_delay_chain_vec();
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* port = n.input_port("p").oterm->get_my_node();
  EXPECT_EQ(op.get_dmf_value(T(14), 2, port), 100u);
  EXPECT_EQ(op.get_dmf_value(T(14), 4, port), 0u);
  EXPECT_EQ(op.get_dmf_value(T(999), 1, port), 0u);
  VOK_ATOM_NODE* reg = host::testing::netlist().find("r");
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.get_dmf_value(T(14), 1, reg); }).condition,
            "atom->is_input() || atom->is_output()");

  // PLL edges lose the atom with its relationships; emptied entries go.
  auto& edges = op.get_pll_delay_chain_edges();
  edges[1] = PLL_AFFECTED_KEM_EDGE{nullptr, {din}, {7}};
  edges[2] = PLL_AFFECTED_KEM_EDGE{nullptr, {din, dout, din}, {1, 2, 3}};
  op.get_pll_phase_shift_edges()[3] = PLL_AFFECTED_KEM_EDGE{nullptr, {din}, {4}};
  op.remove_invalid_atom(din);
  ASSERT_EQ(edges.size(), 1u);
  EXPECT_EQ(edges[2].atoms, (std::vector<VOK_ATOM_NODE*>{dout}));
  EXPECT_EQ(edges[2].relationships, (std::vector<std::int32_t>{2}));
  EXPECT_EQ(op.get_pll_phase_shift_edges().size(), 1u);
  edges[4] = PLL_AFFECTED_KEM_EDGE{nullptr, {din}, {}};
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.remove_invalid_atom(dout); }).condition,
            "atom_vec->size() == rel_vec->size()");
}

TEST_F(DelayChainOpTest, DqsBitsCoverTheAtomsTheyWereBuiltFor) {
  host::testing::device(Family::KY).build();
  pins();
  host::dc::mark_dqs(din->get_id());
  host::dc::mark_dq(dout->get_id());
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_TRUE(op.is_dqs(din));
  EXPECT_FALSE(op.is_dqs(dout));
  EXPECT_TRUE(op.is_dq(dout));
  auto n = host::testing::netlist();
  n.io_in("late");
  VOK_ATOM_NODE* late = n.find("late");
  host::dc::mark_dqs(late->get_id());
  EXPECT_FALSE(op.is_dqs(late));  // made after the bits
  op.init_bool_atom_is_dqs_vec();
  EXPECT_TRUE(op.is_dqs(late));
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.is_dqs(nullptr); }).condition, "atom != NULL");
}

}  // namespace
