#include "vok/vok_chip_db_entry.h"

#include <memory>

#include "common/host_world.h"

namespace {
struct CHIP_DB_STATE {
  std::unique_ptr<VOK_CHIP_DB_ENTRY> entry = std::make_unique<VOK_CHIP_DB_ENTRY>();
};
}  // namespace

VOK_CHIP_DB_ENTRY::VOK_CHIP_DB_ENTRY() = default;
VOK_CHIP_DB_ENTRY::~VOK_CHIP_DB_ENTRY() = default;
VOK_CHIP_DB_ENTRY* VOK_CHIP_DB_ENTRY::current() { return host_world_slot<CHIP_DB_STATE>().entry.get(); }
