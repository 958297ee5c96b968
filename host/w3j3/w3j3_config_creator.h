#pragma once
// The user-to-block port model's configuration creator.
#include "common/host_api.h"

class VOK_CHIP_DB_ENTRY;

class HOST_API W3J3_CONFIG_CREATOR_MODULE {
public:
  // recorded: re-uses the previous port model's atom locations.
  static void set_atom_locations(VOK_CHIP_DB_ENTRY* chip);
};
