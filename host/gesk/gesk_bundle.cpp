#include "gesk/gesk_bundle.h"

#include <memory>

#include "common/host_world.h"

namespace {
struct GESK_STATE {
  std::unique_ptr<GESK_BUNDLE> bundle = std::make_unique<GESK_BUNDLE>();
};
GESK_STATE& state() { return host_world_slot<GESK_STATE>(); }
}  // namespace

GESK_BUNDLE* GESK_BUNDLE_SINGLETON::get_bundle() { return state().bundle.get(); }

namespace host::gesk {
void load(bool present, bool loaded_entry) {
  auto& st = state();
  if (!present) {
    st.bundle.reset();
    return;
  }
  st.bundle = std::make_unique<GESK_BUNDLE>();
  st.bundle->entries().assign(4, nullptr);
  if (loaded_entry) st.bundle->entries()[0] = st.bundle.get();
}
}  // namespace host::gesk
