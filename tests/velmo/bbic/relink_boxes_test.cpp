// Relinking partitions to their boxes: every nested partition's netlist
// goes under the box of its instance, and a nested partition without a box
// anywhere in the design stops the run; so does a rebuild without a bundle.
#include "gesk/gesk_bundle.h"
#include "jov/jov_design.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_states.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"

using host::testing::Family;
using host::testing::HostTest;

namespace {

class RelinkBoxesTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    s = host::testing::scenes::partitioned();
  }
  // The box of partition p in its parent's netlist.
  static VOK_ATOM_BLACKBOX* box_of(JOV_PARTITION* p) {
    for (VOK_ATOM_NODE* a : p->get_parent()->get_state()->get_atom_netlist()->get_atom_list())
      if (a->is_box() && a->get_instance_name() == p->get_instance_name()) return static_cast<VOK_ATOM_BLACKBOX*>(a);
    ADD_FAILURE() << "no box for " << p->get_name();
    return nullptr;
  }
  host::testing::scenes::PARTITIONED s{};
};

}  // namespace

TEST_F(RelinkBoxesTest, NestedPartitionsGoUnderTheirBoxesAndAMissingBoxStopsTheRun) {
  for (JOV_PARTITION* p : {s.a, s.b, s.c}) box_of(p)->release_child_netlist();
  velmo_bbic_relink_boxes(*JOV_ROOT::get()->get_design(""), "velmo_bbic");
  for (JOV_PARTITION* p : {s.a, s.b, s.c})
    EXPECT_EQ(box_of(p)->get_child_netlist(), p->get_state()->get_atom_netlist()) << p->get_name();
  EXPECT_EQ(VOK_CHIP_DB_ENTRY::current()->get_atom_netlist(), s.top->get_state()->get_atom_netlist());

  // C's box taken out of A: nothing in the design holds C's instance.
  VOK_ATOM_BLACKBOX* c_box = box_of(s.c);
  c_box->release_child_netlist();
  s.a->get_state()->get_atom_netlist()->remove(c_box);
  const auto e = host::testing::expect_internal_error(
      [&] { velmo_bbic_relink_boxes(*JOV_ROOT::get()->get_design(""), "velmo_bbic"); });
  EXPECT_EQ(e.condition, "find_it != iname_to_box.end()");
}

TEST_F(RelinkBoxesTest, RebuildingTheMappingModelsNeedsABundle) {
  host::gesk::load(false, false);
  for (bool from_models : {false, true}) {
    const auto e = host::testing::expect_internal_error([&] { process_hybrid_r5t_and_w3j3_models(from_models); });
    EXPECT_EQ(e.condition, "bundle") << from_models;
  }
}
