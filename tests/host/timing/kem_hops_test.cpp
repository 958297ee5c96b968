// The timing netlist's routing hops against the routing itself, through
// edits that re-route nets (routing nodes erased and their slots taken by
// new ones) and restores, and through corners loaded after the hops were
// computed: every hop on a sink's path holds its routing node's parent, gid
// and inversion, and at every loaded corner the delays summed from the
// tree's root.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "cmp/cmp_facade.h"
#include "dux/dux.h"
#include "kem/kem_manager.h"
#include "testing/host_test.h"
#include "testing/route_helpers.h"
#include "testing/scenes.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

namespace {

using namespace host::testing;

// A hop's delays worked out from the routing: from the root down to the
// node, each node's dangling stubs and then, for a wire, its own hop delay
// (max rise, max fall x1.125, min rise x0.8, min fall x0.9), the sums
// rounded to ps, scaled to the corner and rounded again.
void expected_delays(const VOK_RE_ROUTING& r, int node, double scale, float out[4]) {
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  std::vector<int> path;
  for (int n = node; n >= 0; n = r.forest().parent(n)) path.insert(path.begin(), n);
  double sum[4] = {0, 0, 0, 0};
  const double factor[4] = {1.0, 1.125, 0.8, 0.9};
  for (int n : path) {
    const double load = host::kem::dangling_load_ps(&r, n);
    if (load > 0.0)
      for (int k = 0; k < 4; ++k) sum[k] += load * factor[k];
    if (r.is_wire(n))
      for (int k = 0; k < 4; ++k) sum[k] += info->get_hop_delay_ps(r.get_gid(n), 1.0) * factor[k];
  }
  for (int k = 0; k < 4; ++k) {
    const double v = std::floor(sum[k] + 0.5) * scale;
    out[k] = static_cast<float>((v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5)) * 1e-12);
  }
}

// Returns the number of hops checked.
int expect_hops_read_the_routing() {
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  const auto& corners = kem->get_corner_manager()->get_loaded_corners();
  // A slot the routing freed is no hop.
  for (int id = 0; id < r.forest().num_slots(); ++id)
    if (!r.is_live(id)) {
      EXPECT_FALSE(kem->has_re_hop(id)) << "freed slot " << id;
    }
  EXPECT_FALSE(kem->has_re_hop(-1));
  EXPECT_FALSE(kem->has_re_hop(kem->get_num_re_hops()));
  int checked = 0;
  for (VOK_ATOM_NODE* atom : host::kem::timing_atoms(host::vok::top_netlist()))
    for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
      const int sink = t ? kem->get_re_hop_of_iterm(t) : -1;
      if (sink < 0) continue;
      SCOPED_TRACE(atom->get_string_hpath() + " input " + std::to_string(i));
      for (int n = sink; n >= 0; n = r.forest().parent(n)) {
        if (!kem->has_re_hop(n)) {
          ADD_FAILURE() << "routing node " << n << " has no hop";
          break;
        }
        const KEM_NETLIST::RE_HOP hop = kem->get_re_hop(n);
        EXPECT_EQ(hop.parent, r.forest().parent(n));
        if (r.is_wire(n)) {
          EXPECT_EQ(hop.gid, static_cast<unsigned>(r.get_value(n)));
          EXPECT_EQ(kem->get_re_element_gid(n), hop.gid);
          EXPECT_EQ(hop.inversion, host::device::die_info()->get_route_info()->get_dev_element_from_gid(hop.gid) == 701);
        } else {
          EXPECT_TRUE(kem->is_re_element_free(n));
        }
        for (std::size_t c = 0; c < corners.size(); ++c) {
          float want[4], got[4];
          expected_delays(r, n, corners[c].get_delay_scale(), want);
          kem->get_re_hop_delays(n, static_cast<int>(c), got);
          for (int k = 0; k < 4; ++k) EXPECT_EQ(got[k], want[k]) << "node " << n << " corner " << c << " delay " << k;
        }
        ++checked;
      }
    }
  return checked;
}

class KemHopsTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    scene = scenes::ky_pipeline(2);
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  scenes::KY_PIPELINE scene;
  WEXAN_ENV* env = nullptr;
};

TEST_F(KemHopsTest, HopsFollowReroutesRestoresAndCornersLoadedLater) {
  ASSERT_GT(expect_hops_read_the_routing(), 20);
  std::mt19937 rng(7);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  DUX dux(1, true, env);
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  int reused = 0;
  for (int step = 0; step < 10; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const std::vector<bool> live_before = [&] {
      std::vector<bool> v;
      for (int id = 0; id < r.forest().num_slots(); ++id) v.push_back(r.is_live(id));
      return v;
    }();
    const scenes::KY_PIPELINE_COPY& c = scene[static_cast<int>(pick(2))];
    const scenes::KY_PIPELINE_COPY& d = scene[static_cast<int>(pick(2))];
    const std::vector<VOK_ATOM_NODE*> sources = {c.a0, c.luts[0], c.luts[1], c.pc, c.b0, c.u};
    if (step % 4 == 3) {
      dux.restore_checkpoint(pick(static_cast<std::size_t>(dux.get_checkpoint_id()) + 1));
    } else {
      dux.connect(out_port(sources[pick(sources.size())]), in_port(d.luts[pick(4)], DB_INPUT_PORT_LUT_DATA), false, 0);
      dux.implement();
    }
    // Slots freed before the step and live after it: erased nodes' slots
    // taken by new ones.
    for (std::size_t id = 0; id < live_before.size(); ++id)
      if (!live_before[id] && r.is_live(static_cast<int>(id))) ++reused;
    expect_hops_read_the_routing();
  }
  EXPECT_GT(reused, 0);
  dux.restore_checkpoint(0);
  expect_hops_read_the_routing();

  // A corner loaded after the hops were computed answers its own scale at
  // once; one unloaded leaves the others as they were.
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  KEM_CORNER_MANAGER* cm = kem->get_corner_manager();
  const int before = cm->get_corner_count();
  const KEM_TIMING_MODEL extra(2, 0, 850, 0);
  ASSERT_FALSE(cm->has_corner(extra));
  cm->change_corner(extra);
  ASSERT_EQ(cm->get_corner_count(), before + 1);
  EXPECT_GT(expect_hops_read_the_routing(), 20);
  cm->erase_corner(cm->get_loaded_corners().front());
  EXPECT_GT(expect_hops_read_the_routing(), 20);
}

// A snapshot's copy, read back after an edit re-routed a net, is the
// netlist as it was written: the same hops and delays, its terminals bound
// to the design's atoms. And the plain lookups: null outside the id range
// and for freed records.
TEST_F(KemHopsTest, ADiskCopyReadsBackAsWrittenAndLookupsAnswerNullOutsideTheirRange) {
  KEM_MANAGER* mgr = KEM_MANAGER::get();
  struct HOP_STATE {
    KEM_NETLIST::RE_HOP hop;
    float d[4];
  };
  auto hops = [](const KEM_NETLIST* kem) {
    std::vector<HOP_STATE> v;
    for (int id = 0; id < kem->get_num_re_hops(); ++id)
      if (kem->has_re_hop(id)) {
        v.push_back({kem->get_re_hop(id), {}});
        kem->get_re_hop_delays(id, 0, v.back().d);
      }
    return v;
  };
  auto sink_hops = [](const KEM_NETLIST* kem) {
    std::vector<int> v;
    for (VOK_ATOM_NODE* atom : host::kem::timing_atoms(host::vok::top_netlist()))
      for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i)
        if (const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i)) v.push_back(kem->get_re_hop_of_iterm(t));
    return v;
  };
  const std::vector<HOP_STATE> written = hops(mgr->get_kem_netlist());
  const std::vector<int> written_sinks = sink_hops(mgr->get_kem_netlist());
  ASSERT_GT(std::count_if(written_sinks.begin(), written_sinks.end(), [](int h) { return h >= 0; }), 10);
  const int written_edges = mgr->get_kem_netlist()->get_edge_count();
  ASSERT_TRUE(mgr->write_kem_netlist_to_disk());
  DUX dux(1, true, env);
  dux.connect(out_port(scene[0].luts[1]), in_port(scene[0].luts[3], DB_INPUT_PORT_LUT_DATA), false, 0);
  ASSERT_EQ(dux.implement().get_status(), 10);
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  EXPECT_EQ(kem->get_node(-1), nullptr);
  EXPECT_EQ(kem->get_node(kem->get_node_count()), nullptr);
  EXPECT_EQ(kem->get_edge(-1), nullptr);
  EXPECT_EQ(kem->get_edge(kem->get_edge_count()), nullptr);
  int live = 0;
  for (int id = 0; id < kem->get_edge_count(); ++id) {
    const KEM_EDGE* e = kem->get_edge(id);
    if (!e) continue;
    ++live;
    EXPECT_EQ(e->get_id(), id);
    ASSERT_NE(e->get_src_node(), nullptr);
    ASSERT_NE(e->get_dst_node(), nullptr);
    EXPECT_EQ(e->get_src_node()->get_netlist(), kem);
  }
  EXPECT_GT(live, 0);
  // The edit moved hops of the netlist in memory; the copy kept its own.
  const std::vector<HOP_STATE> edited = hops(kem);
  bool moved = edited.size() != written.size();
  for (std::size_t i = 0; i < edited.size() && !moved; ++i)
    moved = edited[i].hop.gid != written[i].hop.gid || edited[i].hop.parent != written[i].hop.parent;
  EXPECT_TRUE(moved);

  ASSERT_TRUE(mgr->read_kem_netlist_from_disk(true));
  const KEM_NETLIST* back = mgr->get_kem_netlist();
  EXPECT_EQ(back->get_edge_count(), written_edges);
  const std::vector<HOP_STATE> read = hops(back);
  ASSERT_EQ(read.size(), written.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].hop.gid, written[i].hop.gid);
    EXPECT_EQ(read[i].hop.parent, written[i].hop.parent);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(read[i].d[k], written[i].d[k]);
  }
  EXPECT_EQ(sink_hops(back), written_sinks);
  const VOK_ATOM_ITERM* t = scene[0].c0->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  const KEM_NODE* pin = back->get_kem_node_from_iterm(t);
  ASSERT_NE(pin, nullptr);
  EXPECT_EQ(pin->get_iterm(), t);
  EXPECT_EQ(pin->get_atom(), scene[0].c0);

  // A LUT taken out of the design: its nodes and edges are freed records.
  KEM_NETLIST* kem2 = mgr->get_kem_netlist();
  VOK_ATOM_NODE* u = scene[1].u;
  const int uid = u->get_id();
  std::vector<int> nodes, edges;
  for (int id : kem2->get_cell_from_atom_id(uid)->get_node_ids()) {
    nodes.push_back(id);
    const KEM_NODE* n = kem2->get_node(id);
    for (int e = n->begin_fanin(); e >= 0; e = kem2->get_edge(e)->get_next_fanin()) edges.push_back(e);
    for (int e = n->begin_fanout(); e >= 0; e = kem2->get_edge(e)->get_next_fanout()) edges.push_back(e);
  }
  ASSERT_FALSE(edges.empty());
  host::vok::top_netlist()->remove(u);
  kem2->rebuild_atoms(host::vok::top_netlist(), {uid}, nullptr);
  for (int id : nodes) EXPECT_EQ(kem2->get_node(id), nullptr) << "node " << id;
  for (int id : edges) EXPECT_EQ(kem2->get_edge(id), nullptr) << "edge " << id;
  mgr->delete_kem_netlist_in_memory();
}

}  // namespace
