#include "common/host_world.h"

HOST_WORLD& HOST_WORLD::get() {
  static HOST_WORLD* world = new HOST_WORLD();  // never destroyed: usable from static destructors
  return *world;
}

void HOST_WORLD::clear_slots() {
  // A destructor of an old slot may touch another family's state (a model
  // counts itself out as it goes) and so make a slot of the new world; those
  // are dropped in turn, so the new world starts empty.
  for (;;) {
    std::map<std::type_index, std::shared_ptr<void>> old;
    {
      std::lock_guard<std::recursive_mutex> lock(m_mutex);
      old.swap(m_slots);
      m_generation.fetch_add(1, std::memory_order_acq_rel);
    }
    if (old.empty()) return;
    old.clear();  // destructors may touch other slots; they run outside the lock
  }
}
