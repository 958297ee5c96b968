#pragma once
// The timing-driven resynthesis driver around the host's resynthesis engine.
class CMP_FACADE;
class WEXAN_ENV;

class VELMO_RESYN_WRAPPER {
public:
  // Runs resynthesis on the design; false stops the caller's chain.
  static bool run(CMP_FACADE* cmp, WEXAN_ENV* env, int mode);
};
