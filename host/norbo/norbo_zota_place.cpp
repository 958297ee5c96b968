// The pipeline-register slot placement check on a legality handle.
#include "common/host_call_log.h"
#include "dux/dux.h"
#include "norbo/norbo_zota_clock.h"
#include "place_db/place_db.h"
#include "wump/wump_die_info.h"

namespace {
// The conflict of giving slot `gid` to the register `self_id` (-1: a new
// one) with clock pair `pair`: 0 none, 1 budget, 2 taken, 3 not a slot.
int conflict_of(const DUX_ZOTA_LEGALITY* legality, int self_id, const DUX_ZOTA_LEGALITY::PAIR& pair, unsigned gid) {
  const auto segment = DUX_ZOTA_LEGALITY::row_segment_of(gid);
  if (!legality || segment.first < 0) return 3;
  for (const auto& [id, placed] : legality->placements())
    if (placed == gid && id != self_id) return 2;
  std::set<DUX_ZOTA_LEGALITY::PAIR> pairs;
  for (const auto& [id, placed] : legality->placements())
    if (id != self_id && DUX_ZOTA_LEGALITY::row_segment_of(placed) == segment) pairs.insert(legality->pair_of(id));
  pairs.insert(pair);
  return pairs.size() > 2 ? 1 : 0;
}

DUX_ZOTA_LEGALITY::PAIR pair_of_clock(const VOK_ATOM_OTERM* clk, bool inverted) {
  return {clk && clk->get_my_node() ? clk->get_my_node()->get_id() : -1, inverted};
}
}  // namespace

bool NORBO_ZOTA_MANAGER::can_place(DUX_ZOTA_LEGALITY* legality, const VOK_ATOM_NODE* reg, unsigned gid, int* conflict) {
  const int type = reg ? conflict_of(legality, reg->get_id(), DUX_ZOTA_LEGALITY::clock_pair_of(reg), gid) : 3;
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

bool NORBO_ZOTA_MANAGER::can_place(DUX_ZOTA_LEGALITY* legality, unsigned gid, const VOK_ATOM_OTERM* clk, bool inverted,
                                   bool flag, int* conflict) {
  const VOK_ATOM_NODE* at = PLACE_DB::get_atom(gid);
  const int type = conflict_of(legality, at ? at->get_id() : -1, pair_of_clock(clk, inverted), gid);
  host::log_call("NORBO_ZOTA_MANAGER::can_place", gid, host::vok::arg(clk ? clk->get_my_node() : nullptr), inverted, flag,
                 type == 0);
  if (conflict) *conflict = type;
  return type == 0;
}

bool NORBO_ZOTA_MANAGER::place(DUX_ZOTA_LEGALITY* legality, unsigned gid, const VOK_ATOM_OTERM* clk, bool inverted,
                               bool flag) {
  const VOK_ATOM_NODE* at = PLACE_DB::get_atom(gid);
  if (!at || !can_place(legality, gid, clk, inverted, flag, nullptr)) return false;
  host::log_call("NORBO_ZOTA_MANAGER::place", gid, host::vok::arg(clk->get_my_node()), inverted, flag);
  legality->owner()->record_zota_placement(at->get_id(), gid, pair_of_clock(clk, inverted));
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
