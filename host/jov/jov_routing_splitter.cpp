#include "jov/jov_routing_splitter.h"

#include <map>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "jov/jov_design.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"

namespace {

// Atom id -> partition, over the active netlists of the current design.
std::map<int, JOV_PARTITION*> partition_map() {
  std::map<int, JOV_PARTITION*> out;
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  for (const auto& p : design->get_partitions()) {
    const JOV_STATE* s = p->get_state();
    if (s == nullptr) continue;
    for (const VOK_ATOM_NODE* a : s->get_atom_netlist()->get_atom_list()) out.emplace(a->get_id(), p.get());
  }
  return out;
}

JOV_PARTITION* lookup(const std::map<int, JOV_PARTITION*>& m, std::uint32_t id) {
  auto it = m.find(static_cast<int>(id));
  return it != m.end() ? it->second : JOV_ROOT::get()->get_design("")->get_top_partition();
}

}  // namespace

JOV_PARTITION* JOV_ROUTING_SPLITTER::partition_of_atom(int atom_id) {
  return lookup(partition_map(), static_cast<std::uint32_t>(atom_id));
}

std::unique_ptr<VOK_RE_ROUTING> JOV_ROUTING_SPLITTER::get_routing_for_partition(const JOV_PARTITION* partition) {
  return get_routing_for_partition(*VOK_CHIP_DB_ENTRY::current()->get_routing(), partition);
}

std::unique_ptr<VOK_RE_ROUTING> JOV_ROUTING_SPLITTER::get_routing_for_partition(const VOK_RE_ROUTING& r,
                                                                                const JOV_PARTITION* partition) {
  host::log_call("JOV_ROUTING_SPLITTER::get_routing_for_partition", partition ? partition->get_name() : "");
  auto out = std::make_unique<VOK_RE_ROUTING>();
  const auto owners = partition_map();
  const auto& f = r.forest();
  // keep[id]: some leaf below id belongs to the partition. Computed in
  // post-order per tree with an explicit stack.
  std::vector<char> keep(static_cast<std::size_t>(f.num_slots()), 0);
  for (int root = f.first_root(); root != -1; root = f.next_sibling(root)) {
    if (r.is_zota_q_root(root)) continue;
    const std::int32_t rv = r.get_value(root);
    const JOV_PARTITION* source_owner =
        rv >= 0 ? lookup(owners, r.get_terminal(rv).port.get_atom_id()) : JOV_ROOT::get()->get_design("")->get_top_partition();
    struct FRAME {
      int id;
      bool expanded;
    };
    std::vector<FRAME> stack{{root, false}};
    while (!stack.empty()) {
      FRAME& fr = stack.back();
      const int id = fr.id;
      if (!fr.expanded) {
        fr.expanded = true;
        for (int c : r.get_walk_children(id)) stack.push_back({c, false});
        continue;
      }
      stack.pop_back();
      const std::vector<int> kids = r.get_walk_children(id);
      if (kids.empty()) {
        const std::int32_t v = r.get_value(id);
        const JOV_PARTITION* owner = source_owner;
        if (v >= 0 && r.get_terminal(v).name_space == VOK_PORT_NAMESPACE_INPUT)
          owner = lookup(owners, r.get_terminal(v).port.get_atom_id());
        // A preserved partition's routing does not change: its sink fed from
        // a partition compiled now (kind 1) is in the source's share.
        if (owner != source_owner && owner->get_kind() != 1 && source_owner->get_kind() == 1) owner = source_owner;
        keep[static_cast<std::size_t>(id)] = owner == partition;
      } else {
        for (int c : kids) keep[static_cast<std::size_t>(id)] |= keep[static_cast<std::size_t>(c)];
      }
    }
  }
  auto value_of = [&](int src) {
    const std::int32_t v = r.get_value(src);
    if (v < 0) return v;
    const VOK_RE_TERMINAL& t = r.get_terminal(v);
    return static_cast<std::int32_t>(out->add_terminal(t.port, t.name_space));
  };
  struct ITEM {
    int src;
    int dst;
  };
  std::vector<ITEM> work;
  for (int root = f.first_root(); root != -1; root = f.next_sibling(root)) {
    if (r.is_zota_q_root(root) || !keep[static_cast<std::size_t>(root)]) continue;
    work.push_back({root, out->new_root(value_of(root))});
    while (!work.empty()) {
      const ITEM it = work.back();
      work.pop_back();
      for (int c = f.first_child(it.src); c != -1; c = f.next_sibling(c))
        if (keep[static_cast<std::size_t>(c)]) work.push_back({c, out->append_child_value(it.dst, value_of(c))});
      if (r.is_zota_node(it.src) && f.parent(it.src) != -1) {
        const int q = r.get_corresponding_zota_id(it.src);
        if (keep[static_cast<std::size_t>(q)]) {
          const int nq = out->new_root(value_of(q));
          out->set_zota_pair(it.dst, nq);
          work.push_back({q, nq});
        }
      }
    }
  }
  return out;
}

void JOV_ROUTING_SPLITTER::split_hslp_tiles(KIV_MODEL*, JOV_PARTITION* partition, VOK_ATOM_NETLIST*, VOK_CHIP_DB_ENTRY*,
                                            const char* snapshot) {
  host::log_call("JOV_ROUTING_SPLITTER::split_hslp_tiles", partition != nullptr ? partition->get_name() : std::string(),
                 snapshot);
  // The stand-in device has no high-speed tiles; a test may script what a
  // splitter does to the chip's networks.
  host::script::fire("JOV_ROUTING_SPLITTER::split_hslp_tiles");
}
