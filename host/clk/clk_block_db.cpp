#include "clk/clk_block_db.h"

#include "common/host_call_log.h"
#include "common/host_world.h"

const CLK_BLOCK_DB* CLK::obtain_block_db(const DEV_DEVICE* device) {
  host::log_call("CLK::obtain_block_db", static_cast<const void*>(device));
  CLK_BLOCK_DB& db = host_world_slot<CLK_BLOCK_DB>();
  db.m_device = device;
  return &db;
}
