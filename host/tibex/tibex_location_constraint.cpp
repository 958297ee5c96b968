#include "tibex/tibex_location_constraint.h"

#include <map>
#include <memory>
#include <mutex>

#include "common/host_world.h"

TIBEX_LOCKED_CONSTRAINT TIBEX_LOCKED_CONSTRAINT::exact(int x, int y, int sub) {
  TIBEX_LOCKED_CONSTRAINT c;
  c.m_has = true;
  c.m_exact = true;
  c.m_xmin = c.m_xmax = x;
  c.m_ymin = c.m_ymax = y;
  c.m_sub = sub;
  return c;
}

TIBEX_LOCKED_CONSTRAINT TIBEX_LOCKED_CONSTRAINT::box(int xmin, int ymin, int xmax, int ymax) {
  TIBEX_LOCKED_CONSTRAINT c;
  c.m_has = true;
  c.m_xmin = xmin;
  c.m_ymin = ymin;
  c.m_xmax = xmax;
  c.m_ymax = ymax;
  return c;
}

const TIBEX_LOCATION_CONSTRAINT::ENTRY* TIBEX_LOCATION_CONSTRAINT::find(bool locked, unsigned mask) const {
  for (const auto& e : m_entries) {
    if (e.locked != locked) continue;
    if ((mask & host::constraints::SOURCE_ANY) || (e.sources & mask)) return &e;
  }
  return nullptr;
}

bool TIBEX_LOCATION_CONSTRAINT::has_locked_constraint(unsigned mask) const { return find(true, mask) != nullptr; }

TIBEX_LOCKED_CONSTRAINT TIBEX_LOCATION_CONSTRAINT::get_locked_constraint(unsigned mask) const {
  const ENTRY* e = find(true, mask);
  return e ? e->locked_constraint : TIBEX_LOCKED_CONSTRAINT();
}

bool TIBEX_LOCATION_CONSTRAINT::has_floating_constraint(unsigned mask) const { return find(false, mask) != nullptr; }

TIBEX_FLOATING_CONSTRAINT TIBEX_LOCATION_CONSTRAINT::get_floating_constraint(unsigned mask) const {
  const ENTRY* e = find(false, mask);
  return e ? e->floating_constraint : TIBEX_FLOATING_CONSTRAINT();
}

unsigned TIBEX_LOCATION_CONSTRAINT::get_sources() const {
  unsigned s = 0;
  for (const auto& e : m_entries) s |= e.sources;
  return s;
}

void TIBEX_LOCATION_CONSTRAINT::add_locked(const TIBEX_LOCKED_CONSTRAINT& c, unsigned sources) {
  ENTRY e;
  e.sources = sources;
  e.locked = true;
  e.locked_constraint = c;
  m_entries.push_back(e);
}

void TIBEX_LOCATION_CONSTRAINT::add_floating(int tarnbay_id, unsigned sources) {
  ENTRY e;
  e.sources = sources;
  e.locked = false;
  e.floating_constraint = TIBEX_FLOATING_CONSTRAINT(tarnbay_id);
  m_entries.push_back(e);
}

const TIBEX_ZARTO_REGION* TIBEX_ZARTO_REGION_LIST::get_xr(int id) const {
  if (id < 0 || id >= static_cast<int>(m_regions.size()) || !m_regions[static_cast<size_t>(id)].first)
    return nullptr;
  return &m_regions[static_cast<size_t>(id)].second;
}

int TIBEX_ZARTO_REGION_LIST::add(TIBEX_ZARTO_REGION region, int id) {
  if (id < 0) id = static_cast<int>(m_regions.size());
  if (id >= static_cast<int>(m_regions.size())) m_regions.resize(static_cast<size_t>(id) + 1);
  m_regions[static_cast<size_t>(id)] = {true, std::move(region)};
  return id;
}

namespace {
struct CONSTRAINT_STATE {
  std::mutex mutex;
  std::map<int, TIBEX_LOCATION_CONSTRAINT> by_atom;   // the design's current constraints
  std::map<int, TIBEX_LOCATION_CONSTRAINT> project;   // as the user and the project assert them
  std::unique_ptr<TIBEX_ZARTO_REGION_LIST> regions;
};
CONSTRAINT_STATE& state() { return host_world_slot<CONSTRAINT_STATE>(); }
}  // namespace

namespace host::constraints {
void set(int atom_id, const TIBEX_LOCATION_CONSTRAINT& c) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (c.is_empty()) {
    st.by_atom.erase(atom_id);
    st.project.erase(atom_id);
  } else {
    st.by_atom[atom_id] = c;
    st.project[atom_id] = c;
  }
}
void set_current(int atom_id, const TIBEX_LOCATION_CONSTRAINT& c) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (c.is_empty())
    st.by_atom.erase(atom_id);
  else
    st.by_atom[atom_id] = c;
}
void reload_from_project() {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.by_atom = st.project;
}
TIBEX_LOCATION_CONSTRAINT get(int atom_id) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  auto it = st.by_atom.find(atom_id);
  return it == st.by_atom.end() ? TIBEX_LOCATION_CONSTRAINT() : it->second;
}
void clear() {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.by_atom.clear();
}
TIBEX_ZARTO_REGION_LIST* regions() { return state().regions.get(); }
TIBEX_ZARTO_REGION_LIST& create_regions() {
  auto& st = state();
  if (!st.regions) st.regions = std::make_unique<TIBEX_ZARTO_REGION_LIST>();
  return *st.regions;
}
}  // namespace host::constraints
