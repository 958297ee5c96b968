#pragma once
// Queries of the current device and the loaded timing model.
#include "common/host_api.h"

class DEV_DEVICE;
class ZAV_ROOT_NODE;

class HOST_API PEXA_UTILITY {
public:
  // data: the world's device (null only while a test hides it).
  static const DEV_DEVICE* get_current_device();
  // data: the enum of the timing model loaded for the given purpose; the
  // world's value, 0 unless a test or velmo-fit sets it.
  static int get_loaded_timing_model_enum(int purpose);
  // data: the device's delay timing model at its first corner (the flag is
  // accepted and not used), and at the first corner of a timing-model kind
  // (0 slow, 1 fast); the model belongs to the world.
  static ZAV_ROOT_NODE* retrieve_zav_root_node(bool flag);
  static ZAV_ROOT_NODE* retrieve_zav_root_node_for_model(int kind);
};

namespace host::pexa {
HOST_API void set_loaded_timing_model_enum(int value);
// Makes get_current_device answer null (a host without a configured part).
HOST_API void hide_current_device(bool hide);
// The model of one purpose (1: the hold model; until set it is purpose 0's).
HOST_API void set_loaded_timing_model_enum(int purpose, int value);
}
