#pragma once
// The prefit MAC merge operation.
class WEXAN_ENV;

class VELMO_MAC_MERGE_OP {
public:
  VELMO_MAC_MERGE_OP(WEXAN_ENV* env, bool estimate_only);
  ~VELMO_MAC_MERGE_OP();
  VELMO_MAC_MERGE_OP(const VELMO_MAC_MERGE_OP&) = delete;
  VELMO_MAC_MERGE_OP& operator=(const VELMO_MAC_MERGE_OP&) = delete;

  // Merges the design's MACs; false when the design cannot be fitted.
  bool work();

private:
  WEXAN_ENV* m_env;
  bool m_estimate_only;
};
