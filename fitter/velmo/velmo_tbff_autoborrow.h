#pragma once
// Time-borrowing flip-flop (TBFF) optimisation: the pulse width of the
// pipeline registers that run as pulse latches is opened where setup needs
// the borrowed time and hold allows it.
//
// velmo_optimize_tbff chooses a variant by family, project option 1175 and
// the load-time switches, and runs it once; velmo_revert_tbff undoes what a
// run changed. Each optimiser object lives for one entry-point call.
#include <array>
#include <memory>
#include <set>
#include <vector>

// The Tcl headers define CONST, a template parameter name of the containers.
#pragma push_macro("CONST")
#undef CONST
#include "hov/hov_pulse_width.h"
#include "kem/kem_timing_model.h"
#include "sta/sta_slack_calculator.h"
#include "velmo_export.h"
#include "zmp_hash_lite_sys.h"
#pragma pop_macro("CONST")

class CMP_FACADE;
class KEM_NETLIST;
class KEM_NODE;
class STA_DB_MGR;
class STA_SLACK_CALCULATOR;
class STA_TIMER_ENGINE;
class VOK_ATOM_NODE;
class VOK_RE_ROUTING;
class WEXAN_ENV;
class WUMP_DIE_INFO;
class WUMP_ROUTE_INFO;
class XAB_DELAY_ANNOTATOR;
class YOS_INTERFACE;

// Chooses and runs the optimisation for the family, or nothing.
VELMO_API void velmo_optimize_tbff(WEXAN_ENV* env);
// Undoes what the optimisation changed, or nothing.
VELMO_API void velmo_revert_tbff(WEXAN_ENV* env);

// The frame every variant shares: prerequisites, the one-shot rule, revert
// and the loading of the timing corners.
class TBFF_OPTIMIZATION_BASE {
public:
  explicit TBFF_OPTIMIZATION_BASE(WEXAN_ENV* env);
  virtual ~TBFF_OPTIMIZATION_BASE();
  TBFF_OPTIMIZATION_BASE(const TBFF_OPTIMIZATION_BASE&) = delete;
  TBFF_OPTIMIZATION_BASE& operator=(const TBFF_OPTIMIZATION_BASE&) = delete;

  // Undoes the variant's changes when the prerequisites were met; clears the
  // run flag.
  virtual void revert();
  virtual void run() = 0;
  virtual void undo() = 0;
  virtual std::vector<KEM_TIMING_MODEL> get_timing_models() const = 0;

  // Runs the variant once per object (a second call is an internal error).
  void optimize();
  // The variant's models, each loaded as a corner of the timing netlist.
  std::vector<KEM_TIMING_MODEL> load_timing_models();

  bool prerequisites_met() const { return m_prerequisites_met; }
  bool already_ran() const { return m_already_ran; }

protected:
  WEXAN_ENV* m_env = nullptr;
  CMP_FACADE* m_cmp_facade = nullptr;
  STA_DB_MGR* m_db_mgr = nullptr;
  STA_TIMER_ENGINE* m_timer_engine = nullptr;
  KEM_NETLIST* m_netlist = nullptr;
  KEM_CORNER_MANAGER* m_corner_manager = nullptr;
  std::unique_ptr<XAB_DELAY_ANNOTATOR> m_delay_annotator;
  bool m_prerequisites_met = false;
  bool m_already_ran = false;
};

// Asks the timing engine only for its optimal time borrowing (or clears it).
class TBFF_OPTIMIZATION_ANALYSIS_ONLY : public TBFF_OPTIMIZATION_BASE {
public:
  explicit TBFF_OPTIMIZATION_ANALYSIS_ONLY(WEXAN_ENV* env) : TBFF_OPTIMIZATION_BASE(env) {}
  ~TBFF_OPTIMIZATION_ANALYSIS_ONLY() override;
  void run() override;
  void undo() override;
  std::vector<KEM_TIMING_MODEL> get_timing_models() const override;

  // true: run clears the borrow database instead of computing it.
  bool m_skip_optimization = false;
};

// The full optimiser: pulse-latch groups behind their PMUX, their levels
// widened, tightened and re-checked for hold.
class TBFF_OPTIMIZATION_KY : public TBFF_OPTIMIZATION_BASE {
public:
  // The register kind: 0 clocked through a PMUX, 1 through a LAB clock mux
  // fed by an element with several fan-ins.
  enum TBFF_TYPE : int { TBFF_TYPE_PMUX = 0, TBFF_TYPE_LAB_CLOCK = 1 };

  struct TBFF_REGISTER_INFO {
    VOK_ATOM_NODE* atom = nullptr;
    KEM_NODE* node = nullptr;
    ZMP_HASH_LITE<KEM_CORNER*, int> hold_slack;
    ZMP_HASH_LITE<KEM_CORNER*, int> new_hold_slack;
    TBFF_TYPE type = TBFF_TYPE_PMUX;
    int pmux_id = -1;
  };

  // Keeps the worst slack per internal corner of every slack the walk
  // hands it in its target map (not owned).
  class HOLD_SLACK_PER_CORNER_HELPER : public STA_SLACK_CALCULATOR_CALLBACK_BASE {
  public:
    explicit HOLD_SLACK_PER_CORNER_HELPER(ZMP_HASH_LITE<KEM_CORNER*, int>* target) : m_target(target) {}
    void callback_on_valid_slack(const STA_SLACK_CALCULATOR_HELPER& slack) override;

  private:
    ZMP_HASH_LITE<KEM_CORNER*, int>* m_target;
  };

  using PULSE_VALUES =
      ZMP_HASH_LITE<KEM_CORNER*, ZMP_HASH_LITE<TBFF_TYPE, ZMP_HASH_LITE<HOV_PULSE_WIDTH_ENUM, std::pair<int, int>>>>;
  using OPTIMAL_BORROW_VALUES = ZMP_HASH_LITE<KEM_NODE*, ZMP_HASH_LITE<KEM_CORNER*, std::array<int, 2>>>;

  explicit TBFF_OPTIMIZATION_KY(WEXAN_ENV* env);
  ~TBFF_OPTIMIZATION_KY() override;
  void run() override;
  void undo() override;
  std::vector<KEM_TIMING_MODEL> get_timing_models() const override;

  // Fills m_pulse_values from the compiled-in table for every model.
  void create_pulse_value_table();
  // Fills m_optimal_borrow_values from the corners' borrow databases.
  void gather_optimal_borrow_values();
  // Finds the pulse-latch registers and their groups (adds, never clears).
  void find_all_interested_regs();

  // Widens each group to the widest level its registers' hold slack allows
  // and applies the changes (with the fix-up list when it is switched on).
  void find_max_allowed_pw();
  // The timing engine's optimal time borrowing on the setup corners.
  void compute_optimal_borrowing_values();
  // Writes the groups' levels into the registers' atoms and brings the port
  // model and the timing netlist up to date.
  void set_pw_on_atoms_and_update(const std::vector<TBFF_REGISTER_INFO>& registers);
  // Lowers each group to the narrowest level its registers' optimal borrow
  // still fits in.
  void tighten_pw();
  // Re-analyses hold and lowers by one level every group with a register
  // failing where it passed before the run, until none is found.
  void check_new_hold_violation();
  // Measures the worst hold slack per corner of a register into `target`.
  void measure_hold_slack(const TBFF_REGISTER_INFO& info, ZMP_HASH_LITE<KEM_CORNER*, int>* target);

  // Hold analysis on every model; the slack walk set to hold on them.
  void analyse_hold_on_all_corners();

private:
  // Lowers the borrow database entries of re-tightened registers to what
  // their pulse now allows.
  void clip_borrow_values(const std::vector<TBFF_REGISTER_INFO>& changes);
  // (lower, upper) pulse value of a corner, register kind and level.
  const std::pair<int, int>& pulse_value(KEM_CORNER* corner, TBFF_TYPE type, int level) const;
  // The level of a group key (an internal error when it has none).
  HOV_PULSE_WIDTH_ENUM& level_of(int key);

public:

  // Read access for the run and for tests.
  const PULSE_VALUES& pulse_values() const { return m_pulse_values; }
  const OPTIMAL_BORROW_VALUES& optimal_borrow_values() const { return m_optimal_borrow_values; }
  const ZMP_HASH_LITE<int, std::vector<TBFF_REGISTER_INFO>>& pmux_groups() const { return m_pmux_groups; }
  const ZMP_HASH_LITE<int, HOV_PULSE_WIDTH_ENUM>& tlb_to_pw() const { return m_tlb_to_pw; }
  const std::vector<TBFF_REGISTER_INFO>& fix_up_registers() const { return m_fix_up_registers; }
  ZMP_HASH_LITE<int, std::vector<TBFF_REGISTER_INFO>>& pmux_groups() { return m_pmux_groups; }
  ZMP_HASH_LITE<int, HOV_PULSE_WIDTH_ENUM>& tlb_to_pw() { return m_tlb_to_pw; }
  OPTIMAL_BORROW_VALUES& optimal_borrow_values() { return m_optimal_borrow_values; }
  // The floor level: 0 where the part allows it, else 1.
  HOV_PULSE_WIDTH_ENUM floor_level() const { return m_pulse_level_0_allowed ? HOV_PULSE_WIDTH_0 : HOV_PULSE_WIDTH_1; }
  const std::vector<KEM_TIMING_MODEL>& timing_models() const { return m_timing_models; }
  bool pulse_level_0_allowed() const { return m_pulse_level_0_allowed; }

protected:
  VOK_RE_ROUTING* m_routing = nullptr;
  WUMP_ROUTE_INFO* m_route_info = nullptr;
  bool m_pulse_level_0_allowed = false;
  std::vector<KEM_TIMING_MODEL> m_timing_models;
  std::unique_ptr<STA_SLACK_CALCULATOR> m_slack_calculator;
  YOS_INTERFACE* m_yos_interface = nullptr;
  WUMP_DIE_INFO* m_wump_die_info = nullptr;
  OPTIMAL_BORROW_VALUES m_optimal_borrow_values;
  ZMP_HASH_LITE<int, std::vector<TBFF_REGISTER_INFO>> m_pmux_groups;
  ZMP_HASH_LITE<int, HOV_PULSE_WIDTH_ENUM> m_tlb_to_pw;
  PULSE_VALUES m_pulse_values;
  std::vector<TBFF_REGISTER_INFO> m_fix_up_registers;
  // Groups found at level 0 on a part whose floor is 1: lifted to the floor,
  // where a new hold failure is no error (the part cannot do better).
  std::set<int> m_lifted_from_below_floor;
};

// The low-effort variant: only the fix-up list is applied.
class TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY : public TBFF_OPTIMIZATION_KY {
public:
  explicit TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY(WEXAN_ENV* env) : TBFF_OPTIMIZATION_KY(env) {}
  ~TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY() override;
  void run() override;
  std::vector<KEM_TIMING_MODEL> get_timing_models() const override;
};
