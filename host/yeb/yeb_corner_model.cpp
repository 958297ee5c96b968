// Per-corner timing models.
#include <map>
#include <mutex>
#include <string>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "yeb/yeb_timing_model.h"

namespace {
struct CORNER_MODELS {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<YEB_TIMING_MODEL>> models;
};
}  // namespace

std::shared_ptr<YEB_TIMING_MODEL> YEB_TIMING_MODEL::get_timing_model(DEV_DEVICE_ENUM device, int model_field,
                                                                     const KEM_TIMING_MODEL& corner) {
  host::log_call("YEB_TIMING_MODEL::get_timing_model", static_cast<int>(device), model_field, corner.get_name());
  CORNER_MODELS& all = host_world_slot<CORNER_MODELS>();
  std::lock_guard<std::mutex> lock(all.mutex);
  auto& m = all.models[corner.get_name()];
  if (!m) {
    m = std::make_shared<YEB_TIMING_MODEL>();
    m->m_scale = corner.get_delay_scale();
  }
  return m;
}

namespace {
// Values 0-3 and 4-7: max rise, max fall, min rise, min fall of a cell's two
// arcs (both equal in the stand-in).
void fill_two_arcs(double max_ps, YEB_CELL_DELAY& out) {
  for (int k = 0; k < 8; ++k) out.values[k] = static_cast<float>((k % 4 < 2 ? max_ps : max_ps * 0.9) * 1e-12);
}
}  // namespace

void YEB_TIMING_MODEL::get_lut_input_delay(int input, int, YEB_CELL_DELAY& out) const {
  if (input < 0 || input > 7) return;
  fill_two_arcs((100.0 + 10.0 * input) * m_scale, out);
}

void YEB_TIMING_MODEL::get_cell_delay(int parameter, int, YEB_CELL_DELAY& out) const {
  if (parameter < 130 || parameter > 199) return;
  fill_two_arcs((40.0 + 5.0 * (parameter % 13)) * m_scale, out);
}
