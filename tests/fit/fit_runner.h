#pragma once
// Runs velmo-fit as a subprocess and collects its exit status and output
// (stdout and stderr together).
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace velmo_fit_test {

struct RESULT {
  int status;  // exit status, -1 when the program did not exit normally
  std::string out;
};

inline RESULT run(const std::string& args) {
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

// Writes `text` into the test temporary directory under `name`, prefixed
// with the running test's name, so that tests run in parallel never write
// the same file; returns the path.
inline std::string write_file(const std::string& name, const std::string& text) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string prefix = test ? std::string(test->test_suite_name()) + "." + test->name() + "." : std::string();
  for (char& c : prefix)
    if (c == '/') c = '_';
  const std::string path = ::testing::TempDir() + prefix + name;
  std::ofstream(path) << text;
  return path;
}

// When hold still fails at `failing` endpoints (the most at any corner), the
// run names at least that many in its one "Hold not met at N endpoints ..."
// line, giving `reason`; otherwise it prints no such line.
inline void expect_held_endpoints_named(const std::string& out, int failing, const std::string& reason) {
  const auto at = out.find("Hold not met at ");
  if (failing == 0) {
    EXPECT_EQ(at, std::string::npos) << out;
    return;
  }
  ASSERT_NE(at, std::string::npos) << out;
  int named = 0;
  std::sscanf(out.c_str() + at, "Hold not met at %d endpoints", &named);
  EXPECT_GE(named, failing) << out;
  const std::string line = out.substr(at, out.find('\n', at) - at);
  EXPECT_NE(line.find(reason), std::string::npos) << line;
}

}  // namespace velmo_fit_test
