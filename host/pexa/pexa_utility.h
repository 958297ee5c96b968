#pragma once
// Queries of the current device and the loaded timing model.
#include "common/host_api.h"

class DEV_DEVICE;

class HOST_API PEXA_UTILITY {
public:
  // data: the world's device (never null).
  static const DEV_DEVICE* get_current_device();
  // data: the enum of the timing model loaded for the given purpose; the
  // world's value, 0 unless a test or velmo-fit sets it.
  static int get_loaded_timing_model_enum(int purpose);
};

namespace host::pexa {
HOST_API void set_loaded_timing_model_enum(int value);
// The model of one purpose (1: the hold model; until set it is purpose 0's).
HOST_API void set_loaded_timing_model_enum(int purpose, int value);
}
