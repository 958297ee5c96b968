// Per-kind timing models: one shared object per (device, kind, model), and
// the cell-delay records they answer.
#include <gtest/gtest.h>

#include <sstream>

#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "yeb/yeb_timing_model.h"

namespace {

class YebKindModelTest : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();  // corners: 0 slow, 1 fast
  }
  static std::shared_ptr<YEB_TIMING_MODEL> model(int kind, int timing_model, int device = 1) {
    return YEB_TIMING_MODEL::get_timing_model(static_cast<DEV_DEVICE_ENUM>(device), kind, timing_model, nullptr,
                                              nullptr, false, false, true);
  }
};

TEST_F(YebKindModelTest, OneModelPerDeviceKindAndTimingModel) {
  const auto a = model(1, 1);
  EXPECT_EQ(a, model(1, 1));
  EXPECT_NE(a, model(0, 1));
  EXPECT_NE(a, model(1, 0));
  EXPECT_NE(a, model(1, 1, 2));
  EXPECT_EQ(a->get_kind(), 1);
  EXPECT_EQ(a->get_timing_model_enum(), 1);
  EXPECT_EQ(a->get_user_string(), "fast_900mv_-40c");
  // A model the device does not know takes the kind's first corner.
  EXPECT_EQ(model(1, 7)->get_user_string(), "fast_900mv_-40c");
  EXPECT_EQ(model(0, 7)->get_user_string(), "slow_900mv_100c");

  bool real = false, sampled = true;
  host::yeb::set_model_flags(1, true, false);
  YEB_TIMING_MODEL::get_timing_model(static_cast<DEV_DEVICE_ENUM>(1), 1, 1, &real, &sampled, false, false, false);
  EXPECT_TRUE(real);
  EXPECT_FALSE(sampled);
}

TEST_F(YebKindModelTest, PllChainKindsHaveGeneratedRecordsScaledByCorner) {
  const YEB_CELL_DELAY slow = model(0, 0)->get_cell_delay(222, 0);
  const YEB_CELL_DELAY fast = model(1, 1)->get_cell_delay(222, 0);
  EXPECT_TRUE(slow.flag);
  EXPECT_FLOAT_EQ(slow.values[0], 1214e-12f);
  EXPECT_FLOAT_EQ(slow.values[1], 1.02f * 1214e-12f);
  EXPECT_FLOAT_EQ(slow.values[7], 0.88f * 1214e-12f);
  EXPECT_FALSE(slow.has(8));
  EXPECT_FLOAT_EQ(fast.values[4], 0.65f * 1214e-12f);
  EXPECT_FLOAT_EQ(model(0, 0)->get_cell_delay(218, 0).values[0], 75e-12f);
  EXPECT_FLOAT_EQ(model(0, 0)->get_cell_delay(221, 0).values[2], 0.9f * 322e-12f);
  // The I/O chain kinds and kind 234 have no record of their own.
  for (int kind : {207, 209, 211, 213, 215, 234}) {
    const YEB_CELL_DELAY none = model(0, 0)->get_cell_delay(kind, 0);
    EXPECT_FALSE(none.flag) << kind;
    EXPECT_FALSE(none.has(0)) << kind;
  }
}

TEST_F(YebKindModelTest, TestRecordsReplaceTheGeneratedOnesPerModelKind) {
  YEB_CELL_DELAY r;
  r.values[4] = 2.0e-10f;
  r.values[7] = 3.0e-10f;
  host::yeb::set_cell_delay(1, 207, r);
  EXPECT_TRUE(model(1, 1)->get_cell_delay(207, 0).flag);
  EXPECT_FLOAT_EQ(model(1, 1)->get_cell_delay(207, 0).values[7], 3.0e-10f);
  EXPECT_FALSE(model(0, 0)->get_cell_delay(207, 0).has(4));
  // An all-none record takes the PLL values away, on both kinds.
  host::yeb::set_cell_delay(-1, 223, YEB_CELL_DELAY{});
  EXPECT_FALSE(model(0, 0)->get_cell_delay(223, 0).flag);
  EXPECT_FALSE(model(1, 1)->get_cell_delay(223, 0).flag);
}

TEST_F(YebKindModelTest, StreamFormShowsValuesAndFlag) {
  YEB_CELL_DELAY r;
  r.values[0] = 1.5e-10f;
  r.flag = true;
  std::ostringstream os;
  os << r;
  EXPECT_EQ(os.str(), "{1.5e-10 - - - - - - - - - - - - - - -} flag=1");
}

}  // namespace
