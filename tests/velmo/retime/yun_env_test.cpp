// The retiming-engine adaptor: its settings as the engine reads them, the
// library loaded anew for every utility, and the failures on the way.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "siv/siv_atom_mod_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "thr/thr_drl.h"
#include "velmo_yun_env.h"
#include "wexan/wexan_env.h"

using host::testing::expect_internal_error;
using host::testing::HostTest;

namespace {

class YunEnvTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    a = n.reg("a").d(n.input_port("in")).atom();
    b = n.reg("b").d(a).atom();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete m_env;
    HostTest::TearDown();
  }
  static long count(const std::string& name) { return host::call_count(name); }

  WEXAN_ENV* m_env = nullptr;
  VOK_ATOM_NODE* a = nullptr;
  VOK_ATOM_NODE* b = nullptr;
};

TEST_F(YunEnvTest, TheEngineReadsExactlyTheSettingsStored) {
  VELMO_YUN_ENV env;
  for (auto d : {YUN_ENV::EXPAND_LABS, YUN_ENV::SPAR_FLOW_RETIMED, YUN_ENV::SPAR_FLOW_FINAL})
    EXPECT_FALSE(env.get_bool_data(d));
  env.set_bool_data(YUN_ENV::SPAR_FLOW_RETIMED, true);
  EXPECT_FALSE(env.get_bool_data(YUN_ENV::EXPAND_LABS));
  EXPECT_TRUE(env.get_bool_data(YUN_ENV::SPAR_FLOW_RETIMED));
  EXPECT_FALSE(env.get_bool_data(YUN_ENV::SPAR_FLOW_FINAL));

  std::unique_ptr<YUN_UTILITY> util(env.create_yun_utility(nullptr));
  ASSERT_NE(util, nullptr);
  EXPECT_EQ(env.get_cmp_facade(), m_env->get_cmp());
  EXPECT_EQ(env.get_atom_netlist(), m_env->get_atom_netlist());
  ASSERT_NE(env.get_atom_mod_utility(), nullptr);
  EXPECT_EQ(env.get_atom_mod_utility()->get_algorithm(), 7);
  EXPECT_TRUE(util->retime());
  EXPECT_THAT(host::call_lines(), ::testing::Contains("YUN_UTILITY::retime(false, true, false)"));

  // Both flags pass through to the design unchanged.
  EXPECT_TRUE(env.copy_atom_location_constraints(a, b, true, false));
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains(::testing::HasSubstr("WEXAN_DESIGN::copy_atom_location_constraints(")));
  const std::string last = host::call_lines().back();
  EXPECT_NE(last.find("true, false)"), std::string::npos) << last;
}

TEST_F(YunEnvTest, EveryUtilityLoadsTheLibraryAgainAndNothingIsUnloaded) {
  VELMO_YUN_ENV env;
  std::unique_ptr<YUN_UTILITY> first(env.create_yun_utility(nullptr));
  std::unique_ptr<YUN_UTILITY> second(env.create_yun_utility(nullptr));
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(count("thr_drl_load"), 2);
  EXPECT_EQ(count("thr_drl_find_function"), 2);
  EXPECT_EQ(count("yun_utility_factory"), 2);
  EXPECT_EQ(count("thr_drl_unload"), 0);
  EXPECT_EQ(host::counters::get("yun_utility"), 2);
  std::vector<KEM_TIMING_MODEL> models;
  first->get_timing_models(models);
  EXPECT_EQ(models.size(), 2u);
}

TEST_F(YunEnvTest, FailuresAreInternalErrors) {
  VELMO_YUN_ENV env;
  host::loader::hide("zarn_yun");
  auto e = expect_internal_error([&] { delete env.create_yun_utility(nullptr); });
  EXPECT_NE(e.condition.find("zarn_yun"), std::string::npos) << e.condition;

  delete m_env;
  m_env = nullptr;
  e = expect_internal_error([&] { delete env.create_yun_utility(nullptr); });
  EXPECT_EQ(e.condition, "env");
}

}  // namespace
