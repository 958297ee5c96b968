// The automatic delay-chain pass's writers and readers of one chain on one
// pin: PLL chains are time values of their own, never user-assigned; the
// pad side of a pin comes only from its placement or a located user lock.
#include <string>

#include "auto_delay_chain_search_fixture.h"
#include "tibex/tibex_location_constraint.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"

using namespace adc_search_testing;

namespace {

class AutoDelayChainWriterRulesTest : public AutoDelayChainSearchTest {};

// A PLL chain's setting is the pin's time value of the chain: writing it
// touches no chain parameter and marks nothing changed, and a write the
// host refuses fails, even one of the value the parameter already holds.
TEST_F(AutoDelayChainWriterRulesTest, PllChainsAreWrittenOnlyAsTheirTimeValue) {
  design();
  PASS pass(m_env, owner.get());
  YOS_INTERFACE* yos = yos_current_interface();
  HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
  for (int type : {414, 417}) {
    taints->clear_tainted_atom_ids();
    EXPECT_TRUE(pass.set_delay_chain(sc.din, T(type), 5)) << type;
    EXPECT_EQ(pass.get_delay_chain_setting(sc.din, T(type)), 5u) << type;
    long long time = -1;
    ASSERT_TRUE(yos->get_time_data(sc.din, static_cast<YOS_TIME_DATA_ENUM>(type), &time)) << type;
    EXPECT_EQ(time, 5) << type;
    unsigned v = 0;
    EXPECT_FALSE(yos->get_uint_data(sc.din, T(type), &v) && v != 0) << type << ": the chain parameter stays unset";
    EXPECT_EQ(taints->get_num_tainted_atoms(), 0) << type;
  }
  host::dc::fail_writes(sc.din->get_id(), 415);
  EXPECT_FALSE(pass.set_delay_chain(sc.din, T(415), 0)) << "a refused write of the parameter's present value";
  EXPECT_FALSE(pass.set_delay_chain(sc.din, T(415), 6));
  EXPECT_EQ(pass.get_delay_chain_setting(sc.din, T(415)), 0u);
  EXPECT_TRUE(pass.set_delay_chain(sc.din, T(414), 2)) << "another chain of the pin is written";
  EXPECT_EQ(pass.get_delay_chain_setting(sc.din, T(414)), 2u);
}

// A pin's own option for a chain makes the chain user-assigned; an option
// named after a PLL chain never does.
TEST_F(AutoDelayChainWriterRulesTest, PllChainsNeverCountAsUserAssigned) {
  design();
  PASS pass(m_env, owner.get());
  EXPECT_FALSE(pass.has_user_option(sc.din, T(446)));
  host::options::set(host::dc::moz_variable_of(446), 4, "2", "din");
  EXPECT_TRUE(pass.has_user_option(sc.din, T(446)));
  EXPECT_FALSE(pass.has_user_option(sc.dout, T(446))) << "another pin's option";
  for (int type : {414, 415, 416, 417}) {
    host::options::set(host::dc::moz_variable_of(type), 4, "2", "din");
    EXPECT_FALSE(pass.has_user_option(sc.din, T(type))) << type;
  }
}

// The pad side of an unplaced pin comes from a user lock with a location:
// a lock that names none, or a lock from another source, says nothing.
TEST_F(AutoDelayChainWriterRulesTest, OnlyALocatedUserLockGivesAnUnplacedPinsPadSide) {
  design();
  PASS pass(m_env, owner.get());
  auto lock = [&](const TIBEX_LOCKED_CONSTRAINT& c, unsigned sources) {
    TIBEX_LOCATION_CONSTRAINT lc;
    lc.add_locked(c, sources);
    m_env->get_design()->set_atom_location_constraint(sc.din->get_id(), lc);
  };
  lock(TIBEX_LOCKED_CONSTRAINT::box(0, 0, 2, 3), 0x80);
  ASSERT_TRUE(pass.is_horizontal_pad(sc.din)) << "a user lock on the left edge";
  lock(TIBEX_LOCKED_CONSTRAINT(), 0x80);
  EXPECT_FALSE(pass.is_horizontal_pad(sc.din)) << "a user lock without a location";
  lock(TIBEX_LOCKED_CONSTRAINT::box(0, 0, 2, 3), 0x40);
  EXPECT_FALSE(pass.is_horizontal_pad(sc.din)) << "a lock of another source";
}

}  // namespace

namespace {

class AutoDelayChainWriterFamilyTest : public host::testing::EnvTest {};

// A coarse chain with a fine companion: a refused coarse write fails the
// setting and leaves the fine chain alone.
TEST_F(AutoDelayChainWriterFamilyTest, ARefusedCoarseWriteFailsTheCombinedSetting) {
  host::testing::device(Family::code(7)).build();
  auto n = host::testing::netlist();
  n.lut("core", {n.io_in("din")}, 0x2);
  VOK_ATOM_NODE* din = n.find("din");
  VELMO_DELAY_CHAIN_OP owner(m_env);
  PASS pass(m_env, &owner);
  host::dc::fail_writes(din->get_id(), 144);
  EXPECT_FALSE(pass.set_best_delay_chain_setting(din, T(144), 7));
  unsigned v = 0;
  EXPECT_FALSE(yos_current_interface()->get_uint_data(din, T(300), &v) && v != 0) << "the fine chain stays unset";
}

// A family without the I/O atom utility uses none of the pin chains it
// would answer for.
TEST_F(AutoDelayChainWriterFamilyTest, WithoutTheIoAtomUtilityNoPinChainIsUsed) {
  for (int family : {48, 15}) {
    host::testing::device(Family::code(family)).build();
    auto n = host::testing::netlist();
    const std::string pin = "din" + std::to_string(family);
    n.lut("core" + std::to_string(family), {n.io_in(pin.c_str())}, 0x2);
    VELMO_DELAY_CHAIN_OP owner(m_env);
    PASS pass(m_env, &owner);
    for (int type : {430, 431, 446, 448})
      EXPECT_FALSE(pass.is_delay_chain_used(T(type), n.find(pin.c_str()), false)) << family << " " << type;
  }
}

}  // namespace
