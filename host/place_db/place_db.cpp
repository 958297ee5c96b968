#include "place_db/place_db.h"

#include <algorithm>

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

std::vector<VOK_ATOM_NODE*> PLACE_DB::get_atoms_at(std::uint32_t x, std::uint32_t y) {
  std::vector<VOK_ATOM_NODE*> out;
  for (VOK_ATOM_NODE* a : host::kem::timing_atoms(host::vok::top_netlist())) {
    if (!a->is_placed()) continue;
    const auto xy = get_xy_from_gid(a->get_location_gid());
    if (xy.first == static_cast<int>(x) && xy.second == static_cast<int>(y)) out.push_back(a);
  }
  std::sort(out.begin(), out.end(), [](const VOK_ATOM_NODE* a, const VOK_ATOM_NODE* b) { return a->get_id() < b->get_id(); });
  return out;
}

VOK_ATOM_NODE* PLACE_DB::get_atom(std::uint32_t gid) {
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
