#pragma once
// A small preserved-partition design as an earlier compile leaves it, for
// the blackboxing runs of the shell-state and push-back tests.
#include <string>
#include <vector>

#include "jov/jov_design.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "testing/partition_settings.h"
#include "velmo_bbic.h"
#include "velmo_bbic_keep_set.h"
#include "velmo_bbic_states.h"
#include "vok/vok_atom_netlist.h"

// "|" (pads, r0, r1) preserved; A (a1 -> la -> a2) preserved and selected;
// B (b1) recompiled: r0 -> a1 -> la -> a2 -> b1 -> r1.
class BlackboxTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    host::testing::EnvTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.io_in("clk");
    auto r0 = n.reg("r0").clk(clk).d(n.io_in("in"));
    auto a1 = n.reg("a1").clk(clk).d(r0);
    auto la = n.lut("la", {a1}, [](const host::testing::LUT_INPUTS& x) { return !x[0]; });
    auto a2 = n.reg("a2").clk(clk).d(la);
    auto b1 = n.reg("b1").clk(clk).d(a2);
    n.io_out("out", n.reg("r1").clk(clk).d(b1));
    host::testing::PARTITION_SETTING top, a, b;
    top.name = "|", a.name = "A", b.name = "B";
    a.atoms = {"a1", "a2"}, b.atoms = {"b1"};
    top.preserved = a.preserved = true;
    a.vantrel_preserve = "AUTO";
    std::vector<host::testing::PARTITION_SETTING> ps{top, a, b};
    host::testing::apply_partition_settings(ps, "test");
    std::string why;
    ASSERT_TRUE(host::testing::play_earlier_compile(ps, &why)) << why;
    design = JOV_ROOT::get()->get_design("");
    pa = design->find_partition_by_name("A");
    pb = design->find_partition_by_name("B");
    selected.insert(pa);
  }
  void TearDown() override {
    velmo_bbic_set_active(false);
    host::testing::EnvTest::TearDown();
  }
  VOK_ATOM_NETLIST* full_a() { return pa->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist(); }
  VOK_ATOM_NETLIST* shell_a() { return pa->get_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_atom_netlist(); }
  static VOK_ATOM_NODE* named(VOK_ATOM_NETLIST* n, const std::string& path) {
    // By name, with or without the partition's prefix.
    for (VOK_ATOM_NODE* x : n->get_atom_list()) {
      const std::string h = x->get_string_hpath();
      if (h == path || (h.size() > path.size() && h.compare(h.size() - path.size() - 1, std::string::npos, "|" + path) == 0))
        return x;
    }
    return nullptr;
  }
  void run() {
    velmo_bbic_set_active(true);
    velmo_bbic_run_sequence(selected);
  }
  JOV_DESIGN* design = nullptr;
  JOV_PARTITION* pa = nullptr;
  JOV_PARTITION* pb = nullptr;
  VELMO_BBIC_PARTITION_SET selected;
};
