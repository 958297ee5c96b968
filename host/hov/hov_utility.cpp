#include "hov/hov_utility.h"

#include <cstdarg>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "dev/dev_spec.h"
#include "hov/hov_rebuilds.h"
#include "kem/kem_build_inputs.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "vok/vok_atom_netlist.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"

namespace {

[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "HOV", "hov_utility", line);
}

// What the last whole build read: the netlist it made (by build id), its
// corners, the device and the digest of the design.
struct LAST_BUILD {
  std::uint64_t build_id = 0;
  std::vector<KEM_TIMING_MODEL> models;
  DeviceSpec device;
  host::kem::BUILD_INPUTS_DIGEST digest;
};

struct HOV_STATE {
  bool on = true;
  LAST_BUILD last_build;
  int whole_builds = 0;
  int kept_builds = 0;
  int refreshed_builds = 0;
  HOV_ATOM_NETLIST_TAINT_MANAGER taints;
  HOV_ACCESSORIES accessories;
  std::unique_ptr<WEXAN_HOV_UTILITY> utility;
  bool init_errors = false;
};
HOV_STATE& state() { return host_world_slot<HOV_STATE>(); }

void debug_line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  msg_local_vdebug("HOV", 0, format, args);
  va_end(args);
}

// A fresh timing netlist of the design with the given corners, unless the
// netlist in memory (or the one set aside when it was dropped) is one a
// build made and nothing that build read has changed since (the design's
// digest, the corners, the device): that one stays, reset to what a build
// would leave; or only the routing changed and that netlist's structure is
// still the build's: it reads the routing again (KEM_NETLIST::refresh_routing).
KEM_NETLIST* build_fresh(const std::vector<KEM_TIMING_MODEL>& models, KEM_DIRTY* dirty) {
  HOV_STATE& s = state();
  // A delay annotated on an input term holds for the connection as it was
  // placed: a whole build drops those of atoms placed or moved since.
  host::kem::drop_moved_iterm_delay_annotations(host::vok::top_netlist());
  KEM_MANAGER* mgr = KEM_MANAGER::get();
  const host::kem::BUILD_INPUTS_DIGEST digest = host::kem::build_inputs_digest(host::vok::top_netlist());
  KEM_NETLIST* old = mgr->get_kem_netlist() ? mgr->get_kem_netlist() : mgr->get_set_aside();
  if (old && old->get_build_id() != 0 && old->get_build_id() == s.last_build.build_id &&
      s.last_build.models == models && s.last_build.device == host::device::spec() && s.last_build.digest == digest) {
    if (old == mgr->get_kem_netlist())
      mgr->mark_set_now();
    else
      mgr->take_back_set_aside();
    old->reset_to_as_built(models);
    host::sta::expect_full_analysis();
    ++s.kept_builds;
    host::kem::note_routing_followed();
    return old;
  }
  // Only the routing changed since the last whole build, and the netlist
  // in memory still has that build's structure: reading its interconnect
  // delays and hops again makes it what a build would make now, without
  // making every node and edge anew.
  if (old && old->get_structure_id() != 0 && old->get_structure_id() == s.last_build.build_id &&
      s.last_build.models == models && s.last_build.device == host::device::spec() &&
      s.last_build.digest.same_atoms(digest) && old->refresh_routing(models, dirty)) {
    // The analysis follows the connections whose delay moved, as after a
    // re-route: its results are those a full analysis gives. Without a
    // caller to take the marks, the next analysis is a full one.
    if (old == mgr->get_kem_netlist())
      mgr->mark_set_now();
    else
      mgr->take_back_set_aside();
    s.last_build = LAST_BUILD{old->get_build_id(), models, host::device::spec(), digest};
    if (dirty == nullptr) host::sta::expect_full_analysis();
    ++s.refreshed_builds;
    host::kem::note_routing_followed();
    return old;
  }
  // The old netlist goes first: the build needs nothing of it, and the two
  // would otherwise be alive together at the build's peak.
  mgr->set_kem_netlist(nullptr);
  mgr->drop_set_aside();
  mgr->set_kem_netlist(KEM_NETLIST::build(host::vok::top_netlist(), models));
  KEM_NETLIST* kem = mgr->get_kem_netlist();
  s.last_build = LAST_BUILD{kem->get_build_id(), models, host::device::spec(), digest};
  ++s.whole_builds;
  host::kem::note_routing_followed();
  return kem;
}

std::vector<KEM_TIMING_MODEL> default_models() {
  return {KEM_TIMING_MODEL::create_default_timing_model(nullptr, 0),
          KEM_TIMING_MODEL::create_default_timing_model(nullptr, 1)};
}

// The analysis of a node: the worst over its domains at the current corner.
std::int32_t worst_setup(const KEM_NODE* node) {
  std::int32_t worst = KEM_NO_SLACK;
  for (const auto& [d, slack] : sta_get_node_wns_map(node, false))
    if (worst == KEM_NO_SLACK || slack < worst) worst = slack;
  return worst;
}

const KEM_NODE* input_node(int atom_id, int port_type, int index) {
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  if (!kem) return nullptr;
  const KEM_NETLIST_CELL* cell = kem->get_cell_from_atom_id(atom_id);
  if (!cell) return nullptr;
  for (int id : cell->get_node_ids()) {
    const KEM_NODE* n = kem->get_node(id);
    const VOK_ATOM_ITERM* t = n ? n->get_iterm() : nullptr;
    if (n && n->is_sta_type(KEM_NODE_INPUT_PIN) && t && t->get_port_type() == port_type && t->get_index() == index)
      return n;
  }
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------- taint manager

void HOV_ATOM_NETLIST_TAINT_MANAGER::taint_atom(unsigned atom_id) {
  m_ids.insert(atom_id);
  m_reflects = false;
}

void HOV_ATOM_NETLIST_TAINT_MANAGER::taint_all() {
  m_global = true;
  m_reflects = false;
}

void HOV_ATOM_NETLIST_TAINT_MANAGER::clear_tainted_atom_ids() {
  m_ids.clear();
  m_global = false;
}

HOV_ATOM_NETLIST_TAINT_MANAGER* hov_get_atom_netlist_taint_manager() { return &state().taints; }

// ---------------------------------------------------------------- accessories

KEM_NETLIST* HOV_ACCESSORIES::get_kem_netlist() const { return KEM_MANAGER::get()->get_kem_netlist(); }
void HOV_ACCESSORIES::refresh() { host::log_call("HOV_ACCESSORIES::refresh"); }

void HOV_ACCESSORIES::update() {
  host::log_call("HOV_ACCESSORIES::update");
  sta_increm_update_timing();
}

void HOV_ACCESSORIES::clear_sta_edge_filter() {
  m_has_filter = false;
  m_filter.clear();
}

void HOV_ACCESSORIES::set_sta_edge_filter(const std::vector<KEM_EDGE*>& edges) {
  m_has_filter = true;
  m_filter.clear();
  for (const KEM_EDGE* e : edges)
    if (e) m_filter.insert(e->get_id());
}

HOV_ACCESSORIES* hov_get_accessories() { return &state().accessories; }

// ---------------------------------------------------------------- utility

WEXAN_HOV_UTILITY::WEXAN_HOV_UTILITY() = default;
WEXAN_HOV_UTILITY::~WEXAN_HOV_UTILITY() = default;
void WEXAN_HOV_UTILITY::prepare_for_retiming() { host::log_call("WEXAN_HOV_UTILITY::prepare_for_retiming"); }

namespace {
bool quick_analysis(bool hold) {
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  if (!kem) return false;
  sta_increm_update_timing();
  const HOV_ACCESSORIES* acc = hov_get_accessories();
  const int corner = kem->get_corner_manager()->get_current_corner_id();
  for (int id = 0; id < kem->get_edge_count(); ++id) {
    if (!kem->get_edge(id) || !acc->edge_passes_filter(id)) continue;
    const std::int32_t slack = hold ? host::sta::edge_hold_slack(id, corner) : host::sta::edge_setup_slack(id, corner);
    kem->set_quick_slack(id, slack == KEM_NO_SLACK ? KEM_QUICK_NO_SLACK : slack);
  }
  return true;
}
}  // namespace

bool WEXAN_HOV_UTILITY::perform_quick_timing_analysis(bool flag) {
  host::log_call("WEXAN_HOV_UTILITY::perform_quick_timing_analysis", flag);
  return quick_analysis(false);
}

bool WEXAN_HOV_UTILITY::perform_quick_min_timing_analysis() {
  host::log_call("WEXAN_HOV_UTILITY::perform_quick_min_timing_analysis");
  return quick_analysis(true);
}

void WEXAN_HOV_UTILITY::switch_annotated_timing_model(WEXAN_ENV*, const KEM_TIMING_MODEL& model) {
  host::log_call("WEXAN_HOV_UTILITY::switch_annotated_timing_model", model.get_name());
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  if (!kem) fail("kem_netlist", __LINE__);
  const bool loaded = kem->get_corner_manager()->has_corner(model);
  kem->get_corner_manager()->change_corner(model);
  kem->annotate_current_corner();
  if (loaded)
    host::sta::update(kem, KEM_DIRTY{});
  else
    host::sta::analyze(kem);
}

std::int32_t WEXAN_HOV_UTILITY::get_setup_slack(int atom_id, int port_type, int index) const {
  const KEM_NODE* n = input_node(atom_id, port_type, index);
  return n ? worst_setup(n) : KEM_NO_SLACK;
}

std::int32_t WEXAN_HOV_UTILITY::get_hold_slack(int atom_id, int port_type, int index) const {
  const KEM_NODE* n = input_node(atom_id, port_type, index);
  return n ? sta_get_node_worst_hold_slack(n, false) : KEM_NO_SLACK;
}

// ---------------------------------------------------------------- HOV_INCR

HOV_INCR::HOV_INCR(VOK_ATOM_NETLIST* atoms, KEM_NETLIST* kem) : m_atoms(atoms), m_kem(kem) {}
HOV_INCR::~HOV_INCR() = default;

void HOV_INCR::enable_timing_on_all_corners(KEM_NETLIST* kem, CMP_FACADE*, bool all_corners) {
  host::log_call("HOV_INCR::enable_timing_on_all_corners", kem, all_corners);
  if (!kem) fail("kem_netlist", __LINE__);
  sta_full_update_timing(all_corners);
}

HOV_INCR* HOV_INCR::create_hov_incr(VOK_ATOM_NETLIST* atoms, KEM_NETLIST* kem, CMP_FACADE*) {
  host::log_call("HOV_INCR::create_hov_incr", atoms, kem);
  if (!kem) fail("kem_netlist", __LINE__);
  return new HOV_INCR(atoms, kem);
}

void HOV_INCR::stop(bool flag) { host::log_call("HOV_INCR::stop", flag); }
void HOV_INCR::release() { host::log_call("HOV_INCR::release"); }

void HOV_INCR::print_fmax_across_loaded_corners(const std::string& title, int, int) {
  for (const host::timing::CORNER_SUMMARY& s : host::timing::summary()) {
    const std::string setup = s.setup_wns == KEM_NO_SLACK ? "none" : std::to_string(s.setup_wns) + " ps";
    const std::string hold = s.hold_wns == KEM_NO_SLACK ? "none" : std::to_string(s.hold_wns) + " ps";
    debug_line("%s: %s setup WNS %s, hold WNS %s", title.c_str(), s.corner.c_str(), setup.c_str(), hold.c_str());
  }
}

// ---------------------------------------------------------------- host::hov

namespace host::hov {

void set_on(bool on) { state().on = on; }
bool is_on() { return state().on; }

KEM_NETLIST* current_kem_netlist() { return KEM_MANAGER::get()->get_kem_netlist(); }

KEM_NETLIST* apply_pending_taints(KEM_DIRTY* dirty) {
  HOV_ATOM_NETLIST_TAINT_MANAGER& taints = state().taints;
  KEM_NETLIST* kem = current_kem_netlist();
  if (!kem || taints.is_globally_tainted()) {
    const std::vector<KEM_TIMING_MODEL> models =
        kem ? kem->get_corner_manager()->get_loaded_corners() : default_models();
    const KEM_TIMING_MODEL current = kem && kem->get_corner_manager()->get_current_corner_id() >= 0
                                         ? kem->get_corner_manager()->get_current_corner()
                                         : models.front();
    kem = build_fresh(models, dirty);
    kem->get_corner_manager()->change_corner(current);
    kem->annotate_current_corner();
  } else if (!taints.get_tainted_atom_ids().empty()) {
    std::set<int> ids;
    for (unsigned id : taints.get_tainted_atom_ids()) ids.insert(static_cast<int>(id));
    host::timing::add_pin_buffers(host::vok::top_netlist(), &ids);
    kem->rebuild_atoms(host::vok::top_netlist(), ids, dirty);
  }
  taints.clear_tainted_atom_ids();
  taints.indicate_hov_reflects_atom_netlist_exactly();
  return kem;
}

std::vector<KEM_TIMING_MODEL> models_of_set(int set) {
  if (set == 0) return {KEM_TIMING_MODEL::create_default_timing_model(nullptr, 0)};
  if (set == 5 || set == 6) return default_models();
  fail("timing-model set 0, 5 or 6", __LINE__);
}

WEXAN_HOV_UTILITY* get_or_create(int request, int invoke_mode, const std::vector<KEM_TIMING_MODEL>& models_in) {
  const std::vector<KEM_TIMING_MODEL> models = models_in.empty() ? default_models() : models_in;
  KEM_MANAGER* mgr = KEM_MANAGER::get();
  if (request == 2 && !mgr->get_kem_netlist() && mgr->has_kem_netlist_on_disk()) {
    mgr->read_kem_netlist_from_disk(true);
    if (KEM_NETLIST* kem = mgr->get_kem_netlist()) host::sta::analyze(kem);
  } else if (request != 0 && request != 2) {
    fail("request 0 or 2", __LINE__);
  }
  KEM_DIRTY dirty;
  KEM_NETLIST* kem = apply_pending_taints(&dirty);
  if (kem->get_corner_manager()->get_loaded_corners() != models) {
    kem->get_corner_manager()->set_corners(models);
    kem->annotate_current_corner();
    host::sta::analyze(kem);
  } else {
    host::sta::update(kem, dirty);
  }
  HOV_STATE& s = state();
  if (!s.utility) s.utility = std::make_unique<WEXAN_HOV_UTILITY>();
  s.utility->set_mode(invoke_mode);
  s.utility->set_had_hov_init_errors(s.init_errors);
  return s.utility.get();
}

WEXAN_HOV_UTILITY* utility() { return state().utility.get(); }
int whole_builds() { return state().whole_builds; }
int kept_builds() { return state().kept_builds; }
int refreshed_builds() { return state().refreshed_builds; }
void delete_utility() { state().utility.reset(); }
void set_init_errors(bool on) { state().init_errors = on; }

}  // namespace host::hov

void HOV_ACCESSORIES::record_label(const std::string& label) { host::log_call("HOV_ACCESSORIES::record_label", label); }

void HOV_ACCESSORIES::prepare_drask() { host::log_call("HOV_ACCESSORIES::prepare_drask"); }

void HOV_ACCESSORIES::run_drask(const DRASK_SETTINGS& settings) {
  host::log_call("HOV_ACCESSORIES::run_drask", settings.report_paths, settings.check_consistency,
                 settings.router_mode);
  m_drask_settings = settings;
  if (KEM_NETLIST* kem = get_kem_netlist()) host::sta::analyze(kem);
}

void HOV_ACCESSORIES::release_drask() { host::log_call("HOV_ACCESSORIES::release_drask"); }

void HOV_ACCESSORIES::setup_yun_utility() {
  host::log_call("HOV_ACCESSORIES::setup_yun_utility");
  if (!m_yun) m_yun = std::make_unique<HOV_YUN_UTILITY>();
}

void HOV_ACCESSORIES::release_yun_utility() {
  host::log_call("HOV_ACCESSORIES::release_yun_utility");
  m_yun.reset();
}

void HOV_ACCESSORIES::prepare_for_sta_cmd() { host::log_call("HOV_ACCESSORIES::prepare_for_sta_cmd"); }

void HOV_ACCESSORIES::prepare_sta_report(const std::string& label) {
  host::log_call("HOV_ACCESSORIES::prepare_sta_report", label);
}

bool HOV_ACCESSORIES::run_sta_tcl_cmd(const std::string& cmd) {
  host::log_call("HOV_ACCESSORIES::run_sta_tcl_cmd", cmd);
  return true;
}

bool HOV_CLOCK_UTIL::is_clock(const KEM_NODE* node, bool) const { return sta_is_node_in_clock_network(node); }

HOV_CLOCK_UTIL* hov_get_clock_util() {
  static HOV_CLOCK_UTIL util;
  return &util;
}

void WEXAN_HOV_UTILITY::annotate_delays_of_connection(VOK_ATOM_NODE* atom, int port_type, int index, int max_ps,
                                                      int min_ps) {
  host::log_call("WEXAN_HOV_UTILITY::annotate_delays_of_connection", host::vok::arg(atom), port_type, index, max_ps, min_ps);
  const VOK_ATOM_ITERM* t = atom ? atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(port_type), index) : nullptr;
  if (t == nullptr) return;
  host::kem::annotate_iterm_delay(t, max_ps, min_ps);
  hov_get_atom_netlist_taint_manager()->taint_atom(static_cast<unsigned>(atom->get_id()));  // its input node moved
}
