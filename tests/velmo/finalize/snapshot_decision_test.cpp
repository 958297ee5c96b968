// Whether intermediate fitter snapshots are committed: the rule order, the
// message and its suppression on single-stage runs, and the once-per-process
// answer.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/host_test.h"
#include "velmo_expert.h"
#include "velmo_main.h"

using host::testing::HostTest;

namespace {

class SnapshotDecisionTest : public HostTest {
protected:
  static std::vector<std::string> snapshot_texts() {
    std::vector<std::string> out;
    for (const auto& m : host::messages::posted())
      if (m.id == 20273) out.push_back(m.text);
    return out;
  }
  std::pair<bool, std::string> decide(const std::string& command_line = "fit --full") {
    return velmo_write_intermediate_snapshot_and_report_reason_(OMZ_NAMESPACE::get_default(), command_line);
  }
};

TEST_F(SnapshotDecisionTest, RulesApplyInOrder) {
  EXPECT_EQ(decide(), std::make_pair(false, std::string("ENABLE_INTERMEDIATE_SNAPSHOTS WAB assignment is disabled")));

  host::options::set(1170, 1, "true");
  EXPECT_EQ(decide(), std::make_pair(true, std::string("ENABLE_INTERMEDIATE_SNAPSHOTS WAB assignment is enabled")));
  cfg_set_on("fit2_force_intermediate_snapshot_write");
  EXPECT_EQ(decide(), std::make_pair(true, std::string("it is enabled by internal ini")));
  host::swavo::set_user_flow(true);
  EXPECT_EQ(decide(), std::make_pair(true, std::string("Swavo Recompile is being enabled")));
  host::options::set(627, 1, "true");
  EXPECT_EQ(decide(), std::make_pair(true, std::string("Formal Verification support is being enabled")));
  host::options::set(1180, 1, "true");
  EXPECT_EQ(decide(), std::make_pair(true, std::string("Zento-Retimer Nimbrel analysis is being enabled")));

  // A setting present but off does not count.
  host::options::set(1180, 1, "false");
  host::options::set(627, 1, "false");
  host::swavo::set_user_flow(false);
  cfg_set_off("fit2_force_intermediate_snapshot_write");
  host::options::set(1170, 1, "false");
  EXPECT_FALSE(decide().first);
}

TEST_F(SnapshotDecisionTest, MessageSaysWhatWasDecidedAndStaysQuietOnSingleStageRuns) {
  decide("velmo-fit --full");
  EXPECT_EQ(snapshot_texts(),
            std::vector<std::string>{"Intermediate fitter snapshots will not be committed because "
                                     "ENABLE_INTERMEDIATE_SNAPSHOTS WAB assignment is disabled during compilation."});
  for (const char* arg : {"--plan", "--place", "--route", "--retime", "--final", "--nimbrel"}) {
    decide(std::string("velmo-fit ") + arg + " top");
  }
  EXPECT_EQ(snapshot_texts().size(), 1u);

  // A committed decision is always reported, also on a single-stage run.
  host::options::set(1180, 1, "true");
  decide("velmo-fit --place");
  ASSERT_EQ(snapshot_texts().size(), 2u);
  EXPECT_EQ(snapshot_texts()[1],
            "Intermediate fitter snapshots will be committed because Zento-Retimer Nimbrel analysis is being "
            "enabled during compilation.");

  // A suppressed message id posts nothing.
  host::messages::suppress(20273);
  decide();
  EXPECT_EQ(snapshot_texts().size(), 2u);
}

TEST_F(SnapshotDecisionTest, LaterCallsAnswerAsTheFirstAndPostNothing) {
  std::string first_reason;
  const bool first = velmo_write_intermediate_snapshot(&first_reason);
  EXPECT_FALSE(first_reason.empty());
  const size_t posted_after_first = snapshot_texts().size();

  // Flip every setting that could change the answer.
  host::options::set(1180, 1, first ? "false" : "true");
  host::options::set(1170, 1, first ? "false" : "true");
  std::string reason;
  EXPECT_EQ(velmo_write_intermediate_snapshot(&reason), first);
  EXPECT_EQ(reason, first_reason);
  EXPECT_EQ(velmo_write_intermediate_snapshot(nullptr), first);
  EXPECT_EQ(snapshot_texts().size(), posted_after_first);
}

}  // namespace
