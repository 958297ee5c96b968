#pragma once
// The MAC merge utility of the KX device families.
#include "velmo_qdsp_merge_util.h"

class VELMO_QDSP_MERGE_UTIL_KX : public VELMO_QDSP_MERGE_UTIL_INTERFACE {
public:
  explicit VELMO_QDSP_MERGE_UTIL_KX(WEXAN_ENV* env);
  ~VELMO_QDSP_MERGE_UTIL_KX() override;
};
