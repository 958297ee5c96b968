// The hold slack the time-borrowing optimiser reads for a register: at each
// corner the worst of the register's hold checks, whichever input it
// belongs to and in whichever order the checks come.
#include <algorithm>
#include <limits>
#include <map>

#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "tbff_fixture.h"
#include "velmo_tbff_autoborrow.h"

namespace {

using KY = TBFF_OPTIMIZATION_KY;

class TbffHoldMeasureTest : public tbff_test::TbffTest {
protected:
  // The hold slack of the check edge into the register's keeper from its
  // input of `port`, per loaded corner.
  static std::map<int, int> check_slacks(const VOK_ATOM_NODE* reg, const KEM_NODE* keeper, DB_INPUT_PORT_TYPE port) {
    const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
    std::map<int, int> out;
    for (int e = keeper->begin_fanin(); e >= 0; e = kem->get_edge(e)->get_next_fanin()) {
      const KEM_EDGE* edge = kem->get_edge(e);
      if (edge->get_kind() == KEM_EDGE_INTERCONNECT) continue;
      const KEM_NODE* pin = edge->get_src_node();
      const VOK_ATOM_ITERM* t = pin->get_iterm();
      if (t == nullptr || t != reg->get_input_term_by_type(port, 0)) continue;
      for (int c = 0; c < kem->get_corner_manager()->get_corner_count(); ++c)
        out[c] = host::sta::edge_hold_slack(e, c);
    }
    return out;
  }
};

// The pipeline register's data input and its clock enable, both fed by the
// launching register, are two hold checks at each corner; whichever of the
// two is delayed, the register's slack is the other one's, the worse.
TEST_F(TbffHoldMeasureTest, ARegistersSlackAtACornerIsItsWorstCheck) {
  m_enable_from_launch = true;
  build({3});
  KY ky(m_env);
  ky.find_all_interested_regs();
  ASSERT_EQ(ky.pmux_groups().size(), 1u);
  KY::TBFF_REGISTER_INFO& info = ky.pmux_groups().begin().value()[0];
  VOK_ATOM_NODE* p = m_regs[0];
  for (const DB_INPUT_PORT_TYPE delayed : {DB_INPUT_PORT_ENA, DB_INPUT_PORT_DATA_IN}) {
    SCOPED_TRACE(delayed == DB_INPUT_PORT_ENA ? "enable delayed" : "data delayed");
    const DB_INPUT_PORT_TYPE other = delayed == DB_INPUT_PORT_ENA ? DB_INPUT_PORT_DATA_IN : DB_INPUT_PORT_ENA;
    // Both inputs put back to their routing, then one made 300 ps slower.
    const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
    const int routed = kem->get_edge_delay_ps(*kem->get_ic_edge_to_iterm(p->get_input_term_by_type(delayed, 0)), -1);
    const int other_routed = kem->get_edge_delay_ps(*kem->get_ic_edge_to_iterm(p->get_input_term_by_type(other, 0)), -1);
    host::hov::utility()->annotate_delays_of_connection(p, other, 0, other_routed, other_routed);
    host::hov::utility()->annotate_delays_of_connection(p, delayed, 0, other_routed + 300, other_routed + 300);
    (void)routed;
    ky.analyse_hold_on_all_corners();
    const std::map<int, int> worse = check_slacks(p, info.node, other), better = check_slacks(p, info.node, delayed);
    ASSERT_FALSE(worse.empty());
    ASSERT_EQ(worse.size(), better.size());
    ZMP_HASH_LITE<KEM_CORNER*, int> measured;
    ky.measure_hold_slack(info, &measured);
    KEM_CORNER_MANAGER* cm = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
    for (const auto& [c, slack] : worse) {
      ASSERT_LT(slack, better.at(c)) << "corner " << c;
      const auto found = measured.find(cm->get_corner_by_id(c));
      ASSERT_NE(found, measured.end()) << "corner " << c;
      EXPECT_EQ(found.value(), slack) << "corner " << c;
    }
  }
}

}  // namespace
