// The pulse-value table's fallback blocks: corners whose names have no
// block of their own take the cold or the hot block by temperature, every
// entry of it, with the default guardbands (3 % off the low value, 1 % onto
// the high one, rounded up).
#include <utility>
#include <vector>

#include "kem/kem_manager.h"
#include "kem/kem_timing_model.h"
#include "tbff_fixture.h"
#include "velmo_tbff_autoborrow.h"

namespace {

using tbff_test::TbffTest;

TEST_F(TbffTest, UnnamedCornersTakeEveryEntryOfTheColdOrHotBlock) {
  const int cold[6][2] = {{75, 98}, {96, 119}, {107, 130}, {86, 94}, {107, 116}, {118, 126}};
  const int hot[6][2] = {{67, 92}, {86, 111}, {96, 121}, {78, 88}, {97, 106}, {107, 117}};
  const std::vector<DeviceCorner> fast = {DeviceCorner{1, DeviceCorner::FAST, 900, -40, false},
                                          DeviceCorner{1, DeviceCorner::FAST, 900, 0, false},
                                          DeviceCorner{1, DeviceCorner::FAST, 900, 100, false},
                                          DeviceCorner{1, DeviceCorner::FAST, 900, 110, false}};
  std::vector<DeviceCorner> corners = {DeviceCorner::slow()};
  corners.insert(corners.end(), fast.begin(), fast.end());
  build({3}, corners);
  TBFF_OPTIMIZATION_KY ky(m_env);
  ASSERT_TRUE(ky.prerequisites_met());
  KEM_CORNER_MANAGER* cm = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
  auto& values = const_cast<TBFF_OPTIMIZATION_KY::PULSE_VALUES&>(ky.pulse_values());
  using T = TBFF_OPTIMIZATION_KY;
  for (const DeviceCorner& c : fast) {
    KEM_CORNER* corner = cm->get_internal_corner(KEM_TIMING_MODEL::from_corner(c));
    ASSERT_NE(corner, nullptr);
    const int(*block)[2] = c.celsius <= 0 ? cold : hot;
    for (int type = 0; type < 2; ++type)
      for (int level = 0; level < 3; ++level) {
        const int* raw = block[type * 3 + level];
        EXPECT_EQ(values[corner][static_cast<T::TBFF_TYPE>(type)][static_cast<HOV_PULSE_WIDTH_ENUM>(level)],
                  std::make_pair(97 * raw[0] / 100, (101 * raw[1] + 99) / 100))
            << c.celsius << " C type " << type << " level " << level;
      }
  }
}

}  // namespace
