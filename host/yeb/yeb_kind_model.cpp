// Per-kind timing models, shared per (device, kind, timing model), and the
// cell-delay records they answer by cell-delay kind.
#include <map>
#include <mutex>
#include <ostream>
#include <tuple>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "dev/dev_spec.h"
#include "yeb/yeb_timing_model.h"

namespace {
struct KIND_MODELS {
  std::mutex mutex;
  std::map<std::tuple<int, int, int>, std::shared_ptr<YEB_TIMING_MODEL>> models;
  // (timing-model kind, cell kind) -> record set by a test.
  std::map<std::pair<int, int>, YEB_CELL_DELAY> records;
};
KIND_MODELS& kind_models() { return host_world_slot<KIND_MODELS>(); }

// Nominal delay of the PLL chain cells, ps at the slow corner.
int pll_chain_ps(int cell_kind) {
  switch (cell_kind) {
    case 218: return 75;    // n_fine
    case 219: return 303;   // n_coarse
    case 220: return 80;    // m_fine
    case 221: return 322;   // m_coarse
    case 222: return 1214;  // n_buf
    case 223: return 1213;  // m_buf
    default: return 0;
  }
}

// The device corner a loaded timing model names; out of range, the first
// corner of the kind, else the first corner.
const DeviceCorner* corner_of(int kind, int timing_model) {
  const auto& corners = host::device::spec().corners;
  if (timing_model >= 0 && static_cast<std::size_t>(timing_model) < corners.size()) return &corners[timing_model];
  for (const DeviceCorner& c : corners)
    if ((c.kind == DeviceCorner::FAST) == (kind == 1)) return &c;
  return corners.empty() ? nullptr : &corners.front();
}
}  // namespace

void YEB_TIMING_MODEL::take_corner(const DeviceCorner& c) {
  m_scale = c.delay_scale();
  static const char* const kinds[4] = {"slow", "fast", "fastest_slow", "typical"};
  m_user = std::string(kinds[c.kind & 3]) + "_" + std::to_string(c.millivolts) + "mv_" + std::to_string(c.celsius) + "c";
}

std::shared_ptr<YEB_TIMING_MODEL> YEB_TIMING_MODEL::get_timing_model(DEV_DEVICE_ENUM device, hep_timing_models kind,
                                                                     DEV_TIMING_MODEL_ENUM timing_model,
                                                                     bool* out_real, bool* out_sampled, bool flag1,
                                                                     bool flag2, bool flag3) {
  host::log_call("YEB_TIMING_MODEL::get_timing_model", static_cast<int>(device), kind, timing_model, flag1, flag2,
                 flag3);
  std::shared_ptr<YEB_TIMING_MODEL> model;
  {
    KIND_MODELS& all = kind_models();
    std::lock_guard<std::mutex> lock(all.mutex);
    auto& slot = all.models[{static_cast<int>(device), kind, timing_model}];
    if (!slot) {
      slot = std::make_shared<YEB_TIMING_MODEL>();
      slot->m_enum = timing_model;
      slot->m_kind = kind;
      if (const DeviceCorner* c = corner_of(kind, timing_model)) slot->take_corner(*c);
    }
    model = slot;
  }
  const auto [real, sampled] = host::yeb::model_flags(timing_model);
  if (out_real) *out_real = real;
  if (out_sampled) *out_sampled = sampled;
  return model;
}

YEB_CELL_DELAY YEB_TIMING_MODEL::get_cell_delay(int cell_kind, int) const {
  YEB_CELL_DELAY d;
  bool set = false;
  {
    KIND_MODELS& all = kind_models();
    std::lock_guard<std::mutex> lock(all.mutex);
    const auto it = all.records.find({m_kind, cell_kind});
    if (it != all.records.end()) {
      d = it->second;
      set = true;
    }
  }
  if (!set) {
    if (const int ps = pll_chain_ps(cell_kind)) {
      const double s = ps * m_scale * 1e-12;
      const double f[4] = {1.0, 1.02, 0.9, 0.88};
      for (int i = 0; i < 8; ++i) d.values[i] = static_cast<float>(s * f[i % 4]);
    }
  }
  d.flag = false;
  for (int i = 0; i < 16; ++i) d.flag = d.flag || d.has(i);
  return d;
}

std::ostream& operator<<(std::ostream& os, const YEB_CELL_DELAY& record) {
  os << '{';
  for (int i = 0; i < 16; ++i) {
    if (i) os << ' ';
    if (record.has(i))
      os << record.values[i];
    else
      os << '-';
  }
  return os << "} flag=" << (record.flag ? 1 : 0);
}

namespace host::yeb {
void set_cell_delay(int model_kind, int cell_kind, const YEB_CELL_DELAY& record) {
  KIND_MODELS& all = kind_models();
  std::lock_guard<std::mutex> lock(all.mutex);
  for (int k : {0, 1})
    if (model_kind < 0 || model_kind == k) all.records[{k, cell_kind}] = record;
}
}  // namespace host::yeb
