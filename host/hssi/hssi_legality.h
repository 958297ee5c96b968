#pragma once
// The transceiver legality checks.
#include "common/host_api.h"

class HOST_API HSSI {
public:
  // recorded: the core-clock connections of the transceivers are valid;
  // scripted, default true.
  static bool hssi_legality_checker_are_coreclk_connections_valid();
};
