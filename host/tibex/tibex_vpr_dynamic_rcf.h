#pragma once
// Base of the component's holder of the router's dynamic hard constraints.
#include "common/host_api.h"

class RCF_DRL_RCF_WRAPPER;

class HOST_API TIBEX_VPR_DYNAMIC_RCF_UTILITY {
public:
  TIBEX_VPR_DYNAMIC_RCF_UTILITY();
  virtual ~TIBEX_VPR_DYNAMIC_RCF_UTILITY();
  TIBEX_VPR_DYNAMIC_RCF_UTILITY(const TIBEX_VPR_DYNAMIC_RCF_UTILITY&) = delete;
  TIBEX_VPR_DYNAMIC_RCF_UTILITY& operator=(const TIBEX_VPR_DYNAMIC_RCF_UTILITY&) = delete;
  // The constraints the router reads, or null.
  virtual RCF_DRL_RCF_WRAPPER* get_hard_constraints() const = 0;
};
