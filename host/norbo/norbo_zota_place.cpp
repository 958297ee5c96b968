// The pipeline-register slot placement check on a legality handle.
#include "common/host_call_log.h"
#include "dux/dux.h"
#include "norbo/norbo_zota_clock.h"
#include "wump/wump_die_info.h"

bool NORBO_ZOTA_MANAGER::can_place(DUX_ZOTA_LEGALITY* legality, const VOK_ATOM_NODE* reg, unsigned gid, int* conflict) {
  int type = 0;
  const auto segment = DUX_ZOTA_LEGALITY::row_segment_of(gid);
  if (!legality || !reg || segment.first < 0) {
    type = 3;
  } else {
    for (const auto& [id, placed] : legality->placements())
      if (placed == gid && id != reg->get_id()) type = 2;
    if (type == 0) {
      std::set<DUX_ZOTA_LEGALITY::PAIR> pairs;
      for (const auto& [id, placed] : legality->placements())
        if (id != reg->get_id() && DUX_ZOTA_LEGALITY::row_segment_of(placed) == segment)
          pairs.insert(legality->pair_of(id));
      pairs.insert(DUX_ZOTA_LEGALITY::clock_pair_of(reg));
      if (pairs.size() > 2) type = 1;
    }
  }
  host::log_call("NORBO_ZOTA_MANAGER::can_place", host::vok::arg(reg), gid, type == 0);
  if (conflict) *conflict = type;
  return type == 0;
}

bool NORBO_ZOTA_MANAGER::place(DUX_ZOTA_LEGALITY* legality, const VOK_ATOM_NODE* reg, unsigned gid) {
  if (!can_place(legality, reg, gid, nullptr)) return false;
  host::log_call("NORBO_ZOTA_MANAGER::place", host::vok::arg(reg), gid);
  legality->owner()->record_zota_placement(reg->get_id(), gid, DUX_ZOTA_LEGALITY::clock_pair_of(reg));
  return true;
}

std::string NORBO_ZOTA_CONFLICT::describe_conflict_type(int type) {
  switch (type) {
    case 1: return "row segment clock budget exceeded";
    case 2: return "pipeline slot already occupied";
    case 3: return "not a pipeline slot";
    default: return "unknown conflict";
  }
}
