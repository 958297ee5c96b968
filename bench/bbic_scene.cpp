// The generated partitioned design of the blackboxing benches.
#include "bbic_scene.h"

#include <algorithm>
#include <stdexcept>

#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "jov/jov_design.h"
#include "testing/design_builder.h"
#include "testing/partition_builder.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

namespace bench_bbic {
namespace {

using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;
using host::testing::SIG;

bool pass(const LUT_INPUTS& x) { return x[0]; }

constexpr int kChain = 7;       // wires from a source before its sinks
constexpr int kGroup = 8;       // sinks per fan-out wire on large nets
constexpr unsigned kWire = 0x80000000u;

// Rows of four LUTs and a register named <prefix><k>_l<j> and <prefix><k>_r;
// row k's first LUT reads feed(k). Returns the registers.
template <class FEED>
std::vector<SIG> rows(NETLIST_BUILDER& n, const std::string& prefix, int count, SIG clk, FEED feed) {
  std::vector<SIG> regs;
  regs.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    const std::string row = prefix + std::to_string(k);
    SIG s = feed(k, regs);
    for (int j = 0; j < 4; ++j) s = n.lut(row + "_l" + std::to_string(j), {s}, pass);
    regs.push_back(n.reg(row + "_r").clk(clk).d(s));
  }
  return regs;
}

// Routes every connection of the flattened design that has no sink node yet
// with distinct wire elements (the net's source node reused).
int route_open(VOK_RE_ROUTING& r, std::vector<unsigned>& pool) {
  auto wire = [&]() {
    if (pool.empty()) throw std::runtime_error("the device has too few wire elements for the scene");
    const unsigned g = pool.back();
    pool.pop_back();
    return static_cast<std::int32_t>(g);
  };
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  if (r.get_atom_netlist() != top) r.attach_atom_netlist(top, VOK_TRAVERSE_HIERARCHICAL);
  std::vector<VOK_ATOM_ITERM*> sinks;
  for (VOK_ATOM_NODE* a : top->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (a->is_box() || a->is_port()) continue;
    for (VOK_ATOM_OTERM* o : a->oterms()) {
      sinks.clear();
      for (VOK_ATOM_ITERM* s : o->fanout(VOK_TRAVERSE_HIERARCHICAL))
        if (s != nullptr && !s->get_my_node()->is_box() && !s->get_my_node()->is_port() && r.get_sink_nodes(s).empty())
          sinks.push_back(s);
      if (sinks.empty()) continue;
      int at = r.get_source_node(o);
      if (at == -1) at = r.new_source(o);
      for (int i = 0; i < kChain; ++i) at = r.append_child_value(at, wire());
      int group = at;
      for (std::size_t i = 0; i < sinks.size(); ++i) {
        if (sinks.size() > kGroup && i % kGroup == 0) group = r.append_child_value(at, wire());
        r.append_sink(r.append_child_value(group, wire()), sinks[i]);
      }
    }
  }
  r.bump_change_counter();
  return r.get_live_node_count();
}

}  // namespace

SCENE build(int atoms, bool record, bool env) {
  host_reset();
  SCENE s;
  if (env) s.env = std::shared_ptr<WEXAN_ENV>(new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn));
  // Eight tracks give 64 horizontal and vertical wires per tile: room for
  // ten wires per atom.
  constexpr int kTracks = 8;
  int side = 12;
  while (side * side * 8 * kTracks < atoms * 10) side += 4;
  host::testing::device(host::testing::Family::KY).scale(side, side).routing_tracks(kTracks).build();
  const WUMP_ROUTE_INFO* ri = host::device::die_info()->get_route_info();
  std::vector<unsigned> pool;
  for (unsigned i = 0; i < ri->get_num_elements(); ++i) {
    const int kind = static_cast<int>(ri->get_dev_element_from_gid(i | kWire));
    if (kind == 700 || kind == 701) pool.push_back(i | kWire);
  }

  NETLIST_BUILDER n = host::testing::netlist();
  SIG clk = n.io_in("clk");
  std::vector<SIG> ins;
  for (int i = 0; i < 32; ++i) ins.push_back(n.io_in("in" + std::to_string(i)));
  const int p_rows = atoms * 9 / 50, q_rows = atoms / 100, t_regs = atoms / 20;
  const std::vector<SIG> p = rows(n, "p", p_rows, clk, [&](int k, const std::vector<SIG>& done) {
    return k % 50 == 0 ? ins[static_cast<std::size_t>(k / 50) % ins.size()] : done.back();
  });
  const std::vector<SIG> q = rows(n, "q", q_rows, clk, [&](int k, const std::vector<SIG>&) {
    return p[static_cast<std::size_t>(k * 17) % p.size()];
  });
  SIG last = q.back();
  for (int k = 0; k < t_regs; ++k) last = n.reg("t" + std::to_string(k)).clk(clk).d(q[static_cast<std::size_t>(k) % q.size()]);
  n.io_out("out", last);

  host::testing::PARTITION_SETTING top, big, small;
  top.name = "|", big.name = "P", small.name = "Q";
  big.atoms = {"p*"}, small.atoms = {"q*"};
  top.preserved = big.preserved = true;
  big.vantrel_preserve = "AUTO";
  const std::vector<host::testing::PARTITION_SETTING> settings{top, big, small};
  host::testing::apply_partition_settings(settings, "bench");

  s.atoms = atoms;
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  s.top = design->get_top_partition();
  s.big = design->find_partition_by_name("P");
  s.small = design->find_partition_by_name("Q");
  std::reverse(pool.begin(), pool.end());  // taken from the back
  s.routing_nodes = route_open(*VOK_CHIP_DB_ENTRY::current()->get_routing(), pool);
  s.spare_elements = std::move(pool);
  if (record) host::testing::record_earlier_compile(settings);
  return s;
}

int route_open_connections(SCENE& scene) {
  return route_open(*VOK_CHIP_DB_ENTRY::current()->get_routing(), scene.spare_elements);
}

}  // namespace bench_bbic
