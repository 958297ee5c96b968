// The IOPLL chains without YEB cell delays (wexan_iopll_use_yeb_cell_delays
// off when the component is loaded).
#include <gtest/gtest.h>

#include <string>

#include "common/host_call_log.h"
#include "pexa/pexa_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_pll_delay_chains_op.h"
#include "yeb/yeb_timing_model.h"

using host::testing::Family;

namespace {

struct PROBE : VELMO_PLL_DELAY_CHAINS_OP {
  using VELMO_PLL_DELAY_CHAINS_OP::VELMO_PLL_DELAY_CHAINS_OP;
  using WEXAN_PLL_DELAY_CHAINS_OP::m_delay_models;
};

class PllNoCellDelaysTest : public host::testing::EnvTest {};

TEST_F(PllNoCellDelaysTest, ChainsKeepMeasurementsWithoutCellDelaysOrTimingModels) {
  host::testing::device(Family::KY).device_enum(611).build();
  host::pexa::set_loaded_timing_model_enum(0, DEV_TIMING_MODEL_INVALID);  // not read at all
  PROBE op(m_env);
  op.construct_delay_models();
  const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& m = op.m_delay_models[0];
  for (const auto* g : {&m.m_input_delay_chains, &m.m_feedback_delay_chains})
    for (const auto& c : g->m_delay_chains) {
      EXPECT_EQ(c.m_fast_cell_delay, 0.0f);
      EXPECT_EQ(c.m_slow_cell_delay, 0.0f);
      EXPECT_EQ(c.m_measured_delays.size(), 12u);
    }
  EXPECT_EQ(op.m_delay_models[1].m_input_delay_chains.m_delay_chains[0].m_fast_cell_delay, 1.0e30f);
  for (const auto& call : host::call_lines())
    EXPECT_EQ(call.find("YEB_TIMING_MODEL::get_timing_model"), std::string::npos) << call;
}

}  // namespace
