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

  // The caller's answers about one connection (defaults: "not given").
  class HOST_API CONNECTION_CALLBACKS {
  public:
    virtual ~CONNECTION_CALLBACKS();
    virtual bool get_pin_locations(int* x1, int* y1, int* x2, int* y2, const void* iterm, int index);
    virtual bool get_atom_locations(int* x1, int* y1, int* z1, int* x2, int* y2, int* z2, const void* iterm,
                                    int index);
    virtual bool get_num_pipe_registers(int* count, const void* iterm, int index);
    virtual bool get_dedicated(bool* dedicated, const void* iterm, int index);
    virtual bool get_vpr_info(const void* iterm, int index);
    virtual bool get_assume_same_cluster(bool* same, const void* iterm, int index);
    virtual bool get_phys_impls(const void* iterm, int index);
    virtual bool get_criticality(float* criticality, const void* iterm, int index);
    virtual bool get_crf_derate(float* derate, const void* iterm, int index);
    virtual bool get_iport(int* port, const void* iterm, int index);
  };
  // data: the estimator of the facade's device (one per process).
  static XAB_DEM* get_instance(const void* cmp, int which);
  // algorithm: the rise and fall delay (seconds) of a connection whose pin
  // locations the callbacks give: 60 + 40 x Manhattan distance ps rising,
  // 10% more falling; false (0, 0) when the callbacks give no locations.
  bool get_delay(const void* iterm, int index, CONNECTION_CALLBACKS* callbacks, double* rise, double* fall) const;
};
