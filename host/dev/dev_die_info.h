#pragma once
// data: the die information of the configured device: which placement gids
// are enabled, the clock regions and sectors, and the conversion from a
// location index (a placement gid, or a routing gid with bit 31 set) to a
// DEV_LOCATION. WUMP_DIE_INFO derives from it; there is one object, reachable
// from host::device::die_info() under both names.
#include <string>
#include <vector>
#include "common/host_api.h"
#include "dev/dev_location.h"

class WUMP_DIE_INFO;

// An axis-aligned rectangle of tiles, corners included.
struct DEV_TILE_RECT {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

class HOST_API DEV_DIE_INFO {
public:
  virtual ~DEV_DIE_INFO();
  // data: false for gids the test disabled and for gids that name nothing.
  virtual bool is_global_id_enabled(unsigned gid) const = 0;
  // data: fills `location` from a placement or routing gid; false (location
  // untouched) when the gid names nothing.
  virtual bool get_location(unsigned gid, DEV_LOCATION& location) const = 0;
  // data: the routing die information (the same object).
  virtual WUMP_DIE_INFO* get_wump_die_info() = 0;
  virtual const WUMP_DIE_INFO* get_wump_die_info() const = 0;
  // data: sectors of the die, in row-major order.
  const std::vector<DEV_TILE_RECT>& get_sectors() const { return m_sectors; }
  // recorded: loads the die's data up to a level (4, 2, ...) for the named
  // part of the die ("" for all of it).
  void prepare(int level, const std::string& name) const;

protected:
  std::vector<DEV_TILE_RECT> m_sectors;
};
