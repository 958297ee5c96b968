#include "vok/vok_cmp_entry.h"

#include "cmp/cmp_facade.h"
#include "common/host_world.h"
#include "vok/vok_chip_db_entry.h"

VOK_CHIP_DB_ENTRY* VOK_DB_ENTRIES::get_chip_db_entry() const { return VOK_CHIP_DB_ENTRY::current(); }

VOK_CMP_ENTRY* CMP_FACADE::get_cmp_entry() const { return &host_world_slot<VOK_CMP_ENTRY>(); }
