#include "norbo/norbo_zota_clock.h"

#include "common/host_call_log.h"

void norbo_route_rowclocks(VOK_CHIP_DB_ENTRY* entry, bool flag) { host::log_call("norbo_route_rowclocks", entry, flag); }
void norbo_unroute_rowclocks(VOK_CHIP_DB_ENTRY* entry) { host::log_call("norbo_unroute_rowclocks", entry); }

NORBO_ZOTA_MANAGER::NORBO_ZOTA_MANAGER(VOK_CHIP_DB_ENTRY* entry) : m_entry(entry) {
  host::log_call("NORBO_ZOTA_MANAGER::NORBO_ZOTA_MANAGER", entry);
}
NORBO_ZOTA_MANAGER::~NORBO_ZOTA_MANAGER() = default;
void NORBO_ZOTA_MANAGER::commit_clock_routing() { host::log_call("NORBO_ZOTA_MANAGER::commit_clock_routing", m_entry); }
