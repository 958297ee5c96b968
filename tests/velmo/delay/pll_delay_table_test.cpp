// The PLL measured-delay table and its op map.
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_pll_delay_chains_op.h"

using host::testing::Family;

namespace {

// The rows as the component compiles them (plain data, copied once).
struct RAW_ROW {
  std::uint32_t device;
  const char* delay_chain;
  const char* timing_corner;
  std::int32_t delay_ps;
};
constexpr RAW_ROW kRawRows[] = {
#include "velmo_pll_delay_chains_measured_data.inc"
};
const std::vector<VELMO_PLL_DELAY_CHAINS_OP_DATA_ENTRY> kRows = [] {
  std::vector<VELMO_PLL_DELAY_CHAINS_OP_DATA_ENTRY> rows;
  for (const RAW_ROW& r : kRawRows) rows.push_back({r.device, r.delay_chain, r.timing_corner, r.delay_ps});
  return rows;
}();

using KEY = std::tuple<unsigned, std::string, std::string>;
KEY key(const VELMO_PLL_DELAY_CHAINS_OP_DATA_ENTRY& r) { return {r.device, r.delay_chain, r.timing_corner}; }
const VELMO_PLL_DELAY_CHAINS_OP_DATA_ENTRY& row(int n) { return kRows.at(static_cast<std::size_t>(n - 1)); }

ZMP_HASH_LITE<std::string, int> op_map(int device, const std::string& chain) {
  return velmo_pll_delay_chains_create_op_map(static_cast<DEV_DEVICE_ENUM>(device), chain);
}
std::set<std::string> corners(const ZMP_HASH_LITE<std::string, int>& m) {
  std::set<std::string> out;
  for (auto it = m.begin(); it != m.end(); ++it) out.insert(it.key());
  return out;
}

class PllDelayTableTest : public host::testing::HostTest {};

TEST_F(PllDelayTableTest, RowsDevicesChainsAndRanges) {
  ASSERT_EQ(kRows.size(), 2592u);
  std::map<unsigned, int> rows, first;
  std::map<unsigned, std::set<std::string>> corners_of;
  std::map<std::string, int> per_chain;
  const std::map<std::string, std::pair<int, int>> range = {{"n_buf", {506, 1515}},  {"m_buf", {474, 1537}},
                                                            {"n_coarse", {140, 368}}, {"m_coarse", {136, 397}},
                                                            {"n_fine", {34, 91}},     {"m_fine", {34, 100}}};
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    const auto& r = kRows[i];
    if (rows[r.device]++ == 0) first[r.device] = static_cast<int>(i) + 1;
    corners_of[r.device].insert(r.timing_corner);
    ++per_chain[r.delay_chain];
    ASSERT_TRUE(range.count(r.delay_chain)) << r.delay_chain;
    EXPECT_GE(r.delay_ps, range.at(r.delay_chain).first) << i + 1;
    EXPECT_LE(r.delay_ps, range.at(r.delay_chain).second) << i + 1;
  }
  for (const auto& [chain, n] : per_chain) EXPECT_EQ(n, 432) << chain;
  const std::map<unsigned, std::tuple<int, int, std::size_t>> devices = {
      {597, {144, 1, 12}},    {629, {144, 25, 12}},   {611, {144, 49, 12}},   {620, {48, 97, 6}},
      {626, {168, 121, 14}},  {638, {144, 145, 12}},  {601, {24, 193, 4}},    {640, {24, 265, 4}},
      {623, {72, 385, 8}},    {608, {48, 673, 6}},    {624, {48, 961, 6}},    {523, {198, 1009, 33}},
      {557, {198, 1207, 33}}, {470, {198, 1405, 33}}, {466, {198, 1603, 33}}, {562, {198, 1801, 33}},
      {471, {198, 1999, 33}}, {472, {198, 2197, 33}}, {518, {198, 2395, 33}}};
  EXPECT_EQ(rows.size(), devices.size());
  for (const auto& [device, want] : devices) {
    EXPECT_EQ(rows[device], std::get<0>(want)) << device;
    EXPECT_EQ(first[device], std::get<1>(want)) << device;
    EXPECT_EQ(corners_of[device].size(), std::get<2>(want)) << device;
  }
  EXPECT_TRUE(corners_of[626].count("MIN_fast_900mv_125c") && corners_of[626].count("3_slow_900mv_125c"));
}

TEST_F(PllDelayTableTest, TellingRowsAndRepeatedKeys) {
  const std::vector<std::tuple<int, KEY, int>> telling = {
      {1, {597, "m_coarse", "MIN_fast_900mv_100c"}, 155},  {2, {597, "m_coarse", "MIN_fast_900mv_-40c"}, 142},
      {3, {597, "m_coarse", "3_slow_900mv_100c"}, 350},    {4, {597, "m_coarse", "3_slow_900mv_-40c"}, 397},
      {5, {597, "n_buf", "MIN_fast_900mv_100c"}, 666},     {1009, {523, "n_buf", "3_slow_900mv_100c"}, 1443},
      {1010, {523, "n_coarse", "3_slow_900mv_100c"}, 247}, {1011, {523, "n_fine", "3_slow_900mv_100c"}, 62},
      {1012, {523, "m_coarse", "3_slow_900mv_100c"}, 225}, {1013, {523, "m_fine", "3_slow_900mv_100c"}, 56},
      {1014, {523, "m_buf", "3_slow_900mv_100c"}, 1418},   {2587, {518, "n_buf", "2_slow_900mv_100c"}, 1222},
      {2592, {518, "m_buf", "2_slow_900mv_100c"}, 1211}};
  for (const auto& [n, k, ps] : telling) {
    EXPECT_EQ(key(row(n)), k) << n;
    EXPECT_EQ(row(n).delay_ps, ps) << n;
  }
  std::map<KEY, std::vector<int>> rows_of;
  for (std::size_t i = 0; i < kRows.size(); ++i) rows_of[key(kRows[i])].push_back(static_cast<int>(i) + 1);
  int repeated = 0, extra = 0, differing = 0;
  for (const auto& [k, rows] : rows_of) {
    if (rows.size() < 2) continue;
    EXPECT_LE(rows.back(), 1008);  // section B repeats nothing
    ++repeated;
    extra += static_cast<int>(rows.size()) - 1;
    bool differ = false;
    for (int r : rows) differ = differ || row(r).delay_ps != row(rows.front()).delay_ps;
    differing += differ;
  }
  EXPECT_EQ(repeated, 234);
  EXPECT_EQ(extra, 432);
  EXPECT_EQ(differing, 25);
  const KEY listed{611, "n_buf", "MIN_fast_900mv_100c"};
  EXPECT_EQ(rows_of[listed], (std::vector<int>{49, 78, 217, 437, 841, 918}));
  std::vector<int> values;
  for (int r : rows_of[listed]) values.push_back(row(r).delay_ps);
  EXPECT_EQ(values, (std::vector<int>{666, 667, 667, 666, 667, 667}));
}

TEST_F(PllDelayTableTest, OpMapTakesTheLastRowOfTheDevice) {
  host::testing::device(Family::KY).build();
  const auto m = op_map(611, "n_buf");
  EXPECT_EQ(m.size(), 12u);
  EXPECT_EQ(*m.lookup("MIN_fast_900mv_100c"), 667);
  for (const char* chain : {"n_buf", "n_coarse", "n_fine", "m_coarse", "m_fine", "m_buf"})
    EXPECT_EQ(op_map(523, chain).size(), 33u) << chain;
  EXPECT_EQ(*op_map(523, "m_buf").lookup("3_slow_900mv_100c"), 1418);
  for (int device : {601, 640})
    EXPECT_EQ(corners(op_map(device, "m_fine")), (std::set<std::string>{"MIN_fast_900mv_125c", "MIN_fast_900mv_-40c",
                                                                        "3_slow_900mv_125c", "3_slow_900mv_-40c"}));
  EXPECT_EQ(op_map(999, "n_buf").size(), 0u);
  EXPECT_EQ(op_map(611, "N_BUF").size(), 0u);
  EXPECT_EQ(op_map(611, "n_buf ").size(), 0u);
  for (const char* part : {"n_bu", "n_", "m_coarse_"}) EXPECT_EQ(op_map(611, part).size(), 0u) << part;
}

TEST_F(PllDelayTableTest, RowsOfADeviceGoToItsBaseDeviceInRowOrder) {
  host::testing::device(Family::KY).base_device(629, 611).build();
  EXPECT_EQ(op_map(629, "n_buf").size(), 0u);
  const auto m = op_map(611, "n_buf");
  EXPECT_EQ(m.size(), 12u);
  EXPECT_EQ(*m.lookup("MIN_fast_900mv_100c"), 667);  // 611's row 918 is the last
  EXPECT_EQ(*m.lookup("MIN_fast_900mv_-40c"), 633);  // 629's row 726 after 611's rows
  EXPECT_EQ(*m.lookup("1_slow_900mv_-40c"), 1288);   // 629's row 412 after 611's row 52
  EXPECT_EQ(*m.lookup("1_slow_900mv_100c"), 1106);   // 611's row 439
}

}  // namespace
