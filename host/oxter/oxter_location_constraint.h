#pragma once
// The planning flow's view of an atom's location constraint. It is derived
// from the design's constraint entries and the atom's placement, so it never
// disagrees with them:
// - has a location: the atom is placed, or it has an exact locked entry;
// - fixed: an exact locked entry;
// - regions: the locked box, or the rectangles of its Tarnbay region.
#include <array>
#include <vector>

#include "common/host_api.h"

class OXTER_ENV;
class VOK_ATOM_NODE;

class HOST_API OXTER_LOCATION_CONSTRAINT {
public:
  // data: the view of the planning-flow environment (never null).
  static const OXTER_LOCATION_CONSTRAINT* of(const OXTER_ENV* env);

  bool has_location(const VOK_ATOM_NODE* atom) const;
  bool is_location_fixed(const VOK_ATOM_NODE* atom) const;
  // The exact locked site (x, y, sub-location, and a fourth value that is
  // always 0); false, with -1 each, when the location is not fixed.
  bool get_fixed_location(const VOK_ATOM_NODE* atom, int& x, int& y, int& sub, int& extra) const;
  // (x1, y1, x2, y2) each; empty without a region.
  std::vector<std::array<int, 4>> get_region_rectangles(const VOK_ATOM_NODE* atom) const;
  // Whether the atom may take the placement gid: inside its fixed site or its
  // regions (when it has them), and no other atom sits there.
  bool may_take(const VOK_ATOM_NODE* atom, unsigned gid) const;
};
