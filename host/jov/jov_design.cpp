#include "jov/jov_design.h"

#include "kiv/kiv_model.h"
#include "omz/omz_option.h"
#include "vok/vok_atom_netlist.h"

#include <memory>

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

JOV_PARTITION::~JOV_PARTITION() = default;

JOV_STATE::~JOV_STATE() = default;
VOK_ATOM_NETLIST* JOV_STATE::get_atom_netlist() const { return m_netlist ? m_netlist : host::vok::top_netlist(); }

JOV_DESIGN::JOV_DESIGN() : m_state(std::make_unique<KIV_STATE>()) { m_partitions.push_back(std::make_unique<JOV_PARTITION>(0, "|", nullptr)); }

JOV_PARTITION* JOV_DESIGN::find_partition_by_name(const std::string& name) const {
  for (const auto& p : m_partitions)
    if (p->get_name() == name) return p.get();
  return nullptr;
}

JOV_PARTITION* JOV_DESIGN::add_partition(const std::string& name, JOV_PARTITION* parent) {
  JOV_PARTITION* under = parent ? parent : m_partitions.front().get();
  m_partitions.push_back(std::make_unique<JOV_PARTITION>(static_cast<int>(m_partitions.size()), name, under));
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
