#include "sta/sta_debug.h"

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"

namespace {
struct FNV {
  std::uint64_t h = 14695981039346656037ull;
  void mix(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
      h ^= (v >> (8 * i)) & 0xFFu;
      h *= 1099511628211ull;
    }
  }
};

std::uint64_t l_u(std::int64_t v) { return static_cast<std::uint64_t>(v); }
}  // namespace

std::uint64_t sta_debug_compute_incoming_kem_netlist_cookie(bool flag) {
  host::log_call("sta_debug_compute_incoming_kem_netlist_cookie", flag);
  std::uint64_t value = 0;
  if (const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist()) {
    FNV f;
    f.mix(l_u(kem->get_node_count()));
    f.mix(l_u(kem->get_edge_count()));
    for (int id = 0; id < kem->get_edge_count(); ++id) {
      const KEM_EDGE* e = kem->get_edge(id);
      if (!e) continue;
      f.mix(l_u(id));
      f.mix(l_u(e->get_src_node() ? e->get_src_node()->get_id() : -1));
      f.mix(l_u(e->get_dst_node() ? e->get_dst_node()->get_id() : -1));
      f.mix(l_u(e->get_kind()));
      for (int d = 0; d < 4; ++d) f.mix(l_u(e->get_delay(d)));
    }
    value = f.h;
  }
  return host::script::next<std::uint64_t>("sta_debug_compute_incoming_kem_netlist_cookie", value);
}

std::uint64_t sta_debug_compute_outgoing_slack_cookie(bool flag) {
  host::log_call("sta_debug_compute_outgoing_slack_cookie", flag);
  std::uint64_t value = 0;
  if (const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist()) {
    FNV f;
    const int corners = kem->get_corner_manager()->get_corner_count();
    for (int id = 0; id < kem->get_edge_count(); ++id) {
      if (!kem->get_edge(id)) continue;
      for (int c = 0; c < corners; ++c) {
        f.mix(l_u(host::sta::edge_setup_slack(id, c)));
        f.mix(l_u(host::sta::edge_hold_slack(id, c)));
      }
    }
    value = f.h;
  }
  return host::script::next<std::uint64_t>("sta_debug_compute_outgoing_slack_cookie", value);
}

void sta_debug_remember_last_traversal_settings() { host::log_call("sta_debug_remember_last_traversal_settings"); }

void sta_debug_restore_last_traversal_settings_and_refresh() {
  host::log_call("sta_debug_restore_last_traversal_settings_and_refresh");
  if (KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist()) host::sta::analyze(kem);
}
