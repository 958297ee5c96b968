// The time-borrowing entry points with their load-time switches preset
// before the component is opened: which variant each family, project option
// 1175 and switch setting runs, and the early returns of the revert.
#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "msg/msg_base.h"
#include "thr/thr_drl.h"
#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "wexan/wexan_env.h"

using host::testing::HostTest;

namespace {

const std::map<std::string, std::string>& exports() {
  static const std::map<std::string, std::string> table = {
#include "velmo_exports.inc"
  };
  return table;
}

struct VARIANT_CASE {
  int family;
  bool option;
  std::vector<std::string> switches;  // set before loading: "name" (on) or "name=value"
  std::string optimize_line;          // the debug line optimize must print ("" none)
  std::string revert_line;            // the line revert must print ("" no revert work)
};

const char* const kKyRun = "TBFF: find 0 new hold violations after opening pulse width for time borrowing";
const char* const kKyOpenOnly = "TBFF: find 0 new hold violations after opening pulse width for time borrowing ";
const char* const kLeRun = "TBFF: Optimization running in fix_up mode";
const char* const kSkip = "TBFF: Skipping TBFF optimization because of INI settings";
const char* const kCompute = "sta_compute_optimal_time_borrowing";  // a host call
const char* const kKyUndo = "sta_create_empty_borrow_db";  // a host call, without the analysis-only line
const char* const kAnalysisUndo = "TBFF: Undoing changes made in analysis-only mode";

class TbffVariantTest : public HostTest, public ::testing::WithParamInterface<VARIANT_CASE> {
protected:
  using ENTRY = void (*)(WEXAN_ENV*);
  void run_case(const char* signature, bool optimize) {
    const VARIANT_CASE& c = GetParam();
    for (const std::string& s : c.switches) {
      const auto eq = s.find('=');
      if (eq == std::string::npos)
        cfg_set_on(s.c_str());
      else
        cfg_set_value(s.substr(0, eq).c_str(), s.substr(eq + 1).c_str());
    }
    host::testing::device(c.family).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.reg("r").clk(clk).d(n.input_port("in"));
    n.clock("clk", 1000, clk);
    host::hov::set_on(true);
    n.timing();
    if (c.option) host::options::set(1175, 1, "on");
    auto path = std::filesystem::path(host::loader::default_dir()) / "libvelmo.so";
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto it = exports().find(signature);
    ASSERT_NE(it, exports().end());
    auto fn = reinterpret_cast<ENTRY>(dlsym(lib, it->second.c_str()));
    ASSERT_NE(fn, nullptr);
    WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    host::clear_calls();
    fn(&env);
    std::string want = optimize ? c.optimize_line : c.revert_line;
    // The full run computes the optimal borrow unless it only opens pulses.
    const bool computes = want == kCompute || want == kKyRun;
    if (want == kKyOpenOnly) want = kKyRun;
    if (want.empty()) {
      EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine("TBFF: Initializing TBFF optimization")));
    } else if (want == kCompute || want == kKyUndo) {
      EXPECT_THAT(host::call_names(), ::testing::Contains(want));
    } else {
      EXPECT_THAT(host::debug::texts(), HasDebugLine(want));
    }
    // Only the chosen variant's work shows.
    for (const char* other : {kKyRun, kLeRun, kSkip, kAnalysisUndo}) {
      if (want != other) {
        EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine(std::string(other))));
      }
    }
    if (computes) {
      EXPECT_THAT(host::call_names(), ::testing::Contains(std::string(kCompute)));
    } else {
      EXPECT_THAT(host::call_names(), ::testing::Not(::testing::Contains(std::string(kCompute))));
    }
    dlclose(lib);
  }
};

TEST_P(TbffVariantTest, OptimizeRunsTheChosenVariant) { run_case("velmo_optimize_tbff(WEXAN_ENV*)", true); }
TEST_P(TbffVariantTest, RevertUndoesOnlyWhereTheOptionAsks) { run_case("velmo_revert_tbff(WEXAN_ENV*)", false); }

INSTANTIATE_TEST_SUITE_P(
    Matrix, TbffVariantTest,
    ::testing::Values(
        VARIANT_CASE{26, false, {}, kSkip, ""}, VARIANT_CASE{26, true, {}, kSkip, ""},
        VARIANT_CASE{46, false, {}, kLeRun, ""}, VARIANT_CASE{46, true, {}, kKyRun, kKyUndo},
        VARIANT_CASE{46, false, {"velmo_tbff_fix_up_in_low_effort_mode=off"}, kSkip, ""},
        VARIANT_CASE{46, true, {"velmo_tbff_analysis_mode_only"}, kCompute, kAnalysisUndo},
        VARIANT_CASE{46, false, {"velmo_enable_tbff_in_all_modes"}, kKyRun, kKyUndo},
        VARIANT_CASE{46, true, {"velmo_tbff_open_pulse_only"}, kKyOpenOnly, kKyUndo},
        VARIANT_CASE{46, true, {"velmo_tbff_check_hold_violation"}, kCompute, kKyUndo},
        VARIANT_CASE{46, true, {"velmo_empty_borrow_db"}, kSkip, ""},
        VARIANT_CASE{46, true, {"velmo_disable_optimal_borrow"}, "", ""},
        VARIANT_CASE{48, false, {}, kSkip, ""}, VARIANT_CASE{48, true, {}, kCompute, kAnalysisUndo},
        VARIANT_CASE{48, false, {"velmo_enable_tbff_in_all_modes"}, kCompute, kAnalysisUndo},
        VARIANT_CASE{15, false, {}, kCompute, ""}));

}  // namespace
