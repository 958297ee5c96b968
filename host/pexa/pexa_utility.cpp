#include "pexa/pexa_utility.h"

#include "common/host_world.h"
#include "dev/dev_basic_info.h"

namespace {
struct PEXA_STATE {
  DEV_DEVICE device;
  int loaded_timing_model_enum = 0;
  int hold_timing_model_enum = -2;  // -2: the same as purpose 0
};
PEXA_STATE& state() { return host_world_slot<PEXA_STATE>(); }
}  // namespace

const DEV_DEVICE* PEXA_UTILITY::get_current_device() { return &state().device; }

int PEXA_UTILITY::get_loaded_timing_model_enum(int purpose) {
  const PEXA_STATE& st = state();
  return purpose == 1 && st.hold_timing_model_enum != -2 ? st.hold_timing_model_enum : st.loaded_timing_model_enum;
}

namespace host::pexa {
void set_loaded_timing_model_enum(int value) { state().loaded_timing_model_enum = value; }
void set_loaded_timing_model_enum(int purpose, int value) {
  (purpose == 1 ? state().hold_timing_model_enum : state().loaded_timing_model_enum) = value;
}
}  // namespace host::pexa
