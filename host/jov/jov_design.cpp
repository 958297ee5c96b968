#include "jov/jov_design.h"
#include "vok/vok_chip_db_entry.h"

#include "kiv/kiv_model.h"
#include "omz/omz_option.h"
#include "vok/vok_atom_netlist.h"

#include <map>
#include <memory>
#include <utility>

#include "moz/moz_assignment.h"
#include "omz/omz_instance_name.h"
#include "r5t/r5t_directives.h"
#include "vok/vok_atom_kiv_model.h"

#include "common/host_world.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "jov/jov_enum.h"
#include "kiv/kiv_model.h"
#include "vok/vok_atom_netlist.h"

namespace {
struct JOV_WORLD_STATE {
  std::unique_ptr<JOV_ROOT> root = std::make_unique<JOV_ROOT>();
};
}  // namespace

JOV_STATE::JOV_STATE() : m_kiv(std::make_unique<KIV_STATE>()), m_directives(std::make_unique<R5T_DIRECTIVES>()) {}
JOV_STATE::~JOV_STATE() = default;

namespace {
const VOK_ATOM_KIV_MODEL* netlist_model(const KIV_STATE& kiv) {
  for (const KIV_MODEL* m : kiv.get_models())
    if (m->get_name() == "netlist")
      if (auto* n = dynamic_cast<const VOK_ATOM_KIV_MODEL*>(m)) return n;
  return nullptr;
}
}  // namespace

VOK_ATOM_NETLIST* JOV_STATE::get_atom_netlist() const {
  if (const VOK_ATOM_KIV_MODEL* m = netlist_model(*m_kiv))
    if (m->get_atom_netlist() != nullptr) return m->get_atom_netlist();
  return m_netlist ? m_netlist : host::vok::top_netlist();
}

JOV_PARTITION::JOV_PARTITION(int id, std::string name, JOV_PARTITION* parent)
    : m_id(id), m_name(std::move(name)), m_parent(parent) {
  m_own_name = std::make_unique<OMZ_INSTANCE_NAME>(m_name);
  m_instance_name = m_own_name.get();
  m_states.emplace(DEFAULT, std::make_unique<JOV_STATE>());
  m_active = DEFAULT;
}

JOV_PARTITION::~JOV_PARTITION() = default;

void JOV_PARTITION::set_box(VOK_ATOM_BLACKBOX* box) {
  m_box = box;
  m_instance_name = box != nullptr ? const_cast<OMZ_INSTANCE_NAME*>(box->get_instance_name()) : m_own_name.get();
}

JOV_STATE* JOV_PARTITION::get_state(STATE_SELECTOR which) const {
  const STATE_ENUM key = which ? *which : m_active.value_or(DEFAULT);
  auto it = m_states.find(key);
  return it == m_states.end() ? nullptr : it->second.get();
}

JOV_STATE* JOV_PARTITION::add_state(STATE_ENUM which) {
  host::log_call("JOV_PARTITION::add_state", m_name, static_cast<int>(which));
  auto& slot = m_states[which];
  if (!slot) slot = std::make_unique<JOV_STATE>();
  return slot.get();
}

void JOV_PARTITION::remove_state(STATE_ENUM which) {
  host::log_call("JOV_PARTITION::remove_state", m_name, static_cast<int>(which));
  if (which == DEFAULT) return;
  auto it = m_states.find(which);
  if (it == m_states.end()) return;
  const bool was_active = m_active == which;
  std::unique_ptr<JOV_STATE> gone = std::move(it->second);
  m_states.erase(it);
  if (was_active) {
    m_active = DEFAULT;
    relink_box();
    // The children's boxes live in the netlist now active again.
    for (JOV_PARTITION* c : m_children) c->relink_box();
  }
  // Lets go of the state's models (a model another state holds lives on).
  gone.reset();
}

void JOV_PARTITION::set_active_state(STATE_ENUM which) {
  host::log_call("JOV_PARTITION::set_active_state", m_name, static_cast<int>(which));
  if (!has_state(which)) return;
  m_active = which;
  relink_box();
}

bool JOV_PARTITION::is_state_loaded(STATE_SELECTOR which) const {
  if (!which && !m_active) return false;
  const JOV_STATE* s = get_state(which);
  return s != nullptr && s->is_loaded();
}

// The box shows the active state's netlist; its terminals are re-linked to
// the port atoms of that netlist with the same names.
void JOV_PARTITION::relink_box() {
  // The top partition's switch moves the netlist the chip database entry
  // presents, when it presents one.
  if (m_parent == nullptr && VOK_CHIP_DB_ENTRY::current()->presents_atom_netlist()) {
    if (const JOV_STATE* s = get_state()) VOK_CHIP_DB_ENTRY::current()->set_atom_netlist(s->get_atom_netlist());
  }
  if (m_box == nullptr) return;
  const JOV_STATE* s = get_state();
  VOK_ATOM_NETLIST* next = s ? s->get_atom_netlist() : nullptr;
  if (next == nullptr || next == m_box->get_child_netlist()) return;
  std::map<std::string, VOK_ATOM_NODE*> ports;
  for (VOK_ATOM_NODE* a : next->get_atom_list())
    if (a->is_port()) ports.emplace(a->get_string_hpath(), a);
  std::vector<std::pair<VOK_ATOM_ITERM*, std::string>> ins;
  std::vector<std::pair<VOK_ATOM_OTERM*, std::string>> outs;
  for (VOK_ATOM_ITERM* t : m_box->iterms())
    if (VOK_ATOM_OTERM* inner = t->get_hier_equiv()) ins.emplace_back(t, inner->get_my_node()->get_string_hpath());
  for (VOK_ATOM_OTERM* t : m_box->oterms())
    if (VOK_ATOM_ITERM* inner = t->get_hier_equiv()) outs.emplace_back(t, inner->get_my_node()->get_string_hpath());
  if (m_box->get_child_netlist() != nullptr) m_box->release_child_netlist();
  if (next->get_parent_box() != nullptr) next->get_parent_box()->release_child_netlist();
  m_box->set_child_netlist(next, false);
  // Terminals the box linked by port id are done; the others go by name.
  auto linked = [next](const VOK_ATOM_NODE* inner) { return inner != nullptr && inner->get_parent_netlist() == next; };
  std::erase_if(ins, [&](const auto& e) { return e.first->get_hier_equiv() && linked(e.first->get_hier_equiv()->get_my_node()); });
  std::erase_if(outs, [&](const auto& e) { return e.first->get_hier_equiv() && linked(e.first->get_hier_equiv()->get_my_node()); });
  for (auto& [t, name] : ins) vok_unlink_hier_equivalent(t);
  for (auto& [t, name] : outs) vok_unlink_hier_equivalent(t);
  for (auto& [t, name] : ins) {
    auto it = ports.find(name);
    VOK_ATOM_OTERM* inner = it != ports.end() && it->second->get_oterm_slot_count() > 0 ? it->second->get_oterm_slot(0) : nullptr;
    if (inner != nullptr) vok_link_hier_equivalents(t, inner);
  }
  for (auto& [t, name] : outs) {
    auto it = ports.find(name);
    VOK_ATOM_ITERM* inner = it != ports.end() && it->second->get_iterm_slot_count() > 0 ? it->second->get_iterm_slot(0) : nullptr;
    if (inner != nullptr) vok_link_hier_equivalents(inner, t);
  }
}

JOV_DESIGN::JOV_DESIGN() : m_state(std::make_unique<KIV_STATE>()) { m_partitions.push_back(std::make_unique<JOV_PARTITION>(0, "|", nullptr)); }

JOV_PARTITION* JOV_DESIGN::find_partition_by_name(const std::string& name) const {
  for (const auto& p : m_partitions)
    if (p->get_name() == name) return p.get();
  return nullptr;
}

JOV_PARTITION* JOV_DESIGN::add_partition(const std::string& name, JOV_PARTITION* parent) {
  JOV_PARTITION* under = parent ? parent : m_partitions.front().get();
  m_partitions.push_back(std::make_unique<JOV_PARTITION>(static_cast<int>(m_partitions.size()), name, under));
  under->m_children.push_back(m_partitions.back().get());
  return m_partitions.back().get();
}
JOV_DESIGN::~JOV_DESIGN() = default;

void JOV_DESIGN::set_current_snapshot(int n) {
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> e(static_cast<JOV_SNAPSHOT_BASE::ENUM>(n));
  m_snapshot = e.to_str();
}

JOV_ROOT* JOV_ROOT::get() { return host_world_slot<JOV_WORLD_STATE>().root.get(); }
JOV_ROOT::JOV_ROOT() = default;
JOV_ROOT::~JOV_ROOT() = default;

JOV_DESIGN* JOV_ROOT::get_design(const std::string& name) { return name.empty() ? &m_design : nullptr; }

void JOV_DESIGN::set_current_snapshot(int n, bool flag1, bool flag2) {
  host::log_call("JOV_DESIGN::set_current_snapshot", n, flag1, flag2);
  set_current_snapshot(n);
}

void JOV_DESIGN::set_partition_model_copy_mode(JOV_PARTITION* partition, int mode) {
  host::log_call("JOV_DESIGN::set_partition_model_copy_mode", partition ? partition->get_name() : std::string(), mode);
}

bool JOV_DESIGN::commit_design(bool flag) {
  host::log_call("JOV_DESIGN::commit_design", flag);
  return host::script::next<bool>("JOV_DESIGN::commit_design", true);
}

void JOV_UTILS::set_read_only_status(JOV_STATE* state, bool read_only) {
  host::log_call("JOV_UTILS::set_read_only_status", read_only);
  if (VOK_ATOM_NETLIST* netlist = state ? state->get_atom_netlist() : nullptr) netlist->set_modifiable(!read_only);
}

void JOV_UTILS::set_read_only_status(KIV_STATE& state, bool read_only) {
  host::log_call("JOV_UTILS::set_read_only_status", read_only);
  if (const VOK_ATOM_KIV_MODEL* m = netlist_model(state))
    if (m->get_atom_netlist() != nullptr) m->get_atom_netlist()->set_modifiable(!read_only);
}

const MOZ_ASSIGNMENT* JOV_UTILS::get_moz_instance_assignment(int variable, const OMZ_INSTANCE_NAME* instance) {
  if (instance == nullptr) return nullptr;
  return host::moz::find_assignment(instance->get_short_hpath(OMZ_HPATH_FORMAT_SHORT), variable);
}

const MOZ_ASSIGNMENT* JOV_UTILS::get_moz_global_assignment(int variable) {
  return host::moz::find_assignment(std::string(), variable);
}

OMZ_NAMESPACE* JOV_DESIGN::get_option_namespace() const { return OMZ_NAMESPACE::get_default(); }

JOV_PARTITION* JOV_DESIGN::get_partition_of_instance(const std::string& path) const {
  JOV_PARTITION* best = get_partitions().empty() ? nullptr : get_partitions().front().get();
  std::size_t best_len = 0;
  for (const auto& p : get_partitions()) {
    const std::string& n = p->get_name();
    if (p->is_top() || n.size() <= best_len || path.size() <= n.size()) continue;
    if (path.compare(0, n.size(), n) == 0 && path[n.size()] == '|') {
      best = p.get();
      best_len = n.size();
    }
  }
  return best;
}
