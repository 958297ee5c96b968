#pragma once
// The family implementation of the RAM-enable conversion utility: made once
// by start-up through create_utility(), which registers it with the host.
#include "nolt/nolt_utilities.h"

class VELMO_RAM_ENABLE_CONVERSION_UTIL : public NOLT_RAM_ENABLE_CONVERSION_UTIL {
public:
  // Makes the process-wide utility and registers it; a second one is an
  // internal error.
  static VELMO_RAM_ENABLE_CONVERSION_UTIL* create_utility();

  ~VELMO_RAM_ENABLE_CONVERSION_UTIL() override;
  VELMO_RAM_ENABLE_CONVERSION_UTIL(const VELMO_RAM_ENABLE_CONVERSION_UTIL&) = delete;
  VELMO_RAM_ENABLE_CONVERSION_UTIL& operator=(const VELMO_RAM_ENABLE_CONVERSION_UTIL&) = delete;

private:
  VELMO_RAM_ENABLE_CONVERSION_UTIL();
};
