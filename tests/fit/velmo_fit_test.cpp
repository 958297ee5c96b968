// velmo-fit run as a subprocess: command line, exit codes, output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {
struct RESULT {
  int status;
  std::string out;
};

RESULT run(const std::string& args) {
  std::string cmd = std::string(VELMO_FIT_EXE) + " " + args + " 2>&1";
  RESULT r{-1, {}};
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

TEST(VelmoFit, HelpPrintsUsage) {
  auto r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("usage: velmo-fit"));
}

TEST(VelmoFit, BadUseExitsTwoWithUsage) {
  for (const char* args : {"--stages place,bogus", "--cfg novalue", "--family x", "--frobnicate", "--stages",
                           "--threads 0", "--cfg-file /nonexistent/velmo.cfg"}) {
    auto r = run(args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: ")) << args;
  }
  EXPECT_THAT(run("--stages place,bogus").out, HasSubstr("unknown stage 'bogus'"));
}

TEST(VelmoFit, StartsUpAndShutsDownWithoutStages) {
  auto r = run("--stages none --cfg debug_msg=off");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage start-up: ok"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
}

TEST(VelmoFit, StartUpFailsOnAFamilyWithoutPrefitSupport) {
  auto r = run("--stages none --family 7");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage start-up: FAILED"));
}
