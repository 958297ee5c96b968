// Carry-chain heads and successors, and the propagation of a chain's
// location constraint along the chain.
#include "common/host_script.h"
#include "expert_fixture.h"
#include "gen/gen_profile.h"
#include "testing/netlist_builder.h"
#include "velmo_chain_loc_propagate_op.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"

using velmo_test::ExpertTest;

namespace {
constexpr auto kSharedIn = static_cast<DB_INPUT_PORT_TYPE>(273);
constexpr auto kSharedOut = static_cast<DB_OUTPUT_PORT_TYPE>(252);

class ChainPropagationTest : public ExpertTest {
protected:
  TIBEX_LOCKED_CONSTRAINT locked_of(VOK_ATOM_NODE* a) {
    return WEXAN_DESIGN::current()->get_atom_location_constraint(a->get_id()).get_locked_constraint(0x4000);
  }
};
}  // namespace

TEST_F(ChainPropagationTest, HeadsAndSuccessors) {
  auto n = host::testing::netlist();
  auto chain = n.carry_chain("add", 3);
  // A second chain whose head's carry-in is driven: never a head, whatever
  // its shared input says.
  auto fed = n.carry_chain("fed", 2);
  fed.head().input(DB_INPUT_PORT_CARRY_IN, 0, n.lut("src", {n.input_port("a")}, 0x1ull));
  fed.head().tie(kSharedIn, 0, true);
  // A head whose shared input is tied (connected, no source) is a head.
  auto tied = n.carry_chain("tied", 2);
  tied.head().tie(kSharedIn, 0, false);
  // So is one whose carry-in is tied; a driven shared input makes none.
  auto tied_carry = n.carry_chain("tied_carry", 2);
  tied_carry.head().tie(DB_INPUT_PORT_CARRY_IN, 0, true);
  auto shared_fed = n.carry_chain("shared_fed", 2);
  shared_fed.head().input(kSharedIn, 0, n.lut("shared_src", {n.input_port("b")}, 0x1ull));
  // A cell with fan-out on both outputs continues through the carry-out.
  auto both = n.carry_chain("both", 2);
  both.head()->add_output_term(kSharedOut, 0);
  auto other = n.lut("other", {both.head().out(kSharedOut)}, 0x1ull);
  // A cell driving only through the shared output.
  auto shared = n.carry_chain("shared", 1);
  shared.head()->add_output_term(kSharedOut, 0);
  auto next = n.lut("next", {shared.head().out(kSharedOut)}, 0x1ull);
  start();

  VELMO_CHAIN_LOC_PROPAGATE_OP op(WEXAN_ENV::get_env());
  EXPECT_TRUE(op.carry_chain_is_head(chain.cell(0)));
  EXPECT_FALSE(op.carry_chain_is_head(chain.cell(1)));
  EXPECT_FALSE(op.carry_chain_is_head(chain.cell(2)));  // no fan-out on either output
  EXPECT_EQ(op.carry_chain_get_next_atom(chain.cell(0)), chain.cell(1).atom());
  EXPECT_EQ(op.carry_chain_get_next_atom(chain.cell(2)), nullptr);
  EXPECT_FALSE(op.carry_chain_is_head(fed.head()));
  EXPECT_TRUE(op.carry_chain_is_head(tied.head()));
  EXPECT_TRUE(op.carry_chain_is_head(tied_carry.head()));
  EXPECT_FALSE(op.carry_chain_is_head(shared_fed.head()));
  EXPECT_EQ(op.carry_chain_get_next_atom(both.head()), both.cell(1).atom());
  EXPECT_NE(op.carry_chain_get_next_atom(both.head()), other.atom());
  EXPECT_TRUE(op.carry_chain_is_head(shared.head()));
  EXPECT_EQ(op.carry_chain_get_next_atom(shared.head()), next.atom());
  EXPECT_FALSE(op.carry_chain_is_head(n.find("src")));  // not an arithmetic chain member

  auto e = host::testing::expect_internal_error([&] { op.carry_chain_get_next_atom(nullptr); });
  EXPECT_EQ(e.condition, "atom != 0");
  EXPECT_EQ(e.file, "velmo_chain_loc_propagate_op");
}

TEST_F(ChainPropagationTest, AnExactAnchorPlacesTheWholeColumn) {
  auto n = host::testing::netlist();
  auto chain = n.carry_chain("add", 4);
  chain.cell(1).locked(3, 4, 54, 0x80);
  auto free_chain = n.carry_chain("free", 3);
  auto boxed = n.carry_chain("boxed", 2);
  boxed.cell(0).locked_box(1, 1, 5, 5);
  start();

  EXPECT_TRUE(VELMO_CHAIN_LOC_PROPAGATE_OP::propagate_constraints(WEXAN_ENV::get_env()));
  EXPECT_EQ(locked_of(chain.cell(0)), TIBEX_LOCKED_CONSTRAINT::exact(3, 4, 51));
  EXPECT_EQ(locked_of(chain.cell(2)), TIBEX_LOCKED_CONSTRAINT::exact(3, 4, 57));
  EXPECT_EQ(locked_of(chain.cell(3)), TIBEX_LOCKED_CONSTRAINT::exact(3, 5, 0));  // next row
  EXPECT_EQ(WEXAN_DESIGN::current()->get_atom_location_constraint(chain.cell(3).id()).get_sources(), 0x80u);
  for (int k = 0; k < 3; ++k)
    EXPECT_TRUE(WEXAN_DESIGN::current()->get_atom_location_constraint(free_chain.cell(k).id()).is_empty());
  EXPECT_EQ(locked_of(boxed.cell(1)), TIBEX_LOCKED_CONSTRAINT::box(1, 1, 5, 5));

  bool opened = false;
  for (const auto& ev : host::bins::events())
    if (ev.action == "open" && ev.name == "Propagate Chain Assignments") opened = true;
  EXPECT_TRUE(opened);
}

TEST_F(ChainPropagationTest, ConflictsAndRingsFail) {
  auto n = host::testing::netlist();
  auto chain = n.carry_chain("add", 3);
  chain.cell(0).locked(2, 2, 0);
  chain.cell(2).locked(2, 2, 9);  // the column puts it at 6
  start();
  EXPECT_FALSE(VELMO_CHAIN_LOC_PROPAGATE_OP::propagate_constraints(WEXAN_ENV::get_env()));
  EXPECT_EQ(locked_of(chain.cell(1)), TIBEX_LOCKED_CONSTRAINT::exact(2, 2, 3));
  EXPECT_EQ(count_calls("NOLT_CHAIN_LOC_PROPAGATE_OP::conflict"), 1);
}

TEST_F(ChainPropagationTest, ARingBehindAHeadEndsTheWalk) {
  auto n = host::testing::netlist();
  auto chain = n.carry_chain("add", 3);
  chain.cell(0).locked(2, 2, 0);
  // cell 2 feeds cell 1 again through the shared output and input.
  chain.cell(2)->add_output_term(kSharedOut, 0);
  chain.cell(1).input(kSharedIn, 0, chain.cell(2).out(kSharedOut));
  start();
  EXPECT_FALSE(VELMO_CHAIN_LOC_PROPAGATE_OP::propagate_constraints(WEXAN_ENV::get_env()));
  EXPECT_EQ(count_calls("NOLT_CHAIN_LOC_PROPAGATE_OP::ring"), 1);
}
