#include "pexa/pexa_utility.h"

#include "common/host_world.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_spec.h"
#include "zav/zav_delay_model.h"
#include "zel/zel_dc_table.h"

#include <map>
#include <memory>

namespace {
struct PEXA_STATE {
  DEV_DEVICE device;
  int loaded_timing_model_enum = 0;
  bool hidden = false;
  std::map<std::pair<int, int>, std::unique_ptr<ZAV_ROOT_NODE>> zav_roots;
  int hold_timing_model_enum = -2;  // -2: the same as purpose 0
};
PEXA_STATE& state() { return host_world_slot<PEXA_STATE>(); }

ZAV_ROOT_NODE* zav_root_of(const DeviceCorner& c) {
  const int code = host::dc::model_code_of_corner_kind(c.kind);
  auto& slot = state().zav_roots[{code, c.speed_grade}];
  if (!slot) slot = std::make_unique<ZAV_ROOT_NODE>(code, c.speed_grade);
  return slot.get();
}
}  // namespace

const DEV_DEVICE* PEXA_UTILITY::get_current_device() { return state().hidden ? nullptr : &state().device; }

int PEXA_UTILITY::get_loaded_timing_model_enum(int purpose) {
  const PEXA_STATE& st = state();
  return purpose == 1 && st.hold_timing_model_enum != -2 ? st.hold_timing_model_enum : st.loaded_timing_model_enum;
}

ZAV_ROOT_NODE* PEXA_UTILITY::retrieve_zav_root_node(bool) {
  const auto& corners = host::device::spec().corners;
  return zav_root_of(corners.empty() ? DeviceCorner::slow() : corners.front());
}

ZAV_ROOT_NODE* PEXA_UTILITY::retrieve_zav_root_node_for_model(int kind) {
  for (const DeviceCorner& c : host::device::spec().corners)
    if ((kind == 1) == (c.kind == DeviceCorner::FAST)) return zav_root_of(c);
  return retrieve_zav_root_node(false);
}

namespace host::pexa {
void set_loaded_timing_model_enum(int value) { state().loaded_timing_model_enum = value; }
void hide_current_device(bool hide) { state().hidden = hide; }
void set_loaded_timing_model_enum(int purpose, int value) {
  (purpose == 1 ? state().hold_timing_model_enum : state().loaded_timing_model_enum) = value;
}
}  // namespace host::pexa
