#pragma once
// data: the clock block database of a device (the clock-network blocks the
// device offers); the stand-in keeps the device it was obtained for.
#include "common/host_api.h"

class DEV_DEVICE;

class HOST_API CLK_BLOCK_DB {
public:
  const DEV_DEVICE* get_device() const { return m_device; }

private:
  friend class CLK;
  const DEV_DEVICE* m_device = nullptr;
};

class HOST_API CLK {
public:
  // data: the block database of the device (one per process, re-bound to
  // the device asked for).
  static const CLK_BLOCK_DB* obtain_block_db(const DEV_DEVICE* device);
};
