#pragma once
// The fitter's view of the device: what the environment's get_device()
// returns. One object, owned by the world.
#include "common/host_api.h"

class HOST_API WEXAN_DEVICE {
public:
  WEXAN_DEVICE();
  virtual ~WEXAN_DEVICE();
  WEXAN_DEVICE(const WEXAN_DEVICE&) = delete;
  WEXAN_DEVICE& operator=(const WEXAN_DEVICE&) = delete;

  // data: the world's device view (never null).
  static WEXAN_DEVICE* current();

  // algorithm (recorded): places the atom with this id on the site of its
  // kind at sub-location `sub` of tile (x, y); for a register on a LAB whose
  // family has pipeline registers in routing, sub-locations 60..99 name the
  // LAB's pipeline slots. The location is written per the location gid rule.
  // False, and nothing written, when there is no such atom or no such site
  // for it.
  bool place_atom_at_sub_location(int x, int y, int sub, int atom_id);
};
