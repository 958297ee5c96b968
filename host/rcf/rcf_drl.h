#pragma once
// The router's routing-constraint wrapper library: wrappers made by a
// factory, one of them the process's current wrapper.
#include "common/host_api.h"

class HOST_API RCF_DRL_RCF_WRAPPER {
public:
  RCF_DRL_RCF_WRAPPER();
  ~RCF_DRL_RCF_WRAPPER();
  RCF_DRL_RCF_WRAPPER(const RCF_DRL_RCF_WRAPPER&) = delete;
  RCF_DRL_RCF_WRAPPER& operator=(const RCF_DRL_RCF_WRAPPER&) = delete;
};

// data: the current wrapper (null until one is made or set).
HOST_API RCF_DRL_RCF_WRAPPER* rcf_drl_get_rcf_wrapper_ptr();
HOST_API void rcf_drl_set_rcf_wrapper_ptr(RCF_DRL_RCF_WRAPPER* wrapper);
// algorithm: makes a wrapper and makes it the current one (live counter
// "RCF_DRL_RCF_WRAPPER"). Recorded.
HOST_API RCF_DRL_RCF_WRAPPER* rcf_drl_rcf_wrapper_factory();
// algorithm: deletes the wrapper; the current pointer is cleared when it was
// that wrapper. Recorded.
HOST_API void rcf_drl_rcf_wrapper_delete(RCF_DRL_RCF_WRAPPER* wrapper);
