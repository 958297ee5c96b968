#pragma once
// Periphery-to-core and core-to-periphery register placement.
class WEXAN_ENV;

class VELMO_PERIPHERY_CORE_PLACEMENT {
public:
  explicit VELMO_PERIPHERY_CORE_PLACEMENT(WEXAN_ENV* env);
  ~VELMO_PERIPHERY_CORE_PLACEMENT();
  VELMO_PERIPHERY_CORE_PLACEMENT(const VELMO_PERIPHERY_CORE_PLACEMENT&) = delete;
  VELMO_PERIPHERY_CORE_PLACEMENT& operator=(const VELMO_PERIPHERY_CORE_PLACEMENT&) = delete;

  bool UIB_ESRAM_C2P_core_register_placement();
  bool periphery_to_core_register_placement();

private:
  WEXAN_ENV* m_env;
};
