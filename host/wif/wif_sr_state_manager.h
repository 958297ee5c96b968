#pragma once
// data: whether the compile reuses earlier results (Swavo recompile state).
#include "common/host_api.h"

class HOST_API WIF_SR_STATE_MANAGER {
public:
  static bool is_swavo_recompile_enabled();
};

namespace host::wif {
HOST_API void set_swavo_recompile_enabled(bool on);
}
