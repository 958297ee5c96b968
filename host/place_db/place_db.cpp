#include "place_db/place_db.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <unordered_map>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "dev/dev_location.h"
#include "kem/kem_netlist.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"

std::pair<int, int> PLACE_DB::get_xy_from_gid(std::uint32_t gid) {
  if (gid == 0xFFFFFFFFu) return {-1, -1};
  const WUMP_DIE_INFO* die = host::device::die_info();
  if (gid & 0x80000000u) {
    const WUMP_ROUTE_INFO* info = die->get_route_info();
    if (!info->get_element_by_gid(gid)) return {-1, -1};
    const std::uint64_t xy = info->get_location(gid, 0);
    return {static_cast<int>(xy & 0xFFFFFFFFu), static_cast<int>(xy >> 32)};
  }
  auto block = die->get_place_info()->get_place_block(gid);
  if (!block) return {-1, -1};
  return {block->get_x(), block->get_y()};
}

namespace {
// Where the design's placed atoms sit, by gid and by tile: read from the
// design by one walk, then kept up to date from the layout's change log, so
// that a lookup costs a hash and an edit's few changes, not a walk of the
// design. A new top netlist, device or layout epoch reads it afresh.
struct SITE_INDEX {
  std::mutex mutex;
  const VOK_ATOM_NETLIST* top = nullptr;
  const WUMP_DIE_INFO* die = nullptr;
  std::uint64_t epoch = 0;
  std::uint64_t seq = 0;
  struct AT {
    std::uint32_t gid;
    int id;
  };
  std::unordered_map<const VOK_ATOM_NODE*, AT> where;
  std::unordered_map<std::uint32_t, std::vector<VOK_ATOM_NODE*>> by_gid;
  std::map<std::pair<int, int>, std::map<int, VOK_ATOM_NODE*>> by_tile;  // by atom id

  void clear() {
    where.clear();
    by_gid.clear();
    by_tile.clear();
  }
  void add(VOK_ATOM_NODE* a) {
    const std::uint32_t gid = a->get_location_gid();
    where[a] = AT{gid, a->get_id()};
    by_gid[gid].push_back(a);
    by_tile[PLACE_DB::get_xy_from_gid(gid)][a->get_id()] = a;
  }
  // Reads nothing of the atom, which may be gone.
  void remove(const VOK_ATOM_NODE* a) {
    auto it = where.find(a);
    if (it == where.end()) return;
    const AT at = it->second;
    where.erase(it);
    auto g = by_gid.find(at.gid);
    g->second.erase(std::find(g->second.begin(), g->second.end(), a));
    if (g->second.empty()) by_gid.erase(g);
    auto t = by_tile.find(PLACE_DB::get_xy_from_gid(at.gid));
    t->second.erase(at.id);
    if (t->second.empty()) by_tile.erase(t);
  }
};

SITE_INDEX& site_index() { return host_world_slot<SITE_INDEX>(); }

// Whether the atom is one host::kem::timing_atoms lists for the top netlist:
// in it or in a box's netlist below it, not a box, not a box's port.
bool in_design(const VOK_ATOM_NODE* a, const VOK_ATOM_NETLIST* top) {
  const VOK_ATOM_NETLIST* n = a->get_parent_netlist();
  if (!n || a->is_box() || (a->is_port() && n->get_parent_box() != nullptr)) return false;
  while (n != top) {
    const VOK_ATOM_BLACKBOX* box = n->get_parent_box();
    if (!box || box->get_child_netlist() != n) return false;
    n = box->get_parent_netlist();
    if (!n) return false;
  }
  return true;
}

// The index brought up to date; the caller holds its lock.
SITE_INDEX& current_index(SITE_INDEX& index) {
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  const WUMP_DIE_INFO* die = host::device::die_info();
  std::vector<host::vok::LAYOUT_CHANGE> changes;
  if (index.top == top && index.die == die && host::vok::layout_changes_since(index.epoch, &index.seq, &changes)) {
    // An atom destroyed after a change was logged is not read for that
    // change (an atom made later at its address has its own changes after).
    std::unordered_map<const VOK_ATOM_NODE*, std::size_t> last_gone;
    for (std::size_t i = 0; i < changes.size(); ++i)
      if (changes[i].gone) last_gone[changes[i].atom] = i;
    for (std::size_t i = 0; i < changes.size(); ++i) {
      const VOK_ATOM_NODE* a = changes[i].atom;
      index.remove(a);
      if (changes[i].gone) continue;
      if (auto g = last_gone.find(a); g != last_gone.end() && g->second > i) continue;
      if (a->is_placed() && in_design(a, top)) index.add(const_cast<VOK_ATOM_NODE*>(a));
    }
    return index;
  }
  index.clear();
  host::vok::layout_now(&index.epoch, &index.seq);
  for (VOK_ATOM_NODE* a : host::kem::timing_atoms(top))
    if (a->is_placed()) index.add(a);
  index.top = top;
  index.die = die;
  return index;
}
}  // namespace

std::vector<VOK_ATOM_NODE*> PLACE_DB::get_atoms_at(std::uint32_t x, std::uint32_t y) {
  SITE_INDEX& index = site_index();
  const std::lock_guard<std::mutex> lock(index.mutex);
  const auto& by_tile = current_index(index).by_tile;
  std::vector<VOK_ATOM_NODE*> out;
  auto it = by_tile.find({static_cast<int>(x), static_cast<int>(y)});
  if (it != by_tile.end())
    for (const auto& [id, a] : it->second) out.push_back(a);
  return out;
}

VOK_ATOM_NODE* PLACE_DB::get_atom(std::uint32_t gid) {
  SITE_INDEX& index = site_index();
  const std::lock_guard<std::mutex> lock(index.mutex);
  const auto& by_gid = current_index(index).by_gid;
  auto it = by_gid.find(gid);
  if (it == by_gid.end()) return nullptr;
  if (it->second.size() == 1) return it->second.front();
  // Two atoms on one site (an edit under way): the first in the design's
  // order, as a walk of the design finds it.
  for (VOK_ATOM_NODE* a : host::kem::timing_atoms(host::vok::top_netlist()))
    if (a->is_placed() && a->get_location_gid() == gid) return a;
  return nullptr;
}

PLACE_DB* PLACE_DB::get() {
  static PLACE_DB s_db;
  return &s_db;
}

std::vector<VOK_ATOM_NODE*> PLACE_DB::get_ale_atoms_of(std::uint32_t gid) const {
  std::vector<VOK_ATOM_NODE*> out;
  if (gid == 0xFFFFFFFFu || (gid & 0x80000000u)) return out;
  const WUMP_DIE_INFO* die = host::device::die_info();
  DEV_LOCATION where;
  if (!die->get_location(gid, where)) return out;
  const auto xy = get_xy_from_gid(gid);
  for (VOK_ATOM_NODE* a : get_atoms_at(static_cast<std::uint32_t>(xy.first), static_cast<std::uint32_t>(xy.second))) {
    DEV_LOCATION loc;
    if ((a->get_location_gid() & 0x80000000u) || !die->get_location(a->get_location_gid(), loc)) continue;
    if (loc[DEV_LOCATION_SUB] / 6 == where[DEV_LOCATION_SUB] / 6) out.push_back(a);
  }
  return out;
}

VOK_ATOM_NODE* PLACE_DB::get_atom(const LOCATION& location) {
  const unsigned gid = host::device::die_info()->get_place_info()->get_global_id(
      0, static_cast<int>(location.x), static_cast<int>(location.y), static_cast<int>(location.z));
  return gid == 0xFFFFFFFFu ? nullptr : get_atom(gid);
}

std::pair<int, int> PLACE_DB::get_base_xy_from_atom(const VOK_ATOM_NODE* atom) {
  if (!atom || atom->get_location_gid() == 0xFFFFFFFFu) return {-1, -1};
  return get_xy_from_gid(atom->get_location_gid());
}

namespace {
struct PLACE_DB_INIT_STATE {
  bool initted = true;
};
}  // namespace

bool PLACE_DB::is_initted() {
  const bool on = host_world_slot<PLACE_DB_INIT_STATE>().initted;
  host::log_call("PLACE_DB::is_initted", on);
  return on;
}

void PLACE_DB::reset() {
  host::log_call("PLACE_DB::reset");
  host_world_slot<PLACE_DB_INIT_STATE>().initted = false;
}

void PLACE_DB::update(bool full) {
  host::log_call("PLACE_DB::update", full);
  host_world_slot<PLACE_DB_INIT_STATE>().initted = true;
}
