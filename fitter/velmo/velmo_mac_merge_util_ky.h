#pragma once
// The MAC merge utility of the KY device families.
#include "velmo_qdsp_merge_util.h"

class VELMO_QDSP_MERGE_UTIL_KY : public VELMO_QDSP_MERGE_UTIL_INTERFACE {
public:
  explicit VELMO_QDSP_MERGE_UTIL_KY(WEXAN_ENV* env);
  ~VELMO_QDSP_MERGE_UTIL_KY() override;
};
