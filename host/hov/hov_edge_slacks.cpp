// The accessories' edge slack array and the analysis run of the hold
// re-route pass.
#include <algorithm>
#include <limits>

#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "sta/sta_analysis.h"

namespace {
constexpr std::int32_t NONE = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t INVALID = -std::numeric_limits<std::int32_t>::max();

// The worst of the slacks computed at the loaded corners; NONE without one.
template <class GET> std::int32_t l_worst(int corners, GET get) {
  std::int32_t worst = NONE;
  for (int c = 0; c < corners; ++c) {
    const std::int32_t s = get(c);
    if (s != KEM_NO_SLACK) worst = std::min(worst, s);
  }
  return worst;
}
}  // namespace

void HOV_ACCESSORIES::fill_edge_slacks() {
  const KEM_NETLIST* kem = get_kem_netlist();
  const std::size_t n = kem ? static_cast<std::size_t>(kem->get_edge_count()) : 0;
  // Room to grow in place: the array's address must outlive a rebuild.
  if (m_edge_slacks.capacity() < n) m_edge_slacks.reserve(n + n / 4 + 1024);
  m_edge_slacks.assign(n, {NONE, NONE});
  if (kem == nullptr) return;
  const int corners = static_cast<int>(kem->get_corner_manager()->get_loaded_corners().size());
  for (std::size_t id = 0; id < n; ++id) {
    const KEM_EDGE* e = kem->get_edge(static_cast<int>(id));
    if (e == nullptr) continue;
    if (e->is_excluded() || !e->is_live()) {
      m_edge_slacks[id] = {INVALID, INVALID};
      continue;
    }
    const int eid = static_cast<int>(id);
    m_edge_slacks[id] = {l_worst(corners, [&](int c) { return host::sta::edge_setup_slack(eid, c); }),
                         l_worst(corners, [&](int c) { return host::sta::edge_hold_slack(eid, c); })};
  }
}

const std::pair<std::int32_t, std::int32_t>* HOV_ACCESSORIES::get_edge_slack_data() {
  if (get_kem_netlist() == nullptr) return nullptr;
  fill_edge_slacks();
  return m_edge_slacks.data();
}

int HOV_ACCESSORIES::run_drask_analysis(int mode, const DRASK_OPTIONS& options, bool flag) {
  host::log_call("HOV_ACCESSORIES::run_drask_analysis", mode, options.flags[0], options.flags[1], options.flags[2],
                 options.flags[3], flag);
  m_drask_options = options;
  if (get_kem_netlist() == nullptr) return 1;
  sta_full_update_timing(true);
  fill_edge_slacks();
  return 0;
}

bool HOV_ACCESSORIES::write_kem_netlist(const std::string& name, bool flag1, bool flag2) {
  host::log_call("HOV_ACCESSORIES::write_kem_netlist", name, flag1, flag2);
  const KEM_NETLIST* kem = get_kem_netlist();
  return kem != nullptr && kem->dump_to_file(name, flag1);
}

void HOV_ACCESSORIES::close_edge_slack_data() {
  host::log_call("HOV_ACCESSORIES::close_edge_slack_data");
  std::vector<std::pair<std::int32_t, std::int32_t>>().swap(m_edge_slacks);
}
