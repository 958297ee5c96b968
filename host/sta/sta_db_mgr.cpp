#include "sta/sta_db_mgr.h"

#include <algorithm>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "dev/dev_spec.h"
#include "kem/kem_manager.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"

namespace {

[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "STA", "sta_db_mgr", line);
}

struct ANALYSIS_SETTING {
  bool set = false;
  std::vector<KEM_TIMING_MODEL> models;
  std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS> types;
  std::vector<int> states;
  STA_DB_MGR mgr;
  STA_TIMER_ENGINE engine;
};
ANALYSIS_SETTING& setting() { return host_world_slot<ANALYSIS_SETTING>(); }

KEM_CORNER_MANAGER* corners() {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  return kem ? kem->get_corner_manager() : nullptr;
}

// The analysed corners with their types, as (corner id, type).
std::vector<std::pair<int, STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>> analysed() {
  std::vector<std::pair<int, STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>> res;
  const KEM_CORNER_MANAGER* cm = corners();
  if (!cm) return res;
  const ANALYSIS_SETTING& s = setting();
  if (!s.set) {
    for (int i = 0; i < cm->get_corner_count(); ++i) res.emplace_back(i, STA_LONG_PATH_ANALYSIS);
    return res;
  }
  for (std::size_t i = 0; i < s.models.size(); ++i)
    if (const int id = cm->get_corner_id(s.models[i]); id >= 0) res.emplace_back(id, s.types[i]);
  return res;
}

}  // namespace

STA_SLACK_CALCULATOR::~STA_SLACK_CALCULATOR() = default;

STA_SLACK_CALCULATOR* STA_TIMER_ENGINE::create_slack_calculator() const { return new STA_SLACK_CALCULATOR(); }

STA_TIMER_ENGINE* STA_DB_MGR::get_timer_engine() const { return &setting().engine; }

KEM_NETLIST* STA_DB_MGR::get_netlist() const { return KEM_MANAGER::get()->get_kem_netlist(); }

void STA_DB_MGR::set_analysis_state(int state) {
  host::log_call("STA_DB_MGR::set_analysis_state", state);
  setting().states.push_back(state);
}

STA_DB_MGR* sta_get_db_mgr() { return &setting().mgr; }

std::vector<KEM_TIMING_MODEL> sta_get_default_timing_models(bool with_hold_only, const CMP_FACADE*) {
  std::vector<KEM_TIMING_MODEL> res;
  for (const DeviceCorner& c : host::device::spec().corners)
    if (with_hold_only || !c.is_hold_only) res.push_back(KEM_TIMING_MODEL::from_corner(c));
  return res;
}

std::vector<KEM_CORNER*> sta_get_corners() {
  std::vector<KEM_CORNER*> res;
  for (const auto& [id, type] : analysed()) res.push_back(corners()->get_corner_by_id(id));
  return res;
}

std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS> sta_get_long_or_short_path_types() {
  std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS> res;
  for (const auto& [id, type] : analysed()) res.push_back(type);
  return res;
}

void sta_set_corners_for_analysis(const std::vector<KEM_TIMING_MODEL>& models,
                                  const std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>& types) {
  if (models.size() != types.size()) fail("models.size() == types.size()", __LINE__);
  ANALYSIS_SETTING& s = setting();
  s.set = true;
  s.models = models;
  s.types = types;
  if (KEM_CORNER_MANAGER* cm = corners()) {
    const int current = cm->get_current_corner_id();
    const KEM_TIMING_MODEL keep = current >= 0 ? cm->get_loaded_corners()[static_cast<std::size_t>(current)] : KEM_TIMING_MODEL();
    for (const KEM_TIMING_MODEL& m : models)
      if (!cm->has_corner(m)) cm->change_corner(m);
    if (current >= 0) cm->change_corner(keep);
  }
}

void sta_set_corners_for_analysis(const ZMP_SMALL_VECTOR<KEM_CORNER*>& corner_list,
                                  const ZMP_SMALL_VECTOR<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>& types) {
  if (corner_list.size() != types.size()) fail("corners.size() == types.size()", __LINE__);
  std::vector<KEM_TIMING_MODEL> models;
  for (KEM_CORNER* c : corner_list) {
    if (!c) fail("corner", __LINE__);
    models.push_back(c->get_timing_model());
  }
  sta_set_corners_for_analysis(models, std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>(types.begin(), types.end()));
}

void sta_compute_optimal_time_borrowing(bool flag) {
  host::log_call("sta_compute_optimal_time_borrowing", flag);
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  if (!kem) fail("kem", __LINE__);
  KEM_CORNER_MANAGER* cm = kem->get_corner_manager();
  for (const auto& [id, type] : analysed()) {
    KEM_CORNER* corner = cm->get_corner_by_id(id);
    KEM_BORROW_DB& db = cm->get_current_borrow_db(corner);
    db.clear();
    const double scale = corner->get_timing_model().get_delay_scale();
    for (int n = 0; n < kem->get_node_count(); ++n) {
      const KEM_NODE* node = kem->get_node(n);
      if (!node || node->get_type() != KEM_NODE_KEEPER || node->get_pulse_level() < 0) continue;
      // The register's setup slack: where its data arrives, the keeper and
      // the pins that feed it data.
      int worst = KEM_NO_SLACK;
      std::vector<int> at{n};
      for (int e = node->begin_fanin(); e >= 0; e = kem->get_edge(e)->get_next_fanin())
        if (kem->get_edge(e)->get_kind() == KEM_EDGE_KEEPER_DATA) at.push_back(kem->get_edge(e)->get_src_node()->get_id());
      for (int v : at)
        for (const auto& [domain, slack] : host::sta::node_setup_slacks(v, id))
          if (slack != KEM_NO_SLACK && (worst == KEM_NO_SLACK || slack < worst)) worst = slack;
      const int width = static_cast<int>(host::kem::pulse_width_ps(node->get_pulse_level()) * scale + 0.5);
      const int borrow = worst == KEM_NO_SLACK ? 0 : std::min(std::max(0, -worst), width);
      db[static_cast<unsigned>(n)].push_back({borrow, borrow, borrow, borrow});
    }
  }
}

void sta_create_empty_borrow_db(bool flag) {
  host::log_call("sta_create_empty_borrow_db", flag);
  if (KEM_CORNER_MANAGER* cm = corners())
    for (int i = 0; i < cm->get_corner_count(); ++i) cm->get_current_borrow_db(cm->get_corner_by_id(i)).clear();
}

namespace host::sta {
const std::vector<int>& analysis_states() { return setting().states; }
}  // namespace host::sta
