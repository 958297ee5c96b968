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

#include <cmath>

int YEB_CELL_DELAY::ps(int i, double scale) const {
  if (!has(i)) return 0;
  const double v = static_cast<double>(values[i]) * 1e12 * scale;
  return static_cast<int>(v < 0 ? v - 0.5 : v + 0.5);
}

namespace host::yeb {

namespace {
YEB_CELL_DELAY make(YEB_CELL_KIND kind) {
  YEB_CELL_DELAY d;
  switch (kind) {
    case YEB_CELL_KIND::LUT:
    case YEB_CELL_KIND::ARITH:
      for (int i = 0; i < 8; ++i) d.values[i] = static_cast<float>((100 + 10 * i) * 1e-12);
      if (kind == YEB_CELL_KIND::ARITH) d.values[8] = 30e-12f;
      break;
    case YEB_CELL_KIND::REGISTER:
      d.values[0] = 80e-12f;
      d.values[1] = 50e-12f;
      d.values[2] = 20e-12f;
      break;
    case YEB_CELL_KIND::MEMORY:
      d.values[0] = 200e-12f;
      d.values[1] = 80e-12f;
      d.values[2] = 30e-12f;
      break;
    case YEB_CELL_KIND::BUFFER: d.values[0] = 50e-12f; break;
  }
  return d;
}
}  // namespace

const YEB_CELL_DELAY& cell_delay(YEB_CELL_KIND kind) {
  static const YEB_CELL_DELAY kTable[] = {make(YEB_CELL_KIND::LUT), make(YEB_CELL_KIND::ARITH),
                                          make(YEB_CELL_KIND::REGISTER), make(YEB_CELL_KIND::MEMORY),
                                          make(YEB_CELL_KIND::BUFFER)};
  return kTable[static_cast<int>(kind)];
}

}  // namespace host::yeb
