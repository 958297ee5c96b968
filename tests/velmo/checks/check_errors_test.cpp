// Post-fit checks that end the compile: every internal error of the checks
// names the component and the expert's source, and stops the checks where it
// is raised.
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "pexa/pexa_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_main.h"

using host::testing::DEVICE_BUILDER;
using host::testing::Family;
using host::testing::HostTest;

namespace {

class CheckErrorsTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    DEVICE_BUILDER(Family::KX).build();
    ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
    host::clear_calls();
  }
  void TearDown() override {
    host::pexa::hide_current_device(false);
    velmo_shutdown_fitter();
    HostTest::TearDown();
  }
  static int count(const std::string& name) {
    int n = 0;
    for (const std::string& c : host::call_names()) n += c == name;
    return n;
  }
};

}  // namespace

TEST_F(CheckErrorsTest, EachFailedCheckIsAnInternalErrorOfTheExpertThatStopsTheChecks) {
  // No current device: nothing after the device lookup runs.
  host::pexa::hide_current_device(true);
  HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([] { velmo_check_and_report(true, true); });
  EXPECT_EQ(e.condition, "device != NULL");
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_expert");
  EXPECT_EQ(count("NOLT_NETLIST_CHECK_OP::netlist_is_ok"), 0);
  EXPECT_EQ(count("ZEL_UTIL::check_duplicate_atom_names"), 0);
  EXPECT_EQ(count("GEN_PROFILE_BINS::close"), 1);

  // With the device back, a failed LUT-RAM check is raised the same way.
  host::pexa::hide_current_device(false);
  host::clear_calls();
  host::script::queue<bool>("WEXAN_CHECK_LUTRAM_LEGALITY_OP::check").push(false);
  e = host::testing::expect_internal_error([] { velmo_check_and_report(true, true); });
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_expert");
  EXPECT_EQ(count("ZEL_UTIL::check_duplicate_atom_names"), 0);
  EXPECT_EQ(count("GEN_PROFILE_BINS::close"), 1);
}
