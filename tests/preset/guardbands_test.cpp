// Guardbands the component reads when it is loaded (this executable's preset
// file): time-borrowing pulse values at the ends of int, and periphery-core
// windows whose two relative guardbands differ.
#include <climits>
#include <utility>

#include "../velmo/tbff/tbff_fixture.h"
#include "kem/kem_manager.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_periphery_to_core_placement.h"
#include "velmo_tbff_autoborrow.h"

struct VELMO_P2C_PLACEMENT_PEER {
  using P = VELMO_PERIPHERY_CORE_PLACEMENT;
  static auto& setup(P& p) { return p.m_nodes_repuired_p2c_max_delay_map; }
  static auto& hold(P& p) { return p.m_nodes_repuired_p2c_min_delay_map; }
  static auto& windows(P& p) { return p.m_p2c_slack_window_map; }
};
using PEER = VELMO_P2C_PLACEMENT_PEER;

namespace {

using tbff_test::TbffTest;

// Guardbands of INT_MAX percent: each pulse value is computed in 64 bits;
// one beyond int is held at its end, not wrapped.
TEST_F(TbffTest, PulseValuesBeyondIntStopAtItsEnds) {
  build({3}, {DeviceCorner{1, DeviceCorner::SLOW, 900, -40, false}, DeviceCorner{1, DeviceCorner::FAST, 900, 100, false}});
  TBFF_OPTIMIZATION_KY ky(m_env);
  ASSERT_TRUE(ky.prerequisites_met());
  KEM_CORNER_MANAGER* cm = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
  KEM_CORNER* named = cm->get_internal_corner(KEM_TIMING_MODEL(1, 0, 900, -40));
  KEM_CORNER* hot = cm->get_internal_corner(KEM_TIMING_MODEL(1, 1, 900, 100));
  ASSERT_NE(named, nullptr);
  ASSERT_NE(hot, nullptr);
  auto& values = const_cast<TBFF_OPTIMIZATION_KY::PULSE_VALUES&>(ky.pulse_values());
  using T = TBFF_OPTIMIZATION_KY;
  // Raw (112, 149): both ends beyond int.
  EXPECT_EQ(values[named][T::TBFF_TYPE_PMUX][HOV_PULSE_WIDTH_0], std::make_pair(INT_MIN, INT_MAX));
  // Raw (107, 117) likewise.
  EXPECT_EQ(values[hot][T::TBFF_TYPE_LAB_CLOCK][HOV_PULSE_WIDTH_2], std::make_pair(INT_MIN, INT_MAX));
  // Raw (67, 92): (100 - INT_MAX) x 67 / 100 and ((100 + INT_MAX) x 92 + 99)
  // / 100 are both within int and kept as they are.
  EXPECT_EQ(values[hot][T::TBFF_TYPE_PMUX][HOV_PULSE_WIDTH_0], std::make_pair(-1438813976, 1975685048));
}

class P2cGuardbandTest : public host::testing::EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(host::testing::Family::KX).build();
  }
};

// 20 % onto the largest hold violation, 5 % off the smallest setup slack,
// each then with the absolute 150 ps.
TEST_F(P2cGuardbandTest, EachEndOfAWindowTakesItsOwnRelativeGuardband) {
  VELMO_PERIPHERY_CORE_PLACEMENT p(m_env);
  PEER::setup(p)[{1, 2}] = 1000;
  PEER::hold(p)[{1, 2}] = 200;
  p.organize_p2c_window();
  const auto* w = PEER::windows(p).lookup({1, 2});
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(*w, std::make_pair(390, 800));
}

}  // namespace
