// velmo-fit running the place, route and retime stages on the default design.
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

TEST(VelmoFitRoute, RouteAndRetimeRunAfterPlacementOnRetimingFamilies) {
  for (const char* family : {"46", "26"}) {
    auto r = run_fit(std::string("--stages place,route,retime --family ") + family);
    EXPECT_EQ(r.status, 0) << family << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Stage place: ok"));
    EXPECT_THAT(r.out, HasSubstr("Info (016607): Fitter routing operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Stage route: ok"));
    EXPECT_THAT(r.out, HasSubstr("Info (018821): Fitter Zento-Retimer operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Stage retime: ok"));
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  }
}

TEST(VelmoFitRoute, RetimeFailsOnAFamilyWithoutPipelineRegisters) {
  auto r = run_fit("--stages place,route,retime --family 48");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage route: ok"));
  EXPECT_THAT(r.out, HasSubstr("Stage retime: FAILED"));
  EXPECT_THAT(r.out, Not(HasSubstr("Zento-Retimer operations ending")));
}
