#pragma once
// Clock routing of the pipeline registers (ZOTA) in the routing: the row
// clocks and the pipeline-register clock manager.
#include <string>

#include "common/host_api.h"

class DUX_ZOTA_LEGALITY;
class VOK_ATOM_NODE;
class VOK_ATOM_OTERM;

class VOK_CHIP_DB_ENTRY;

// recorded: routes (or removes) the row clocks of the chip database entry's
// routing.
HOST_API void norbo_route_rowclocks(VOK_CHIP_DB_ENTRY* entry, bool flag);
HOST_API void norbo_unroute_rowclocks(VOK_CHIP_DB_ENTRY* entry);

class HOST_API NORBO_ZOTA_MANAGER {
public:
  // recorded
  explicit NORBO_ZOTA_MANAGER(VOK_CHIP_DB_ENTRY* entry);
  virtual ~NORBO_ZOTA_MANAGER();
  NORBO_ZOTA_MANAGER(const NORBO_ZOTA_MANAGER&) = delete;
  NORBO_ZOTA_MANAGER& operator=(const NORBO_ZOTA_MANAGER&) = delete;
  // recorded: commits the clock routing of the pipeline registers.
  void commit_clock_routing();

  // algorithm: whether the register may take the pipeline slot `gid` under
  // the legality handle: at most two clock (driver, inversion) pairs per row
  // segment of 10 LABs. On refusal `conflict` (may be null) gets the type:
  // 1 the segment's clock budget, 2 the slot is taken, 3 not a slot.
  static bool can_place(DUX_ZOTA_LEGALITY* legality, const VOK_ATOM_NODE* reg, unsigned gid, int* conflict);
  // algorithm: records the register's clock placement into the slot on the
  // handle (undone with its engine's checkpoint); false when can_place is.
  static bool place(DUX_ZOTA_LEGALITY* legality, const VOK_ATOM_NODE* reg, unsigned gid);
  // The same by clock: a register at `gid` clocked by `clk` (inverted or
  // not). can_place answers for the register placed at the slot, or for a
  // new one when the slot is empty; place records the register placed at
  // the slot (false when there is none). `flag` is recorded only.
  static bool can_place(DUX_ZOTA_LEGALITY* legality, unsigned gid, const VOK_ATOM_OTERM* clk, bool inverted, bool flag,
                        int* conflict);
  static bool place(DUX_ZOTA_LEGALITY* legality, unsigned gid, const VOK_ATOM_OTERM* clk, bool inverted, bool flag);

private:
  VOK_CHIP_DB_ENTRY* m_entry;
};

class HOST_API NORBO_ZOTA_CONFLICT {
public:
  // data: the text of a conflict type (1-3; "unknown conflict" otherwise).
  static std::string describe_conflict_type(int type);
};
