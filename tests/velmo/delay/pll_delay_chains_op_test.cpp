// The PLL delay-chain operation: its hooks, the IOPLL and CMU FPLL delay
// models, and the host's compensation driven by them.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "msg/msg_base.h"
#include "pexa/pexa_utility.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_pll_delay_chains_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "yeb/yeb_timing_model.h"
#include "yos/yos_interface.h"
#include "yos/yos_translator.h"

using host::testing::Family;

namespace {

// The operation with its models in reach.
struct PROBE : VELMO_PLL_DELAY_CHAINS_OP {
  using VELMO_PLL_DELAY_CHAINS_OP::VELMO_PLL_DELAY_CHAINS_OP;
  using WEXAN_PLL_DELAY_CHAINS_OP::m_delay_models;
};

std::string name(const WEXAN_DELAY_CHAIN_INFO& c) { return c.m_param_symbol.get().cname(); }
std::vector<std::string> names(const WEXAN_DELAY_CHAIN_GROUP& g) {
  std::vector<std::string> out;
  for (const auto& c : g.m_delay_chains) out.push_back(name(c));
  return out;
}
std::vector<int> settings(const WEXAN_DELAY_CHAIN_GROUP& g) {
  std::vector<int> out;
  for (const auto& c : g.m_delay_chains) out.push_back(c.m_num_settings);
  return out;
}
std::vector<int> defaults(const WEXAN_DELAY_CHAIN_GROUP& g) {
  std::vector<int> out;
  for (const auto& c : g.m_delay_chains) out.push_back(c.m_default_step_delay);
  return out;
}
// Every chain without measurements carries its nominal description alone.
void expect_nominal(const WEXAN_DELAY_CHAIN_INFO& c) {
  EXPECT_EQ(c.m_measured_delays.size(), 0u) << name(c);
  EXPECT_EQ(c.m_fast_cell_delay, 1.0e30f) << name(c);
  EXPECT_EQ(c.m_slow_cell_delay, 1.0e30f) << name(c);
  EXPECT_EQ(c.m_default_step_delay, c.m_step.get_ps()) << name(c);
}
long long time_param(const VOK_ATOM_NODE* atom, const std::string& param) {
  long long v = 0;
  const YOS_TIME_DATA_ENUM id = YOS_TRANSLATOR::get_instance()->get_time_enum_of(PELK::intern(7, param));
  return yos_current_interface()->get_time_data(atom, id, &v) ? v : 999999;
}

class PllDelayChainsOpTest : public host::testing::EnvTest {
protected:
  const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& build(int family, int device = 611) {
    host::testing::device(family).device_enum(device).build();
    host::pexa::set_loaded_timing_model_enum(1, 1);  // the fast corner
    op = std::make_unique<PROBE>(m_env);
    op->construct_delay_models();
    return op->m_delay_models[0];
  }
  std::unique_ptr<PROBE> op;
};

TEST_F(PllDelayChainsOpTest, CountersMapToLvdsPortsAndNullOutputsAreErrors) {
  VELMO_PLL_DELAY_CHAINS_OP op(m_env);
  const int types[4] = {9563, 4379, 9563, 4379};
  for (unsigned long c = 0; c < 4; ++c) {
    DB_OUTPUT_PORT_TYPE port = static_cast<DB_OUTPUT_PORT_TYPE>(-1);
    unsigned short index = 77;
    EXPECT_TRUE(op.fill_in_lvds_port_type_and_index_for_c_counter(c, &port, &index));
    EXPECT_EQ(port, types[c]);
    EXPECT_EQ(index, c / 2);
  }
  DB_OUTPUT_PORT_TYPE port = static_cast<DB_OUTPUT_PORT_TYPE>(-1);
  unsigned short index = 77;
  EXPECT_FALSE(op.fill_in_lvds_port_type_and_index_for_c_counter(4, &port, &index));
  EXPECT_EQ(port, -1);
  EXPECT_EQ(index, 77);
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.fill_in_lvds_port_type_and_index_for_c_counter(4, nullptr, &index); }).condition, "port");
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.fill_in_lvds_port_type_and_index_for_c_counter(0, &port, nullptr); }).condition, "index");
}

TEST_F(PllDelayChainsOpTest, ModelIndexFollowsTheAtomType) {
  VELMO_PLL_DELAY_CHAINS_OP op(m_env);
  auto n = host::testing::netlist();
  n.iopll("io");
  n.cmu_fpll("cmu");
  n.blackbox("box");
  EXPECT_EQ(op.get_delay_model_index(n.find("io")), 0u);  // 422
  EXPECT_EQ(op.get_delay_model_index(n.find("cmu")), 1u);
  EXPECT_EQ(op.get_delay_model_index(n.find("box")), 2u);
  for (int type : {145, 298}) {
    std::unique_ptr<VOK_ATOM_NODE> atom(VOK_ATOM_FACTORY::create_node(type, false));
    EXPECT_EQ(op.get_delay_model_index(atom.get()), 0u) << type;
  }
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.get_delay_model_index(nullptr); }).condition, "atom");
}

TEST_F(PllDelayChainsOpTest, OverrideOnlyForModeSixOnFamily48) {
  const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model = build(Family::KX);
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* pll = n.iopll("pll").atom();
  using MODE = ZMP_ENUM_TYPE<VOK_PLL_COMPENSATION_MODE_ENUM>;
  EXPECT_FALSE(op->corner_case_override_done(nullptr, MODE(VOK_PLL_COMPENSATION_MODE_ENUM(6)), model));
  EXPECT_FALSE(op->corner_case_override_done(pll, MODE(VOK_PLL_COMPENSATION_MODE_ENUM(5)), model));
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_N_BUF_DLY"), 999999);
  EXPECT_TRUE(op->corner_case_override_done(pll, MODE(VOK_PLL_COMPENSATION_MODE_ENUM(6)), model));
  for (const char* p : {"TIME_IOPLL_N_BUF_DLY", "TIME_IOPLL_M_CNT_FINE_DLY", "TIME_IOPLL_C_CNT_8_FINE_DLY",
                        "TIME_IOPLL_PLL_COARSE_DLY_3"})
    EXPECT_EQ(time_param(pll, p), -400) << p;

  host::testing::device(Family::code(47)).build();
  VOK_ATOM_NODE* other = n.iopll("other").atom();
  EXPECT_FALSE(op->corner_case_override_done(other, MODE(VOK_PLL_COMPENSATION_MODE_ENUM(6)), model));
  EXPECT_EQ(time_param(other, "TIME_IOPLL_N_BUF_DLY"), 999999);
}

TEST_F(PllDelayChainsOpTest, IopllModelOfFamily46) {
  const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& m = build(Family::KY);
  EXPECT_TRUE(m.m_constructed);
  EXPECT_EQ(names(m.m_input_delay_chains),
            (std::vector<std::string>{"TIME_IOPLL_N_BUF_DLY", "TIME_IOPLL_N_CNT_COARSE_DLY", "TIME_IOPLL_N_CNT_FINE_DLY"}));
  EXPECT_EQ(names(m.m_feedback_delay_chains),
            (std::vector<std::string>{"TIME_IOPLL_M_BUF_DLY", "TIME_IOPLL_M_CNT_COARSE_DLY", "TIME_IOPLL_M_CNT_FINE_DLY"}));
  EXPECT_EQ(settings(m.m_input_delay_chains), (std::vector<int>{5, 5, 3}));
  EXPECT_EQ(settings(m.m_feedback_delay_chains), (std::vector<int>{3, 5, 3}));
  EXPECT_EQ(defaults(m.m_input_delay_chains), (std::vector<int>{1214, 303, 75}));
  EXPECT_EQ(defaults(m.m_feedback_delay_chains), (std::vector<int>{1213, 322, 80}));
  EXPECT_TRUE(m.m_input_delay_chains.m_valid);
  EXPECT_TRUE(m.m_input_delay_chains.m_enable_key.get().is_null());
  // Measured maps of the device and cell delays of both timing models.
  const WEXAN_DELAY_CHAIN_INFO& n_buf = m.m_input_delay_chains.m_delay_chains[0];
  EXPECT_EQ(n_buf.m_measured_delays.size(), 12u);
  EXPECT_EQ(*n_buf.m_measured_delays.lookup("MIN_fast_900mv_100c"), 667);
  EXPECT_EQ(n_buf.m_step.get_ps(), 1000);
  EXPECT_FLOAT_EQ(n_buf.m_slow_cell_delay, 0.95f * 1214e-12f);
  EXPECT_FLOAT_EQ(n_buf.m_fast_cell_delay, 0.95f * 0.65f * 1214e-12f);
  EXPECT_FLOAT_EQ(m.m_feedback_delay_chains.m_delay_chains[2].m_slow_cell_delay, 0.95f * 80e-12f);
  // Nine counter groups, four LVDS groups with enable keys.
  ASSERT_EQ(m.m_output_delay_chains.size(), 9u);
  EXPECT_EQ(names(m.m_output_delay_chains[8]),
            (std::vector<std::string>{"TIME_IOPLL_C_CNT_8_COARSE_DLY", "TIME_IOPLL_C_CNT_8_FINE_DLY"}));
  ASSERT_EQ(m.m_lvds_delay_chains.size(), 4u);
  EXPECT_EQ(names(m.m_lvds_delay_chains[2]),
            (std::vector<std::string>{"TIME_IOPLL_PLL_COARSE_DLY_2", "TIME_IOPLL_PLL_FINE_DLY_2"}));
  EXPECT_STREQ(m.m_lvds_delay_chains[3].m_enable_key.get().cname(), "BOOL_IOPLL_PLL_DLY_3_ENABLE");
  for (const auto* groups : {&m.m_output_delay_chains, &m.m_lvds_delay_chains})
    for (const auto& g : *groups) {
      EXPECT_TRUE(g.m_valid);
      EXPECT_EQ(settings(g), (std::vector<int>{5, 3}));
      for (const auto& c : g.m_delay_chains) expect_nominal(c);
    }
  // The per-step delays the model fixed at the slow corner: measured values.
  EXPECT_EQ(m.get_step_delays().at(0), *n_buf.m_measured_delays.lookup("1_slow_900mv_100c"));
}

TEST_F(PllDelayChainsOpTest, IopllModelOfFamily26AndOthers) {
  {
    const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& m = build(Family::KZ, 7);  // a device without measurements
    EXPECT_EQ(names(m.m_input_delay_chains),
              (std::vector<std::string>{"TIME_IOPLL_N_BUF_DLY", "TIME_IOPLL_N_COARSE_DLY", "TIME_IOPLL_N_FINE_DLY"}));
    EXPECT_EQ(names(m.m_feedback_delay_chains),
              (std::vector<std::string>{"TIME_IOPLL_M_BUF_DLY", "TIME_IOPLL_M_COARSE_DLY", "TIME_IOPLL_M_FINE_DLY"}));
    EXPECT_EQ(settings(m.m_feedback_delay_chains), (std::vector<int>{3, 5, 3}));
    EXPECT_EQ(m.m_input_delay_chains.m_delay_chains[0].m_measured_delays.size(), 0u);
    EXPECT_EQ(m.get_step_delays().at(0), 1214);
    EXPECT_EQ(names(m.m_output_delay_chains[0]),
              (std::vector<std::string>{"TIME_IOPLL_C0_COARSE_DLY", "TIME_IOPLL_C0_FINE_DLY"}));
    ASSERT_EQ(m.m_lvds_delay_chains.size(), 4u);
    EXPECT_EQ(names(m.m_lvds_delay_chains[1]),
              (std::vector<std::string>{"TIME_IOPLL_LOADEN_0_COARSE_DLY", "TIME_IOPLL_LOADEN_0_FINE_DLY"}));
    EXPECT_EQ(names(m.m_lvds_delay_chains[2]),
              (std::vector<std::string>{"TIME_IOPLL_LVDSCLK_1_COARSE_DLY", "TIME_IOPLL_LVDSCLK_1_FINE_DLY"}));
    for (const auto& g : m.m_lvds_delay_chains) EXPECT_TRUE(g.m_enable_key.get().is_null());
  }
  const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& m = build(Family::IO_LEGACY, 7);
  EXPECT_EQ(settings(m.m_feedback_delay_chains), (std::vector<int>{5, 5, 3}));
  EXPECT_EQ(names(m.m_output_delay_chains[3])[1], "TIME_IOPLL_C_CNT_3_FINE_DLY");
  EXPECT_FALSE(m.m_lvds_delay_chains[0].m_enable_key.get().is_null());
}

TEST_F(PllDelayChainsOpTest, Family48TakesNoTimingModelsAndKeepsMeasurements) {
  host::pexa::set_loaded_timing_model_enum(0, DEV_TIMING_MODEL_INVALID);
  const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& m = build(Family::KX);
  for (const auto* g : {&m.m_input_delay_chains, &m.m_feedback_delay_chains})
    for (const auto& c : g->m_delay_chains) {
      EXPECT_EQ(c.m_fast_cell_delay, 0.0f);
      EXPECT_EQ(c.m_slow_cell_delay, 0.0f);
      EXPECT_EQ(c.m_measured_delays.size(), 12u);
    }
  for (const auto& call : host::call_lines()) EXPECT_EQ(call.find("YEB_TIMING_MODEL::get_timing_model"), std::string::npos);
  for (const auto& t : host::debug::texts()) EXPECT_EQ(t.find("WEXAN_YEB_CELL_DELAY_DEBUG"), std::string::npos);
}

TEST_F(PllDelayChainsOpTest, CellDelayIsTheAbsoluteMeanOfEightValues) {
  YEB_CELL_DELAY r;
  for (int i = 0; i < 8; ++i) r.values[i] = -(i + 1) * 1.0e-10f;
  r.values[8] = -5.0e-9f;  // beyond the eight: not counted
  host::yeb::set_cell_delay(-1, 222, r);
  const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& m = build(Family::KY);
  EXPECT_FLOAT_EQ(m.m_input_delay_chains.m_delay_chains[0].m_slow_cell_delay, 4.5e-10f);
  EXPECT_FLOAT_EQ(m.m_input_delay_chains.m_delay_chains[0].m_fast_cell_delay, 4.5e-10f);
  // The model fetched is the device's own, fast first, then slow.
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"YEB_TIMING_MODEL::get_timing_model(611, 1, 1, false, false, true)",
                                                "YEB_TIMING_MODEL::get_timing_model(611, 0, 0, false, false, true)"}));
  // Without the debug switch nothing is printed.
  for (const auto& t : host::debug::texts()) EXPECT_EQ(t.find("WEXAN_YEB_CELL_DELAY_DEBUG"), std::string::npos);
}

TEST_F(PllDelayChainsOpTest, InvalidTimingModelIsAnErrorBeforeAnyGroup) {
  host::testing::device(Family::KY).device_enum(611).build();
  host::pexa::set_loaded_timing_model_enum(1, DEV_TIMING_MODEL_INVALID);
  PROBE op(m_env);
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.construct_delay_models(); }).condition,
            "dev_timing_model_enum != DEV_TIMING_MODEL_INVALID");
  ASSERT_EQ(op.m_delay_models.size(), 2u);
  EXPECT_TRUE(op.m_delay_models[0].m_input_delay_chains.m_delay_chains.empty());
  EXPECT_FALSE(op.m_delay_models[0].m_constructed);
}

TEST_F(PllDelayChainsOpTest, ConstructionKeepsTwoModelsAndDoesNotClearThem) {
  host::testing::device(Family::KY).device_enum(611).build();
  PROBE op(m_env);
  op.m_delay_models.resize(3);
  op.m_delay_models[0].add_output_delay_chains(WEXAN_DELAY_CHAIN_GROUP());
  op.m_delay_models[0].m_input_delay_chains.add_delay_chain_info(WEXAN_DELAY_CHAIN_INFO());
  op.construct_delay_models();
  ASSERT_EQ(op.m_delay_models.size(), 2u);
  EXPECT_EQ(op.m_delay_models[0].m_output_delay_chains.size(), 10u);  // appended after the old one
  EXPECT_EQ(op.m_delay_models[0].m_input_delay_chains.m_delay_chains.size(), 3u);  // replaced
}

TEST_F(PllDelayChainsOpTest, CmuFpllModelIsNominalOnEveryFamily) {
  for (int family : {Family::KY, Family::KZ, Family::KX}) {
    build(family);
    const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& m = op->m_delay_models[1];
    EXPECT_TRUE(m.m_constructed);
    EXPECT_EQ(names(m.m_input_delay_chains), (std::vector<std::string>{"TIME_CMU_FPLL_N_BUF_DLY", "TIME_CMU_FPLL_N_COARSE_DLY",
                                                                       "TIME_CMU_FPLL_N_FINE_DLY"}));
    EXPECT_EQ(names(m.m_feedback_delay_chains), (std::vector<std::string>{"TIME_CMU_FPLL_M_BUF_DLY", "TIME_CMU_FPLL_M_COARSE_DLY",
                                                                          "TIME_CMU_FPLL_M_FINE_DLY"}));
    EXPECT_EQ(YOS_TRANSLATOR::get_instance()->get_time_enum_of(m.m_input_delay_chains.m_delay_chains[0].m_param_symbol.get()), 140);
    EXPECT_EQ(settings(m.m_input_delay_chains), (std::vector<int>{5, 5, 3}));
    EXPECT_EQ(settings(m.m_feedback_delay_chains), (std::vector<int>{5, 5, 3}));
    // Buffer, coarse and fine steps of 1000, 200 and 50 ps on both paths.
    for (const auto* g : {&m.m_input_delay_chains, &m.m_feedback_delay_chains}) {
      std::vector<long long> steps;
      for (const auto& c : g->m_delay_chains) steps.push_back(c.m_step.get_ps());
      EXPECT_EQ(steps, (std::vector<long long>{1000, 200, 50})) << family;
    }
    ASSERT_EQ(m.m_output_delay_chains.size(), 4u);
    EXPECT_EQ(names(m.m_output_delay_chains[3]),
              (std::vector<std::string>{"TIME_CMU_FPLL_C_CNT_3_COARSE_DLY", "TIME_CMU_FPLL_C_CNT_3_FINE_DLY"}));
    EXPECT_TRUE(m.m_lvds_delay_chains.empty());
    int chains = 0;
    for (const auto* g : {&m.m_input_delay_chains, &m.m_feedback_delay_chains}) {
      EXPECT_TRUE(g->m_valid);
      for (const auto& c : g->m_delay_chains) expect_nominal(c), ++chains;
    }
    for (const auto& g : m.m_output_delay_chains)
      for (const auto& c : g.m_delay_chains) expect_nominal(c), ++chains;
    EXPECT_EQ(chains, 14);
  }
}

// ---------------------------------------------------------------- compensation

class PllCompensationTest : public host::testing::EnvTest {
protected:
  // clk -> pll (refclk; feedback from its second output) -> r; q and r2 on
  // clk directly; q feeds both r and r2, so setup(q->r) - setup(q->r2) is
  // r's clock skew against the directly clocked register.
  void design(int family, int device, int mode) {
    host::testing::device(family).device_enum(device).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.clock("clk", 4000, clk);
    auto pll = n.iopll("pll").ref(clk).outputs(2).compensation(mode);
    pll.fb(pll.out(DB_OUTPUT_PORT_DATA, 1));
    auto q = n.reg("q").clk(clk).d(n.input_port("in"));
    n.reg("r").clk(pll.out()).d(q);
    n.reg("r2").clk(clk).d(q);
    this->pll = n.find("pll");
  }
  void analyse() {
    m_env->indicate_that_atom_netlist_is_modified();
    m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  }
  int setup_into(const char* reg, int corner) const {
    KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
    VOK_ATOM_NODE* atom = host::testing::netlist().find(reg);
    const KEM_NODE* node = kem->get_kem_node_from_iterm(atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
    return host::sta::edge_setup_slack(kem->get_edge(node->begin_fanin())->get_id(), corner);
  }
  int skew(int corner) const { return setup_into("r", corner) - setup_into("r2", corner); }
  bool run() {
    VELMO_PLL_DELAY_CHAINS_OP op(m_env);
    return op.WEXAN_PLL_DELAY_CHAINS_OP::work(PLL_OPTIMIZATION_MODE_DEFAULT);
  }
  VOK_ATOM_NODE* pll = nullptr;
};

TEST_F(PllCompensationTest, SettingsCancelTheClockNetworkBest) {
  design(Family::KY, 1, 1);  // no measurements: the default step delays
  analyse();
  EXPECT_EQ(skew(0), 150);  // the PLL's 50 ps and 100 ps to r
  EXPECT_TRUE(run());
  // The least |100 + in - fb| of all settings is 1: n_coarse 1 (303) against
  // m_coarse 1 and m_fine 1 (402), written as nominal times.
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_N_BUF_DLY"), 0);
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_N_CNT_COARSE_DLY"), 200);
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_N_CNT_FINE_DLY"), 0);
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_M_BUF_DLY"), 0);
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_M_CNT_COARSE_DLY"), 200);
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_M_CNT_FINE_DLY"), 50);
  analyse();
  EXPECT_EQ(skew(0), 1);
  // Nothing better: moving any one chain by a step makes the skew larger.
  for (const char* p : {"TIME_IOPLL_N_CNT_FINE_DLY", "TIME_IOPLL_M_CNT_FINE_DLY", "TIME_IOPLL_N_CNT_COARSE_DLY"}) {
    const YOS_TIME_DATA_ENUM id = YOS_TRANSLATOR::get_instance()->get_time_enum_of(PELK::intern(7, p));
    const long long old = time_param(pll, p);
    yos_current_interface()->set_time_data(pll, id, old == 0 ? 50 : old - 50);
    analyse();
    EXPECT_GT(std::abs(skew(0)), 1) << p;
    yos_current_interface()->set_time_data(pll, id, old);
  }
}

TEST_F(PllCompensationTest, DirectModeAndOtherPllsAreLeftAlone) {
  design(Family::KY, 1, 0);
  analyse();
  EXPECT_TRUE(run());
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_N_BUF_DLY"), 999999);
  analyse();
  EXPECT_EQ(skew(0), 150);
}

TEST_F(PllCompensationTest, EngineeringOverrideOnFamily48) {
  design(Family::KX, 1, 6);
  analyse();
  EXPECT_TRUE(run());
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_N_BUF_DLY"), -400);
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_M_CNT_FINE_DLY"), -400);
  EXPECT_EQ(time_param(pll, "TIME_IOPLL_C_CNT_0_COARSE_DLY"), -400);
  for (const auto& call : host::call_lines()) EXPECT_EQ(call.find("WEXAN_PLL_DELAY_CHAINS_OP::compensate"), std::string::npos);
  // The analysis takes the written times, each scaled by its chain's step
  // delay over its step (rounded): input -486 - 606 - 600, feedback
  // -485 - 644 - 640, so the PLL adds 77 ps to the 100 ps network.
  analyse();
  EXPECT_EQ(skew(0), 177);
}

TEST_F(PllCompensationTest, AnalysisFollowsTheSettingsAtBothCorners) {
  design(Family::KY, 611, 1);
  analyse();
  EXPECT_TRUE(run());
  analyse();
  const char* in[3] = {"n_buf", "n_coarse", "n_fine"};
  const char* in_p[3] = {"TIME_IOPLL_N_BUF_DLY", "TIME_IOPLL_N_CNT_COARSE_DLY", "TIME_IOPLL_N_CNT_FINE_DLY"};
  const char* fb[3] = {"m_buf", "m_coarse", "m_fine"};
  const char* fb_p[3] = {"TIME_IOPLL_M_BUF_DLY", "TIME_IOPLL_M_CNT_COARSE_DLY", "TIME_IOPLL_M_CNT_FINE_DLY"};
  const int steps[3] = {1000, 200, 50};
  const char* corner_names[2] = {"1_slow_900mv_100c", "MIN_fast_900mv_-40c"};
  const int network[2] = {100, 65};
  for (int c : {0, 1}) {
    long long expect = network[c];
    for (int k = 0; k < 3; ++k) {
      expect += time_param(pll, in_p[k]) / steps[k] *
                *velmo_pll_delay_chains_create_op_map(static_cast<DEV_DEVICE_ENUM>(611), in[k]).lookup(corner_names[c]);
      expect -= time_param(pll, fb_p[k]) / steps[k] *
                *velmo_pll_delay_chains_create_op_map(static_cast<DEV_DEVICE_ENUM>(611), fb[k]).lookup(corner_names[c]);
    }
    EXPECT_EQ(skew(c), expect) << c;
  }
}

}  // namespace
