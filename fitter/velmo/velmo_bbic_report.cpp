// The report guard around the host's reporting of a blackboxed run.
#include "velmo_bbic_report.h"

#include "cfg/cfg.h"
#include "msg/msg_internal_error.h"
#include "velmo_bbic_states.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic_report", line);
}

void l_set_active(JOV_PARTITION* p, JOV_PARTITION::STATE_SELECTOR state) {
  if (state)
    p->set_active_state(*state);
  else
    p->clear_active_state();
}

void l_present_top(JOV_DESIGN& design) {
  VOK_CHIP_DB_ENTRY::current()->set_atom_netlist(design.get_top_partition()->get_state()->get_atom_netlist());
}

}  // namespace

VELMO_BBIC_REPORT_DETAILS::VELMO_BBIC_REPORT_DETAILS(JOV_DESIGN& design) {
  if (!cfg_is_on("velmo_bbic_reporting", true)) return;
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_BBIC_REPORT_DETAILS: Prepare Atom Netlist for Reporting", nullptr);
  m_design = &design;
  for (const auto& p : design.get_partitions()) {
    const JOV_PARTITION::STATE_SELECTOR active = p->get_active_state();
    if (!(!active || *active == JOV_PARTITION::DEFAULT || *active == JOV_PARTITION::BBIC_DEPOPULATED))
      l_internal_error("!active_state || active_state.get() == JOV_PARTITION::STATE_ENUM::DEFAULT || "
                       "active_state.get() == JOV_PARTITION::STATE_ENUM::BBIC_DEPOPULATED",
                       __LINE__);
  }
  std::vector<VOK_ATOM_BLACKBOX*> boxes;
  for (const auto& p : design.get_partitions()) {
    if (!p->is_state_loaded(JOV_PARTITION::s_unspecified)) continue;
    if (VOK_ATOM_BLACKBOX* box = p->get_state()->get_atom_netlist()->get_parent_box()) boxes.push_back(box);
  }
  for (VOK_ATOM_BLACKBOX* box : boxes) m_box_links.emplace_back(box, box->get_child_netlist());
  for (const auto& p : design.get_partitions()) m_active_states.emplace_back(p.get(), p->get_active_state());
  for (const auto& p : design.get_partitions()) {
    JOV_STATE* s = p->get_state(JOV_PARTITION::DEFAULT);
    m_read_only_states.emplace_back(s, !s->get_atom_netlist()->is_modifiable());
  }
  for (const auto& p : design.get_partitions())
    if (p->has_state(JOV_PARTITION::BBIC_DEPOPULATED)) {
      JOV_STATE* s = p->get_state(JOV_PARTITION::BBIC_DEPOPULATED);
      m_read_only_states.emplace_back(s, !s->get_atom_netlist()->is_modifiable());
    }
  for (auto& [s, was] : m_read_only_states) JOV_UTILS::set_read_only_status(*s->get_kiv_state(), false);
  for (VOK_ATOM_BLACKBOX* box : boxes) box->set_child_netlist(nullptr, false);
  for (const auto& p : design.get_partitions()) p->set_active_state(JOV_PARTITION::DEFAULT);
  relink_partitions_to_boxes(design);
  for (auto& [s, was] : m_read_only_states) JOV_UTILS::set_read_only_status(*s->get_kiv_state(), true);
  l_present_top(design);
  msg_vdebug_impl(2, "VELMO_BBIC_REPORT:  full read only netlist is active");
}

VELMO_BBIC_REPORT_DETAILS::~VELMO_BBIC_REPORT_DETAILS() {
  // A guard that recorded nothing has nothing to put back.
  if (!cfg_is_on("velmo_bbic_reporting", true) || m_design == nullptr) return;
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_BBIC_REPORT_DETAILS: Restore Atom Netlist After Reporting", nullptr);
  for (auto& [s, was] : m_read_only_states) JOV_UTILS::set_read_only_status(*s->get_kiv_state(), false);
  for (auto& [p, state] : m_active_states) l_set_active(p, state);
  for (auto& [box, child] : m_box_links) box->set_child_netlist(child, false);
  for (auto& [s, was] : m_read_only_states) JOV_UTILS::set_read_only_status(*s->get_kiv_state(), was);
  l_present_top(*m_design);
}

void VELMO_BBIC_REPORT_DETAILS::relink_partitions_to_boxes(JOV_DESIGN& design) {
  velmo_bbic_relink_boxes(design, "velmo_bbic_report");
}

VELMO_BBIC_REPORT::VELMO_BBIC_REPORT(JOV_DESIGN& design) : m_details(std::make_unique<VELMO_BBIC_REPORT_DETAILS>(design)) {}

VELMO_BBIC_REPORT::~VELMO_BBIC_REPORT() { m_details.reset(); }
