#pragma once
// data: the die information of the stand-in device (placement grid, route
// info, blacklisting, clock regions, gid texts). One object per configured
// device, generated on first use from the DeviceSpec and rebuilt when the
// DeviceSpec changes; host::device::die_info() returns it.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/host_api.h"
#include "dev/dev_die_info.h"
#include "dev/dev_element_desc.h"
#include "dev/dev_grid.h"
#include "wump/wump_blacklisting.h"
#include "wump/wump_route_objects.h"

struct WUMP_POINT {
  int x = 0;
  int y = 0;
  bool operator==(const WUMP_POINT&) const = default;
};

class HOST_API WUMP_CLOCK_REGION {
public:
  WUMP_CLOCK_REGION(int type, DEV_TILE_RECT rect) : m_type(type), m_rect(rect) {}
  int get_type() const { return m_type; }
  WUMP_POINT get_lower_left_corner() const { return {m_rect.x0, m_rect.y0}; }
  WUMP_POINT get_upper_right_corner() const { return {m_rect.x1, m_rect.y1}; }

private:
  int m_type;
  DEV_TILE_RECT m_rect;
};

class HOST_API WUMP_CLOCK_REGION_INFO {
public:
  // data: the regions of a type in row-major order; type 7 (sector-level)
  // regions are the die's sectors, other types have none.
  std::vector<WUMP_CLOCK_REGION> get_clock_region_list(int type) const;

private:
  friend class WUMP_DIE_INFO;
  std::vector<WUMP_CLOCK_REGION> m_regions;
};

// data: one placement site (block) of the grid.
class HOST_API WUMP_PLACE_BLOCK {
public:
  WUMP_PLACE_BLOCK(unsigned gid, const DEV_SITE& site, unsigned parent) : m_gid(gid), m_site(site), m_parent(parent) {}
  unsigned get_global_id() const { return m_gid; }
  DEV_ELEMENT_ENUM get_element_enum() const { return static_cast<DEV_ELEMENT_ENUM>(m_site.element); }
  int get_x() const { return m_site.x; }
  int get_y() const { return m_site.y; }
  int get_sub_location() const { return m_site.z; }
  // The block's parent (an I/O pin's site parent, kind 162); 0xFFFFFFFF for
  // blocks without one.
  unsigned get_parent_global_id() const { return m_parent; }

private:
  unsigned m_gid;
  DEV_SITE m_site;
  unsigned m_parent;
};

class HOST_API WUMP_PLACE_INFO {
public:
  explicit WUMP_PLACE_INFO(const DeviceSpec& spec);
  int get_nx() const { return m_grid.nx(); }
  int get_ny() const { return m_grid.ny(); }
  const DEV_GRID& get_grid() const { return m_grid; }
  const std::vector<DEV_SITE>& get_location_table() const { return m_grid.sites(); }
  // data: the placement gid of site `sub` of tile (x, y) when `element` is 0
  // or the site's kind; for element 643 with sub 60..99 on a LAB of a family
  // with pipeline registers in routing, the routing gid (bit 31 set) of the
  // control input mux holding that pipeline slot. 0xFFFFFFFF when none.
  unsigned get_global_id(int element, int x, int y, int sub) const;
  // data: the block of a placement gid; none for other gids.
  std::optional<WUMP_PLACE_BLOCK> get_place_block(unsigned gid) const;
  // data: the placement gids of tile (x, y) in sub-location order.
  std::vector<unsigned> get_global_ids_at(int x, int y) const;
  // data: the top-level blocks of tile (x, y) (blocks without a parent), in
  // sub-location order; empty outside the grid.
  std::vector<unsigned> get_top_level_blocks_at_coordinate(int x, int y) const;
  const WUMP_CLOCK_REGION_INFO* get_clock_region_info() const { return &m_clock_regions; }

private:
  friend class WUMP_DIE_INFO;
  DEV_GRID m_grid;
  bool m_slots;
  const WUMP_ROUTE_INFO* m_route_info = nullptr;
  WUMP_CLOCK_REGION_INFO m_clock_regions;
};

class HOST_API WUMP_DIE_INFO : public DEV_DIE_INFO {
public:
  explicit WUMP_DIE_INFO(const DeviceSpec& spec);
  ~WUMP_DIE_INFO() override;

  bool is_global_id_enabled(unsigned gid) const override;
  bool get_location(unsigned gid, DEV_LOCATION& location) const override;
  WUMP_DIE_INFO* get_wump_die_info() override { return this; }
  const WUMP_DIE_INFO* get_wump_die_info() const override { return this; }

  WUMP_PLACE_INFO* get_place_info() { return &m_place_info; }
  const WUMP_PLACE_INFO* get_place_info() const { return &m_place_info; }
  WUMP_ROUTE_INFO* get_route_info() { return m_route_info.get(); }
  const WUMP_ROUTE_INFO* get_route_info() const { return m_route_info.get(); }
  const WUMP_BLACKLISTING* get_blacklisting() const { return &m_blacklisting; }
  // data: the description of the element kind of a placement or routing
  // gid; null for a gid that names nothing.
  const DEV_ELEMENT_DESC* get_element_desc(unsigned gid) const;
  // data: the gids that drive `gid` (its fanins) and the gids it drives (its
  // real fanouts), in list order; `out` is replaced.
  void get_fanin_gids(unsigned gid, std::vector<unsigned>& out) const;
  void get_fanout_gids(unsigned gid, std::vector<unsigned>& out) const;
  // data: the placement block type of an element kind (the stand-in uses
  // the kind itself; `variant` selects nothing) and the number of grid rows
  // a block of that type spans: 2 for DSP blocks (1336), 1 otherwise.
  virtual int get_block_type(const DEV_ELEMENT_DESC& desc, int variant) const;
  virtual int get_block_type_height(int block_type) const;
  // data: "X<x>_Y<y>_N<z>" for a site, the element name for a routing gid,
  // "?" for anything else.
  std::string get_gid_string(unsigned gid) const;
  // Tests: replaces the generated routing graph (see wump_hand_graph.h) and
  // makes it the active route info in mode 0.
  void install_route_info(std::unique_ptr<WUMP_ROUTE_INFO> info);

private:
  WUMP_PLACE_INFO m_place_info;
  std::unique_ptr<WUMP_ROUTE_INFO> m_route_info;
  WUMP_BLACKLISTING m_blacklisting;
  std::set<unsigned> m_disabled;
};

class HOST_API WUMP_BLACKLISTING_LOADER {
public:
  // recorded: the die's blacklisting is filled when the die is generated.
  static void setup_blacklisting(WUMP_DIE_INFO* die);
};

namespace host::device {
// data: the die information of the configured device (generated on first use
// and after the DeviceSpec changed; its route info is then active in mode 0).
HOST_API WUMP_DIE_INFO* die_info();
}  // namespace host::device
