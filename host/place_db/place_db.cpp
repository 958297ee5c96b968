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
// Where the design's placed atoms sit, by gid and by tile, built by one walk
// of the design and kept while the design's layout, the top netlist and the
// device stay the same (a move's lookups then cost a hash, not a walk).
struct SITE_INDEX {
  std::mutex mutex;
  const VOK_ATOM_NETLIST* top = nullptr;
  const WUMP_DIE_INFO* die = nullptr;
  std::uint64_t epoch = 0;
  std::unordered_map<std::uint32_t, VOK_ATOM_NODE*> by_gid;  // the first atom in walk order
  std::map<std::pair<int, int>, std::vector<VOK_ATOM_NODE*>> by_tile;  // atom-id order
};

SITE_INDEX& site_index() { return host_world_slot<SITE_INDEX>(); }

// The index, brought up to date; the caller holds its lock.
const SITE_INDEX& current_index(SITE_INDEX& index) {
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  const WUMP_DIE_INFO* die = host::device::die_info();
  const std::uint64_t epoch = host::vok::layout_epoch();
  if (index.epoch == epoch && index.top == top && index.die == die) return index;
  index.by_gid.clear();
  index.by_tile.clear();
  for (VOK_ATOM_NODE* a : host::kem::timing_atoms(top)) {
    if (!a->is_placed()) continue;
    index.by_gid.emplace(a->get_location_gid(), a);
    index.by_tile[PLACE_DB::get_xy_from_gid(a->get_location_gid())].push_back(a);
  }
  for (auto& [xy, atoms] : index.by_tile)
    std::sort(atoms.begin(), atoms.end(),
              [](const VOK_ATOM_NODE* a, const VOK_ATOM_NODE* b) { return a->get_id() < b->get_id(); });
  // The walk read the layout as of the epoch taken before it.
  index.epoch = epoch;
  index.top = top;
  index.die = die;
  return index;
}
}  // namespace

std::vector<VOK_ATOM_NODE*> PLACE_DB::get_atoms_at(std::uint32_t x, std::uint32_t y) {
  SITE_INDEX& index = site_index();
  const std::lock_guard<std::mutex> lock(index.mutex);
  const auto& by_tile = current_index(index).by_tile;
  auto it = by_tile.find({static_cast<int>(x), static_cast<int>(y)});
  return it == by_tile.end() ? std::vector<VOK_ATOM_NODE*>() : it->second;
}

VOK_ATOM_NODE* PLACE_DB::get_atom(std::uint32_t gid) {
  SITE_INDEX& index = site_index();
  const std::lock_guard<std::mutex> lock(index.mutex);
  const auto& by_gid = current_index(index).by_gid;
  auto it = by_gid.find(gid);
  return it == by_gid.end() ? nullptr : it->second;
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
