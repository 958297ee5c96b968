#pragma once
// The fixture every host and component test derives from: a clean host, the
// component's debug lines at level 2, a frozen clock and a fresh working
// directory; at the end, bins balanced, nothing left lent and every scripted
// queue consumed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "msg/msg_internal_error.h"

class WEXAN_ENV;
class VOK_ATOM_NETLIST;

namespace host::testing {

class HostTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  const std::filesystem::path& work_dir() const { return m_dir; }

private:
  std::filesystem::path m_dir;
  std::filesystem::path m_old_dir;
};

// A clean host with a fitter environment, made as start-up makes it, for tests
// of single operations.
class EnvTest : public HostTest {
protected:
  void SetUp() override;
  void TearDown() override;
  WEXAN_ENV* m_env = nullptr;
};

// Runs fn and returns the internal error it raised; fails the test when it
// raised none.
template <class F> HOST_INTERNAL_ERROR expect_internal_error(F&& fn) {
  try {
    fn();
  } catch (const HOST_INTERNAL_ERROR& e) {
    return e;
  }
  ADD_FAILURE() << "expected an internal error";
  return HOST_INTERNAL_ERROR("", "", "", 0);
}

// True when `want` appears in `have` in order (not necessarily adjacent); each
// wanted item matches an item that starts with it.
bool is_ordered_subsequence(const std::vector<std::string>& have, const std::vector<std::string>& want,
                            std::string* why = nullptr);

// The netlist's placed-atom index answers as a walk of its atom list does,
// at every gid an atom sits on and at each of `gids` (give the gids atoms
// left, where a stale entry would stay); then the netlist's own check finds
// the index complete.
void expect_placed_index_matches_walk(const VOK_ATOM_NETLIST* netlist, std::set<unsigned> gids);

}  // namespace host::testing

// EXPECT_THAT(host::call_lines(), CallSequence({"TIBEX_ENV::set_cmp_facade", ...}))
MATCHER_P(CallSequence, want, "") {
  std::string why;
  bool ok = host::testing::is_ordered_subsequence(arg, std::vector<std::string>(want), &why);
  if (!ok) *result_listener << why;
  return ok;
}

// EXPECT_THAT(host::debug::texts(), HasDebugLine("Forced 0 carry chain registers to ZOTA mode"))
MATCHER_P(HasDebugLine, text, "") {
  for (const auto& l : arg)
    if (l == std::string(text)) return true;
  return false;
}
