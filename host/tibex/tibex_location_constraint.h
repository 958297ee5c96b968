#pragma once
// data: location constraints of atoms and the placement (Tarnbay) regions.
//
// A constraint is a list of entries; each entry is asserted by a set of
// origins (`sources`: 0x80 user, 0x100 design, 0x200 I/O packing) and is
// either locked (an exact site or a box) or floating (a Tarnbay region). A
// query with a source mask matches the first entry whose sources meet the
// mask; the mask 0x4000 matches every entry.
#include <string>
#include <vector>
#include "common/host_api.h"

namespace host::constraints {
constexpr unsigned SOURCE_USER = 0x80;
constexpr unsigned SOURCE_DESIGN = 0x100;
constexpr unsigned SOURCE_IO_PACKING = 0x200;
constexpr unsigned SOURCE_ANY = 0x4000;
// What the builder asserts unless a test says otherwise.
constexpr unsigned SOURCE_DEFAULT = SOURCE_USER | SOURCE_DESIGN | SOURCE_IO_PACKING;
}  // namespace host::constraints

class HOST_API TIBEX_LOCKED_CONSTRAINT {
public:
  TIBEX_LOCKED_CONSTRAINT() = default;
  static TIBEX_LOCKED_CONSTRAINT exact(int x, int y, int sub);
  static TIBEX_LOCKED_CONSTRAINT box(int xmin, int ymin, int xmax, int ymax);

  bool has_constraint() const { return m_has; }
  bool is_specified_exactly() const { return m_has && m_exact; }
  int get_x() const { return m_xmin; }
  int get_y() const { return m_ymin; }
  int get_sub_location() const { return m_sub; }
  int get_xmin() const { return m_xmin; }
  int get_ymin() const { return m_ymin; }
  int get_xmax() const { return m_xmax; }
  int get_ymax() const { return m_ymax; }
  bool operator==(const TIBEX_LOCKED_CONSTRAINT&) const = default;

private:
  bool m_has = false;
  bool m_exact = false;
  int m_xmin = 0, m_ymin = 0, m_xmax = 0, m_ymax = 0, m_sub = -1;
};

class HOST_API TIBEX_FLOATING_CONSTRAINT {
public:
  TIBEX_FLOATING_CONSTRAINT() = default;
  explicit TIBEX_FLOATING_CONSTRAINT(int tarnbay_id) : m_tarnbay_id(tarnbay_id) {}
  bool has_constraint() const { return m_tarnbay_id >= 0; }
  int get_tarnbay_id() const { return m_tarnbay_id; }
  bool operator==(const TIBEX_FLOATING_CONSTRAINT&) const = default;

private:
  int m_tarnbay_id = -1;
};

class HOST_API TIBEX_LOCATION_CONSTRAINT {
public:
  struct ENTRY {
    unsigned sources = host::constraints::SOURCE_DEFAULT;
    bool locked = true;
    TIBEX_LOCKED_CONSTRAINT locked_constraint;
    TIBEX_FLOATING_CONSTRAINT floating_constraint;
    bool operator==(const ENTRY&) const = default;
  };

  bool has_locked_constraint(unsigned source_mask) const;
  // An empty constraint when none matches.
  TIBEX_LOCKED_CONSTRAINT get_locked_constraint(unsigned source_mask) const;
  bool has_floating_constraint(unsigned source_mask) const;
  TIBEX_FLOATING_CONSTRAINT get_floating_constraint(unsigned source_mask) const;
  // The union of the sources of all entries.
  unsigned get_sources() const;
  bool is_empty() const { return m_entries.empty(); }

  void add_locked(const TIBEX_LOCKED_CONSTRAINT& c, unsigned sources);
  void add_floating(int tarnbay_id, unsigned sources);
  const std::vector<ENTRY>& entries() const { return m_entries; }
  bool operator==(const TIBEX_LOCATION_CONSTRAINT&) const = default;

private:
  const ENTRY* find(bool locked, unsigned mask) const;
  std::vector<ENTRY> m_entries;
};

// A placement region: a name, two whole-device flags and rectangles.
struct HOST_API TIBEX_ZARTO_REGION {
  struct RECT {
    int xmin, ymin, xmax, ymax;
  };
  std::string name;
  bool whole_device_x = false;
  bool whole_device_y = false;
  std::vector<RECT> rects;
};

class HOST_API TIBEX_ZARTO_REGION_LIST {
public:
  int get_num_zarto_regions() const { return static_cast<int>(m_regions.size()); }
  // Null for an id without a region.
  const TIBEX_ZARTO_REGION* get_xr(int id) const;
  // Adds a region under the next id, or under `id` (ids may have gaps).
  int add(TIBEX_ZARTO_REGION region, int id = -1);

private:
  std::vector<std::pair<bool, TIBEX_ZARTO_REGION>> m_regions;  // (exists, region) by id
};

namespace host::constraints {
// data: the design's constraint store (what WEXAN_DESIGN reads and writes).
// set() asserts a constraint in the project and in the design; set_current()
// changes the design's copy only (what the fitter itself decides);
// reload_from_project() brings the design back to the project's constraints.
HOST_API void set(int atom_id, const TIBEX_LOCATION_CONSTRAINT& c);
HOST_API void set_current(int atom_id, const TIBEX_LOCATION_CONSTRAINT& c);
HOST_API void reload_from_project();
HOST_API TIBEX_LOCATION_CONSTRAINT get(int atom_id);
HOST_API void clear();
// The region list; null until a region is added.
HOST_API TIBEX_ZARTO_REGION_LIST* regions();
HOST_API TIBEX_ZARTO_REGION_LIST& create_regions();
}  // namespace host::constraints
