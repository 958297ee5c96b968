// velmo-fit running the finalize stage after placement, routing and (where
// the family has pipeline registers) retiming, on the default design.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {
struct RUN_RESULT {
  int status;
  std::string out;
};

RUN_RESULT run_fit(const std::string& args) {
  std::string cmd = std::string(VELMO_FIT_EXE) + " " + args + " 2>&1";
  RUN_RESULT r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}
}  // namespace

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitFinalize, RetimingFamiliesRunTheHoldFixRerouteAndFinish) {
  for (const char* family : {"46", "26"}) {
    auto r = run_fit(std::string("--stages place,route,retime,final --family ") + family);
    EXPECT_EQ(r.status, 0) << family << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Stage retime: ok"));
    EXPECT_THAT(r.out, HasSubstr("Info (020273): Intermediate fitter snapshots will not be committed because "
                                 "ENABLE_INTERMEDIATE_SNAPSHOTS WAB assignment is disabled during compilation."));
    EXPECT_THAT(r.out, HasSubstr("Info (018822): Fitter post-routing fixup operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Info (016557): Fitter post-fit operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  }
}

TEST(VelmoFitFinalize, FamilyWithoutPipelineRegistersRunsTheRouteFixup) {
  auto r = run_fit("--stages place,route,final --family 48");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, Not(HasSubstr("post-routing fixup operations ending")));
  EXPECT_THAT(r.out, HasSubstr("Info (016557): Fitter post-fit operations ending: elapsed time is"));
  EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
}
