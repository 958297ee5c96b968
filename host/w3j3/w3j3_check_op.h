#pragma once
// recorded: the post-fit checks of the port model.
#include "common/host_api.h"

class GESK_BUNDLE;
class VOK_CHIP_DB_ENTRY;

class HOST_API W3J3_CHECK_OP {
public:
  explicit W3J3_CHECK_OP(GESK_BUNDLE* bundle) : m_bundle(bundle) {}
  // recorded: scripted result "W3J3_CHECK_OP::work" (default true).
  bool work(VOK_CHIP_DB_ENTRY* entry);
  GESK_BUNDLE* get_bundle() const { return m_bundle; }

private:
  GESK_BUNDLE* m_bundle;
};
