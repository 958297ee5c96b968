#pragma once
// The LUT-RAM conversion stage at plan time: the RAM manager's conversion, or
// nothing when it is left to RAM clustering in the place stage, and the RAM
// power optimisation on one family.
class WEXAN_ENV;

class VELMO_LUTRAM_CONVERSION_MGR {
public:
  explicit VELMO_LUTRAM_CONVERSION_MGR(WEXAN_ENV* env);
  ~VELMO_LUTRAM_CONVERSION_MGR();
  VELMO_LUTRAM_CONVERSION_MGR(const VELMO_LUTRAM_CONVERSION_MGR&) = delete;
  VELMO_LUTRAM_CONVERSION_MGR& operator=(const VELMO_LUTRAM_CONVERSION_MGR&) = delete;

  // True on success or when the conversion is skipped.
  bool work();

private:
  WEXAN_ENV* m_env;
  bool m_at_plan;
};
