// The time-borrowing run's switches that are read once when the component is
// loaded: assert mode of the hold re-check and the fix-up of modifiable groups
// to an unmodifiable group's level. Each case presets its switches, builds a
// design whose pipeline registers sit behind a PMUX and opens a fresh copy of
// the component.
#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../velmo/tbff/tbff_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "thr/thr_drl.h"

using host::testing::expect_internal_error;

namespace {

const std::map<std::string, std::string>& exports() {
  static const std::map<std::string, std::string> table = {
#include "velmo_exports.inc"
  };
  return table;
}

int atom_level(VOK_ATOM_NODE* atom) {
  int level = -1;
  yos_current_interface()->get_enum_data(atom, static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL), &level);
  return level;
}

int count_lines(const std::string& text) {
  int n = 0;
  for (const std::string& l : host::debug::texts()) n += l.find(text) != std::string::npos;
  return n;
}

class TbffSwitchLoadTest : public tbff_test::TbffTest {
protected:
  void TearDown() override {
    if (m_lib) dlclose(m_lib);
    tbff_test::TbffTest::TearDown();
  }
  // Opens a fresh copy of the component and runs its optimize entry point.
  void optimize() {
    const auto path = std::filesystem::path(host::loader::default_dir()) / "libvelmo.so";
    m_lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_lib, nullptr) << dlerror();
    const auto it = exports().find("velmo_optimize_tbff(WEXAN_ENV*)");
    ASSERT_NE(it, exports().end());
    auto fn = reinterpret_cast<void (*)(WEXAN_ENV*)>(dlsym(m_lib, it->second.c_str()));
    ASSERT_NE(fn, nullptr);
    fn(m_env);
  }
  void* m_lib = nullptr;
};

// One register at two corners.
const char* const kNewViolations = "TBFF: find 2 new hold violations after opening pulse width for time borrowing";

// Launched from row 3 with its clock 50 ps late, at level 1 the register
// passes hold: widening opens it to level 2, where it fails at both corners
// (the pulse table is guardbanded, the timing is not). Tightening is off, so
// the re-check sees the failure.
TEST_F(TbffSwitchLoadTest, RecheckLowersTheLevelOfANewViolation) {
  cfg_set_on("velmo_tbff_skip_tightening_pulse");
  m_clock_skew_ps = 50;
  build({3}, {}, {}, 300, 3);
  tbff_test::set_level(m_regs[0], 1);
  host::options::set(1175, 1, "on");
  optimize();
  EXPECT_EQ(count_lines(kNewViolations), 1);
  EXPECT_EQ(atom_level(m_regs[0]), 1);
}

TEST_F(TbffSwitchLoadTest, AssertModeStopsBeforeChangingALevel) {
  cfg_set_on("velmo_tbff_skip_tightening_pulse");
  cfg_set_on("velmo_tbff_assert_on_hold_violations");
  m_clock_skew_ps = 50;
  build({3}, {}, {}, 300, 3);
  tbff_test::set_level(m_regs[0], 1);
  host::options::set(1175, 1, "on");
  EXPECT_EQ(expect_internal_error([&] { optimize(); }).condition, "new_hold_violations.empty()");
  EXPECT_EQ(count_lines(kNewViolations), 1);
  EXPECT_EQ(atom_level(m_regs[0]), 2);
}

TEST_F(TbffSwitchLoadTest, AssertModePassesWithoutNewViolations) {
  cfg_set_on("velmo_tbff_assert_on_hold_violations");
  build({3, 3}, {}, {}, 300, 5);
  host::options::set(1175, 1, "on");
  optimize();
  EXPECT_EQ(count_lines("TBFF: find 0 new hold violations after opening pulse width for time borrowing"), 1);
  EXPECT_EQ(atom_level(m_regs[0]), 1);
}

// The row segment holds four PMUXes and its registers use one: merged and
// run (widened, then tightened back: two rebuilds) unless the skip switch
// leaves such a block out.
class TbffSkipBlockLoadTest : public TbffSwitchLoadTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TbffSkipBlockLoadTest, ABlockWithUnusedPmuxesFollowsTheSkipSwitch) {
  const bool skip = GetParam();
  if (skip) cfg_set_on("velmo_tbff_skip_routing_top_level_block");
  build({3, 3}, {}, {}, 300, 5);
  host::options::set(1175, 1, "on");
  host::clear_calls();
  optimize();
  const auto names = host::call_names();
  EXPECT_EQ(std::count(names.begin(), names.end(), std::string("XAB_DELAY_ANNOTATOR::rebuild_netlist_for_atoms")),
            skip ? 0 : 2);
  EXPECT_EQ(atom_level(m_regs[0]), skip ? -1 : 1);
}

INSTANTIATE_TEST_SUITE_P(SkipOnAndOff, TbffSkipBlockLoadTest, ::testing::Bool());

// One unmodifiable register at level 1 in a block whose other group sits at
// level 2: the fix-up list holds the other group's registers.
class TbffFixUpLoadTest : public TbffSwitchLoadTest, public ::testing::WithParamInterface<std::pair<bool, bool>> {};

TEST_P(TbffFixUpLoadTest, FixUpListFollowsItsSwitch) {
  const auto [full_run, fix_up] = GetParam();
  if (!fix_up) cfg_set_value("velmo_tbff_fix_up_routing_pulse_width", "off");
  build({3, 5, 7}, {}, {0, 1, 1});
  m_regs[0]->set_modifiable(false);
  tbff_test::set_level(m_regs[0], 1);
  tbff_test::set_level(m_regs[1], 2);
  tbff_test::set_level(m_regs[2], 2);
  if (full_run) host::options::set(1175, 1, "on");
  optimize();
  const int want = fix_up ? 1 : 2;
  EXPECT_EQ(atom_level(m_regs[0]), 1);
  EXPECT_EQ(atom_level(m_regs[1]), want);
  EXPECT_EQ(atom_level(m_regs[2]), want);
  EXPECT_EQ(count_lines("TBFF: changing 2 zota registers of all modifiable pmux groups"), fix_up ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(FullAndLowEffort, TbffFixUpLoadTest,
                         ::testing::Values(std::pair{true, true}, std::pair{true, false}, std::pair{false, true},
                                           std::pair{false, false}));

}  // namespace
