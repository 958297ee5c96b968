#pragma once
// The recompile director: which fitter passes a recompile still needs.
#include "common/host_api.h"

class HOST_API SWAVO_RECOMPILE_DIRECTOR {
public:
  // data: the world's director; null unless a test or a recompile made one
  // (host::swavo::set_director).
  static SWAVO_RECOMPILE_DIRECTOR* instance();
  // data: whether the automatic delay-chain pass is needed (default true).
  bool is_auto_delay_chain_needed() const { return m_auto_delay_chain_needed; }
  void set_auto_delay_chain_needed(bool on) { m_auto_delay_chain_needed = on; }

private:
  bool m_auto_delay_chain_needed = true;
};

namespace host::swavo {
// Makes (or removes) the world's director.
HOST_API void set_director(bool present);
}  // namespace host::swavo
