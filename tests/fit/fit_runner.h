#pragma once
// Runs velmo-fit as a subprocess and collects its exit status and output
// (stdout and stderr together).
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmo_fit_test {

struct RESULT {
  int status;  // exit status, -1 when the program did not exit normally
  std::string out;
};

// Runs a shell command line around velmo-fit (its output redirected as the
// line says); status as run() gives it, the output that reached the pipe.
inline RESULT run_shell(const std::string& line) {
  RESULT r{-1, {}};
  FILE* p = popen(line.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// Runs the shell command `cmd`, its stderr with its stdout.
inline RESULT run_command(const std::string& cmd) { return run_shell(cmd + " 2>&1"); }

// Runs velmo-fit with `args`, `env` (variable assignments, "A=1 B=2 ") set in
// its environment.
inline RESULT run_with(const std::string& env, const std::string& args) {
  return run_command(env + std::string(VELMO_FIT_EXE) + " " + args);
}

inline RESULT run(const std::string& args) { return run_with(std::string(), args); }

// A folder of the test temporary directory named after the running test
// ("Suite.Name", a parameterised case's '/' given as '_'), made empty the first
// time a test asks for it: everything a test writes goes there, so that no two
// tests share a file and a second run does not read the first one's.
inline std::string test_dir() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : std::string("no_test");
  for (char& c : name)
    if (c == '/') c = '_';
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / name;
  static std::filesystem::path made;  // the folder this process has already emptied
  if (made != dir) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    made = dir;
  }
  return dir.string() + "/";
}

// Writes `text` into the running test's folder under `name`; returns the path.
inline std::string write_file(const std::string& name, const std::string& text) {
  const std::string path = test_dir() + name;
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

// The report fields docs/report.md documents: the first cell of each table
// row, as `path` ("a.b", "a[].b"; a segment in <> stands for any key).
inline const std::vector<std::string>& documented_report_fields() {
  static const std::vector<std::string> fields = [] {
    std::vector<std::string> out;
    std::ifstream in(std::string(VELMO_SOURCE_DIR) + "/docs/report.md");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("| `", 0) != 0) continue;
      const auto end = line.find('`', 3);
      if (end != std::string::npos) out.push_back(line.substr(3, end - 3));
    }
    return out;
  }();
  return fields;
}

inline bool report_field_documented(const std::string& path) {
  auto segments = [](const std::string& p) {
    std::vector<std::string> out;
    std::stringstream ss(p);
    for (std::string s; std::getline(ss, s, '.');) out.push_back(s);
    return out;
  };
  const std::vector<std::string> have = segments(path);
  for (const std::string& field : documented_report_fields()) {
    const std::vector<std::string> want = segments(field);
    if (want.size() != have.size()) continue;
    bool match = true;
    for (std::size_t i = 0; i < want.size() && match; ++i)
      match = want[i] == have[i] || (want[i].size() > 2 && want[i].front() == '<' && want[i].back() == '>');
    if (match) return true;
  }
  return false;
}

// Every field of a report velmo-fit wrote, at any depth, has its row in
// docs/report.md.
inline void expect_documented_report(const nlohmann::json& report) {
  ASSERT_GT(documented_report_fields().size(), 50u) << "docs/report.md has lost its table";
  ASSERT_TRUE(report.is_object()) << report;
  std::set<std::string> undocumented;
  std::function<void(const nlohmann::json&, const std::string&)> walk = [&](const nlohmann::json& v,
                                                                             const std::string& path) {
    if (v.is_object()) {
      for (auto it = v.begin(); it != v.end(); ++it) {
        const std::string field = path.empty() ? it.key() : path + "." + it.key();
        if (!report_field_documented(field)) undocumented.insert(field);
        walk(it.value(), field);
      }
    } else if (v.is_array()) {
      for (const auto& e : v) walk(e, path + "[]");
    }
  };
  walk(report, "");
  EXPECT_TRUE(undocumented.empty()) << "report fields without a row in docs/report.md: "
                                    << nlohmann::json(undocumented).dump();
}

}  // namespace velmo_fit_test
