#pragma once
// Timing models: the persistent default model and background loads.
#include <memory>
#include <vector>
#include "common/host_api.h"
#include "dev/dev_basic_info.h"
#include "kem/kem_timing_model.h"

// data: one switch delay of a timing model (ps) per corner kind.
struct YEB_DELAY {
  int min_ps = 0;
  int max_ps = 0;
};

struct YEB_CELL_DELAY;

class HOST_API YEB_TIMING_MODEL {
public:
  YEB_TIMING_MODEL();
  virtual ~YEB_TIMING_MODEL();
  YEB_TIMING_MODEL(const YEB_TIMING_MODEL&) = delete;
  YEB_TIMING_MODEL& operator=(const YEB_TIMING_MODEL&) = delete;
  // component: the switch delays of a routing switch; the base model has
  // none and leaves the vector as it is.
  inline virtual void get_switch_delays(unsigned switch_id, std::vector<YEB_DELAY>& delays) const;

  // recorded: loads the default timing model and keeps it for the process.
  static void preload_persistant_default_timing_model();
  // recorded: starts loading a timing model in the background; the caller
  // does not wait for it.
  static void get_timing_model_async(DEV_DEVICE_ENUM device, int speed_grade, int timing_model, bool flag1,
                                     bool flag2);

  // ---- per-corner models (yeb_corner_model.cpp)
  // data: the shared model of a timing corner (one per corner, kept for the
  // process); the device and the model field are recorded.
  static std::shared_ptr<YEB_TIMING_MODEL> get_timing_model(DEV_DEVICE_ENUM device, int model_field,
                                                            const KEM_TIMING_MODEL& corner);
  // algorithm: the cell delay of LUT input `input` (0-7) at this corner in
  // seconds: values 0-7 hold max rise, max fall, min rise, min fall twice;
  // max = 100 + 10 x input ps scaled by the corner, min = 0.9 x max. The
  // other values stay "none"; so does everything for another input.
  void get_lut_input_delay(int input, int flag, YEB_CELL_DELAY& out) const;
  double get_delay_scale() const { return m_scale; }

private:
  double m_scale = 1.0;
};

// data: the delays of one cell kind at the slow corner, 16 values in
// seconds; 1.0e30 marks "none". Layout by kind:
//  - LUT and logic cells: values 0-7 are input i -> output (100 + 10 i ps);
//    arithmetic cells add value 8, carry-in -> outputs (30 ps);
//  - sequential cells: value 0 clock -> output, value 1 setup, value 2 hold;
//  - buffers (I/O buffers, clock buffers and gates, PLLs, other blocks used
//    combinationally): value 0 input -> output.
enum class YEB_CELL_KIND : int { LUT, ARITH, REGISTER, MEMORY, BUFFER };

struct HOST_API YEB_CELL_DELAY {
  static constexpr float NONE = 1.0e30f;
  float values[16];
  YEB_CELL_DELAY() {
    for (float& v : values) v = NONE;
  }
  bool has(int i) const { return i >= 0 && i < 16 && values[i] < NONE; }
  // Value i in picoseconds, scaled to a corner and rounded half away from
  // zero; 0 for "none".
  int ps(int i, double scale) const;
};

namespace host::yeb {
// data: the delay record of a cell kind (slow corner).
HOST_API const YEB_CELL_DELAY& cell_delay(YEB_CELL_KIND kind);
}  // namespace host::yeb

#include "yeb_timing_model_sys.h"
