#pragma once
// The design bundle (device instance) singleton.
#include <vector>
#include "common/host_api.h"

class HOST_API GESK_BUNDLE {
public:
  // data: the bundle's entry table; an entry is set once it is loaded.
  const std::vector<void*>& get_entries() const { return m_entries; }
  std::vector<void*>& entries() { return m_entries; }

private:
  std::vector<void*> m_entries;
};

class HOST_API GESK_BUNDLE_SINGLETON {
public:
  // data: the loaded bundle, null when none is loaded (host::gesk::load).
  static GESK_BUNDLE* get_bundle();
};

namespace host::gesk {
// Loads (or drops) the bundle; `loaded_entry` sets one entry of its table.
HOST_API void load(bool present, bool loaded_entry);
}
