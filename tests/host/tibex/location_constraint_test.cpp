#include "tibex/tibex_location_constraint.h"

#include "common/host_call_log.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_design.h"

using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;

class LocationConstraintTest : public HostTest {};

TEST_F(LocationConstraintTest, SourceMasksMatchTheFirstAssertingEntry) {
  TIBEX_LOCATION_CONSTRAINT c;
  c.add_locked(TIBEX_LOCKED_CONSTRAINT::box(1, 1, 4, 4), host::constraints::SOURCE_DESIGN);
  c.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(2, 3, 7), host::constraints::SOURCE_USER);
  c.add_floating(0, host::constraints::SOURCE_IO_PACKING);

  EXPECT_TRUE(c.get_locked_constraint(0x80).is_specified_exactly());
  EXPECT_EQ(c.get_locked_constraint(0x80).get_sub_location(), 7);
  EXPECT_FALSE(c.get_locked_constraint(0x100).is_specified_exactly());
  EXPECT_EQ(c.get_locked_constraint(0x100).get_xmax(), 4);
  // 0x4000 matches every entry, so the first locked one answers.
  EXPECT_FALSE(c.get_locked_constraint(0x4000).is_specified_exactly());
  EXPECT_FALSE(c.has_locked_constraint(0x200));
  EXPECT_TRUE(c.has_floating_constraint(0x200));
  EXPECT_FALSE(c.has_floating_constraint(0x80));
  EXPECT_EQ(c.get_floating_constraint(0x4000).get_tarnbay_id(), 0);
  EXPECT_FALSE(c.get_floating_constraint(0x80).has_constraint());
  EXPECT_FALSE(c.get_locked_constraint(0x200).has_constraint());
  EXPECT_EQ(c.get_sources(), 0x380u);
}

TEST_F(LocationConstraintTest, BuilderDesignAndReloadAgree) {
  NETLIST_BUILDER d = host::testing::netlist();
  auto clk = d.input_port("clk");
  int tbr = host::testing::region("dsp_area", {{4, 0, 4, 5}, {8, 0, 8, 5}});
  auto a = d.reg("a").clk(clk).d(d.input_port("in")).locked(3, 4, 1);
  auto b = d.reg("b").clk(clk).d(a).locked_box(0, 0, 5, 5, host::constraints::SOURCE_USER).floating(tbr);
  EXPECT_THROW(d.reg("c").clk(clk).floating(7), host::testing::NETLIST_BUILD_ERROR);

  WEXAN_DESIGN* design = WEXAN_DESIGN::current();
  auto ca = design->get_atom_location_constraint(a.id());
  // Default sources: the test with 256 and the read with 16384 agree.
  ASSERT_TRUE(ca.has_locked_constraint(256));
  EXPECT_TRUE(ca.get_locked_constraint(16384).is_specified_exactly());
  EXPECT_EQ(ca.get_locked_constraint(16384).get_x(), 3);
  auto cb = design->get_atom_location_constraint(b.id());
  EXPECT_FALSE(cb.has_locked_constraint(256));
  EXPECT_TRUE(cb.has_floating_constraint(256));
  EXPECT_EQ(host::constraints::regions()->get_xr(tbr)->rects.size(), 2u);
  EXPECT_EQ(host::constraints::regions()->get_xr(5), nullptr);

  // The fitter's copy follows the design, and a reload brings back the
  // project's constraints.
  EXPECT_TRUE(design->copy_atom_location_constraints(a.atom(), b.atom(), false, false));
  EXPECT_EQ(design->get_atom_location_constraint(b.id()), ca);
  EXPECT_TRUE(design->clear_existing_location_constraints());
  EXPECT_TRUE(design->get_atom_location_constraint(a.id()).is_empty());
  EXPECT_TRUE(design->load_atom_information_which_requires_basic_information_load());
  EXPECT_EQ(design->get_atom_location_constraint(a.id()), ca);
  EXPECT_EQ(design->get_atom_location_constraint(b.id()), cb);
  EXPECT_THAT(host::call_names(), ::testing::Contains("WEXAN_DESIGN::copy_atom_location_constraints"));
}
