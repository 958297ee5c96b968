#pragma once
// The post-route delay-estimation singleton.
#include "common/host_api.h"

class HOST_API XAB_DEM {
public:
  // recorded: destroys the singleton if it exists.
  static void shutdown();
};
