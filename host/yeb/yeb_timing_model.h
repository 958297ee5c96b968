#pragma once
// Timing models: the persistent default model and background loads.
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
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
struct DeviceCorner;

// Timing-model kinds (0 slow, 1 fast) and loaded timing models (a corner
// index of the device; DEV_TIMING_MODEL_INVALID when none is loaded).
using hep_timing_models = int;
using DEV_TIMING_MODEL_ENUM = int;
inline constexpr DEV_TIMING_MODEL_ENUM DEV_TIMING_MODEL_INVALID = -1;

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

  // data: whether the post-route delay estimator is in use (default off;
  // host::yeb::set_delay_estimator_enabled).
  static bool is_delay_estimator_enabled();
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

  // ---- per-kind models and cell delays (yeb_kind_model.cpp)
  // data: the shared model of a device, timing-model kind and loaded timing
  // model: one object per (device, kind, model), kept for the process. Its
  // corner is the device corner the model names, else the kind's first
  // corner (fast for kind 1, slow otherwise). `out_real` and `out_sampled`,
  // when given, are set like is_real and is_fully_sampled above; the three
  // trailing flags are recorded and ignored.
  static std::shared_ptr<YEB_TIMING_MODEL> get_timing_model(DEV_DEVICE_ENUM device, hep_timing_models kind,
                                                            DEV_TIMING_MODEL_ENUM timing_model, bool* out_real,
                                                            bool* out_sampled, bool flag1, bool flag2, bool flag3);
  // data: the cell-delay record of a cell-delay kind at the model's corner.
  // A record set by host::yeb::set_cell_delay for the model's kind comes
  // as set; otherwise the PLL chain kinds 218-223 have generated records
  // (below) and every other kind (the I/O chain kinds 207-215, 234, ...)
  // has none. The record's flag tells whether any value is set.
  virtual YEB_CELL_DELAY get_cell_delay(int cell_kind, int flag) const;
  hep_timing_models get_kind() const { return m_kind; }

private:
  int m_enum = 0;
  double m_scale = 1.0;
  std::string m_user;
  hep_timing_models m_kind = 0;
  void take_corner(const DeviceCorner& corner);
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
  // Set on a record a model filled with at least one value.
  bool flag = false;
  bool has(int i) const { return i >= 0 && i < 16 && values[i] < NONE; }
  // Value i in picoseconds, scaled to a corner and rounded half away from
  // zero; 0 for "none".
  int ps(int i, double scale) const;
};

// The sixteen values in seconds ("-" for none) and the flag:
// "{v0 v1 ... v15} flag=1".
HOST_API std::ostream& operator<<(std::ostream& os, const YEB_CELL_DELAY& record);

namespace host::yeb {
// data: the record every per-kind model of timing-model kind `model_kind`
// (0 slow, 1 fast; -1 both) answers for `cell_kind`, in place of the
// generated one; an all-"none" record takes a kind's values away.
// Generated PLL records (kinds 218 n_fine, 219 n_coarse, 220 m_fine,
// 221 m_coarse, 222 n_buf, 223 m_buf): d = 75, 303, 80, 322, 1214, 1213 ps
// times the corner's delay scale; values 0-7 are max rise d, max fall
// 1.02 d, min rise 0.9 d, min fall 0.88 d, twice.
HOST_API void set_cell_delay(int model_kind, int cell_kind, const YEB_CELL_DELAY& record);
// data: the out-flags get_timing_model reports for a timing-model enum.
HOST_API void set_model_flags(int timing_model, bool is_real, bool is_fully_sampled);
// data: (is_real, is_fully_sampled) of a timing-model enum; (true, true)
// unless set_model_flags changed them.
HOST_API std::pair<bool, bool> model_flags(int timing_model);
// data: the delay record of a cell kind (slow corner).
HOST_API const YEB_CELL_DELAY& cell_delay(YEB_CELL_KIND kind);
HOST_API void set_delay_estimator_enabled(bool on);
}  // namespace host::yeb

#include "yeb_timing_model_sys.h"
