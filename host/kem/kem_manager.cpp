#include "kem/kem_manager.h"
#include "kem/kem_build_inputs.h"

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "jov/jov_design.h"
#include "sta/sta_analysis.h"
#include "vok/vok_atom_netlist.h"

namespace {
struct KEM_STATE {
  KEM_MANAGER manager;
};

std::string current_snapshot() { return JOV_ROOT::get()->get_design("")->get_current_snapshot_str(); }
}  // namespace

KEM_MANAGER* KEM_MANAGER::get() { return &host_world_slot<KEM_STATE>().manager; }

namespace {
struct NETLISTS_SET {
  std::uint64_t count = 0;
};
}  // namespace

std::uint64_t host::kem::netlists_set() { return host_world_slot<NETLISTS_SET>().count; }

void KEM_MANAGER::set_kem_netlist(std::unique_ptr<KEM_NETLIST> netlist) {
  ++host_world_slot<NETLISTS_SET>().count;
  if (m_netlist) host::sta::forget(m_netlist.get());
  m_set_aside.reset();
  if (!netlist && m_netlist && m_netlist->get_build_id() != 0) m_set_aside = std::move(m_netlist);
  m_netlist = std::move(netlist);
  m_retimer_mode = m_retimer_mode_active;
}

void KEM_MANAGER::take_back_set_aside() {
  if (!m_set_aside) return;
  std::unique_ptr<KEM_NETLIST> kem = std::move(m_set_aside);
  set_kem_netlist(std::move(kem));
}

bool KEM_MANAGER::write_kem_netlist_to_disk() {
  host::log_call("KEM_MANAGER::write_kem_netlist_to_disk");
  const bool ok = host::script::next<bool>("KEM_MANAGER::write_kem_netlist_to_disk", true);
  if (!ok || !m_netlist) return false;
  // The snapshot's old copy goes before the new one is made. The kept copy
  // holds its terminals by identity only (bound again when it is read
  // back): no pointers into a design that changes meanwhile.
  m_disk.erase(current_snapshot());
  m_disk[current_snapshot()] = m_netlist->keep();
  m_disk_retimer_mode[current_snapshot()] = m_retimer_mode;
  return true;
}

bool KEM_MANAGER::read_kem_netlist_from_disk(bool flag) {
  host::log_call("KEM_MANAGER::read_kem_netlist_from_disk", flag);
  const bool ok = host::script::next<bool>("KEM_MANAGER::read_kem_netlist_from_disk", true);
  auto it = m_disk.find(current_snapshot());
  if (!ok || it == m_disk.end()) return false;
  // The netlist in memory goes before its replacement is made.
  set_kem_netlist(nullptr);
  drop_set_aside();
  set_kem_netlist(KEM_NETLIST::restore(*it->second, host::vok::top_netlist()));
  m_retimer_mode = m_disk_retimer_mode[current_snapshot()];
  return true;
}

void KEM_MANAGER::delete_kem_netlist_from_disk() {
  host::log_call("KEM_MANAGER::delete_kem_netlist_from_disk");
  m_disk.erase(current_snapshot());
  m_disk_retimer_mode.erase(current_snapshot());
}

void KEM_MANAGER::delete_kem_netlist_in_memory() {
  host::log_call("KEM_MANAGER::delete_kem_netlist_in_memory");
  set_kem_netlist(nullptr);
}

bool KEM_MANAGER::has_kem_netlist_on_disk() const { return has_kem_netlist_on_disk(current_snapshot()); }

bool KEM_MANAGER::read_kem_corners_from_disk(const std::vector<KEM_TIMING_MODEL>& models) {
  host::log_call("KEM_MANAGER::read_kem_corners_from_disk", static_cast<int>(models.size()));
  if (!m_netlist) return false;
  m_netlist->get_corner_manager()->set_corners(models);
  return true;
}

bool KEM_MANAGER::write_kem_corners_to_disk(const std::vector<KEM_TIMING_MODEL>& models) {
  std::string names;
  for (const KEM_TIMING_MODEL& m : models) names += (names.empty() ? "" : " ") + m.get_name();
  host::log_call("KEM_MANAGER::write_kem_corners_to_disk", names);
  return host::script::next<bool>("KEM_MANAGER::write_kem_corners_to_disk", true);
}
