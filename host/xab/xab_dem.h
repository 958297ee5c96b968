#pragma once
// The post-route delay-estimation singleton.
#include "common/host_api.h"

class HOST_API XAB_DEM {
public:
  // recorded: destroys the singleton if it exists.
  static void shutdown();
  // algorithm: the estimated slow-corner delay in ps of an unrouted
  // connection between two atom locations (location gids):
  // 60 + 40 x Manhattan distance, or 100 when either end is unplaced.
  static int estimate_delay_ps(unsigned from_gid, unsigned to_gid);
};
