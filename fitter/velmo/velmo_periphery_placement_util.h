#pragma once
// The periphery placement utility made at start-up and kept by the entry
// points until shut-down. It installs into the planning flow's environment
// the router's dynamic hard constraints, a MAC-count estimator and a
// RAM-count estimator, and takes them back when it is destroyed.
#include <list>

#include "oxter/oxter_env.h"
#include "tibex/tibex_vpr_dynamic_rcf.h"
#include "wexan/wexan_utilities.h"

class VELMO_MAC_MERGE_OP;
class WEXAN_ENV;

// Answers the planning flow's MAC-count question with an estimate-only MAC
// merge operation on the process environment.
class OXTER_MAC_MERGE_ESTIMATOR_IMPL : public OXTER_MAC_MERGE_ESTIMATOR {
public:
  explicit OXTER_MAC_MERGE_ESTIMATOR_IMPL(WEXAN_ENV* env);
  ~OXTER_MAC_MERGE_ESTIMATOR_IMPL() override;
  OXTER_MAC_MERGE_ESTIMATOR_IMPL(const OXTER_MAC_MERGE_ESTIMATOR_IMPL&) = delete;
  OXTER_MAC_MERGE_ESTIMATOR_IMPL& operator=(const OXTER_MAC_MERGE_ESTIMATOR_IMPL&) = delete;
  int estimate_mac_count_after_merging(const std::list<VOK_ATOM_NODE*>& atoms) override;

private:
  WEXAN_ENV* m_env;
  // Made at the first estimate: the operation needs a device family with a
  // MAC merge utility, which not every device that starts the fitter has.
  VELMO_MAC_MERGE_OP* m_op = nullptr;
};

// Answers the planning flow's RAM-count question.
class OXTER_RAM_ESTIMATOR_IMPL : public OXTER_RAM_ESTIMATOR {
public:
  OXTER_RAM_ESTIMATOR_IMPL() = default;
  ~OXTER_RAM_ESTIMATOR_IMPL() override;
  int estimate_num_rams_required(const std::list<VOK_ATOM_NODE*>& atoms) override;
};

// The process's holder of the router's dynamic hard constraints.
class VELMO_VPR_DYNAMIC_RCF_UTILITY : public TIBEX_VPR_DYNAMIC_RCF_UTILITY {
public:
  ~VELMO_VPR_DYNAMIC_RCF_UTILITY() override;
  RCF_DRL_RCF_WRAPPER* get_hard_constraints() const override;

  // The singleton, made on the first call.
  static VELMO_VPR_DYNAMIC_RCF_UTILITY* get_instance();
  static void destroy_instance();
  // The constraints, made on the first call without changing the host's
  // current wrapper.
  RCF_DRL_RCF_WRAPPER* create_hard_constraints();
  void destroy_hard_constraints();

private:
  VELMO_VPR_DYNAMIC_RCF_UTILITY() = default;
  RCF_DRL_RCF_WRAPPER* m_hard_constraints = nullptr;
  static VELMO_VPR_DYNAMIC_RCF_UTILITY* m_instance;
};

class VELMO_PERIPHERY_PLACEMENT_UTIL : public WEXAN_PERIPHERY_FLOW {
public:
  VELMO_PERIPHERY_PLACEMENT_UTIL();
  ~VELMO_PERIPHERY_PLACEMENT_UTIL() override;
  VELMO_PERIPHERY_PLACEMENT_UTIL(const VELMO_PERIPHERY_PLACEMENT_UTIL&) = delete;
  VELMO_PERIPHERY_PLACEMENT_UTIL& operator=(const VELMO_PERIPHERY_PLACEMENT_UTIL&) = delete;

private:
  OXTER_RAM_ESTIMATOR_IMPL* m_ram_estimator = nullptr;
  OXTER_MAC_MERGE_ESTIMATOR_IMPL* m_mac_merge_estimator = nullptr;
};
