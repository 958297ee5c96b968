#pragma once
// recorded: the pipeline-register clock-routing manager.
#include "common/host_api.h"

class VOK_CHIP_DB_ENTRY;

class HOST_API NORBO_ZOTA_MANAGER {
public:
  explicit NORBO_ZOTA_MANAGER(VOK_CHIP_DB_ENTRY* entry) : m_entry(entry) {}
  void commit_clock_routing();
  VOK_CHIP_DB_ENTRY* get_entry() const { return m_entry; }

private:
  VOK_CHIP_DB_ENTRY* m_entry;
};
