// The per-corner slacks of the automatic delay-chain pass: right-edge pads,
// the annotated corner given back after a corner's analysis, setting changes
// on a part with three corners, and override lines with more than six fields.
#include <fstream>
#include <string>

#include "auto_delay_chain_search_fixture.h"
#include "kem/kem_timing_model.h"
#include "tibex/tibex_location_constraint.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"

using namespace adc_search_testing;

namespace {

// The search's scene serves: the pass's slacks are what the search reads.
class AutoDelayChainSlackRulesTest : public AutoDelayChainSearchTest {};

// A pad on the right edge is horizontal, whether the pin is placed on it
// or locked to it.
TEST_F(AutoDelayChainSlackRulesTest, RightEdgePadsAreHorizontal) {
  design();
  PASS pass(m_env, owner.get());
  const int nx = m_env->get_device()->get_nx();
  TIBEX_LOCATION_CONSTRAINT exact;
  exact.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(nx - 1, 3, 1), 0x80);
  m_env->get_design()->set_atom_location_constraint(sc.din->get_id(), exact);
  EXPECT_TRUE(pass.is_horizontal_pad(sc.din)) << "locked to a right pad";
  TIBEX_LOCATION_CONSTRAINT inner;
  inner.add_locked(TIBEX_LOCKED_CONSTRAINT::box(1, 0, nx - 2, 3), 0x80);
  m_env->get_design()->set_atom_location_constraint(sc.din->get_id(), inner);
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(nx - 1, 3, 1, sc.din->get_id()));
  EXPECT_TRUE(pass.is_horizontal_pad(sc.din)) << "placed on a right pad";
}

// A corner's analysis leaves the corner that was annotated before it
// annotated, whichever that was.
TEST_F(AutoDelayChainSlackRulesTest, ACornersAnalysisGivesBackTheAnnotatedCorner) {
  design();
  PASS pass(m_env, owner.get());
  const std::vector<KEM_TIMING_MODEL> models = KEM_TIMING_MODEL::get_list_of_timing_models(0);
  ASSERT_EQ(models.size(), 2u);
  const KEM_CORNER_MANAGER* corners = hov_get_accessories()->get_kem_netlist()->get_corner_manager();
  for (std::size_t before : {1u, 0u}) {
    hov->switch_annotated_timing_model(m_env, models[before]);
    for (int c : {0, 1}) {
      pass.perform_timing_corner_analysis(ZEL_TIMING_MODEL_SLOW, c, hov, hov_get_accessories(), true,
                                          VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
      EXPECT_EQ(corners->get_current_corner(), models[before]) << before << " " << c;
    }
  }
}

// On a part with three corners a setting change moves each corner's setup
// slot by the setup delays and its hold slot by the hold delays, and no
// slot by the other kind's.
TEST_F(AutoDelayChainSlackRulesTest, ThreeCornersMoveEachKindByItsOwnDelays) {
  design({DeviceCorner{1, 0, 900, 100, false}, DeviceCorner{1, 1, 900, -40, false},
          DeviceCorner{1, 0, 850, 85, false}});
  PASS pass(m_env, owner.get());
  pass.init_yeb_cell_delays();
  pass.build_auto_delay_chain_vec_new();
  OPTIMIZATION_ELEMENT e;
  e.atom = sc.din;
  e.delay_chain_type = T(446);
  KEM_EDGE_SLACK_INFO r;
  for (int k = 0; k < 2; ++k)
    for (int c = 0; c < 3; ++c) r.slack[k][c] = 1000 * (k + 1) + 10 * c;
  r.slack[1][2] = NO;
  e.pos_edges.push_back(&r);
  r.opt_elements.emplace_back(&e, -1);
  pass.update_slack_info_for_optimization_group(&e, 0, 5);
  for (int c = 0; c < 3; ++c) {
    const int dsu = pass.get_dmf_value(T(446), 5, sc.din, 0, c) - pass.get_dmf_value(T(446), 0, sc.din, 0, c);
    const int dh = pass.get_dmf_value(T(446), 5, sc.din, 1, c) - pass.get_dmf_value(T(446), 0, sc.din, 1, c);
    EXPECT_NE(dsu, 0) << c;
    EXPECT_EQ(r.slack[0][c], 1000 + 10 * c - dsu) << c;
    if (c < 2) {
      EXPECT_NE(dh, 0) << c;
      EXPECT_EQ(r.slack[1][c], 2000 + 10 * c + dh) << c;
    }
  }
  EXPECT_EQ(r.slack[1][2], NO) << "an empty slot stays empty";
  EXPECT_EQ(e.wc_slack[0], std::min({r.slack[0][0], r.slack[0][1], r.slack[0][2]}));
}

// An override line is read up to its sixth field: what follows does not
// keep it from matching.
TEST_F(AutoDelayChainSlackRulesTest, OverrideLinesAreReadUpToTheirSixthField) {
  design();
  cfg_set_on("velmo_auto_dc_slack_file");
  PASS pass(m_env, owner.get());
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  KEM_EDGE* e =
      kem->get_edge(kem->get_kem_node_from_iterm(sc.ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->begin_fanin());
  std::ofstream("velmo_auto_dc.in") << "din ireg 11 12 13 14 15 and more\n";
  EXPECT_EQ(pass.get_wc_slack_of_edge(e, 0, 0, T(446), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN), 11);
  EXPECT_EQ(pass.get_wc_slack_of_edge(e, 1, 1, T(446), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN), 14);
  std::remove("velmo_auto_dc.in");
}

}  // namespace
