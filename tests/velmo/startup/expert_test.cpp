// The expert singleton: construction checks, the fit-API library it keeps
// loaded while it lives, and the snapshot queries.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "dev/dev_spec.h"
#include "gen/gen_profile.h"
#include "jov/jov_design.h"
#include "msg/msg_base.h"
#include "testing/host_test.h"
#include "thr/thr_drl.h"
#include "velmo_expert.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"

using host::testing::HostTest;
using ::testing::IsEmpty;

namespace {

class ExpertTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    VELMO_EXPERT::destroy();
    delete m_env;
    HostTest::TearDown();
  }
  void set_snapshot(const std::string& text) { JOV_ROOT::get()->get_design("")->set_current_snapshot_str(text); }

  WEXAN_ENV* m_env = nullptr;
};

}  // namespace

TEST_F(ExpertTest, KeepsTheFitApiLibraryLoadedWhileItLives) {
  VELMO_EXPERT* expert = VELMO_EXPERT::create(CMP_FACADE::current(), m_env);
  ASSERT_NE(expert, nullptr);
  EXPECT_EQ(VELMO_EXPERT::get(), expert);
  EXPECT_EQ(expert->get_design(), m_env->get_design());
  EXPECT_EQ(host::counters::get("govin"), 1);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("***** VELMO_EXPERT is dynamically loading GOVIN *****"));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::VELMO_EXPERT\"",
                                      "thr_drl_load(\"fitter_govin\")",
                                      "thr_drl_find_function(\"govin_wexan_factory\")",
                                      "thr_drl_find_function(\"govin_delete_govin\")",
                                      "govin_wexan_factory(ptr)",
                                      "R5T_INTERFACE::get_or_create_instance()",
                                      "GEN_PROFILE_BINS::close(\"VELMO_EXPERT::VELMO_EXPERT\")",
                                  }));

  // A second expert is refused and the first stays.
  auto e = host::testing::expect_internal_error([&] { VELMO_EXPERT::create(CMP_FACADE::current(), m_env); });
  EXPECT_EQ(e.condition, "!exists()");
  EXPECT_EQ(VELMO_EXPERT::get(), expert);
  EXPECT_EQ(host::counters::get("govin"), 1);

  host::clear_calls();
  VELMO_EXPERT::destroy();
  EXPECT_FALSE(VELMO_EXPERT::exists());
  EXPECT_EQ(host::counters::get("govin"), 0);
  EXPECT_EQ(host::call_names(),
            (std::vector<std::string>{"XAB_DEM::shutdown", "govin_delete_govin", "thr_drl_unload"}));
  // Destroying without an expert does nothing.
  host::clear_calls();
  VELMO_EXPERT::destroy();
  EXPECT_THAT(host::calls(), IsEmpty());
  EXPECT_EQ(host::testing::expect_internal_error([] { VELMO_EXPERT::get(); }).condition, "exists()");
}

TEST_F(ExpertTest, MissingLibraryIsAnInternalErrorWithTheLoaderText) {
  host::loader::hide("fitter_govin");
  auto e = host::testing::expect_internal_error([&] { VELMO_EXPERT::create(CMP_FACADE::current(), m_env); });
  EXPECT_NE(e.condition.find("libfitter_govin.so"), std::string::npos) << e.condition;
  EXPECT_EQ(e.file, "velmo_expert");
  EXPECT_FALSE(VELMO_EXPERT::exists());
  EXPECT_THAT(host::bins::open_stack(), IsEmpty());
  EXPECT_EQ(host::counters::get("govin"), 0);
}

TEST_F(ExpertTest, UnsupportedCompileModesAreRefused) {
  CMP_FACADE* cmp = CMP_FACADE::current();
  struct MODE {
    std::function<void(bool)> set;
    std::string condition;
  };
  const std::vector<MODE> modes = {
      {[&](bool on) { cmp->m_fitter_exit_after_preprocess = on; }, "!m_cmp->m_fitter_exit_after_preprocess"},
      {[&](bool on) { cmp->m_fitter_exit_after_placement = on; }, "!m_cmp->m_fitter_exit_after_placement"},
      {[&](bool on) { cmp->set_write_fitter_post_operations_database(on); },
       "!m_cmp->is_write_fitter_post_operations_database()"},
      {[&](bool on) { cmp->set_fitter_post_operations_only(on); }, "!m_cmp->is_fitter_post_operations_only()"},
  };
  for (const auto& m : modes) {
    m.set(true);
    auto e = host::testing::expect_internal_error([&] { VELMO_EXPERT::create(cmp, m_env); });
    EXPECT_EQ(e.condition, m.condition);
    EXPECT_FALSE(VELMO_EXPERT::exists());
    m.set(false);
  }
  // Refused before the library is touched.
  auto names = host::call_names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "thr_drl_load"), 0);
  EXPECT_EQ(host::testing::expect_internal_error([&] { VELMO_EXPERT::create(cmp, nullptr); }).condition,
            "m_env != NULL");
  EXPECT_THAT(host::bins::open_stack(), IsEmpty());
}

TEST_F(ExpertTest, SkipVprOnlyForAnEcoCompile) {
  m_env->get_eco()->set(false, true);
  EXPECT_FALSE(VELMO_EXPERT::create(CMP_FACADE::current(), m_env)->skip_vpr());
  EXPECT_FALSE(VELMO_EXPERT::get()->is_eco_compile());
  VELMO_EXPERT::destroy();
  m_env->get_eco()->set(true, true);
  EXPECT_TRUE(VELMO_EXPERT::create(CMP_FACADE::current(), m_env)->skip_vpr());
  EXPECT_TRUE(VELMO_EXPERT::get()->is_eco_compile());
}

TEST_F(ExpertTest, SnapshotFromTheDesignsText) {
  const std::vector<std::string> names = {"none",    "source",  "elaborated", "partitioned", "wysiwyg", "synthesized",
                                          "planned", "early_placed", "placed", "routed", "retimed", "nimbrel",
                                          "final",   "_all",    "legacy",     "live",        "invalid"};
  for (size_t i = 0; i < names.size(); ++i) {
    set_snapshot(names[i]);
    EXPECT_EQ(get_jov_snapshot(), static_cast<JOV_SNAPSHOT_BASE::ENUM>(i)) << names[i];
  }
  EXPECT_EQ(get_jov_snapshot(), JOV_SNAPSHOT_BASE::INVALID);

  set_snapshot("Routed");
  auto e = host::testing::expect_internal_error([] { get_jov_snapshot(); });
  EXPECT_EQ(e.condition, "Parse error: invalid enum string 'Routed'.");
  EXPECT_EQ(e.file, "jov_enum_sys");
  EXPECT_EQ(e.line, 227);
  set_snapshot("");
  e = host::testing::expect_internal_error([] { get_jov_snapshot(); });
  EXPECT_EQ(e.condition, "!str.empty()");
  EXPECT_EQ(e.file, "velmo_expert");
}

TEST_F(ExpertTest, EarlyAccessFlowBySnapshot) {
  DeviceSpec spec = host::device::spec();
  spec.zento_retimer_debugging_flow = true;
  host::device::configure(spec);
  cfg_set_off("fit_nmc_force_ea_flow");

  set_snapshot("routed");
  EXPECT_FALSE(force_ky_ea_flow());
  set_snapshot("placed");
  EXPECT_FALSE(force_ky_ea_flow());
  set_snapshot("retimed");
  EXPECT_TRUE(force_ky_ea_flow());
  set_snapshot("final");
  EXPECT_TRUE(force_ky_ea_flow());
  set_snapshot("nimbrel");
  EXPECT_FALSE(force_ky_ea_flow());
  host::cfg::unset("fit_nmc_force_ea_flow");
  EXPECT_TRUE(force_ky_ea_flow());

  spec.zento_retimer_debugging_flow = false;
  host::device::configure(spec);
  EXPECT_TRUE(force_ky_ea_flow());
  set_snapshot("retimed");
  EXPECT_FALSE(force_ky_ea_flow());
}
