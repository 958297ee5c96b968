#pragma once
// The timing-driven resynthesis driver around the host's resynthesis engine:
// decides whether resynthesis runs, annotates the timing netlist with
// interconnect delays, exports per-atom fit information, runs the
// export-resynthesise-import iterations and takes the changes into the design.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "belq/belq_env.h"

class CMP_FACADE;
class WEXAN_ENV;
class WEXAN_HOV_UTILITY;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;
class KEM_EDGE;
class SIV_ATOM_MOD_UTILITY;
class HOV_ACCESSORIES;
class EWT_TABLE_TIMING_MODEL;
class XAB_DEM;
class TIBEX_VPR_FACADE;

class VELMO_RESYN_WRAPPER {
public:
  // Runs resynthesis (or a timing-only run) on the design; false only when
  // a timing-only run or a resynthesis fails.
  static bool run(CMP_FACADE* cmp, WEXAN_ENV* env, bool physical);
  // True at the first LUT or register with both coordinates at least 0.
  static bool is_netlist_placed(VOK_ATOM_NETLIST* netlist);
  // Sets every located atom's coordinates to -1 (unless kept by switch).
  static void clear_placement(VOK_ATOM_NETLIST* netlist);
};

// The four delays of one timing edge.
struct VELMO_RESYN_DELAY_STRUCT {
  int d[4] = {0, 0, 0, 0};
};
using VELMO_RESYN_SKEW_MAP = std::unordered_map<VOK_ATOM_ITERM*, VELMO_RESYN_DELAY_STRUCT>;

class VELMO_RESYN {
public:
  VELMO_RESYN(CMP_FACADE* cmp, WEXAN_ENV* env, bool physical);
  ~VELMO_RESYN();
  VELMO_RESYN(const VELMO_RESYN&) = delete;
  VELMO_RESYN& operator=(const VELMO_RESYN&) = delete;

  bool resynthesize_netlist();
  bool run_timing_analysis_only();

  // Pieces the runs are made of (reachable for checks).
  const std::string& get_sta_cmd() const { return m_sta_cmd; }
  WEXAN_HOV_UTILITY* create_timing(bool reuse);
  void remove_timing();
  void remove_drask_timing();
  bool perform_timing_analysis(WEXAN_HOV_UTILITY* hov, const char* label, VELMO_RESYN_SKEW_MAP* skews,
                               bool zero_global_delays);
  void set_or_reset_ic_delays(bool set, bool zero_global_delays);
  int get_ic_delay(VOK_ATOM_ITERM* dst, int* physical_count, int* table_count);
  std::unique_ptr<VELMO_RESYN_SKEW_MAP> get_skews();
  bool set_or_reset_skews(VELMO_RESYN_SKEW_MAP* skews, bool reset);
  void clear_timing(VELMO_RESYN_SKEW_MAP* skews);
  void get_atom_fit_info(BELQ_FIT_INFO_MAP* fit, VELMO_RESYN_SKEW_MAP* skews);
  void insert_atoms(std::vector<VOK_ATOM_NODE*>* atoms);
  void delete_atoms(std::vector<VOK_ATOM_NODE*>* atoms);
  static VOK_ATOM_ITERM* get_kem_edge_iterm(KEM_EDGE* edge);
  static bool is_global_iterm(const VOK_ATOM_ITERM* iterm);

private:
  VOK_ATOM_NETLIST* m_atom_netlist;
  CMP_FACADE* m_cmp;
  WEXAN_ENV* m_env;
  SIV_ATOM_MOD_UTILITY* m_amu;  // the environment's, not owned
  HOV_ACCESSORIES* m_hov_accessories;
  std::unique_ptr<EWT_TABLE_TIMING_MODEL> m_timing_model;
  bool m_use_drask = false;
  bool m_physical = false;
  XAB_DEM* m_dem = nullptr;
  TIBEX_VPR_FACADE* m_vpr = nullptr;
  std::string m_sta_cmd;
  bool m_debug = false;
};

// Whether a connection between the two locations may use a physical delay.
bool velmo_can_use_physical_delays(const VOK_ATOM_OTERM* src, const VOK_ATOM_ITERM* dst, int x1, int y1, int x2,
                                   int y2);
// Forgets the delay switches read once per process, so that the next use
// reads them again (a new compile in the same process, and tests).
void velmo_resyn_forget_switches();
// Debug texts: "<atom path>/<port>", or "I" / "O" for a null term; an edge
// as "<source>-><destination>" with "NIL" for a missing node.
std::string velmo_get_iterm_string(const VOK_ATOM_ITERM* iterm);
std::string velmo_get_oterm_string(const VOK_ATOM_OTERM* oterm);
std::string get_kem_edge_string(const KEM_EDGE* edge);
// Creates "synth_dumps" when missing and returns it.
std::string velmo_get_synth_dump_path();
