#pragma once
// data: the registry of objects the component lends the host (the utility
// slots of TIBEX_ENV and WEXAN_ENV). The host never deletes a lent object;
// shut-down must take every one back, and host_reset() lists the leftovers.
#include <string>
#include <vector>
#include "common/host_api.h"

namespace host {
// Stores obj under slot (null clears it).
HOST_API void registry_set(const std::string& slot, void* obj);
HOST_API void* registry_get(const std::string& slot);
// Slots currently holding an object, in slot-name order.
HOST_API std::vector<std::string> lent();
}  // namespace host
