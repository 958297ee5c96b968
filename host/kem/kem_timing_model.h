#pragma once
// Timing corners (KEM_TIMING_MODEL) and the corner manager of a timing
// netlist.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/host_api.h"
#include "dev/dev_spec.h"
// The Tcl headers define CONST, a template parameter name of the containers.
#pragma push_macro("CONST")
#undef CONST
#include "zmp_hash_lite_sys.h"
#pragma pop_macro("CONST")

class CMP_FACADE;

// data: a timing corner, seven 32-bit fields. Two models are the same corner
// when fields 0-5 match (the hold-only field does not take part).
class HOST_API KEM_TIMING_MODEL {
public:
  enum KIND : std::int32_t { SLOW = 0, FAST = 1, FASTEST_SLOW = 2, TYPICAL = 3 };
  enum CONDITION : std::int32_t { CONDITION_SLOW = 46, CONDITION_FAST = 47 };

  KEM_TIMING_MODEL() = default;
  KEM_TIMING_MODEL(int speed_grade, int kind, int millivolts, int celsius, bool hold_only = false);
  // The model of a device corner.
  static KEM_TIMING_MODEL from_corner(const DeviceCorner& corner);

  // data: the part's default model of a kind: 0 slow (900 mV, 100 C), 1 fast
  // (900 mV, -40 C). Another kind is an internal error.
  static KEM_TIMING_MODEL create_default_timing_model(const CMP_FACADE* cmp, int kind);
  // data: every corner of the configured part, in the device's order.
  static std::vector<KEM_TIMING_MODEL> get_list_of_timing_models(int part);

  int get_speed_grade() const { return m_speed_grade; }
  int get_condition() const { return m_condition; }
  int get_corner() const { return m_kind; }  // the kind: slow, fast, fastest_slow, typical
  int get_millivolts() const { return m_millivolts; }
  int get_celsius() const { return m_celsius; }
  bool is_hold_only_corner() const { return m_hold_only != 0; }

  // "1_slow_900mv_100c": speed grade, kind name, voltage, temperature.
  std::string get_name() const;
  std::string get_debug_string() const { return get_name(); }
  // slow 1.0, fastest_slow and typical 0.8, fast 0.65; each times
  // (1 + 0.001 * (900 - mV)).
  double get_delay_scale() const;

  // Fields 0-5.
  bool operator==(const KEM_TIMING_MODEL& o) const;
  bool operator!=(const KEM_TIMING_MODEL& o) const { return !(*this == o); }

private:
  std::int32_t m_speed_grade = 1;
  std::int32_t m_condition = CONDITION_SLOW;
  std::int32_t m_reserved = 0;
  std::int32_t m_kind = SLOW;
  std::int32_t m_millivolts = 900;
  std::int32_t m_celsius = 100;
  std::int32_t m_hold_only = 0;
};
static_assert(sizeof(KEM_TIMING_MODEL) == 7 * sizeof(std::int32_t), "seven 32-bit fields");

// The borrow database of a corner: per timing-node id, entries of four
// borrow values in ps (rise, rise, fall, fall).
using KEM_BORROW_DB = ZMP_HASH_LITE<unsigned, std::vector<std::array<int, 4>>>;

// data: one loaded corner: its model and its borrow database. The object
// stays at its address while the corner is loaded.
class HOST_API KEM_CORNER {
public:
  explicit KEM_CORNER(const KEM_TIMING_MODEL& model) : m_model(model) {}
  const KEM_TIMING_MODEL& get_timing_model() const { return m_model; }
  KEM_BORROW_DB& borrow_db() { return m_borrow_db; }

private:
  KEM_TIMING_MODEL m_model;
  KEM_BORROW_DB m_borrow_db;
};

// data: the corners loaded into a timing netlist and the current one. Corner
// ids are positions in the loaded list.
class HOST_API KEM_CORNER_MANAGER {
public:
  KEM_CORNER_MANAGER() = default;
  // A copy has its own corner objects (borrow databases copied).
  KEM_CORNER_MANAGER(const KEM_CORNER_MANAGER& o);
  KEM_CORNER_MANAGER& operator=(const KEM_CORNER_MANAGER& o);
  const std::vector<KEM_TIMING_MODEL>& get_loaded_corners() const { return m_corners; }
  int get_corner_count() const { return static_cast<int>(m_corners.size()); }
  // The current corner's id; -1 when nothing is loaded.
  int get_current_corner_id() const { return m_current; }
  // The current corner's model; an internal error when nothing is loaded.
  const KEM_TIMING_MODEL& get_current_corner() const;
  bool has_corner(const KEM_TIMING_MODEL& model) const { return get_corner_id(model) >= 0; }
  // The id of the loaded corner equal to model; -1 when it is not loaded.
  int get_corner_id(const KEM_TIMING_MODEL& model) const;
  // The loaded corner equal to model; null when it is not loaded.
  KEM_CORNER* get_internal_corner(const KEM_TIMING_MODEL& model) const;
  // The corner of an id; null for an id not loaded.
  KEM_CORNER* get_corner_by_id(int id) const;
  // The corner's borrow database (an internal error for a null corner).
  KEM_BORROW_DB& get_current_borrow_db(KEM_CORNER* corner) const;
  // Makes model the current corner, loading it first when needed.
  void change_corner(const KEM_TIMING_MODEL& model);
  // Unloads a corner; the current corner moves to the first remaining one.
  void erase_corner(const KEM_TIMING_MODEL& model);
  // Replaces the loaded corners; the first becomes current.
  void set_corners(const std::vector<KEM_TIMING_MODEL>& models);
  void clear();
  // data: while on, asking for the current corner's model is an internal
  // error ("!enable_ie_on_current_corner()"): callers must go by corner id.
  bool enable_ie_on_current_corner() const { return m_ie_on_current; }
  void set_enable_ie_on_current_corner(bool on) { m_ie_on_current = on; }

private:
  void sync_objects();
  std::vector<KEM_TIMING_MODEL> m_corners;
  std::vector<std::unique_ptr<KEM_CORNER>> m_objects;  // one per loaded corner, same order
  int m_current = -1;
  bool m_ie_on_current = false;
};
