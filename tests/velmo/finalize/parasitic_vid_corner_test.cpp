// Hold-fix corner selection on parts with voltage-identified corners: which
// switch keeps a corner at a voltage other than the defaults'.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kem/kem_timing_model.h"
#include "velmo_finalize_parasitics.h"

namespace {

using velmo_parasitics::CORNER_RULES;
using velmo_parasitics::select_corners;

bool selected(const std::vector<KEM_TIMING_MODEL>& out, const KEM_TIMING_MODEL& m) {
  return std::find(out.begin(), out.end(), m) != out.end();
}

// Slow corners and corners at the fast default's temperature answer to the
// slow-cold switch, whatever their kind; fast corners at the slow default's
// temperature answer to the slow-hot switch. The default corners themselves
// stay whatever the switches say.
TEST(ParasiticVidCornerSelection, OffDefaultVoltageCornersFollowTheirTemperatureSwitch) {
  const KEM_TIMING_MODEL S(1, KEM_TIMING_MODEL::SLOW, 900, 100), F(1, KEM_TIMING_MODEL::FAST, 900, -40);
  const KEM_TIMING_MODEL cold_fast(1, KEM_TIMING_MODEL::FAST, 850, -40), cold_slow(1, KEM_TIMING_MODEL::SLOW, 850, -40),
      hot_slow(1, KEM_TIMING_MODEL::SLOW, 850, 100), hot_fast(1, KEM_TIMING_MODEL::FAST, 850, 100);
  const std::vector<KEM_TIMING_MODEL> part{S, F, cold_fast, cold_slow, hot_slow, hot_fast};
  for (int slow_cold : {0, 1, 2}) {
    for (int slow_hot : {0, 1}) {
      CORNER_RULES rules;
      rules.voltage = -2;
      rules.vid_part = true;
      rules.vid_slow_cold = slow_cold;
      rules.vid_slow_hot = slow_hot;
      const std::vector<KEM_TIMING_MODEL> out = select_corners(part, S, F, rules);
      SCOPED_TRACE("slow_cold " + std::to_string(slow_cold) + ", slow_hot " + std::to_string(slow_hot));
      EXPECT_TRUE(selected(out, S));
      EXPECT_TRUE(selected(out, F));
      EXPECT_EQ(selected(out, cold_fast), slow_cold != 0);
      EXPECT_EQ(selected(out, cold_slow), slow_cold != 0);
      EXPECT_EQ(selected(out, hot_slow), slow_cold != 0);
      EXPECT_EQ(selected(out, hot_fast), slow_hot != 0);
    }
  }
  // Without the trait every corner at a default temperature is kept.
  CORNER_RULES plain;
  plain.voltage = -2;
  plain.vid_slow_cold = 0;
  plain.vid_slow_hot = 0;
  EXPECT_EQ(select_corners(part, S, F, plain), part);
}

}  // namespace
