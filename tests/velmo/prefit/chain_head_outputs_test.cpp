// A carry-chain head needs a chain to lead: an output that exists but drives
// nothing does not make a cell the start of one.
#include "common/host_script.h"
#include "expert_fixture.h"
#include "testing/netlist_builder.h"
#include "velmo_chain_loc_propagate_op.h"
#include "wexan/wexan_env.h"

using velmo_test::ExpertTest;

namespace {
constexpr auto kSharedOut = static_cast<DB_OUTPUT_PORT_TYPE>(252);

class ChainHeadOutputsTest : public ExpertTest {};
}  // namespace

TEST_F(ChainHeadOutputsTest, OutputsWithoutLoadsLeadNoChain) {
  auto n = host::testing::netlist();
  // A one-cell chain: its carry-out term exists but has no load.
  auto lone = n.carry_chain("lone", 1);
  // The same with an unloaded shared output as well.
  auto lone_shared = n.carry_chain("lone_shared", 1);
  lone_shared.head()->add_output_term(kSharedOut, 0);
  // An unloaded carry-out beside a loaded shared output: the shared output
  // leads the chain.
  auto via_shared = n.carry_chain("via_shared", 1);
  via_shared.head()->add_output_term(kSharedOut, 0);
  auto next = n.lut("next", {via_shared.head().out(kSharedOut)}, 0x1ull);
  start();

  VELMO_CHAIN_LOC_PROPAGATE_OP op(WEXAN_ENV::get_env());
  EXPECT_FALSE(op.carry_chain_is_head(lone.head()));
  EXPECT_EQ(op.carry_chain_get_next_atom(lone.head()), nullptr);
  EXPECT_FALSE(op.carry_chain_is_head(lone_shared.head()));
  EXPECT_EQ(op.carry_chain_get_next_atom(lone_shared.head()), nullptr);
  EXPECT_TRUE(op.carry_chain_is_head(via_shared.head()));
  EXPECT_EQ(op.carry_chain_get_next_atom(via_shared.head()), next.atom());
}
