// The routing a blackboxed design keeps, on a generated partitioned design
// whose root routing holds about 10^6 routing nodes, with nine tenths of
// partition P hidden (its shell keeps its ports and every tenth row):
// determine_routing_to_keep and merge_re_networks (both over the root
// routing) and filter_routing (over P's share), each beside its floor, one
// plain copy of the same routing plus one pre-order walk of it. And the
// dead-zone report over a core-fabric network of 10^6 elements.
#include <benchmark/benchmark.h>

#include <cctype>
#include <memory>
#include <string>

#include "bbic_scene.h"
#include "common/host_world.h"
#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "velmo_bbic_dead_zones.h"
#include "velmo_bbic_root_routing.h"
#include "velmo_bbic_shell_models.h"
#include "velmo_bbic_shell_routing.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"

namespace {

constexpr int kAtoms = 100000;
constexpr int kNetworkElements = 1000000;

struct WORLD {
  bench_bbic::SCENE scene;
  VELMO_BBIC_KEEP_SET keep;  // P's
  VELMO_BBIC_KEEP_SET_TABLE table;
  VELMO_BBIC_KEPT_ROUTING kept;
};

// Kept in a slot of the host's world, so that another bench's reset makes
// the next call build it again.
WORLD& world() {
  if (HOST_WORLD::get().slot<WORLD>().scene.atoms == kAtoms) return HOST_WORLD::get().slot<WORLD>();
  bench_bbic::SCENE scene = bench_bbic::build(kAtoms, true);  // resets the world
  WORLD* w = &HOST_WORLD::get().slot<WORLD>();
  w->scene = scene;
  // P's shell keeps its ports and every tenth row.
  for (VOK_ATOM_NODE* a : w->scene.big->get_state()->get_atom_netlist()->get_atom_list()) {
    const std::string path = a->get_string_hpath();
    const std::string name = path.substr(path.rfind('|') + 1);  // p<row>_...
    const bool tenth = name.size() > 1 && name[0] == 'p' && std::isdigit(static_cast<unsigned char>(name[1])) &&
                       std::stoi(name.substr(1)) % 10 == 0;
    if (a->is_port() || tenth) w->keep.insert(a);
  }
  w->table.assign(static_cast<std::size_t>(w->scene.big->get_id()) + 1, nullptr);
  w->table[static_cast<std::size_t>(w->scene.big->get_id())] = &w->keep;
  determine_routing_to_keep(w->kept, w->table);
  return *w;
}

VOK_RE_ROUTING& root() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }

// The floor: a copy of the routing and one pre-order walk of every tree,
// reading each wire's element.
std::size_t copy_and_walk(const VOK_RE_ROUTING& routing) {
  VOK_RE_ROUTING copy(routing);
  const VOK_RE_ROUTING_ZOTA_SKIP skip{};
  std::size_t wires = 0;
  auto rr = copy.root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
  for (auto it = rr.first; !(it == rr.second); ++it) {
    const int top = *it;
    int cur = top;
    while (cur != -1) {
      wires += copy.is_wire(cur) ? (copy.get_gid(cur) & 1u) + 1 : 0;
      int next = copy.get_first_child(cur, skip);
      while (next == -1 && cur != top) {
        next = copy.get_next_sibling(cur, skip);
        if (next == -1) cur = copy.get_parent(cur, skip);
      }
      cur = next;
    }
  }
  return wires;
}

VOK_RE_ROUTING* share_of(JOV_PARTITION* p) {
  VOK_ROUTING_MODEL* m = velmo_bbic_get_model<VOK_ROUTING_MODEL>(*p->get_state()->get_kiv_state(), "routing");
  return m->get_routing();
}

void counters(benchmark::State& state, const VOK_RE_ROUTING& r) {
  state.counters["nodes"] = static_cast<double>(r.get_live_node_count());
}

void BM_DetermineRoutingToKeep(benchmark::State& state) {
  WORLD& w = world();
  for (auto _ : state) {
    VELMO_BBIC_KEPT_ROUTING kept;
    determine_routing_to_keep(kept, w.table);
    benchmark::DoNotOptimize(kept.size());
  }
  counters(state, root());
  state.counters["kept"] = static_cast<double>(w.kept.size());
}

void BM_RootCopyAndWalkFloor(benchmark::State& state) {
  world();
  for (auto _ : state) benchmark::DoNotOptimize(copy_and_walk(root()));
  counters(state, root());
}

void BM_FilterRouting(benchmark::State& state) {
  WORLD& w = world();
  JOV_PARTITION* p = w.scene.big;
  const VOK_RE_ROUTING full(*share_of(p));
  VOK_ATOM_NETLIST* netlist = p->get_state()->get_atom_netlist();
  JOV_STATE* shell = p->add_state(JOV_PARTITION::BBIC_DEPOPULATED);
  auto* model = new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
  model->set_path(KIV_PATH({"db", "P", "routing"}));
  shell->get_kiv_state()->add_model(model);
  int left = 0;
  for (auto _ : state) {
    state.PauseTiming();
    model->set_routing(std::make_unique<VOK_RE_ROUTING>(full));
    state.ResumeTiming();
    filter_routing(p, *shell->get_kiv_state(), netlist, w.keep, w.kept);
    left = model->get_routing()->get_live_node_count();
  }
  p->remove_state(JOV_PARTITION::BBIC_DEPOPULATED);
  counters(state, full);
  state.counters["left"] = left;
}

void BM_ShareCopyAndWalkFloor(benchmark::State& state) {
  WORLD& w = world();
  for (auto _ : state) benchmark::DoNotOptimize(copy_and_walk(*share_of(w.scene.big)));
  counters(state, *share_of(w.scene.big));
}

void BM_MergeReNetworks(benchmark::State& state) {
  world();
  for (auto _ : state) velmo_bbic_merge_re_networks();
  counters(state, root());
}

void BM_DetectPlacementDeadZones(benchmark::State& state) {
  WORLD& w = world();
  JUK::FOREST<int, int>* crf = VOK_CHIP_DB_ENTRY::current()->get_crf_re_network();
  if (crf->num_slots() == 0) {
    // The root routing's wires as trees, then spare wires as roots.
    const VOK_RE_ROUTING& r = root();
    std::vector<int> mirror(static_cast<std::size_t>(r.forest().num_slots()), -1);
    int made = 0;
    for (int id = 0; id < r.forest().num_slots() && made < kNetworkElements; ++id) {
      if (!r.is_live(id) || !r.is_wire(id)) continue;
      const int n = crf->create_node(static_cast<int>(r.get_gid(id) & 0x7FFFFFFFu));
      const int parent = r.forest().parent(id);
      if (parent != -1 && mirror[static_cast<std::size_t>(parent)] != -1)
        crf->append_child(mirror[static_cast<std::size_t>(parent)], n);
      else
        crf->append_root(n);
      mirror[static_cast<std::size_t>(id)] = n;
      ++made;
    }
    for (std::size_t i = 0; made < kNetworkElements && i < w.scene.spare_elements.size(); ++i, ++made)
      crf->append_root(crf->create_node(static_cast<int>(w.scene.spare_elements[i] & 0x7FFFFFFFu)));
  }
  for (auto _ : state) velmo_bbic_detect_placement_dead_zones();
  state.counters["elements"] = static_cast<double>(crf->num_slots());
}

}  // namespace

BENCHMARK(BM_DetermineRoutingToKeep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RootCopyAndWalkFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterRouting)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShareCopyAndWalkFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeReNetworks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectPlacementDeadZones)->Unit(benchmark::kMillisecond);
