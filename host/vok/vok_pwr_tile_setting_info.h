#pragma once
// recorded: the power tiles the fit uses.
#include "common/host_api.h"

class DEV_DEVICE;
class VOK_CHIP_DB_ENTRY;

class HOST_API VOK_PWR_TILE_SETTING_INFO {
public:
  static void set_used_tiles(VOK_CHIP_DB_ENTRY* entry, const DEV_DEVICE* device);
};
