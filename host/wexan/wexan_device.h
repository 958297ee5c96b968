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

  // algorithm (recorded): places the atom with this id on the site of its
  // kind at sub-location `sub` of tile (x, y); for a register on a LAB whose
  // family has pipeline registers in routing, sub-locations 60..99 name the
  // LAB's pipeline slots. The location is written per the location gid rule.
  // False, and nothing written, when there is no such atom or no such site
  // for it.
  bool place_atom_at_sub_location(int x, int y, int sub, int atom_id);

  // data: the I/O pad of site `sub` of tile (x, y) (any site of its pin), or
  // null; and the grid's size.
  const class DEV_PAD* get_pad_from_location(int x, int y, int sub) const;
  int get_nx() const;
  int get_ny() const;
  // algorithm: whether some site of the grid is of the element kind (the
  // grid's PLL corners give 581).
  bool has_at_least_one_element_of_type(int element) const;
};
