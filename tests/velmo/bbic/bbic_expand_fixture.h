// The scene of the keep-set expansion tests: a partition "P" under a top
// partition on a KY device, its atoms found by name, and every expansion
// pass switched off for a test that wants one rule alone.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "vok/vok_atom_netlist.h"

namespace velmo_test {

class ExpandScene : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
  }
  // A partition "P" built by body, under a top partition.
  void partition(const std::function<void(host::testing::NETLIST_BUILDER&)>& body) {
    host::testing::NETLIST_BUILDER n = host::testing::netlist();
    auto box = n.blackbox("P", body);
    host::testing::top_partition();
    p = host::testing::partition("P", box);
  }
  VOK_ATOM_NETLIST* net() const { return p->get_state()->get_atom_netlist(); }
  VOK_ATOM_NODE* atom(const std::string& name) const {
    for (VOK_ATOM_NODE* a : net()->get_atom_list())
      if (a->get_string_hpath() == name) return a;
    ADD_FAILURE() << "no atom " << name;
    return nullptr;
  }
  static void all_passes_off() {
    for (const char* v : {"jov_bbic_expand_peripheral", "jov_bbic_expand_chains", "jov_bbic_expand_seven_luts",
                          "jov_bbic_expand_lutram_fanout", "jov_bbic_expand_lutram_slices", "jov_bbic_expand_qfbk",
                          "jov_bbic_expand_ffs", "jov_bbic_expand_global_fanout"})
      cfg_set_off(v);
  }
  JOV_PARTITION* p = nullptr;
};

}  // namespace velmo_test
