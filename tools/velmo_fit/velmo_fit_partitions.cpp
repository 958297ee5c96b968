#include "velmo_fit_partitions.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>

#include "cfg/cfg.h"
#include "dev/dev_family.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "jov/jov_enum.h"
#include "jov/jov_routing_splitter.h"
#include "kem/kem_netlist.h"
#include "testing/partition_builder.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"
#include "kiv/kiv_model.h"
#include "velmo_fit_counts.h"

namespace velmo_fit {

namespace {

JOV_DESIGN* design() { return JOV_ROOT::get()->get_design(""); }

bool is_real(const VOK_ATOM_NODE* a) { return !a->is_box() && !a->is_port(); }

// The share of a preserved partition in the design's routing, restricted to
// nets driven from preserved partitions (nets from recompiled partitions
// are routed anew by design).
const VOK_RE_ROUTING* full_routing(const JOV_PARTITION* p);

// Atom id -> partition, over each partition's full contents (the atoms a
// shell hides included) and then its active netlist.
std::map<int, const JOV_PARTITION*> full_owners() {
  std::map<int, const JOV_PARTITION*> out;
  for (const auto& p : design()->get_partitions())
    for (const JOV_STATE* s : {p->get_state(JOV_PARTITION::DEFAULT), p->get_state()})
      if (s != nullptr)
        for (const VOK_ATOM_NODE* a : s->get_atom_netlist()->get_atom_list()) out.emplace(a->get_id(), p.get());
  return out;
}

std::string preserved_routing(const JOV_PARTITION* p, const std::map<std::string, bool>& preserved) {
  // A partition still on its shell (no final stage ran) keeps its full
  // routing in its full state; the sources of its trees may be atoms the
  // shell hides, so owners are looked up among the full contents.
  const VOK_RE_ROUTING* hidden = p->get_active_state() == JOV_PARTITION::BBIC_DEPOPULATED ? full_routing(p) : nullptr;
  auto share = hidden != nullptr ? std::make_unique<VOK_RE_ROUTING>(*hidden) : JOV_ROUTING_SPLITTER::get_routing_for_partition(p);
  const auto owners = full_owners();
  std::vector<std::string> trees;
  for (int root = share->forest().first_root(); root != -1; root = share->forest().next_sibling(root)) {
    if (share->is_zota_q_root(root)) continue;
    const std::int32_t v = share->get_value(root);
    if (v >= 0) {
      auto o = owners.find(static_cast<int>(share->get_terminal(v).port.get_atom_id()));
      const JOV_PARTITION* owner = o != owners.end() ? o->second : design()->get_top_partition();
      auto it = preserved.find(owner->get_name());
      if (it == preserved.end() || !it->second) continue;
    }
    // Port translation's chains from a virtual source or to a virtual sink
    // route no connection (the router completes them): left out.
    if (std::string tree = host::testing::connections_text(*share, root); !tree.empty()) trees.push_back(std::move(tree));
  }
  std::sort(trees.begin(), trees.end());
  std::string out;
  for (const auto& t : trees) out += t + "\n";
  return out;
}

int real_atoms(const JOV_STATE* state) {
  int n = 0;
  for (const VOK_ATOM_NODE* a : state->get_atom_netlist()->get_atom_list()) n += is_real(a);
  return n;
}

const VOK_RE_ROUTING* full_routing(const JOV_PARTITION* p) {
  for (KIV_MODEL* m : p->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state()->get_models())
    if (m->get_name() == "routing")
      if (const auto* model = dynamic_cast<const VOK_ROUTING_MODEL*>(m)) return model->get_routing();
  return nullptr;
}

int routing_nodes(const JOV_STATE* state) {
  for (KIV_MODEL* m : state->get_kiv_state()->get_models())
    if (m->get_name() == "routing") {
      const auto* model = dynamic_cast<const VOK_ROUTING_MODEL*>(m);
      return model != nullptr && model->get_routing() != nullptr ? model->get_routing()->get_live_node_count() : 0;
    }
  return 0;
}

std::map<std::string, bool> preserved_map(const std::vector<host::testing::PARTITION_SETTING>& parts) {
  std::map<std::string, bool> m;
  for (const auto& p : parts) m[p.name] = p.preserved;
  return m;
}

// Register clocks on a global network (connection code 5): signals every
// partition may read.
constexpr int kGlobalClockCode = 5;

// Cross-partition routing removal (jov_inherit_preservation) supports one
// layout: one preserved parent of re-fitted (not preserved) children, each
// child fed by its parent's own logic, by its own descendants or by global
// signals. Any other layout is named here ("" when supported): a child fed
// through a port of its parent, a child fed by a sibling (a box-to-box
// connection), two preserved parents with re-fitted children.
std::string unsupported_inherit_layout(const std::map<std::string, bool>& preserved) {
  std::map<const VOK_ATOM_NETLIST*, const JOV_PARTITION*> owner;
  for (const auto& p : design()->get_partitions()) owner[p->get_state()->get_atom_netlist()] = p.get();
  auto is_preserved = [&](const JOV_PARTITION* p) {
    auto it = preserved.find(p->get_name());
    return it != preserved.end() && it->second;
  };
  auto within = [](const JOV_PARTITION* p, const JOV_PARTITION* ancestor) {
    for (; p != nullptr; p = p->get_parent())
      if (p == ancestor) return true;
    return false;
  };
  // The partition whose netlist drives `in`, with the driving atom (global
  // clocks left out); null when no partition's atom drives it.
  using FEED = std::pair<const JOV_PARTITION*, const VOK_ATOM_NODE*>;
  auto feeding = [&](const VOK_ATOM_ITERM* in) -> FEED {
    if (in->get_connection_code() == kGlobalClockCode) return {nullptr, nullptr};
    const VOK_ATOM_OTERM* source = in->get_source(VOK_TRAVERSE_HIERARCHICAL);
    if (source == nullptr || source->get_my_node() == nullptr) return {nullptr, nullptr};
    auto it = owner.find(source->get_my_node()->get_parent_netlist());
    return it == owner.end() ? FEED{nullptr, nullptr} : FEED{it->second, source->get_my_node()};
  };
  std::vector<const JOV_PARTITION*> refitted;
  std::map<std::string, std::string> parents;  // preserved parent -> one of its re-fitted children
  for (const auto& p : design()->get_partitions())
    if (p->get_parent() != nullptr && is_preserved(p->get_parent()) && !is_preserved(p.get())) {
      refitted.push_back(p.get());
      parents.emplace(p->get_parent()->get_name(), p->get_name());
    }
  if (parents.size() > 1) {
    auto first = parents.begin(), second = std::next(first);
    return "partitions '" + first->first + "' and '" + second->first +
           "' are both preserved with re-fitted children ('" + first->second + "', '" + second->second +
           "'): one preserved parent of re-fitted partitions is supported";
  }
  for (const JOV_PARTITION* child : refitted) {
    const JOV_PARTITION* parent = child->get_parent();
    for (const auto& p : design()->get_partitions()) {
      if (!within(p.get(), child)) continue;
      for (const VOK_ATOM_NODE* a : p->get_state()->get_atom_netlist()->get_atom_list()) {
        if (!is_real(a)) continue;
        for (const VOK_ATOM_ITERM* in : a->citerms()) {
          const auto [from, driver] = feeding(in);
          if (from == nullptr || from == parent || within(from, child)) continue;
          const std::string net = "'" + driver->get_string_hpath() + "'";
          if (within(from, parent)) {
            const JOV_PARTITION* sibling = from;
            while (sibling->get_parent() != parent) sibling = sibling->get_parent();
            return "partition '" + child->get_name() + "' is re-fitted and fed by its sibling '" + sibling->get_name() +
                   "' (" + net + " feeds '" + a->get_string_hpath() + "'): a box-to-box connection into a re-fitted "
                   "partition is not supported";
          }
          return "partition '" + child->get_name() + "' is re-fitted and fed through a port of its parent '" +
                 parent->get_name() + "' (" + net + " of partition '" + from->get_name() + "' feeds '" +
                 a->get_string_hpath() + "'): only its parent's own logic and global signals may feed it";
        }
      }
    }
    // Nor may a re-fitted child feed a sibling: the other end of a
    // box-to-box connection.
    for (const auto& p : design()->get_partitions()) {
      if (p.get() == parent || !within(p.get(), parent) || within(p.get(), child)) continue;
      const JOV_PARTITION* sibling = p.get();
      while (sibling->get_parent() != parent) sibling = sibling->get_parent();
      for (const VOK_ATOM_NODE* a : p->get_state()->get_atom_netlist()->get_atom_list()) {
        if (!is_real(a)) continue;
        for (const VOK_ATOM_ITERM* in : a->citerms()) {
          const auto [from, driver] = feeding(in);
          if (from == nullptr || !within(from, child)) continue;
          return "partition '" + sibling->get_name() + "' is fed by its re-fitted sibling '" + child->get_name() +
                 "' ('" + driver->get_string_hpath() + "' feeds '" + a->get_string_hpath() +
                 "'): a box-to-box connection from a re-fitted partition is not supported";
        }
      }
    }
  }
  return std::string();
}

}  // namespace

std::string PARTITION_RUN::place_needed() const {
  if (!active()) return std::string();
  return "a design with partitions needs place in the same run (before it, the whole design's timing cannot "
         "be reported and the preserved partitions cannot be checked)";
}

std::string PARTITION_RUN::stage_list_refusal(const std::vector<std::string>& stages) const {
  if (!active() || std::find(stages.begin(), stages.end(), "place") != stages.end()) return std::string();
  std::string list;
  for (const std::string& s : stages) list += (list.empty() ? "" : ",") + s;
  return "--stages " + (list.empty() ? std::string("none") : list) + ": " + place_needed();
}

bool PARTITION_RUN::prepare(std::string* why) {
  if (!active()) return true;
  if (cfg_is_on("jov_inherit_preservation", false))
    if (const std::string layout = unsupported_inherit_layout(preserved_map(m_partitions)); !layout.empty()) {
      *why = "jov_inherit_preservation: " + layout;
      return false;
    }
  if (!host::testing::play_earlier_compile(m_partitions, why)) return false;
  const auto preserved = preserved_map(m_partitions);
  for (const auto& p : design()->get_partitions()) {
    const bool keep = preserved.count(p->get_name()) && preserved.at(p->get_name());
    int atoms = 0;
    for (const VOK_ATOM_NODE* a : p->get_state()->get_atom_netlist()->get_atom_list()) {
      if (!is_real(a)) continue;
      ++atoms;
      if (keep) m_locations[a->get_id()] = a->get_location_gid();
    }
    if (keep) m_routing[p->get_name()] = preserved_routing(p.get(), preserved);
    std::printf("Partition %s (parent %s): %s, %s\n", p->get_name().c_str(),
                p->get_parent() ? p->get_parent()->get_name().c_str() : "none", counted(atoms, "atom").c_str(),
                keep ? "preserved" : "recompiled");
  }
  std::fflush(stdout);
  return true;
}

bool PARTITION_RUN::bind(void* lib, const std::map<std::string, std::string>& exports) {
  auto find = [&](const std::string& prefix) -> void* {
    for (const auto& [sig, mangled] : exports)
      if (sig.rfind(prefix, 0) == 0) return dlsym(lib, mangled.c_str());
    return nullptr;
  };
  // Every fit ends the blackboxing mode, partitioned or not: the component
  // keeps it for the process, and a fit of the same process that stopped
  // before the final stage would leave it on for the next one.
  m_shutdown = reinterpret_cast<void (*)()>(find("velmo_bbic_shutdown("));
  if (!active()) return m_shutdown != nullptr;
  m_initialize = reinterpret_cast<bool (*)(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE>, bool, DEV_FAMILY_ENUM)>(
      find("velmo_bbic_initialize("));
  m_guard_make = reinterpret_cast<void (*)(void*, JOV_DESIGN&)>(find("VELMO_BBIC_REPORT::VELMO_BBIC_REPORT("));
  m_guard_end = reinterpret_cast<void (*)(void*)>(find("VELMO_BBIC_REPORT::~VELMO_BBIC_REPORT("));
  return m_initialize != nullptr && m_shutdown != nullptr && m_guard_make != nullptr && m_guard_end != nullptr;
}

void PARTITION_RUN::stage_starting(const std::string& stage) const {
  if (!active()) return;
  static const std::map<std::string, int> snapshot = {
      {"plan", JOV_SNAPSHOT_BASE::PLANNED}, {"place", JOV_SNAPSHOT_BASE::PLACED}, {"route", JOV_SNAPSHOT_BASE::ROUTED},
      {"retime", JOV_SNAPSHOT_BASE::RETIMED}, {"final", JOV_SNAPSHOT_BASE::FINAL}};
  auto it = snapshot.find(stage);
  if (it != snapshot.end()) design()->set_current_snapshot(it->second, false, false);
}

bool PARTITION_RUN::after_startup(int family) {
  if (!active()) return true;
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot;
  snapshot.set_from_str(design()->get_current_snapshot_str(), true);
  const bool ok = m_initialize(snapshot, false, static_cast<DEV_FAMILY_ENUM>(family));
  // What each blackboxed partition's shell keeps of its full contents.
  for (const auto& p : design()->get_partitions()) {
    if (!p->has_state(JOV_PARTITION::BBIC_DEPOPULATED)) continue;
    SHELL& s = m_shells[p->get_name()];
    const int full_atoms = real_atoms(p->get_state(JOV_PARTITION::DEFAULT));
    const int full_nodes = routing_nodes(p->get_state(JOV_PARTITION::DEFAULT));
    s.atoms = real_atoms(p->get_state(JOV_PARTITION::BBIC_DEPOPULATED));
    s.routing_nodes = routing_nodes(p->get_state(JOV_PARTITION::BBIC_DEPOPULATED));
    std::printf("Partition %s blackboxed: shell keeps %d of %s, %d of %s\n", p->get_name().c_str(), s.atoms,
                counted(full_atoms, "atom").c_str(), s.routing_nodes, counted(full_nodes, "routing node").c_str());
  }
  // The slack records on the routing the shells hide, which the host's
  // timing counts while the shells are active.
  const auto& hidden = VOK_CHIP_DB_ENTRY::current()->get_preserved_slacks_on_routing_hidden_by_bbic().records();
  if (!hidden.empty()) {
    std::int32_t worst = KEM_NO_SLACK;
    for (const auto& r : hidden)
      if (r.slack[0] != KEM_NO_SLACK && (worst == KEM_NO_SLACK || r.slack[0] < worst)) worst = r.slack[0];
    std::printf("Hidden routing: %s, worst setup slack %s\n",
                counted(static_cast<long long>(hidden.size()), "preserved slack record").c_str(),
                worst == KEM_NO_SLACK ? "none" : (std::to_string(worst) + " ps").c_str());
  }
  std::fflush(stdout);
  return ok;
}

void PARTITION_RUN::report_guard_begin() {
  if (!active() || m_guard_built) return;
  std::vector<const JOV_PARTITION*> shells;
  for (const auto& p : design()->get_partitions())
    if (p->get_active_state() == JOV_PARTITION::BBIC_DEPOPULATED) shells.push_back(p.get());
  m_guard_make(m_guard, *design());
  m_guard_built = true;
  show_full_contents();
  if (shells.empty()) return;
  // The design's routing holds only what the shells kept of the preserved
  // partitions: while the guard shows their full netlists, it gets their
  // full routing too, so that the timing netlist built for the report has
  // every routed connection. It goes back when the guard ends.
  VOK_RE_ROUTING* root = VOK_CHIP_DB_ENTRY::current()->get_routing();
  m_routing_before_guard = std::make_unique<VOK_RE_ROUTING>(*root);
  root->attach_atom_netlist(design()->get_top_partition()->get_state()->get_atom_netlist(), 1);
  for (const JOV_PARTITION* p : shells) {
    const VOK_RE_ROUTING* full = full_routing(p);
    if (full == nullptr) continue;
    VOK_RE_ROUTING share(*full);
    share.attach_atom_netlist(p->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist(), 0);
    root->merge_partition(share);
  }
  hov_get_atom_netlist_taint_manager()->taint_all();
}

void PARTITION_RUN::netlist_guard_begin() {
  if (!active() || m_guard_built) return;
  m_guard_make(m_guard, *design());
  m_guard_built = true;
  show_full_contents();
}

// The component's guard shows the full contents only while its switch
// velmo_bbic_reporting is on: the host makes them active itself, through
// its own partition database. Every partition's full state becomes active
// in design order (a parent before its children), which hands each full
// netlist to its box in the parent's full netlist and the top one to the
// chip database entry. Under a guard that did switch, nothing changes.
void PARTITION_RUN::show_full_contents() {
  for (const auto& p : design()->get_partitions()) {
    m_states_before_view.emplace_back(p.get(), p->get_active_state());
    // The box holding the active netlist: for a child of a blackboxed
    // partition, the copy of its box in the parent's shell.
    VOK_ATOM_NETLIST* netlist = p->get_state()->get_atom_netlist();
    if (VOK_ATOM_BLACKBOX* box = netlist->get_parent_box()) m_boxes_before_view.emplace_back(box, netlist);
  }
  for (const auto& p : design()->get_partitions()) p->set_active_state(JOV_PARTITION::DEFAULT);
}

// Puts back what show_full_contents changed, before the guard puts back
// what it changed.
void PARTITION_RUN::hide_full_contents() {
  for (const auto& [p, state] : std::exchange(m_states_before_view, {}))
    if (state)
      p->set_active_state(*state);
    else
      p->clear_active_state();
  for (const auto& [box, netlist] : std::exchange(m_boxes_before_view, {})) box->set_child_netlist(netlist, false);
}

bool PARTITION_RUN::shells_active() const {
  if (!active()) return false;
  for (const auto& p : design()->get_partitions())
    if (p->get_active_state() == JOV_PARTITION::BBIC_DEPOPULATED) return true;
  return false;
}

void PARTITION_RUN::report_guard_end() {
  if (!m_guard_built) return;
  if (m_routing_before_guard) {
    *VOK_CHIP_DB_ENTRY::current()->get_routing() = *m_routing_before_guard;
    m_routing_before_guard.reset();
    hov_get_atom_netlist_taint_manager()->taint_all();
  }
  hide_full_contents();
  m_guard_end(m_guard);
  m_guard_built = false;
}

void PARTITION_RUN::before_shutdown() const {
  if (m_shutdown != nullptr) m_shutdown();
}

std::vector<std::string> PARTITION_RUN::check_preserved() const {
  std::vector<std::string> out;
  if (!active()) return out;
  const auto preserved = preserved_map(m_partitions);
  for (const auto& p : design()->get_partitions()) {
    if (!m_routing.count(p->get_name())) continue;
    for (const VOK_ATOM_NODE* a : p->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist()->get_atom_list()) {
      auto it = m_locations.find(a->get_id());
      if (it != m_locations.end() && it->second != a->get_location_gid())
        out.push_back("partition " + p->get_name() + ": " + a->get_string_hpath() + " moved");
    }
    if (preserved_routing(p.get(), preserved) != m_routing.at(p->get_name()))
      out.push_back("partition " + p->get_name() + ": routing changed");
  }
  return out;
}

bool PARTITION_RUN::print_preserved_check() const {
  const auto changed = check_preserved();
  std::printf("Preserved partitions: %s\n", changed.empty() ? "unchanged" : "CHANGED");
  for (std::size_t i = 0; i < changed.size() && i < 10; ++i) std::printf("  partitions: %s\n", changed[i].c_str());
  if (changed.size() > 10) std::printf("  ... and %zu more\n", changed.size() - 10);
  std::fflush(stdout);
  return changed.empty();
}

nlohmann::ordered_json PARTITION_RUN::report() const {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  const auto preserved = preserved_map(m_partitions);
  for (const auto& p : design()->get_partitions()) {
    if (!active()) break;
    int atoms = 0;
    for (const VOK_ATOM_NODE* a : p->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist()->get_atom_list())
      atoms += is_real(a);
    list.push_back({{"name", p->get_name()},
                    {"parent", p->get_parent() ? nlohmann::ordered_json(p->get_parent()->get_name()) : nlohmann::ordered_json()},
                    {"preserved", preserved.count(p->get_name()) && preserved.at(p->get_name())},
                    {"atoms", atoms}});
    auto shell = m_shells.find(p->get_name());
    list.back()["blackboxed"] = shell != m_shells.end();
    if (shell != m_shells.end()) {
      list.back()["shell_atoms"] = shell->second.atoms;
      list.back()["shell_routing_nodes"] = shell->second.routing_nodes;
    }
  }
  return list;
}

}  // namespace velmo_fit
