#include "xab/xab_local_routing_annotator.h"

#include <cmath>
#include <mutex>
#include <unordered_set>

#include "common/host_call_log.h"
#include "common/host_control.h"
#include "common/host_world.h"
#include "kem/kem_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_blacklisting.h"
#include "wump/wump_die_info.h"

namespace {

constexpr int H_WIRE = 700;
constexpr int V_WIRE = 701;
constexpr int FEEDBACK = 279;
constexpr int INPUT_MUX = 282;

// Elements that may hang as stubs: wires, feedback lines and LAB input
// muxes (pipeline slots excluded by the caller).
bool stub_kind(int kind) { return kind == H_WIRE || kind == V_WIRE || kind == FEEDBACK || kind == INPUT_MUX; }

int scaled(double ps, double scale) {
  const double v = std::floor(ps + 0.5) * scale;
  return static_cast<int>(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5));
}

using USED_BITS = std::vector<std::uint64_t>;

// What identifies a state of the routing: edits through the modifier and the
// hold fix bump the change counter; node counts and the free list catch
// direct additions and removals.
struct ROUTING_STATE {
  const VOK_RE_ROUTING* routing = nullptr;
  int change_counter = 0;
  int slots = 0;
  int live = 0;
  int free_head = 0;
  int free_count = 0;
  bool operator==(const ROUTING_STATE&) const = default;
};

ROUTING_STATE state_of(const VOK_RE_ROUTING* routing) {
  const auto& forest = routing->forest();
  return ROUTING_STATE{routing,
                       routing->get_change_counter(),
                       forest.num_slots(),
                       routing->get_live_node_count(),
                       forest.free_list_head(),
                       forest.free_count()};
}

// The last note of used elements, kept only while some annotator holds it
// (a world slot, so a host reset drops it).
struct USED_WIRES_CACHE {
  std::mutex mutex;
  ROUTING_STATE state;
  std::weak_ptr<const USED_BITS> used;
};

std::shared_ptr<const USED_BITS> used_elements(const VOK_RE_ROUTING* routing) {
  USED_WIRES_CACHE& cache = host_world_slot<USED_WIRES_CACHE>();
  std::lock_guard<std::mutex> lock(cache.mutex);
  const ROUTING_STATE now = state_of(routing);
  if (auto kept = cache.used.lock(); kept && cache.state == now) return kept;
  auto bits = std::make_shared<USED_BITS>();
  for (int id = 0; id < routing->forest().num_slots(); ++id) {
    if (!routing->is_live(id) || !routing->is_wire(id)) continue;
    const unsigned index = routing->get_gid(id) & 0x7FFFFFFFu;
    if (index / 64 >= bits->size()) bits->resize(index / 64 + 1, 0);
    (*bits)[index / 64] |= std::uint64_t{1} << (index % 64);
  }
  cache.state = now;
  cache.used = bits;
  return bits;
}

}  // namespace

XAB_LOCAL_ROUTING_ANNOTATOR::XAB_LOCAL_ROUTING_ANNOTATOR(VOK_CHIP_DB_ENTRY* entry, const KEM_TIMING_MODEL& corner,
                                                         CMP_FACADE*)
    : m_entry(entry), m_corner(corner), m_used(used_elements(entry->get_routing())) {
  host::log_call("XAB_LOCAL_ROUTING_ANNOTATOR::XAB_LOCAL_ROUTING_ANNOTATOR", corner.get_name());
}

namespace {
// Set and cleared between searches only; the searches read it.
host::xab::CANDIDATE_HOOK& l_hook() {
  static host::xab::CANDIDATE_HOOK hook;
  return hook;
}
}  // namespace

void host::xab::set_candidate_hook(CANDIDATE_HOOK hook) {
  static const bool registered = [] {
    host_register_reset_hook("xab::candidate_hook", [] { l_hook() = nullptr; });
    return true;
  }();
  (void)registered;
  l_hook() = std::move(hook);
}

bool XAB_LOCAL_ROUTING_ANNOTATOR::find_dangling_routes_to_increase_iterm_delay(
    std::vector<XAB_DANGLING_RE_DELAY>& out, const VOK_ATOM_ITERM* iterm, double target) const {
  const bool found = find_candidates(out, iterm, target);
  if (!l_hook()) return found;
  l_hook()(out, iterm);
  return !out.empty();
}

bool XAB_LOCAL_ROUTING_ANNOTATOR::find_candidates(std::vector<XAB_DANGLING_RE_DELAY>& out, const VOK_ATOM_ITERM* iterm,
                                                  double target) const {
  out.clear();
  if (iterm == nullptr) return false;
  const VOK_RE_ROUTING* routing = m_entry->get_routing();
  const auto& forest = routing->forest();
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_ROUTE_INFO* info = die->get_route_info();
  const WUMP_BLACKLISTING* blacklist = die->get_blacklisting();
  // The sink node whose path is the slowest (the one the delay follows).
  int sink = -1;
  double path_ps = -1.0;
  for (int s : routing->get_sink_nodes(iterm)) {
    double sum = 0.0;
    for (int id = s; id >= 0; id = forest.parent(id)) {
      if (routing->is_wire(id)) sum += info->get_hop_delay_ps(routing->get_gid(id), 1.0);
      sum += host::kem::dangling_load_ps(routing, id);
    }
    if (sum > path_ps) {
      path_ps = sum;
      sink = s;
    }
  }
  if (sink < 0) return false;
  const double scale = m_corner.get_delay_scale();
  const int before = scaled(path_ps, scale);
  double added_ps = 0.0;
  std::unordered_set<unsigned> listed;
  for (int id = sink; id >= 0; id = forest.parent(id)) {
    if (!routing->is_wire(id)) continue;
    int taken = 0;
    const unsigned parent_gid = routing->get_gid(id);
    for (auto it = info->begin_fanout_gids(parent_gid); it != info->end_fanout_gids(parent_gid) && taken < 4; ++it) {
      const unsigned gid = *it | 0x80000000u;
      const unsigned index = gid & 0x7FFFFFFFu;
      const int kind = info->get_dev_element_from_gid(gid);
      if (!stub_kind(kind)) continue;
      if (is_used(index) || listed.count(index) || info->is_zota_gid(gid) ||
          blacklist->is_routing_gid_blacklisted(gid))
        continue;
      listed.insert(index);
      ++taken;
      const double hop = info->get_hop_delay_ps(gid, 1.0);
      added_ps += 0.5 * hop;
      const int rise_ps = scaled(path_ps + added_ps, scale) - before;
      XAB_DANGLING_RE_DELAY c{};
      c.node = id;
      c.stub_gid = gid;
      c.own_load_ps = scaled(0.5 * hop, scale);
      c.hop_delay_ps = static_cast<std::int32_t>(std::lround(hop));
      c.rise = static_cast<float>(rise_ps * 1e-12);
      c.fall = static_cast<float>(rise_ps * 1.125 * 1e-12);
      out.push_back(c);
      if (target >= 0.0 && c.rise >= target) return true;
    }
  }
  return !out.empty();
}
