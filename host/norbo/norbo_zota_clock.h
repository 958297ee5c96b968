#pragma once
// Clock routing of the pipeline registers (ZOTA) in the routing: the row
// clocks and the pipeline-register clock manager.
#include "common/host_api.h"

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

private:
  VOK_CHIP_DB_ENTRY* m_entry;
};
