#include "sta/sta_slack_calculator.h"

#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"

STA_SLACK_CALCULATOR_CALLBACK_BASE::~STA_SLACK_CALCULATOR_CALLBACK_BASE() = default;

bool STA_TQ2::is_valid_slack_for_hov(const STA_SLACK_CALCULATOR_HELPER& slack) {
  return slack.compute_slack(slack.get_analysis_type() == STA_SHORT_PATH_ANALYSIS ? 2 : 0) != KEM_NO_SLACK;
}

void STA_SLACK_CALCULATOR::set_analysis_types(int type, const std::vector<KEM_TIMING_MODEL>& models, bool flag) {
  host::log_call("STA_SLACK_CALCULATOR::set_analysis_types", type, static_cast<int>(models.size()), flag);
  m_type = type;
  m_models = models;
}

void STA_SLACK_CALCULATOR::iterate_over_node_or_edge_slacks(STA_SLACK_CALCULATOR_CALLBACK_BASE& callback,
                                                            const KEM_EDGE* edge) const {
  if (edge == nullptr) return;
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  if (kem == nullptr) return;
  KEM_CORNER_MANAGER* cm = kem->get_corner_manager();
  for (const KEM_TIMING_MODEL& model : m_models) {
    const int id = cm->get_corner_id(model);
    if (id < 0) continue;
    STA_SLACK_CALCULATOR_HELPER helper(cm->get_corner_by_id(id), host::sta::edge_setup_slack(edge->get_id(), id),
                                       host::sta::edge_hold_slack(edge->get_id(), id));
    helper.m_type = m_type;
    if (callback.is_valid_slack(helper)) callback.callback_on_valid_slack(helper);
  }
}

void STA_TIMER_ENGINE::update_timing(int mode, const std::vector<KEM_NODE*>* nodes, int level, bool flag1, bool flag2,
                                     bool flag3) {
  host::log_call("STA_TIMER_ENGINE::update_timing", mode, nodes ? static_cast<int>(nodes->size()) : -1, level, flag1,
                 flag2, flag3);
  if (KEM_NETLIST* kem = host::hov::apply_pending_taints(nullptr)) host::sta::analyze(kem);
}
