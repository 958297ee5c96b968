// velmo-fit on the families that translate periphery ports (26, 48) and
// clean up dangling low-power clock routing (48): the bundled designs have
// no periphery blocks, so they fit as before with both passes running.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "fit_runner.h"

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitPeriphery, DesignsFitWithPortTranslationAndClockCleanup) {
  const std::string report = ::testing::TempDir() + "periphery_report.json";
  for (const char* family : {"26", "48"}) {
    for (const char* design : {"mcnc/s298.blif", "yosys/fir8.blif", "yosys/mac16.blif"}) {
      SCOPED_TRACE(std::string(family) + " " + design);
      std::remove(report.c_str());
      const auto r = velmo_fit_test::run(std::string(VELMO_DESIGNS_DIR) + "/" + design + " --stages place,route,final --family " + family +
                                         " --debug --cfg velmo_verbose_port_translation=on --report " + report);
      EXPECT_EQ(r.status, 0) << r.out;
      EXPECT_THAT(r.out, HasSubstr("Port translation begins"));
      EXPECT_THAT(r.out, Not(HasSubstr("velmo_delete_dangling_lpclk_routing: not built yet")));
      EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
      std::ifstream in(report);
      const nlohmann::json j = nlohmann::json::parse(in);
      EXPECT_EQ(j["routing"]["unrouted"], 0);
      EXPECT_EQ(j["routing"]["overused"], 0);
    }
  }
}

TEST(VelmoFitPeriphery, TransferPassesRunWithSlackEstimationInThePlanStage) {
  for (const char* design : {"mcnc/s298.blif", "yosys/fir8.blif"}) {
    SCOPED_TRACE(design);
    const auto r = velmo_fit_test::run(std::string(VELMO_DESIGNS_DIR) + "/" + design +
                                       " --family 48 --debug --cfg velmo_p2c_perform_slack_estimation=on");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("p2c: got 0 targeted paths"));
    EXPECT_THAT(r.out, HasSubstr("c2p: got 0 targeted paths"));
    EXPECT_THAT(r.out, Not(HasSubstr("core_register_placement: not built yet")));
    EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
  }
}
