#include "yeb/yeb_timing_model.h"

#include <map>

#include "common/host_world.h"
#include "dev/dev_spec.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

#include "common/host_call_log.h"

YEB_TIMING_MODEL::YEB_TIMING_MODEL() = default;
YEB_TIMING_MODEL::~YEB_TIMING_MODEL() = default;

namespace {
// Reads only the route info and corner scales taken at creation, so workers
// may ask concurrently.
class YEB_TIMING_MODEL_STANDIN : public YEB_TIMING_MODEL {
public:
  YEB_TIMING_MODEL_STANDIN() : m_info(host::device::die_info()->get_route_info()) {
    for (const DeviceCorner& c : host::device::spec().corners) m_scales.push_back(c.delay_scale());
  }
  void get_switch_delays(unsigned gid, std::vector<YEB_DELAY>& delays) const override {
    if (m_info->get_element_by_gid(gid) == nullptr) return;
    for (double scale : m_scales) {
      const float d = static_cast<float>(m_info->get_hop_delay_ps(gid, scale) * 1e-12);
      delays.push_back(YEB_DELAY{{d, 0.98f * d, 0.9f * d, 0.88f * d}});
    }
  }

private:
  const WUMP_ROUTE_INFO* m_info;
  std::vector<double> m_scales;
};
struct YEB_MODEL_STATE {
  std::map<int, std::pair<bool, bool>> flags;
};
}  // namespace

void host::yeb::set_model_flags(int timing_model, bool is_real, bool is_fully_sampled) {
  host_world_slot<YEB_MODEL_STATE>().flags[timing_model] = {is_real, is_fully_sampled};
}

std::pair<bool, bool> host::yeb::model_flags(int timing_model) {
  const auto& flags = host_world_slot<YEB_MODEL_STATE>().flags;
  const auto f = flags.find(timing_model);
  return f == flags.end() ? std::pair<bool, bool>{true, true} : f->second;
}

std::shared_ptr<YEB_TIMING_MODEL> YEB_TIMING_MODEL::get_timing_model(DEV_DEVICE_ENUM device, int kind, int timing_model,
                                                                     bool flag1, bool flag2, bool flag3, bool* is_real,
                                                                     bool* is_fully_sampled) {
  host::log_call("YEB_TIMING_MODEL::get_timing_model", device, kind, timing_model, flag1, flag2, flag3);
  const auto& corners = host::device::spec().corners;
  const std::size_t i = timing_model >= 0 && static_cast<std::size_t>(timing_model) < corners.size() ? timing_model : 0;
  std::shared_ptr<YEB_TIMING_MODEL> model = std::make_shared<YEB_TIMING_MODEL_STANDIN>();
  model->m_enum = timing_model;
  if (!corners.empty()) model->take_corner(corners[i]);
  const auto [real, sampled] = host::yeb::model_flags(timing_model);
  if (is_real) *is_real = real;
  if (is_fully_sampled) *is_fully_sampled = sampled;
  return model;
}

void YEB_TIMING_MODEL::get_scaling_factors(const YEB_TIMING_MODEL& other, bool global, std::vector<float>& out) const {
  const float r = static_cast<float>(other.m_scale / m_scale);
  out = {r, 0.95f * r};
  if (global) out.insert(out.end(), {r, 1.05f * r});
}

void YEB_TIMING_MODEL::get_path_delay(const YEB_PATH& path, float out[4]) const {
  double ps = 0.0;
  for (int k : path.element_types) ps += 10.0 + (k % 37);
  const float s = static_cast<float>(ps * m_scale * 1e-12);
  out[0] = s;
  out[1] = 1.02f * s;
  out[2] = 0.9f * s;
  out[3] = 0.88f * s;
}

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

namespace {
struct YEB_ESTIMATOR_STATE {
  bool enabled = false;
};
}  // namespace
bool YEB_TIMING_MODEL::is_delay_estimator_enabled() { return host_world_slot<YEB_ESTIMATOR_STATE>().enabled; }
namespace host::yeb {
void set_delay_estimator_enabled(bool on) { host_world_slot<YEB_ESTIMATOR_STATE>().enabled = on; }
}  // namespace host::yeb
