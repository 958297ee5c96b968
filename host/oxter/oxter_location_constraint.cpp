#include "oxter/oxter_location_constraint.h"

#include "oxter/oxter_env.h"
#include "tibex/tibex_location_constraint.h"
#include "place_db/place_db.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"

namespace {
constexpr unsigned l_all_sources = 0x4000;

const TIBEX_LOCATION_CONSTRAINT::ENTRY* l_exact_entry(const TIBEX_LOCATION_CONSTRAINT& c) {
  for (const auto& e : c.entries())
    if (e.locked && e.locked_constraint.is_specified_exactly()) return &e;
  return nullptr;
}
}  // namespace

const OXTER_LOCATION_CONSTRAINT* OXTER_LOCATION_CONSTRAINT::of(const OXTER_ENV*) {
  static const OXTER_LOCATION_CONSTRAINT view;
  return &view;
}

bool OXTER_LOCATION_CONSTRAINT::has_location(const VOK_ATOM_NODE* atom) const {
  return atom->get_location_element() != 0 || is_location_fixed(atom);
}

bool OXTER_LOCATION_CONSTRAINT::is_location_fixed(const VOK_ATOM_NODE* atom) const {
  return l_exact_entry(host::constraints::get(atom->get_id())) != nullptr;
}

bool OXTER_LOCATION_CONSTRAINT::get_fixed_location(const VOK_ATOM_NODE* atom, int& x, int& y, int& sub,
                                                   int& extra) const {
  const TIBEX_LOCATION_CONSTRAINT c = host::constraints::get(atom->get_id());
  const auto* e = l_exact_entry(c);
  extra = 0;
  if (e == nullptr) {
    x = y = sub = -1;
    return false;
  }
  x = e->locked_constraint.get_x();
  y = e->locked_constraint.get_y();
  sub = e->locked_constraint.get_sub_location();
  return true;
}

std::vector<std::array<int, 4>> OXTER_LOCATION_CONSTRAINT::get_region_rectangles(const VOK_ATOM_NODE* atom) const {
  const TIBEX_LOCATION_CONSTRAINT c = host::constraints::get(atom->get_id());
  std::vector<std::array<int, 4>> out;
  if (c.has_locked_constraint(l_all_sources)) {
    const TIBEX_LOCKED_CONSTRAINT l = c.get_locked_constraint(l_all_sources);
    if (!l.is_specified_exactly()) out.push_back({l.get_xmin(), l.get_ymin(), l.get_xmax(), l.get_ymax()});
    return out;
  }
  if (!c.has_floating_constraint(l_all_sources)) return out;
  const TIBEX_ZARTO_REGION_LIST* regions = host::constraints::regions();
  const TIBEX_ZARTO_REGION* r =
      regions ? regions->get_xr(c.get_floating_constraint(l_all_sources).get_tarnbay_id()) : nullptr;
  if (r != nullptr)
    for (const auto& rect : r->rects) out.push_back({rect.xmin, rect.ymin, rect.xmax, rect.ymax});
  return out;
}

bool OXTER_LOCATION_CONSTRAINT::may_take(const VOK_ATOM_NODE* atom, unsigned gid) const {
  const auto block = host::device::die_info()->get_place_info()->get_place_block(gid);
  if (!block) return false;
  const int x = block->get_x(), y = block->get_y(), z = block->get_sub_location();
  int fx = -1, fy = -1, fz = -1, extra = 0;
  if (get_fixed_location(atom, fx, fy, fz, extra) && (fx != x || fy != y || fz != z)) return false;
  const auto regions = get_region_rectangles(atom);
  bool inside = regions.empty();
  for (const auto& r : regions) inside = inside || (x >= r[0] && x <= r[2] && y >= r[1] && y <= r[3]);
  if (!inside) return false;
  const VOK_ATOM_NODE* holder = PLACE_DB::get_atom(gid);
  return holder == nullptr || holder == atom;
}
