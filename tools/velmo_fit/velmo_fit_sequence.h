#pragma once
// The host's stage sequence, shared by velmo-fit and its Tcl package:
// start-up; before the first stage the design-without-device step and the
// user-constraint load ("prepare"); the stages in flow order, each with the
// design snapshot it produces set as it starts and the host's timing
// analysis after it; the route-stage operation list after routing; the
// post-fit checks after the stage that routed last; shut-down. Each step
// prints its line ("Stage NAME: ok|FAILED (time), worst slacks") and, when
// it failed, its reason.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sta/sta_analysis.h"
#include "velmo_fit_partitions.h"
#include "velmo_fit_retiming.h"
#include "velmo_fit_session.h"

namespace velmo_fit {

// The non-empty lines of a text.
std::vector<std::string> split_lines(const std::string& text);

// Whether a stage routes the design (the final stage routes what is not yet
// routed).
bool stage_routes(const std::string& stage);

struct STAGE_RESULT {
  std::string name;
  bool ok;
  double seconds;
  long peak_rss_kb = 0;  // the process's peak when the stage ended
};

// Peak resident memory of this process in kB (the largest VmHWM read so
// far), 0 when unknown.
long peak_rss_kb();

// Every corner of the part loaded into the timing netlist and analysed (a
// stage, such as hold fixing, may leave only one loaded).
void load_all_corners();

// The periphery-core register transfers the plan stage's passes reported:
// found (the registers of the transfer groups they took up), committed
// (placed at a transfer site) and routed (placed and routed), over the main
// pass (its closing messages), the UIB/ESRAM pass (its per-clock-domain
// lines; every connection it takes is placed and routed), whose share is
// `uib_esram` as well, and the dedicated depopulation (the registers it
// marked for a transfer; committed when the plan stage put them at their
// dedicated site; it routes none), whose share of found is `dedicated`.
struct PERIPHERY_TRANSFERS {
  int found = 0;
  int committed = 0;
  int routed = 0;
  int uib_esram = 0;
  int dedicated = 0;
};

// Pins' delay-chain settings by (pin, chain type).
using CHAIN_SETTINGS = std::map<std::pair<std::string, int>, unsigned>;

// A chain's setting in `settings`; a chain without an entry is at its
// default, 0 (no delay added).
inline unsigned chain_setting(const CHAIN_SETTINGS& settings, const std::pair<std::string, int>& key) {
  const auto it = settings.find(key);
  return it == settings.end() ? 0u : it->second;
}

// What the stages changed, for the report.
struct STAGE_FIGURES {
  // The plan stage's periphery-core transfers, once it ran.
  std::optional<PERIPHERY_TRANSFERS> periphery_transfers;
  // LUTs the final stage changed (resynthesis); -1 while it has not run.
  int final_changed_luts = -1;
  // LUTs the final stage's resynthesiser changed (its own account, one
  // debug line per LUT); -1 while the final stage has not run.
  int final_resynthesised_luts = -1;
  // Chain settings the route stage changed (the automatic delay-chain
  // pass), once it ran.
  int route_changed_delay_chains = -1;
  // Negotiation rounds of the route stage's routing (0: it did not run).
  // Later routings (the final stage's, which mostly follow it) do not
  // replace it.
  int route_stage_rounds = 0;
  // The pins' chain settings before the first stage.
  CHAIN_SETTINGS chain_settings_before;
  // What the final stage changed in the register structure (post-route
  // retiming), once it ran.
  std::optional<RETIMING_CHANGES> retiming;
  // Dangling wires the final stage's hold fixing added (its own account,
  // summed over its passes); 0 while the final stage has not run.
  int final_dangling_wires = 0;
  // Per analysed corner, in corner order: the setup endpoints that passed
  // before the final stage and fail after it (hold fixing may spend setup
  // room), once it ran.
  std::optional<std::vector<std::pair<std::string, int>>> final_setup_newly_failing;
};

// Per corner of `after`: how many of its setup endpoints fail there that
// passed on the same corner of `before` (endpoints `before` lacks are not
// counted).
std::vector<std::pair<std::string, int>> setup_newly_failing(const std::vector<host::timing::CORNER_SUMMARY>& before,
                                                             const std::vector<host::timing::CORNER_SUMMARY>& after);

class HOST_SEQUENCE {
public:
  explicit HOST_SEQUENCE(std::vector<host::testing::PARTITION_SETTING> partitions)
      : m_partitions(std::move(partitions)) {}

  PARTITION_RUN& partitions() { return m_partitions; }

  // Finds in the opened component library the entry points the sequence
  // needs for `stages` (every stage when empty and `all_stages` is set);
  // the signatures not found are listed in *missing.
  void bind(void* lib, const std::vector<std::string>& stages, bool all_stages, std::vector<std::string>* missing);

  // Start-up (and the partitions' blackboxing entry after it); false when
  // it failed, with its reason printed.
  bool start_up(CMP_FACADE* cmp);
  // The prepare step before the first stage.
  bool prepare();
  // Runs one stage; the caller has checked stage_refusal. `print_skip`:
  // the retime stage of a device without the retimer is skipped (returns
  // true) rather than run.
  bool run_stage(const std::string& stage, bool skip_retime_without_retimer);
  // The component's post-fit checks, when a stage routed the design;
  // true when they posted no error (or did not run).
  bool post_fit_checks();
  void shut_down();

  // Called after each stage with its name and result (the program writes
  // the equivalence-check files there).
  std::function<void(const std::string&, bool)> after_stage;

  const std::vector<STAGE_RESULT>& results() const { return m_results; }
  // The stages that ran, in order (start-up and prepare not counted).
  const std::vector<std::string>& stages_run() const { return m_ran; }
  bool ran(const std::string& stage) const;
  // A stage that routes ran (successfully or not).
  bool routing_ran() const;
  // A stage that routes failed with connections unrouted or elements
  // overused.
  bool routing_failed() const { return m_routing_failed; }
  bool started() const { return m_started; }
  const STAGE_FIGURES& figures() const { return m_figures; }

private:
  void begin_step();
  void print_reason(const std::string& what) const;
  void stage_line(const std::string& name, bool ok, double seconds, const std::string& elapsed);

  PARTITION_RUN m_partitions;
  ENTRY_POINTS m_ep;
  void* m_lib = nullptr;
  std::map<std::string, void*> m_stage_fn;
  std::vector<STAGE_RESULT> m_results;
  std::vector<std::string> m_ran;
  STAGE_FIGURES m_figures;
  bool m_started = false;
  bool m_routed_ok = false;  // the stage that routed last succeeded
  bool m_routing_failed = false;
  std::size_t m_debug_mark = 0;
  int m_errors_mark = 0;
};

}  // namespace velmo_fit
