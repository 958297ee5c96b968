// Every input that once made a fuzz target fail, replayed through the same
// code: it must load (or be refused) without a crash or a stray exception.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../fuzz/fuzz_inputs.h"

namespace {

std::vector<std::filesystem::path> inputs(const std::string& dir) {
  std::vector<std::filesystem::path> out;
  for (const auto& e : std::filesystem::directory_iterator(std::string(VELMO_FUZZ_REGRESSIONS_DIR) + "/" + dir))
    out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

std::string read(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

TEST(FuzzRegressions, BlifInputsLoadOrAreRefused) {
  const auto files = inputs("blif");
  ASSERT_FALSE(files.empty());
  for (const auto& f : files) {
    SCOPED_TRACE(f.string());
    EXPECT_NO_THROW(velmo_fuzz::blif_input(read(f)));
  }
}

TEST(FuzzRegressions, SettingsInputsApplyOrAreRefused) {
  const auto files = inputs("settings");
  ASSERT_FALSE(files.empty());
  for (const auto& f : files) {
    SCOPED_TRACE(f.string());
    EXPECT_NO_THROW(velmo_fuzz::settings_input(read(f)));
  }
}

TEST(FuzzRegressions, SettingsKeyAndCfgInputsAreTakenOrRefused) {
  for (const char* dir : {"settings_keys", "cfg"}) {
    const auto files = inputs(dir);
    ASSERT_FALSE(files.empty()) << dir;
    for (const auto& f : files) {
      SCOPED_TRACE(f.string());
      if (std::string(dir) == "cfg")
        EXPECT_NO_THROW(velmo_fuzz::cfg_input(read(f)));
      else
        EXPECT_NO_THROW(velmo_fuzz::settings_key_input(read(f)));
    }
  }
}
