#pragma once
// The periphery placement utility made at start-up and kept by the entry
// points until shut-down; the host's planning flow reaches its estimators and
// router constraints through the base.
#include <list>
#include <memory>

#include "oxter/oxter_env.h"
#include "wexan/wexan_utilities.h"

class VELMO_MAC_MERGE_OP;
class WEXAN_ENV;

// Answers the planning flow's MAC-count question with an estimate-only MAC
// merge operation on the process environment.
class OXTER_MAC_MERGE_ESTIMATOR_IMPL : public OXTER_MAC_MERGE_ESTIMATOR {
public:
  explicit OXTER_MAC_MERGE_ESTIMATOR_IMPL(WEXAN_ENV* env);
  ~OXTER_MAC_MERGE_ESTIMATOR_IMPL() override;
  int estimate_mac_count_after_merging(const std::list<VOK_ATOM_NODE*>& atoms) override;

private:
  WEXAN_ENV* m_env;
  // Made at the first estimate: the operation needs a device family with a
  // MAC merge utility, which not every device that starts the fitter has.
  std::unique_ptr<VELMO_MAC_MERGE_OP> m_op;
};

class VELMO_PERIPHERY_PLACEMENT_UTIL : public WEXAN_PERIPHERY_FLOW {
public:
  VELMO_PERIPHERY_PLACEMENT_UTIL();
  ~VELMO_PERIPHERY_PLACEMENT_UTIL() override;
  VELMO_PERIPHERY_PLACEMENT_UTIL(const VELMO_PERIPHERY_PLACEMENT_UTIL&) = delete;
  VELMO_PERIPHERY_PLACEMENT_UTIL& operator=(const VELMO_PERIPHERY_PLACEMENT_UTIL&) = delete;

private:
  // The estimator installed into the planning environment, when this
  // utility installed one.
  std::unique_ptr<OXTER_MAC_MERGE_ESTIMATOR_IMPL> m_mac_estimator;
};
