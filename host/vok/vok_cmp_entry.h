#pragma once
// data: the compile's database entries: the chain from the compiler facade
// to the chip database entry (the design's routing among it).
#include "common/host_api.h"

class VOK_CHIP_DB_ENTRY;

class HOST_API VOK_DB_ENTRIES {
public:
  // The current chip database entry (VOK_CHIP_DB_ENTRY::current()).
  VOK_CHIP_DB_ENTRY* get_chip_db_entry() const;
};

class HOST_API VOK_CMP_ENTRY {
public:
  VOK_DB_ENTRIES* get_db_entries() { return &m_entries; }

private:
  VOK_DB_ENTRIES m_entries;
};
