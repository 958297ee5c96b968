#pragma once
// data: the chip database entry of the design (the world's; never null). It
// will hold the routing networks; the operations that only pass it on to
// other host members need nothing more.
#include "common/host_api.h"

class HOST_API VOK_CHIP_DB_ENTRY {
public:
  VOK_CHIP_DB_ENTRY();
  virtual ~VOK_CHIP_DB_ENTRY();
  VOK_CHIP_DB_ENTRY(const VOK_CHIP_DB_ENTRY&) = delete;
  VOK_CHIP_DB_ENTRY& operator=(const VOK_CHIP_DB_ENTRY&) = delete;

  static VOK_CHIP_DB_ENTRY* current();
};
