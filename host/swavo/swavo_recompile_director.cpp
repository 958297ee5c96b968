#include "swavo/swavo_recompile_director.h"

#include <memory>

#include "common/host_world.h"

namespace {
struct DIRECTOR_STATE {
  std::unique_ptr<SWAVO_RECOMPILE_DIRECTOR> director;
};
DIRECTOR_STATE& l_state() { return host_world_slot<DIRECTOR_STATE>(); }
}  // namespace

SWAVO_RECOMPILE_DIRECTOR* SWAVO_RECOMPILE_DIRECTOR::instance() { return l_state().director.get(); }

namespace host::swavo {
void set_director(bool present) {
  if (present)
    l_state().director = std::make_unique<SWAVO_RECOMPILE_DIRECTOR>();
  else
    l_state().director.reset();
}
}  // namespace host::swavo
