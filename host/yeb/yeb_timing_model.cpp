#include "yeb/yeb_timing_model.h"

#include "common/host_call_log.h"

YEB_TIMING_MODEL::YEB_TIMING_MODEL() = default;
YEB_TIMING_MODEL::~YEB_TIMING_MODEL() = default;

void YEB_TIMING_MODEL::preload_persistant_default_timing_model() {
  host::log_call("YEB_TIMING_MODEL::preload_persistant_default_timing_model");
}

void YEB_TIMING_MODEL::get_timing_model_async(DEV_DEVICE_ENUM device, int speed_grade, int timing_model, bool flag1,
                                              bool flag2) {
  host::log_call("YEB_TIMING_MODEL::get_timing_model_async", device, speed_grade, timing_model, flag1, flag2);
}
