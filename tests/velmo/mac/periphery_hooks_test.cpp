// The planning-flow hooks: router hard constraints, the MAC-count and the
// RAM-count estimators, installed by the periphery placement utility and
// taken back with it.
#include <list>
#include <memory>

#include "cmp/cmp_facade.h"
#include "oxter/oxter_env.h"
#include "rcf/rcf_drl.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "thr/thr_drl.h"
#include "velmo_main.h"
#include "velmo_periphery_placement_util.h"
#include "wexan/wexan_env.h"

using host::testing::expect_internal_error;
using host::testing::Family;

namespace {

class PeripheryHooksTest : public host::testing::EnvTest {
protected:
  static bool slots_empty() {
    return OXTER_ENV::get_dynamic_router_constraints() == nullptr && OXTER_ENV::get_mac_merge_estimator() == nullptr &&
           OXTER_ENV::get_ram_estimator() == nullptr;
  }
};

}  // namespace

TEST_F(PeripheryHooksTest, TheUtilityFillsTheSlotsAndEmptiesThemWhenDestroyed) {
  host::testing::device(Family::KY).build();
  RCF_DRL_RCF_WRAPPER* hosts_own = rcf_drl_rcf_wrapper_factory();
  {
    VELMO_PERIPHERY_PLACEMENT_UTIL util;
    RCF_DRL_RCF_WRAPPER* constraints = OXTER_ENV::get_dynamic_router_constraints();
    ASSERT_NE(constraints, nullptr);
    EXPECT_NE(constraints, hosts_own);
    EXPECT_EQ(rcf_drl_get_rcf_wrapper_ptr(), hosts_own);  // the host's current wrapper stays
    VELMO_VPR_DYNAMIC_RCF_UTILITY* rcf = VELMO_VPR_DYNAMIC_RCF_UTILITY::get_instance();
    EXPECT_EQ(rcf->get_hard_constraints(), constraints);
    EXPECT_EQ(rcf->create_hard_constraints(), constraints);
    EXPECT_EQ(host::counters::get("RCF_DRL_RCF_WRAPPER"), 2);
    EXPECT_NE(OXTER_ENV::get_mac_merge_estimator(), nullptr);
    EXPECT_NE(OXTER_ENV::get_ram_estimator(), nullptr);
    EXPECT_EQ(host::counters::get("nolt_ram_estimator"), 1);

    // A second utility finds the slots filled.
    EXPECT_EQ(expect_internal_error([] { VELMO_PERIPHERY_PLACEMENT_UTIL second; }).condition,
              "!m_dynamic_router_constraints");
  }
  EXPECT_TRUE(slots_empty());
  EXPECT_EQ(host::counters::get("RCF_DRL_RCF_WRAPPER"), 1);
  EXPECT_EQ(host::counters::get("nolt_ram_estimator"), 0);
  EXPECT_EQ(rcf_drl_get_rcf_wrapper_ptr(), hosts_own);
  rcf_drl_rcf_wrapper_delete(hosts_own);

  // A later start-up fills them again.
  { VELMO_PERIPHERY_PLACEMENT_UTIL again; }
  EXPECT_TRUE(slots_empty());
  EXPECT_EQ(host::counters::get("RCF_DRL_RCF_WRAPPER"), 0);
}

TEST_F(PeripheryHooksTest, FilledEstimatorSlotsAreInternalErrors) {
  host::testing::device(Family::KY).build();
  struct OTHER_MAC : OXTER_MAC_MERGE_ESTIMATOR {
    int estimate_mac_count_after_merging(const std::list<VOK_ATOM_NODE*>&) override { return 0; }
  } other_mac;
  struct OTHER_RAM : OXTER_RAM_ESTIMATOR {
    int estimate_num_rams_required(const std::list<VOK_ATOM_NODE*>&) override { return 0; }
  } other_ram;
  OXTER_ENV::set_mac_merge_estimator(&other_mac);
  EXPECT_EQ(expect_internal_error([] { VELMO_PERIPHERY_PLACEMENT_UTIL util; }).condition, "!m_mac_merge_estimator");
  OXTER_ENV::set_mac_merge_estimator(nullptr);
  OXTER_ENV::set_dynamic_router_constraints(nullptr);
  VELMO_VPR_DYNAMIC_RCF_UTILITY::destroy_instance();

  OXTER_ENV::set_ram_estimator(&other_ram);
  EXPECT_EQ(expect_internal_error([] { VELMO_PERIPHERY_PLACEMENT_UTIL util; }).condition, "m_ram_estimator == NULL");
  delete OXTER_ENV::get_mac_merge_estimator();
  OXTER_ENV::set_mac_merge_estimator(nullptr);
  OXTER_ENV::set_ram_estimator(nullptr);
  OXTER_ENV::set_dynamic_router_constraints(nullptr);
  VELMO_VPR_DYNAMIC_RCF_UTILITY::destroy_instance();
  EXPECT_EQ(host::counters::get("RCF_DRL_RCF_WRAPPER"), 0);
  EXPECT_EQ(host::counters::get("nolt_ram_estimator"), 0);
}

TEST_F(PeripheryHooksTest, TheSingletonIsMadeOnDemandWithoutConstraints) {
  VELMO_VPR_DYNAMIC_RCF_UTILITY::destroy_instance();  // none yet: nothing happens
  VELMO_VPR_DYNAMIC_RCF_UTILITY* rcf = VELMO_VPR_DYNAMIC_RCF_UTILITY::get_instance();
  EXPECT_EQ(rcf, VELMO_VPR_DYNAMIC_RCF_UTILITY::get_instance());
  EXPECT_EQ(rcf->get_hard_constraints(), nullptr);
  rcf->create_hard_constraints();
  rcf->destroy_hard_constraints();
  EXPECT_EQ(rcf->get_hard_constraints(), nullptr);
  EXPECT_EQ(host::counters::get("RCF_DRL_RCF_WRAPPER"), 0);
  rcf->create_hard_constraints();
  VELMO_VPR_DYNAMIC_RCF_UTILITY::destroy_instance();
  EXPECT_EQ(host::counters::get("RCF_DRL_RCF_WRAPPER"), 0);
  EXPECT_EQ(VELMO_VPR_DYNAMIC_RCF_UTILITY::get_instance()->get_hard_constraints(), nullptr);
  VELMO_VPR_DYNAMIC_RCF_UTILITY::destroy_instance();
}

TEST_F(PeripheryHooksTest, BothEstimatesAnswer) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  std::list<VOK_ATOM_NODE*> atoms;
  for (int i = 0; i < 5; ++i) atoms.push_back(n.mac("m" + std::to_string(i)).mode(2));
  atoms.push_back(n.ram("r0"));
  atoms.push_back(n.ram("r1"));
  atoms.push_back(n.reg("q"));
  VELMO_PERIPHERY_PLACEMENT_UTIL util;
  EXPECT_EQ(OXTER_ENV::get_mac_merge_estimator()->estimate_mac_count_after_merging(atoms), 3);
  EXPECT_EQ(OXTER_ENV::get_ram_estimator()->estimate_num_rams_required(atoms), 2);
}

class PeripheryHooksStartupTest : public host::testing::HostTest {};

TEST_F(PeripheryHooksStartupTest, StartUpInstallsTheHooksAndShutDownTakesThemBack) {
  host::testing::device(Family::KY).build();
  ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
  EXPECT_NE(OXTER_ENV::get_dynamic_router_constraints(), nullptr);
  EXPECT_NE(OXTER_ENV::get_mac_merge_estimator(), nullptr);
  EXPECT_NE(OXTER_ENV::get_ram_estimator(), nullptr);
  velmo_shutdown_fitter();
  EXPECT_EQ(OXTER_ENV::get_dynamic_router_constraints(), nullptr);
  EXPECT_EQ(OXTER_ENV::get_mac_merge_estimator(), nullptr);
  EXPECT_EQ(OXTER_ENV::get_ram_estimator(), nullptr);
  EXPECT_EQ(host::counters::get("RCF_DRL_RCF_WRAPPER"), 0);
  EXPECT_EQ(host::counters::get("nolt_ram_estimator"), 0);
}
