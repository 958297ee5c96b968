#include "testing/own_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace host::testing {
namespace {

// How many tests have started in this process, over every repetition.
int& tests_started() {
  static int n = 0;
  return n;
}

class START_COUNTER : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ++tests_started(); }
};

// Registered while the executable is loaded, before any test starts.
const bool g_registered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new START_COUNTER);
  return true;
}();

// Names the test that a child process was started for.
constexpr const char* kChildVariable = "VELMO_OWN_PROCESS_TEST";

}  // namespace

bool in_own_process() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  if (test == nullptr) {
    ADD_FAILURE() << "in_own_process() called outside a test";
    return false;
  }
  const std::string name = std::string(test->test_suite_name()) + "." + test->name();
  // In place only where nothing runs after it: a process started for this
  // test alone (ctest's, or the child below, whose filter names it alone). A
  // first test of a longer run would otherwise leave what it latched once
  // per process to the tests after it, and a filter or an order would change
  // their results.
  if (tests_started() <= 1 && ::testing::UnitTest::GetInstance()->test_to_run_count() == 1) return true;
  if (const char* child = std::getenv(kChildVariable); child != nullptr && name == child) {
    ADD_FAILURE() << "started alone for " << name << ", yet another test ran before it";
    return false;
  }

  // The same executable, this test alone; its output comes back through a pipe.
  std::vector<std::string> args = {"/proc/self/exe", "--gtest_filter=" + name, "--gtest_also_run_disabled_tests",
                                   "--gtest_repeat=1", "--gtest_shuffle=0", "--gtest_brief=1"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The environment as it is, and the name of the test the process is for. (A
  // report file the child writes is written over by this process's own at
  // its end.)
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) env_strings.emplace_back(*e);
  env_strings.push_back(std::string(kChildVariable) + "=" + name);
  std::vector<char*> envp;
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipe for the child process";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    ADD_FAILURE() << "could not start " << argv[0] << " for " << name;
    return false;
  }
  std::string output;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    output.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const bool passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  // A filter that matched nothing passes too: make sure the test ran.
  const bool ran = output.find("[==========] 1 test from 1 test suite ran.") != std::string::npos;
  if (!passed || !ran)
    ADD_FAILURE() << name << " failed in a process of its own ("
                  << (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                        : "signal " + std::to_string(WTERMSIG(status)))
                  << (ran ? "" : ", the test did not run") << "):\n"
                  << output;
  return false;
}

}  // namespace host::testing
