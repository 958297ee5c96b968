#pragma once
// The environment's view of the configured device.
#include "common/host_api.h"

class HOST_API WEXAN_DEVICE {
public:
  // data: the world's device view (never null).
  static WEXAN_DEVICE* current();
  virtual ~WEXAN_DEVICE();

  // data: the element kind of site `sub` of tile (x, y), 0 when there is
  // none (a DSP block's upper row has no site of its own).
  int get_physical_location_type(int x, int y, int sub) const;
  // algorithm (recorded): places the atom on site `sub` of tile (x, y); false
  // (and nothing placed) when there is no such site or no such atom.
  bool place_atom_at_sub_location(int x, int y, int sub, int atom_id);
};
