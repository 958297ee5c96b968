#include "w3j3/w3j3_config_creator.h"

#include "common/host_call_log.h"

void W3J3_CONFIG_CREATOR_MODULE::set_atom_locations(VOK_CHIP_DB_ENTRY*) {
  host::log_call("W3J3_CONFIG_CREATOR_MODULE::set_atom_locations");
}
