// An atom's name, owned or borrowed, and the log of layout changes that
// indexes of the design read instead of reading the design again.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "omz/omz_instance_name.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "vok/vok_atom_netlist.h"

namespace {

class AtomNamesAndLayoutLogTest : public host::testing::HostTest {};

// A borrowed name stays its owner's: the borrowing atom never renames it,
// and a later name of its own, borrowed again or given up, leaves the
// owner's name as it was.
TEST_F(AtomNamesAndLayoutLogTest, AnAtomNeverChangesOrFreesANameItBorrows) {
  auto b = host::testing::netlist();
  auto clk = b.input_port("clk");
  auto d = b.input_port("d");
  VOK_ATOM_NODE* r0 = b.reg("r0").clk(clk).d(d).atom();
  VOK_ATOM_NODE* r1 = b.reg("r1").clk(clk).d(r0).atom();
  auto box_name = std::make_unique<OMZ_INSTANCE_NAME>("part|box");
  auto other_name = std::make_unique<OMZ_INSTANCE_NAME>("part|other");

  r0->set_shared_name(box_name.get());
  r1->set_shared_name(box_name.get());
  EXPECT_EQ(r0->get_instance_name(), box_name.get());
  EXPECT_EQ(r0->get_string_hpath(), "part|box");

  // Renaming a borrower gives it a name of its own.
  r0->set_name("r0_own");
  EXPECT_EQ(r0->get_string_hpath(), "r0_own");
  EXPECT_NE(r0->get_instance_name(), box_name.get());
  EXPECT_EQ(box_name->path(), "part|box");
  EXPECT_EQ(r1->get_string_hpath(), "part|box");
  // Renamed again, the atom's own name changes in place.
  const OMZ_INSTANCE_NAME* own = r0->get_instance_name();
  r0->set_name("r0_again");
  EXPECT_EQ(r0->get_instance_name(), own);
  EXPECT_EQ(r0->get_string_hpath(), "r0_again");

  // Borrowing another name and renaming: neither borrowed name changes.
  r1->set_shared_name(other_name.get());
  EXPECT_EQ(r1->get_string_hpath(), "part|other");
  r1->set_name("r1_own");
  EXPECT_EQ(other_name->path(), "part|other");
  EXPECT_EQ(box_name->path(), "part|box");
  EXPECT_EQ(r1->get_string_hpath(), "r1_own");

  // An atom that borrows a name when the netlist goes leaves it alive.
  r0->set_shared_name(box_name.get());
  r1->set_shared_name(box_name.get());
  b.get_netlist()->remove(r1);
  EXPECT_EQ(box_name->path(), "part|box");
  EXPECT_EQ(r0->get_string_hpath(), "part|box");
}

// A reader of the layout log learns every change since its position, in
// order, or learns that it must read the design afresh: never a list with
// changes missing, however many were logged.
TEST_F(AtomNamesAndLayoutLogTest, TheLayoutLogNeverDropsChangesSilently) {
  auto b = host::testing::netlist();
  VOK_ATOM_NODE* a = b.input_port("a").oterm->get_my_node();
  VOK_ATOM_NODE* z = b.input_port("z").oterm->get_my_node();
  std::uint64_t epoch = 0, seq = 0;

  // A few changes: read back in order; reading again gives nothing new.
  host::vok::layout_now(&epoch, &seq);
  host::vok::note_atom_layout_changed(a);
  host::vok::note_atom_layout_changed(z, true);
  std::vector<host::vok::LAYOUT_CHANGE> out;
  std::uint64_t at = seq;
  ASSERT_TRUE(host::vok::layout_changes_since(epoch, &at, &out));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].atom, a);
  EXPECT_FALSE(out[0].gone);
  EXPECT_EQ(out[1].atom, z);
  EXPECT_TRUE(out[1].gone);
  EXPECT_EQ(at, seq + 2);
  out.clear();
  ASSERT_TRUE(host::vok::layout_changes_since(epoch, &at, &out));
  EXPECT_TRUE(out.empty());
  // A position past the log's end, or of another epoch, is no position.
  std::uint64_t ahead = at + 1;
  EXPECT_FALSE(host::vok::layout_changes_since(epoch, &ahead, &out));
  std::uint64_t same = at;
  EXPECT_FALSE(host::vok::layout_changes_since(epoch + 1, &same, &out));

  // A change of the whole moves the epoch: an old reader reads afresh.
  host::vok::note_layout_changed();
  at = seq;
  EXPECT_FALSE(host::vok::layout_changes_since(epoch, &at, &out));

  // A full log: many more changes than it keeps, the last one by z.
  host::vok::layout_now(&epoch, &seq);
  for (int i = 0; i < 20000; ++i) host::vok::note_atom_layout_changed(a);
  host::vok::note_atom_layout_changed(z, true);
  out.clear();
  at = seq;
  if (host::vok::layout_changes_since(epoch, &at, &out)) {
    ASSERT_EQ(out.size(), 20001u);
    EXPECT_EQ(out.back().atom, z);
  }
  // The reader starting afresh at the log's current position sees the next
  // change.
  host::vok::layout_now(&epoch, &seq);
  host::vok::note_atom_layout_changed(z);
  out.clear();
  at = seq;
  ASSERT_TRUE(host::vok::layout_changes_since(epoch, &at, &out));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].atom, z);
}

// A destroyed atom is logged as gone.
TEST_F(AtomNamesAndLayoutLogTest, ADestroyedAtomIsLoggedAsGone) {
  auto b = host::testing::netlist();
  VOK_ATOM_NODE* r = b.reg("r").clk(b.input_port("clk")).d(b.input_port("d")).atom();
  std::uint64_t epoch = 0, seq = 0;
  host::vok::layout_now(&epoch, &seq);
  b.get_netlist()->remove(r);
  std::vector<host::vok::LAYOUT_CHANGE> out;
  ASSERT_TRUE(host::vok::layout_changes_since(epoch, &seq, &out));
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back().atom, r);
  EXPECT_TRUE(out.back().gone);
}

// Placing at the illegal gid, or with element 0, unplaces; unplacing also
// forgets the analytic position.
TEST_F(AtomNamesAndLayoutLogTest, AnIllegalPlaceUnplacesAndForgetsTheAnalyticPosition) {
  auto b = host::testing::netlist();
  VOK_ATOM_NODE* r = b.reg("r").clk(b.input_port("clk")).d(b.input_port("d")).atom();
  for (const auto [gid, element] : {std::pair{0xFFFFFFFFu, 643}, std::pair{5u, 0}}) {
    r->set_location(5, 643);
    r->set_analytic_xy(1.5f, 2.5f);
    ASSERT_TRUE(r->is_placed());
    r->set_location(gid, element);
    EXPECT_FALSE(r->is_placed()) << gid << " " << element;
    EXPECT_EQ(r->get_location_gid(), 0xFFFFFFFFu);
    EXPECT_EQ(r->get_analytic_x(), -1.0f);
    EXPECT_EQ(r->get_analytic_y(), -1.0f);
  }
}

// An atom has one input term per type and index: a second is refused.
TEST_F(AtomNamesAndLayoutLogTest, ASecondInputTermOfOneTypeAndIndexIsRefused) {
  auto b = host::testing::netlist();
  VOK_ATOM_NODE* r = b.reg("r").clk(b.input_port("clk")).d(b.input_port("d")).atom();
  ASSERT_NE(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), nullptr);
  EXPECT_EQ(host::testing::expect_internal_error([&] { r->add_input_term(DB_INPUT_PORT_DATA_IN, 0); }).condition,
            "!get_input_term_by_type(type, index)");
  VOK_ATOM_ITERM* second = r->add_input_term(DB_INPUT_PORT_DATA_IN, 1);
  EXPECT_EQ(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1), second);
}

// A pad is an input when it drives its input buffer and an output when an
// output buffer drives it.
TEST_F(AtomNamesAndLayoutLogTest, APadsDirectionFollowsItsBuffers) {
  auto b = host::testing::netlist();
  auto in = b.io_in("i");
  b.io_out("o", in);
  int pads = 0;
  for (VOK_ATOM_NODE* a : b.get_netlist()->get_atom_list()) {
    if (!a->is_io_pad()) continue;
    ++pads;
    const bool drives = a->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0) != nullptr;
    const bool driven = a->get_input_term_by_type(DB_INPUT_PORT_BOX, 0) != nullptr;
    EXPECT_EQ(a->is_input(), drives) << a->get_string_hpath();
    EXPECT_EQ(a->is_output(), driven) << a->get_string_hpath();
    EXPECT_NE(drives, driven) << a->get_string_hpath();
  }
  EXPECT_EQ(pads, 2);
}

// A child netlist given to another box leaves the box that held it.
TEST_F(AtomNamesAndLayoutLogTest, AChildNetlistMovesFromBoxToBox) {
  auto first = std::make_unique<VOK_ATOM_BLACKBOX>();
  auto second = std::make_unique<VOK_ATOM_BLACKBOX>();
  auto child = std::make_unique<VOK_ATOM_NETLIST>();
  first->set_child_netlist(child.get(), false);
  EXPECT_EQ(child->get_parent_box(), first.get());
  second->set_child_netlist(child.get(), false);
  EXPECT_EQ(child->get_parent_box(), second.get());
  EXPECT_EQ(first->get_child_netlist(), nullptr);
  EXPECT_EQ(second->get_child_netlist(), child.get());
  second.reset();
  EXPECT_EQ(child->get_parent_box(), nullptr);
}

}  // namespace
