#include "velmo_fit_sequence.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "cmp/cmp_facade.h"
#include "common/host_progress.h"
#include "dev/dev_spec.h"
#include "gen/gen_profile.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "korrin/korrin_router.h"
#include "msg/msg_base.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "sta/sta_analysis.h"
#include "tibex/tibex_placer.h"
#include "tibex/tibex_vpr_facade.h"
#include "vok/vok_atom_netlist.h"
#include "yun/yun_utility.h"
#include "zel/zel_dc_table.h"
#include "zel/zel_dev_zota_util.h"
#include "velmo_fit_counts.h"
#include "velmo_fit_progress.h"
#include "velmo_fit_transfer_checks.h"

namespace velmo_fit {

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) out.push_back(line);
  return out;
}

bool stage_routes(const std::string& stage) { return stage == "route" || stage == "final"; }

long peak_rss_kb() {
  // The kernel's high-water mark is the larger of a recorded mark and the
  // resident size now, and the recorded mark is not updated when memory a
  // helper thread's allocator arena held is handed back: the figure can fall
  // by a few hundred kB. The peak so far is the largest figure read.
  static std::atomic<long> peak{0};
  std::ifstream in("/proc/self/status");
  std::string line;
  long now = 0;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) {
      now = std::strtol(line.c_str() + 6, nullptr, 10);
      break;
    }
  long seen = peak.load();
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
  return std::max(seen, now);
}

void load_all_corners() {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  if (kem == nullptr) return;
  std::vector<KEM_TIMING_MODEL> all;
  for (const DeviceCorner& c : host::device::spec().corners) all.push_back(KEM_TIMING_MODEL::from_corner(c));
  if (all.empty() || kem->get_corner_manager()->get_loaded_corners() == all) return;
  kem->get_corner_manager()->set_corners(all);
  kem->annotate_current_corner();
  host::sta::analyze(kem);
}

std::vector<std::pair<std::string, int>> setup_newly_failing(const std::vector<host::timing::CORNER_SUMMARY>& before,
                                                             const std::vector<host::timing::CORNER_SUMMARY>& after) {
  std::vector<std::pair<std::string, int>> out;
  for (const host::timing::CORNER_SUMMARY& a : after) {
    std::set<std::string> passed;
    for (const host::timing::CORNER_SUMMARY& b : before)
      if (b.corner == a.corner)
        for (const auto& [pin, slack] : b.setup_endpoints)
          if (slack >= 0) passed.insert(pin);
    int n = 0;
    for (const auto& [pin, slack] : a.setup_endpoints) n += slack < 0 && passed.count(pin) ? 1 : 0;
    out.emplace_back(a.corner, n);
  }
  return out;
}

namespace {

// The worst setup and hold slack over the analysed corners after a stage,
// for its line ("" before any timing analysis).
std::string timing_note() {
  load_all_corners();
  const auto corners = host::timing::summary();
  if (corners.empty()) return std::string();
  std::int32_t setup = KEM_NO_SLACK, hold = KEM_NO_SLACK;
  auto worst = [](std::int32_t a, std::int32_t b) {
    return a == KEM_NO_SLACK ? b : (b == KEM_NO_SLACK ? a : std::min(a, b));
  };
  for (const auto& c : corners) {
    setup = worst(setup, c.setup_wns);
    hold = worst(hold, c.hold_wns);
  }
  auto text = [](std::int32_t v) { return v == KEM_NO_SLACK ? std::string("none") : std::to_string(v) + " ps"; };
  return "worst setup slack " + text(setup) + ", worst hold slack " + text(hold);
}

// Per combinational cell: its mask and, per input, the driver, inversion and
// tie. The LUTs the final stage changed (resynthesis) are those whose entry
// differs.
std::map<int, std::string> lut_states() {
  std::map<int, std::string> out;
  for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list()) {
    if (a->get_kind() != VOK_ATOM_KIND::COMB_CELL) continue;
    std::string s = std::to_string(a->get_lutmask().get_value());
    for (std::size_t i = 0; i < a->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = a->get_iterm_slot(i);
      if (!t) continue;
      const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
      s += " " + std::to_string(t->get_port_type()) + ":" +
           (src && src->get_my_node() ? std::to_string(src->get_my_node()->get_id()) + "." + std::to_string(src->get_port_type())
                                      : (t->is_connected() ? (t->is_tie_low() ? "0" : "1") : "-")) +
           (t->is_inverted() ? "!" : "");
    }
    out[a->get_id()] = s;
  }
  return out;
}

}  // namespace

void HOST_SEQUENCE::bind(void* lib, const std::vector<std::string>& stages, bool every_stage,
                         std::vector<std::string>* missing) {
  m_lib = lib;
  auto need = [&](auto& fn, const char* signature) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(find_entry(lib, signature));
    if (!fn) missing->push_back(signature);
  };
  const std::vector<std::string>& wanted = every_stage ? all_stages() : stages;
  need(m_ep.initialize, kInitialize);
  need(m_ep.shutdown, kShutdown);
  if (!wanted.empty()) {
    need(m_ep.design_without_device, kDesignWithoutDevice);
    need(m_ep.load_user_constraints, kLoadUserConstraints);
    need(m_ep.check_and_report, kCheckAndReport);
  }
  if (std::find(wanted.begin(), wanted.end(), "route") != wanted.end()) need(m_ep.route_stage_ops, kRouteStageOps);
  for (const auto& s : wanted) {
    void* f = find_entry(lib, stage_entry().at(s));
    if (!f) missing->push_back(stage_entry().at(s));
    m_stage_fn[s] = f;
  }
  if (!m_partitions.bind(lib, exports())) missing->push_back("velmo_bbic_initialize / velmo_bbic_shutdown");
  // Every component debug line is kept (and shown only with --debug), so
  // that a step that fails without an error message can still say why.
  if (host::debug::level("VELMO") < 2) host::debug::set_level("VELMO", 2);
  m_figures.chain_settings_before = host::dc::pin_settings();
}

bool HOST_SEQUENCE::ran(const std::string& stage) const {
  return std::find(m_ran.begin(), m_ran.end(), stage) != m_ran.end();
}

bool HOST_SEQUENCE::routing_ran() const { return std::any_of(m_ran.begin(), m_ran.end(), stage_routes); }

void HOST_SEQUENCE::begin_step() {
  m_debug_mark = host::debug::lines().size();
  m_errors_mark = msg_get_default_report()->get_error_count();
  host::yun::take_failure();  // an earlier step's
}

// Why a step failed when it posted no error: what the retiming engine said
// of an operation it failed in the step, else the last debug lines the step
// wrote (up to three, oldest first).
void HOST_SEQUENCE::print_reason(const std::string& what) const {
  if (msg_get_default_report()->get_error_count() > m_errors_mark) return;
  if (const std::string engine = host::yun::take_failure(); !engine.empty()) {
    std::printf("  reason: %s\n", engine.c_str());
    return;
  }
  const auto lines = host::debug::lines();
  std::vector<std::string> last;
  for (std::size_t i = lines.size(); i > m_debug_mark && last.size() < 3; --i)
    if (lines[i - 1].module == "VELMO" && !lines[i - 1].text.empty()) last.insert(last.begin(), lines[i - 1].text);
  if (last.empty()) std::printf("  reason: %s returned false without a message\n", what.c_str());
  for (const auto& line : last) std::printf("  reason: %s\n", line.c_str());
}

void HOST_SEQUENCE::stage_line(const std::string& name, bool ok, double seconds, const std::string& elapsed) {
  m_results.push_back(STAGE_RESULT{name, ok, seconds, peak_rss_kb()});
  // The host's analysis of the design as the stage left it, updated from
  // what the stage changed.
  sta_update_timing_after_stage(true);
  const std::string note = timing_note();
  std::printf("Stage %s: %s (%s)%s%s\n", name.c_str(), ok ? "ok" : "FAILED", elapsed.c_str(), note.empty() ? "" : ", ",
              note.c_str());
  std::fflush(stdout);
}

bool HOST_SEQUENCE::start_up(CMP_FACADE* cmp) {
  GEN_STOPWATCH watch;
  begin_step();
  // Shut-down follows whatever start-up did, even when it failed.
  m_started = true;
  const bool ok = m_ep.initialize(cmp);
  stage_line("start-up", ok, watch.get_elapsed_seconds(), watch.get_elapsed_time_str());
  if (!ok) {
    print_reason(kInitialize);
    return false;
  }
  return m_partitions.after_startup(host::device::spec().family);
}

bool HOST_SEQUENCE::prepare() {
  GEN_STOPWATCH watch;
  begin_step();
  const char* failed = nullptr;
  if (!m_ep.design_without_device())
    failed = kDesignWithoutDevice;
  else if (!m_ep.load_user_constraints(false))
    failed = kLoadUserConstraints;
  stage_line("prepare", failed == nullptr, watch.get_elapsed_seconds(), watch.get_elapsed_time_str());
  if (failed != nullptr) print_reason(failed);
  return failed == nullptr;
}

namespace {

// The LUTs the resynthesiser reported changing since debug line `from`.
int resynthesised_luts(const std::vector<DEBUG_LINE>& lines, std::size_t from) {
  static const std::string prefix = "VM Debug: resynthesised LUT ";
  std::set<std::string> ids;
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i].module == "VELMO" && lines[i].text.rfind(prefix, 0) == 0) ids.insert(lines[i].text.substr(prefix.size()));
  return static_cast<int>(ids.size());
}

// The dangling wires hold fixing reported adding since debug line `from`
// (one closing line per pass).
int dangling_wires_added(const std::vector<DEBUG_LINE>& lines, std::size_t from) {
  static const std::string suffix = " dangling wires were added to fix hold failures.";
  int total = 0;
  for (std::size_t i = from; i < lines.size(); ++i) {
    const std::string& t = lines[i].text;
    if (lines[i].module == "VELMO" && t.size() > suffix.size() &&
        t.compare(t.size() - suffix.size(), suffix.size(), suffix) == 0)
      total += std::atoi(t.c_str());
  }
  return total;
}

// The connections the UIB/ESRAM pass placed and routed, from its line per
// clock domain since debug line `from`.
int uib_esram_transfers(const std::vector<DEBUG_LINE>& lines, std::size_t from) {
  static const std::string prefix = "UIB ESRAM C2P placed and route ";
  int total = 0;
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i].module == "VELMO" && lines[i].text.rfind(prefix, 0) == 0)
      total += std::atoi(lines[i].text.c_str() + prefix.size());
  return total;
}

// The registers the dedicated depopulation marked for a periphery transfer
// (metadata P2C_ZOTA = P2C or C2P), and of those the ones placed (the plan
// stage's repopulation puts them at their dedicated site; the logic is
// unplaced until the place stage).
void dedicated_transfers(PERIPHERY_TRANSFERS* t) {
  const R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
  if (r5t == nullptr) return;
  constexpr int kMetadataNamespace = 4;
  const PELK key = PELK::intern(kMetadataNamespace, "P2C_ZOTA");
  const PELK p2c = PELK::intern(kMetadataNamespace, "P2C"), c2p = PELK::intern(kMetadataNamespace, "C2P");
  for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    const PELK value = r5t->get_atom_metadata(a->get_id(), key);
    if (value != p2c && value != c2p) continue;
    ++t->dedicated;
    if (a->is_placed()) ++t->committed;
  }
  t->found += t->dedicated;
}

// Counts the transfers from the main pass's closing messages, the
// UIB/ESRAM pass's lines since debug line `from` and the dedicated
// depopulation's marks.
PERIPHERY_TRANSFERS periphery_transfers(std::size_t from) {
  constexpr unsigned kP2cFinish = 16239, kC2pFinish = 16246, kResult = 16240, kPlacedOnly = 18268,
                     kPlacedRouted = 18269;
  PERIPHERY_TRANSFERS t;
  for (const POSTED_MESSAGE& m : host::messages::posted()) {
    if (m.id != kP2cFinish && m.id != kC2pFinish) continue;
    int total = 0;
    for (const POSTED_MESSAGE& sub : m.subs) {
      if (sub.id == kResult && sub.args.size() >= 3) {
        // "Placed [and routed ]<committed>[ of <size>] core register(s) ..."
        const int committed = static_cast<int>(sub.args[1].value);
        const std::string& of = sub.args[2].text;
        t.found += of.rfind(" of ", 0) == 0 ? std::atoi(of.c_str() + 4) : committed;
        t.committed += committed;
        if (!sub.args[0].text.empty()) t.routed += committed;
      } else if ((sub.id == kPlacedOnly || sub.id == kPlacedRouted) && sub.args.size() >= 2) {
        t.committed += static_cast<int>(sub.args[0].value);
        if (sub.id == kPlacedRouted) t.routed += static_cast<int>(sub.args[0].value);
        total = std::max(total, static_cast<int>(sub.args[1].value));
      }
    }
    t.found += total;
  }
  t.uib_esram = uib_esram_transfers(host::debug::lines(), from);
  t.found += t.uib_esram;
  t.committed += t.uib_esram;
  t.routed += t.uib_esram;
  dedicated_transfers(&t);
  return t;
}

}  // namespace

bool HOST_SEQUENCE::run_stage(const std::string& s, bool skip_retime_without_retimer) {
  if (s == "retime" && skip_retime_without_retimer && !ZEL_DEV_ZOTA_UTIL::is_zota_device(CMP_FACADE::current(), 1)) {
    // A host runs no retime stage for a device without the retimer.
    std::printf("Stage retime: skipped (device family %d has no retimer)\n", host::device::spec().family);
    m_ran.push_back(s);
    return true;
  }
  GEN_STOPWATCH watch;
  begin_step();
  set_snapshot(stage_snapshot().at(s));
  m_partitions.stage_starting(s);
  m_ran.push_back(s);
  std::map<int, std::string> luts_before;
  if (s == "final") luts_before = lut_states();
  const auto chains_before = s == "route" ? host::dc::pin_settings() : decltype(host::dc::pin_settings())();
  const RETIMING_STATE before_final = s == "final" ? retiming_state() : RETIMING_STATE();
  // The analysis of the design as the stage before left it.
  const auto timing_before_final = s == "final" ? host::timing::summary() : std::vector<host::timing::CORNER_SUMMARY>();
  void* fn = m_stage_fn.at(s);
  if (s == "plan") {
    // A host fixes the pins and periphery blocks before the plan stage's
    // transfer passes look at them.
    const int entries = place_io_and_periphery();
    std::printf("Plan: pins and periphery blocks placed, %s\n",
                counted(entries, "port-map entry", "port-map entries").c_str());
  }
  // The final stage's long host operations say what they are doing.
  if (s == "final") host::progress::begin_stage();
  bool r = s == "plan" ? reinterpret_cast<bool (*)(bool)>(fn)(true) : reinterpret_cast<bool (*)()>(fn)();
  host::progress::end_stage();
  // After routing, the host's route-stage operation list (repopulating the
  // pipeline registers the router used).
  if (r && s == "route") {
    r = m_ep.route_stage_ops(false);
    std::printf("Route-stage operations: %s\n", r ? "ok" : "FAILED");
  }
  if (stage_routes(s)) {
    m_routed_ok = r;
    m_routing_failed = m_routing_failed || (!r && !host::facade::last_route_failure().empty());
  }
  if (s == "route") {
    m_figures.route_stage_rounds = host::router::last_stats().rounds;
    m_figures.route_changed_delay_chains = 0;
    for (const auto& [key, value] : host::dc::pin_settings())
      if (chain_setting(chains_before, key) != value) ++m_figures.route_changed_delay_chains;
    if (m_figures.route_changed_delay_chains > 0)
      std::printf("Route stage: %s changed\n",
                  counted(m_figures.route_changed_delay_chains, "delay-chain setting").c_str());
  }
  stage_line(s, r, watch.get_elapsed_seconds(), watch.get_elapsed_time_str());
  if (s == "place" && r) print_placement_spread();
  if (s == "plan") {
    m_figures.periphery_transfers = periphery_transfers(m_debug_mark);
    const PERIPHERY_TRANSFERS& t = *m_figures.periphery_transfers;
    std::printf("Periphery transfers: %d found, %d committed, %d routed", t.found, t.committed, t.routed);
    if (t.uib_esram > 0 || t.dedicated > 0) {
      std::string by;
      if (t.uib_esram > 0) by = std::to_string(t.uib_esram) + " of them by the UIB/ESRAM pass";
      if (t.dedicated > 0)
        by += (by.empty() ? std::to_string(t.dedicated) + " of them" : ", " + std::to_string(t.dedicated)) +
              " by the dedicated depopulation";
      std::printf(" (%s)", by.c_str());
    }
    std::printf("\n");
    std::fflush(stdout);
    for (const std::string& line : dropped_forced_transfers())
      std::fprintf(stderr, "velmo-fit: warning: %s\n", line.c_str());
  }
  if (s == "final") {
    m_figures.final_changed_luts = 0;
    for (const auto& [id, state] : lut_states())
      if (auto it = luts_before.find(id); it != luts_before.end() && it->second != state)
        ++m_figures.final_changed_luts;
    m_figures.final_resynthesised_luts = resynthesised_luts(host::debug::lines(), m_debug_mark);
    m_figures.final_dangling_wires = dangling_wires_added(host::debug::lines(), m_debug_mark);
    std::printf("Final stage: %s with changed connections or masks; %s resynthesised\n",
                counted(m_figures.final_changed_luts, "LUT").c_str(),
                counted(m_figures.final_resynthesised_luts, "LUT").c_str());
    m_figures.final_setup_newly_failing = setup_newly_failing(timing_before_final, host::timing::summary());
    for (const auto& [corner, n] : *m_figures.final_setup_newly_failing)
      if (n > 0)
        std::printf("Final stage: %d setup endpoint%s passing before it now fail%s (corner %s)\n", n, n == 1 ? "" : "s",
                    n == 1 ? "s" : "", corner.c_str());
    m_figures.retiming = retiming_changes(before_final);
    const RETIMING_CHANGES& c = *m_figures.retiming;
    if (c.any())
      std::printf("Retiming: %s created, %d deleted; %s bypassed, %d re-enabled; %s\n",
                  counted(c.pipeline_created, "pipeline register").c_str(), c.pipeline_deleted,
                  counted(c.lab_bypassed, "LAB register").c_str(), c.lab_reenabled,
                  counted(c.wire_luts, "wire LUT").c_str());
  }
  if (after_stage) after_stage(s, r);
  if (!r) {
    // A routing that failed says what it left unrouted or overused; any
    // other failure gives the component's last debug lines.
    const auto route_failure = stage_routes(s) ? split_lines(host::facade::last_route_failure())
                                               : std::vector<std::string>();
    if (route_failure.empty()) print_reason(stage_entry().at(s));
    for (std::size_t i = 0; i < route_failure.size() && i < 10; ++i)
      std::printf("  reason: %s\n", route_failure[i].c_str());
    if (route_failure.size() > 10) std::printf("  ... and %zu more\n", route_failure.size() - 10);
  }
  if (!r && s == "place") {
    // What the host's placer could not place, if it ran.
    const auto bad = host::placement::unplaceable();
    for (std::size_t i = 0; i < bad.size() && i < 10; ++i)
      std::printf("  not placed: %s (#%d): %s\n", bad[i].name.c_str(), bad[i].atom_id, bad[i].reason.c_str());
    if (bad.size() > 10) std::printf("  ... and %zu more\n", bad.size() - 10);
  }
  std::fflush(stdout);
  return r;
}

bool HOST_SEQUENCE::post_fit_checks() {
  if (!m_routed_ok) return true;
  GEN_STOPWATCH watch;
  begin_step();
  m_ep.check_and_report(true, true);
  const bool clean = msg_get_default_report()->get_error_count() == m_errors_mark;
  stage_line("checks", clean, watch.get_elapsed_seconds(), watch.get_elapsed_time_str());
  m_routed_ok = false;  // once per routing
  return clean;
}

void HOST_SEQUENCE::shut_down() {
  std::fflush(stdout);
  if (m_started) {
    m_partitions.before_shutdown();
    m_ep.shutdown();
  }
  m_started = false;
}

}  // namespace velmo_fit
