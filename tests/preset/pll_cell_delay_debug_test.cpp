// The PLL chains' cell-delay debug lines, switched on when the component is
// loaded (wexan_yeb_cell_delay_debug_msg=on).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "msg/msg_base.h"
#include "pexa/pexa_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_pll_delay_chains_op.h"

using host::testing::Family;

namespace {

class PllCellDelayDebugTest : public host::testing::EnvTest {
protected:
  // The standard-output lines of one model construction.
  std::vector<std::string> construct(int family) {
    host::testing::device(family).device_enum(611).build();
    host::pexa::set_loaded_timing_model_enum(1, 1);
    VELMO_PLL_DELAY_CHAINS_OP op(m_env);
    ::testing::internal::CaptureStdout();
    op.construct_delay_models();
    const std::string out = ::testing::internal::GetCapturedStdout();
    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
      lines.push_back(out.substr(at, nl - at));
    return lines;
  }
  static std::vector<std::string> averages() {
    std::vector<std::string> out;
    for (const auto& t : host::debug::texts())
      if (t.find("WEXAN_YEB_CELL_DELAY_DEBUG: The average YEB cell delay is delay is") == 0) out.push_back(t);
    return out;
  }
};

TEST_F(PllCellDelayDebugTest, EachChainReportsItsSlowThenItsFastRecord) {
  const std::vector<std::string> lines = construct(Family::KY);
  ASSERT_EQ(lines.size(), 12u);
  const char* chains[6] = {"n_buf", "n_coarse", "n_fine", "m_buf", "m_coarse", "m_fine"};
  for (int i = 0; i < 6; ++i)
    for (int k : {0, 1})
      EXPECT_EQ(lines[2 * i + k].rfind(std::string("WEXAN_YEB_CELL_DELAY_DEBUG: init_yeb_cell_delay for delay_chain '") +
                                           chains[i] + "' : \t{",
                                       0),
                0u)
          << lines[2 * i + k];
  // n_buf: 1214 ps at the slow corner, 0.65 of it at the fast one.
  EXPECT_NE(lines[0].find("{1.214e-09 "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("{7.891e-10 "), std::string::npos) << lines[1];
  const std::vector<std::string> avg = averages();
  ASSERT_EQ(avg.size(), 12u);
  EXPECT_NE(avg[0].find("is delay is 1153.3"), std::string::npos) << avg[0];
  EXPECT_NE(avg[1].find("is delay is 749.6"), std::string::npos) << avg[1];
}

TEST_F(PllCellDelayDebugTest, Family48PrintsNothing) {
  EXPECT_TRUE(construct(Family::KX).empty());
  EXPECT_TRUE(averages().empty());
}

}  // namespace
