// The per-corner slacks' edges: pins at locations without a pad, a corner's
// analysis before any timing netlist exists, signed override values and the
// override file's longest line.
#include <cstdio>
#include <fstream>
#include <string>

#include "auto_delay_chain_search_fixture.h"
#include "kem/kem_manager.h"
#include "testing/host_test.h"
#include "tibex/tibex_placer.h"
#include "wump/wump_die_info.h"
#include "tibex/tibex_location_constraint.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"

using namespace adc_search_testing;

namespace {

class AutoDelayChainSlackEdgesTest : public AutoDelayChainSearchTest {
protected:
  KEM_EDGE* din_edge() {
    KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
    return kem->get_edge(
        kem->get_kem_node_from_iterm(sc.ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->begin_fanin());
  }
};

// A pin locked exactly to a location without a pad is not horizontal; one
// placed at a location without a pad is an internal error, not a read
// through a missing pad.
TEST_F(AutoDelayChainSlackEdgesTest, LocationsWithoutAPad) {
  design();
  PASS pass(m_env, owner.get());
  const int x = m_env->get_device()->get_nx() / 2, y = m_env->get_device()->get_ny() / 2;
  ASSERT_EQ(m_env->get_device()->get_pad_from_location(x, y, 1), nullptr);
  TIBEX_LOCATION_CONSTRAINT exact;
  exact.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(x, y, 1), 0x80);
  m_env->get_design()->set_atom_location_constraint(sc.din->get_id(), exact);
  EXPECT_FALSE(pass.is_horizontal_pad(sc.din));

  const unsigned inner = host::device::die_info()->get_place_info()->get_grid().site_gid(x, y, 0);
  ASSERT_NE(inner, DEV_GRID::ILLEGAL_GID);
  ASSERT_TRUE(host::placement::write_location(sc.din, inner));
  const auto e = host::testing::expect_internal_error([&] { pass.is_horizontal_pad(sc.din); });
  EXPECT_EQ(e.condition, "pad != 0");
}

// Without a timing netlist there is no annotated corner to switch: the
// corner's analysis runs all the same, and there is nothing to give back.
TEST_F(AutoDelayChainSlackEdgesTest, CornerAnalysisWithoutATimingNetlist) {
  design();
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  ASSERT_EQ(hov_get_accessories()->get_kem_netlist(), nullptr);
  PASS pass(m_env, owner.get());
  pass.perform_timing_corner_analysis(ZEL_TIMING_MODEL_SLOW, 0, hov, hov_get_accessories(), true,
                                      VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
  EXPECT_EQ(hov_get_accessories()->get_kem_netlist(), nullptr);
}

// Override values carry an optional sign; a line of 1024 characters is
// too long: it is read up to its 1023rd character and ends the scan.
TEST_F(AutoDelayChainSlackEdgesTest, OverrideSignsAndTheLongestLine) {
  design();
  cfg_set_on("velmo_auto_dc_slack_file");
  PASS pass(m_env, owner.get());
  KEM_EDGE* e = din_edge();
  const std::int32_t own = e->get_slack();
  auto slack = [&](int i, int j) {
    return pass.get_wc_slack_of_edge(e, i, j, T(446), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
  };
  std::ofstream("velmo_auto_dc.in") << "din ireg +5 -6 +0 7\n";
  EXPECT_EQ(slack(0, 0), 5);
  EXPECT_EQ(slack(0, 1), -6);
  EXPECT_EQ(slack(1, 0), 0);
  EXPECT_EQ(slack(1, 1), 7);

  const std::string comment_1024 = "-" + std::string(1023, 'c');
  std::ofstream("velmo_auto_dc.in") << comment_1024 << "\ndin ireg 1 2 3 4\n";
  EXPECT_EQ(slack(0, 0), own) << "the scan ends at a line of 1024 characters";
  std::ofstream("velmo_auto_dc.in") << comment_1024.substr(0, 1023) << "\ndin ireg 1 2 3 4\n";
  EXPECT_EQ(slack(0, 0), 1) << "a line of 1023 characters is not too long";
  // The 1024th character is cut: the last value loses its last digit.
  std::string at_limit = "din ireg 1 2 3 ";
  at_limit += std::string(1022 - at_limit.size(), ' ') + "45";
  ASSERT_EQ(at_limit.size(), 1024u);
  std::ofstream("velmo_auto_dc.in") << at_limit << "\n";
  EXPECT_EQ(slack(1, 1), 4);
  std::remove("velmo_auto_dc.in");
}

}  // namespace
