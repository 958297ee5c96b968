#pragma once
// Timing models: the persistent default model and background loads.
#include <memory>
#include <string>
#include <vector>
#include "common/host_api.h"
#include "dev/dev_basic_info.h"
#include "kem/kem_timing_model.h"

// data: a path of device element kinds, in order.
struct YEB_PATH {
  std::vector<int> element_types;
};

// data: one switch delay record of a timing model, in seconds: maximum rise,
// maximum fall, minimum rise, minimum fall.
struct YEB_DELAY {
  float values[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

struct YEB_CELL_DELAY;

class HOST_API YEB_TIMING_MODEL {
public:
  YEB_TIMING_MODEL();
  virtual ~YEB_TIMING_MODEL();
  YEB_TIMING_MODEL(const YEB_TIMING_MODEL&) = delete;
  YEB_TIMING_MODEL& operator=(const YEB_TIMING_MODEL&) = delete;
  // component: the switch delays of a routing switch; the base model has
  // none and leaves the vector as it is. The stand-in's models (from
  // get_timing_model) append one record per device corner for a routing
  // gid: its hop delay at that corner (maximum rise; fall 2% less; minimum
  // rise and fall 90% and 88% of it).
  inline virtual void get_switch_delays(unsigned switch_id, std::vector<YEB_DELAY>& delays) const;

  // recorded: loads the default timing model and keeps it for the process.
  static void preload_persistant_default_timing_model();
  // recorded: starts loading a timing model in the background; the caller
  // does not wait for it.
  static void get_timing_model_async(DEV_DEVICE_ENUM device, int speed_grade, int timing_model, bool flag1,
                                     bool flag2);

  // data: the model of a timing-model enum, which names a corner of the
  // device (its index in the corner list; another value is the first
  // corner). The three flags are recorded and ignored; `is_real` and
  // `is_fully_sampled` come from host::yeb::set_model_flags (default true).
  static std::shared_ptr<YEB_TIMING_MODEL> get_timing_model(DEV_DEVICE_ENUM device, int kind, int timing_model,
                                                            bool flag1, bool flag2, bool flag3, bool* is_real,
                                                            bool* is_fully_sampled);
  int get_timing_model_enum() const { return m_enum; }
  // "<corner kind>_<mV>mv_<degrees>c" of the model's corner.
  const std::string& get_user_string() const { return m_user; }
  // algorithm: delay scaling factors of `other` against this model: r = the
  // ratio of their corners' delay scales; local form (min rise, min fall) =
  // (r, 0.95 r); global form adds (max rise, max fall) = (r, 1.05 r).
  void get_scaling_factors(const YEB_TIMING_MODEL& other, bool global, std::vector<float>& out) const;
  // algorithm: the delay of an element-kind path at the model's corner, in
  // seconds: maximum rise, maximum fall, minimum rise, minimum fall. Each
  // kind k adds (10 + k mod 37) ps to the maximum rise; fall is 2% more,
  // minimum rise and fall 90% and 88% of the maximum rise.
  void get_path_delay(const YEB_PATH& path, float out[4]) const;

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
  // algorithm: the cell delay of a delay-library parameter at this corner in
  // seconds (the flag is ignored): parameters 130-199 fill values 0-7 as
  // get_lut_input_delay does, max = 40 + 5 x (parameter mod 13) ps scaled by
  // the corner, min = 0.9 x max; other parameters stay "none".
  void get_cell_delay(int parameter, int flag, YEB_CELL_DELAY& out) const;
  double get_delay_scale() const { return m_scale; }

private:
  int m_enum = 0;
  double m_scale = 1.0;
  std::string m_user;
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
// data: the out-flags get_timing_model reports for a timing-model enum.
HOST_API void set_model_flags(int timing_model, bool is_real, bool is_fully_sampled);
// data: the delay record of a cell kind (slow corner).
HOST_API const YEB_CELL_DELAY& cell_delay(YEB_CELL_KIND kind);
}  // namespace host::yeb

#include "yeb_timing_model_sys.h"
