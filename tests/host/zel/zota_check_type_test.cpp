// The device database's two pipeline-register questions, and no third one.
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "zel/zel_dev_zota_util.h"

using host::testing::expect_internal_error;
using host::testing::Family;

class ZotaCheckTypeTest : public host::testing::HostTest {};

TEST_F(ZotaCheckTypeTest, OnlyCheckTypesZeroAndOneAreAnswered) {
  host::testing::device(Family::KY).zota_flow_supported(false).build();
  EXPECT_TRUE(ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, 0)) << "pipeline registers in the routing";
  EXPECT_FALSE(ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, 1)) << "no retimer without the flow";
  for (int check : {-1, 2, 3}) {
    auto err = expect_internal_error([&] { ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, check); });
    EXPECT_EQ(err.condition, "check == 0 || check == 1") << check;
    EXPECT_EQ(err.tag + " " + err.file, "ZEL zel_dev_zota_util") << "the error names the device database";
  }
}
