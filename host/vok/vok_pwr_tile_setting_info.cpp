#include "vok/vok_pwr_tile_setting_info.h"

#include "common/host_call_log.h"

void VOK_PWR_TILE_SETTING_INFO::set_used_tiles(VOK_CHIP_DB_ENTRY*, const DEV_DEVICE*) {
  host::log_call("VOK_PWR_TILE_SETTING_INFO::set_used_tiles");
}
