#include "sta/sta_debug.h"

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

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

// A node by what it stands for (its atom, kind and terminals), not by its id:
// an incrementally updated netlist numbers its nodes and edges differently
// from one built from scratch, yet both must give one cookie.
using NODE_KEY = std::array<int, 7>;
NODE_KEY key_of(const KEM_NODE* n) {
  if (!n) return {-1, -1, -1, -1, -1, -1, -1};
  const KEM_TERM_REF& i = n->get_iterm_ref();
  const KEM_TERM_REF& o = n->get_oterm_ref();
  return {n->get_atom_id(), static_cast<int>(n->get_type()), i.atom_id, i.port_type, i.index, o.port_type, o.index};
}

// The live edges as (source key, destination key, kind, delays), in that
// order; the id only locates the edge's slacks.
struct EDGE_ROW {
  NODE_KEY src, dst;
  int kind;
  std::array<int, 4> delays;
  int id;
  bool operator<(const EDGE_ROW& o) const {
    return std::tie(src, dst, kind, delays) < std::tie(o.src, o.dst, o.kind, o.delays);
  }
};
std::vector<EDGE_ROW> edge_rows(const KEM_NETLIST* kem) {
  std::vector<EDGE_ROW> rows;
  for (int id = 0; id < kem->get_edge_count(); ++id)
    if (const KEM_EDGE* e = kem->get_edge(id))
      rows.push_back({key_of(e->get_src_node()),
                      key_of(e->get_dst_node()),
                      e->get_kind(),
                      {e->get_delay(0), e->get_delay(1), e->get_delay(2), e->get_delay(3)},
                      id});
  std::sort(rows.begin(), rows.end());
  return rows;
}
void mix_key(FNV& f, const NODE_KEY& k) {
  for (int v : k) f.mix(l_u(v));
}
}  // namespace

std::uint64_t sta_debug_compute_incoming_kem_netlist_cookie(bool flag) {
  host::log_call("sta_debug_compute_incoming_kem_netlist_cookie", flag);
  std::uint64_t value = 0;
  if (const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist()) {
    FNV f;
    std::vector<NODE_KEY> nodes;
    for (int id = 0; id < kem->get_node_count(); ++id)
      if (const KEM_NODE* n = kem->get_node(id)) nodes.push_back(key_of(n));
    std::sort(nodes.begin(), nodes.end());
    f.mix(l_u(static_cast<std::int64_t>(nodes.size())));
    for (const NODE_KEY& k : nodes) mix_key(f, k);
    const std::vector<EDGE_ROW> rows = edge_rows(kem);
    f.mix(l_u(static_cast<std::int64_t>(rows.size())));
    for (const EDGE_ROW& r : rows) {
      mix_key(f, r.src);
      mix_key(f, r.dst);
      f.mix(l_u(r.kind));
      for (int d : r.delays) f.mix(l_u(d));
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
    for (const EDGE_ROW& r : edge_rows(kem)) {
      mix_key(f, r.src);
      mix_key(f, r.dst);
      for (int c = 0; c < corners; ++c) {
        f.mix(l_u(host::sta::edge_setup_slack(r.id, c)));
        f.mix(l_u(host::sta::edge_hold_slack(r.id, c)));
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
