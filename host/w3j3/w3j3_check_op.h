#pragma once
// The post-fit checks of the user-to-block port model.
#include "common/host_api.h"

class GESK_BUNDLE;
class VOK_CHIP_DB_ENTRY;

class HOST_API W3J3_CHECK_OP {
public:
  // recorded
  explicit W3J3_CHECK_OP(GESK_BUNDLE* bundle);
  virtual ~W3J3_CHECK_OP();
  W3J3_CHECK_OP(const W3J3_CHECK_OP&) = delete;
  W3J3_CHECK_OP& operator=(const W3J3_CHECK_OP&) = delete;
  // recorded: checks the port model against the routing; scripted, default
  // true.
  bool work(VOK_CHIP_DB_ENTRY* entry);

private:
  GESK_BUNDLE* m_bundle;
};
