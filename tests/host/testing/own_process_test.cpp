// A test that must be the first of its process goes on when it is, and
// otherwise runs again alone in a new process whose failures become its own.
// The probes below exist only in the processes this test starts (it names
// their log in the environment), so a listing of the tests never shows them;
// they are disabled as well, so that the new process must ask for them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "testing/host_test.h"
#include "testing/own_process.h"

namespace {

// Where the probe's body ran, in the process the filter started or in one
// started for the probe alone; one line appended to the file the test names.
void say_where(const char* probe) {
  const char* log = std::getenv("VELMO_OWN_PROCESS_PROBE_LOG");
  ASSERT_NE(log, nullptr);
  std::ofstream(log, std::ios::app) << "probe " << probe << " ran in the "
                                    << (std::getenv("VELMO_OWN_PROCESS_TEST") != nullptr ? "new" : "first")
                                    << " process\n";
}

void plain() { say_where("Plain"); }

void alone() {
  if (!host::testing::in_own_process()) return;
  say_where("Alone");
}

void failing() {
  if (!host::testing::in_own_process()) return;
  say_where("Failing");
  std::fprintf(stderr, "the probe's own complaint\n");
  ADD_FAILURE() << "the probe's own failure";
}

class PROBE : public ::testing::Test {
public:
  explicit PROBE(void (*body)()) : m_body(body) {}
  void TestBody() override { m_body(); }

private:
  void (*m_body)();
};

const bool g_probes_registered = [] {
  if (std::getenv("VELMO_OWN_PROCESS_PROBE_LOG") == nullptr) return false;
  const std::pair<const char*, void (*)()> probes[] = {{"Plain", &plain}, {"Alone", &alone}, {"Failing", &failing}};
  for (const auto& [name, body] : probes)
    ::testing::RegisterTest("DISABLED_OwnProcessProbe", name, nullptr, nullptr, __FILE__, __LINE__,
                            [body = body]() -> ::testing::Test* { return new PROBE(body); });
  return true;
}();

class OwnProcess : public host::testing::HostTest {
protected:
  // Runs the probes the filter names in one process; its exit status, and its
  // output followed by the lines the probes wrote.
  std::pair<int, std::string> run_probes(const std::string& filter, const std::string& more = "") {
    const std::filesystem::path log = work_dir() / "probes.log";
    std::filesystem::remove(log);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command = "VELMO_OWN_PROCESS_PROBE_LOG='" + log.string() + "' '" + self +
                                "' --gtest_also_run_disabled_tests --gtest_filter='" + filter + "' " + more + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, ""};
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = pclose(pipe);
    std::ifstream in(log);
    output += "\n--- probes:\n" + std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
  }
};

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(OwnProcess, AFirstTestGoesOnAndALaterOneRunsAgainAlone) {
  // First in its process: the body runs there, once.
  auto [status, output] = run_probes("DISABLED_OwnProcessProbe.Alone");
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(count(output, "probe Alone ran in the first process"), 1) << output;
  EXPECT_EQ(count(output, "probe Alone ran in the new process"), 0) << output;

  // After another test: the body runs in a new process only, and passes.
  std::tie(status, output) = run_probes("DISABLED_OwnProcessProbe.Plain:DISABLED_OwnProcessProbe.Alone");
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(count(output, "probe Plain ran in the first process"), 1) << output;
  EXPECT_EQ(count(output, "probe Alone ran in the new process"), 1) << output;
  EXPECT_EQ(count(output, "probe Alone ran in the first process"), 0) << output;

  // Repeated, each later round starts a new process again.
  std::tie(status, output) = run_probes("DISABLED_OwnProcessProbe.Alone", "--gtest_repeat=3");
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(count(output, "probe Alone ran in the first process"), 1) << output;
  EXPECT_EQ(count(output, "probe Alone ran in the new process"), 2) << output;

  // The new process's failure is the test's, with that process's output.
  std::tie(status, output) = run_probes("DISABLED_OwnProcessProbe.Plain:DISABLED_OwnProcessProbe.Failing");
  EXPECT_EQ(status, 1) << output;
  EXPECT_EQ(count(output, "probe Failing ran in the new process"), 1) << output;
  EXPECT_EQ(count(output, "the probe's own failure"), 1) << output;
  EXPECT_EQ(count(output, "DISABLED_OwnProcessProbe.Failing failed in a process of its own (exit status 1)"), 1)
      << output;
  // Its error output is part of the report, not left to go elsewhere first.
  const auto complaint = output.find("the probe's own complaint");
  ASSERT_NE(complaint, std::string::npos) << output;
  EXPECT_GT(complaint, output.find("failed in a process of its own")) << output;
}

}  // namespace
