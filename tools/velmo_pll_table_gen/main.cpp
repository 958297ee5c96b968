// Writes the rows of the PLL measured-delay table (device, chain, corner,
// ps per step) from the table's layout rule, after checking the rule's
// invariants. With --compare FILE it regenerates and compares with FILE, so
// the committed table cannot drift from its rule.
//
//   velmo_pll_table_gen OUT            write the rows to OUT
//   velmo_pll_table_gen --compare FILE exit 1 unless FILE holds the rows
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct ROW {
  int device;
  std::string chain;
  std::string corner;
  int ps;
};
using KEY = std::tuple<int, std::string, std::string>;

struct RANGE {
  int lo, hi, nominal;
};
// Measured range and nominal (grade 2, 900 mV, 100 C) step of each chain.
const std::map<std::string, RANGE> kRange = {
    {"n_buf", {506, 1515, 1214}},  {"m_buf", {474, 1537, 1213}}, {"n_coarse", {140, 368, 303}},
    {"m_coarse", {136, 397, 322}}, {"n_fine", {34, 91, 75}},     {"m_fine", {34, 100, 80}}};

const char* const kOrderA[6] = {"m_coarse", "n_buf", "m_fine", "n_coarse", "n_fine", "m_buf"};
const char* const kOrderB[6] = {"n_buf", "m_coarse", "m_fine", "n_coarse", "n_fine", "m_buf"};
const char* const kOrderSectionB[6] = {"n_buf", "n_coarse", "n_fine", "m_coarse", "m_fine", "m_buf"};

struct BLOCK {
  int device, grade;
  const char* hot;
  const char* cold;
};
// Section A: one block per (device, slow grade, hot and cold temperature).
const BLOCK kBlocks[42] = {
    {597, 3, "100c", "-40c"}, {629, 1, "100c", "0c"},   {611, 1, "100c", "-40c"}, {611, 2, "100c", "-40c"},
    {620, 3, "100c", "0c"},   {626, 2, "100c", "0c"},   {638, 2, "100c", "0c"},   {626, 3, "100c", "0c"},
    {601, 3, "125c", "-40c"}, {611, 3, "100c", "-40c"}, {638, 1, "100c", "-40c"}, {640, 3, "125c", "-40c"},
    {626, 1, "100c", "0c"},   {597, 3, "100c", "0c"},   {620, 2, "100c", "0c"},   {626, 2, "100c", "-40c"},
    {623, 2, "100c", "0c"},   {629, 1, "100c", "-40c"}, {611, 1, "100c", "0c"},   {597, 2, "100c", "0c"},
    {629, 2, "100c", "-40c"}, {597, 2, "100c", "-40c"}, {626, 1, "100c", "-40c"}, {629, 2, "100c", "0c"},
    {629, 3, "100c", "0c"},   {626, 3, "100c", "-40c"}, {638, 3, "100c", "0c"},   {626, 3, "125c", "-40c"},
    {608, 3, "100c", "0c"},   {638, 3, "100c", "-40c"}, {629, 3, "100c", "-40c"}, {623, 1, "100c", "0c"},
    {597, 1, "100c", "0c"},   {623, 3, "100c", "0c"},   {597, 1, "100c", "-40c"}, {611, 3, "100c", "0c"},
    {608, 2, "100c", "0c"},   {638, 1, "100c", "0c"},   {611, 2, "100c", "0c"},   {638, 2, "100c", "-40c"},
    {624, 2, "100c", "0c"},   {624, 3, "100c", "0c"}};

// Blocks (1-based) whose chain order the measured rows fix; the others
// alternate, odd blocks in order A.
const std::map<int, bool> kFixedOrderA = {{1, true}, {3, false}, {4, true}, {10, false},
                                          {19, true}, {36, false}, {39, true}};
// Blocks whose runs start with the cold fast corner.
const std::set<int> kColdFirst = {4, 39};

const int kSectionBDevices[8] = {523, 557, 470, 466, 562, 471, 472, 518};
const char* const kSectionBCorners[33] = {
    "3_slow_900mv_100c",   "1_slow_900mv_0c",     "1_slow_900mv_-40c",   "1_slow_900mv_100c",   "2_slow_850mv_100c",
    "3_slow_800mv_100c",   "2_slow_850mv_0c",     "2_slow_850mv_-40c",   "3_slow_800mv_0c",     "3_slow_800mv_-40c",
    "MIN_fast_900mv_100c", "MIN_fast_850mv_100c", "MIN_fast_800mv_100c", "MIN_fast_800mv_0c",   "MIN_fast_800mv_-40c",
    "MIN_fast_850mv_0c",   "MIN_fast_850mv_-40c", "MIN_fast_900mv_0c",   "MIN_fast_900mv_-40c", "1_slow_vid1_0c",
    "1_slow_vid1_-40c",    "2_slow_vid2_0c",      "2_slow_vid2_-40c",    "3_slow_vid3a_0c",     "3_slow_vid3a_-40c",
    "1_slow_vid1_100c",    "2_slow_vid2_100c",    "3_slow_vid3a_100c",   "2_slow_900mv_0c",     "2_slow_900mv_-40c",
    "3_slow_900mv_-40c",   "3_slow_900mv_0c",     "2_slow_900mv_100c"};

// Values the measurements fix for single keys.
const std::map<KEY, int> kFixedValue = {
    {{597, "m_coarse", "MIN_fast_900mv_100c"}, 155}, {{597, "m_coarse", "MIN_fast_900mv_-40c"}, 142},
    {{597, "m_coarse", "3_slow_900mv_100c"}, 350},   {{597, "m_coarse", "3_slow_900mv_-40c"}, 397},
    {{597, "n_buf", "MIN_fast_900mv_100c"}, 666},    {{523, "n_buf", "3_slow_900mv_100c"}, 1443},
    {{523, "n_coarse", "3_slow_900mv_100c"}, 247},   {{523, "n_fine", "3_slow_900mv_100c"}, 62},
    {{523, "m_coarse", "3_slow_900mv_100c"}, 225},   {{523, "m_fine", "3_slow_900mv_100c"}, 56},
    {{523, "m_buf", "3_slow_900mv_100c"}, 1418},     {{518, "n_buf", "2_slow_900mv_100c"}, 1222},
    {{518, "m_buf", "2_slow_900mv_100c"}, 1211}};
// The one repeated key whose values the measurements list in full.
const KEY kListedKey{611, "n_buf", "MIN_fast_900mv_100c"};
const std::vector<int> kListedValues = {666, 667, 667, 666, 667, 667};
const std::vector<int> kListedRows = {49, 78, 217, 437, 841, 918};
const int kDifferingKeys = 25;

// The rows the measurements name: (row, key, ps).
struct TELLING {
  int row;
  KEY key;
  int ps;
};
const TELLING kTelling[] = {
    {1, {597, "m_coarse", "MIN_fast_900mv_100c"}, 155},  {2, {597, "m_coarse", "MIN_fast_900mv_-40c"}, 142},
    {3, {597, "m_coarse", "3_slow_900mv_100c"}, 350},    {4, {597, "m_coarse", "3_slow_900mv_-40c"}, 397},
    {5, {597, "n_buf", "MIN_fast_900mv_100c"}, 666},     {1009, {523, "n_buf", "3_slow_900mv_100c"}, 1443},
    {1010, {523, "n_coarse", "3_slow_900mv_100c"}, 247}, {1011, {523, "n_fine", "3_slow_900mv_100c"}, 62},
    {1012, {523, "m_coarse", "3_slow_900mv_100c"}, 225}, {1013, {523, "m_fine", "3_slow_900mv_100c"}, 56},
    {1014, {523, "m_buf", "3_slow_900mv_100c"}, 1418},   {2587, {518, "n_buf", "2_slow_900mv_100c"}, 1222},
    {2592, {518, "m_buf", "2_slow_900mv_100c"}, 1211}};

[[noreturn]] void fail(const std::string& what) {
  std::cerr << "velmo_pll_table_gen: " << what << "\n";
  std::exit(2);
}

// The parts of a corner name: grade, voltage, temperature.
void split(const std::string& corner, std::string* grade, std::string* volt, std::string* temp) {
  const auto a = corner.find('_'), b = corner.find('_', a + 1), c = corner.find('_', b + 1);
  *grade = corner.substr(0, a);
  *volt = corner.substr(b + 1, c - b - 1);
  *temp = corner.substr(c + 1);
}

// The modelled step delay of a key: the chain's nominal step scaled by
// speed, temperature, voltage and device, kept within the measured range.
int modelled(const KEY& key) {
  const auto& [device, chain, corner] = key;
  std::string grade, volt, temp;
  split(corner, &grade, &volt, &temp);
  const bool fast = grade == "MIN";
  double f = fast ? 0.55 : grade == "1" ? 0.92 : grade == "2" ? 1.0 : 1.08;
  const std::map<std::string, double> hot_fast = {{"-40c", 0.92}, {"0c", 0.97}, {"100c", 1.0}, {"125c", 1.03}};
  const std::map<std::string, double> hot_slow = {{"-40c", 1.12}, {"0c", 1.06}, {"100c", 1.0}, {"125c", 0.98}};
  f *= (fast ? hot_fast : hot_slow).at(temp);
  f *= volt == "900mv" ? 1.0 : volt == "850mv" ? 1.06 : volt == "800mv" ? 1.13 : 1.03;
  f *= 0.97 + 0.01 * (device % 7);
  const RANGE& r = kRange.at(chain);
  const int v = static_cast<int>(std::lround(r.nominal * f));
  return std::clamp(v, r.lo, r.hi);
}

std::string corner_name(const std::string& grade, const char* temp) {
  return grade == "MIN" ? "MIN_fast_900mv_" + std::string(temp) : grade + "_slow_900mv_" + temp;
}

// The keys of every row, in table order.
std::vector<KEY> layout() {
  std::vector<KEY> keys;
  for (int b = 0; b < 42; ++b) {
    const BLOCK& blk = kBlocks[b];
    const auto fixed = kFixedOrderA.find(b + 1);
    const bool order_a = fixed != kFixedOrderA.end() ? fixed->second : (b + 1) % 2 == 1;
    const std::string g = std::to_string(blk.grade);
    std::vector<std::string> corners = {corner_name("MIN", blk.hot), corner_name("MIN", blk.cold),
                                        corner_name(g, blk.hot), corner_name(g, blk.cold)};
    if (kColdFirst.count(b + 1)) std::swap(corners[0], corners[1]);
    for (int run = 0; run < 6; ++run)
      for (const std::string& c : corners) keys.emplace_back(blk.device, (order_a ? kOrderA : kOrderB)[run], c);
  }
  for (int device : kSectionBDevices)
    for (const char* c : kSectionBCorners)
      for (const char* chain : kOrderSectionB) keys.emplace_back(device, chain, c);
  return keys;
}

std::vector<ROW> generate() {
  const std::vector<KEY> keys = layout();
  std::map<KEY, std::vector<std::size_t>> rows_of;
  std::vector<KEY> repeated;  // in order of first occurrence
  for (std::size_t i = 0; i < keys.size(); ++i) {
    auto& r = rows_of[keys[i]];
    r.push_back(i);
    if (r.size() == 2) repeated.push_back(keys[i]);
  }
  std::sort(repeated.begin(), repeated.end(),
            [&](const KEY& a, const KEY& b) { return rows_of[a].front() < rows_of[b].front(); });
  // The keys whose rows differ: the listed one and the first others that
  // no measurement fixes.
  std::set<KEY> differing = {kListedKey};
  for (const KEY& k : repeated)
    if (static_cast<int>(differing.size()) < kDifferingKeys && !kFixedValue.count(k)) differing.insert(k);

  std::vector<ROW> rows;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const KEY& k = keys[i];
    const auto fixed = kFixedValue.find(k);
    int v = fixed != kFixedValue.end() ? fixed->second : modelled(k);
    const auto& occ = rows_of[k];
    const std::size_t nth = static_cast<std::size_t>(std::find(occ.begin(), occ.end(), i) - occ.begin());
    if (k == kListedKey) {
      v = kListedValues.at(nth);
    } else if (differing.count(k) && nth % 2 == 1) {
      v += v < kRange.at(std::get<1>(k)).hi ? 1 : -1;
    }
    rows.push_back({std::get<0>(k), std::get<1>(k), std::get<2>(k), v});
  }
  return rows;
}

// Every invariant of the table; fails on the first violation.
void check(const std::vector<ROW>& rows) {
  if (rows.size() != 2592) fail("row count " + std::to_string(rows.size()));
  std::map<std::string, int> per_chain;
  for (const ROW& r : rows) {
    const RANGE& range = kRange.at(r.chain);
    if (r.ps < range.lo || r.ps > range.hi) fail("value out of range: " + r.chain + " " + std::to_string(r.ps));
    ++per_chain[r.chain];
  }
  for (const auto& [chain, n] : per_chain)
    if (n != 432) fail("chain " + chain + " has " + std::to_string(n) + " rows");
  for (const TELLING& t : kTelling) {
    const ROW& r = rows.at(static_cast<std::size_t>(t.row - 1));
    if (KEY{r.device, r.chain, r.corner} != t.key || r.ps != t.ps) fail("row " + std::to_string(t.row));
  }
  std::map<KEY, std::vector<std::size_t>> rows_of;
  for (std::size_t i = 0; i < rows.size(); ++i) rows_of[{rows[i].device, rows[i].chain, rows[i].corner}].push_back(i);
  int repeated = 0, extra = 0, differing = 0;
  for (const auto& [key, occ] : rows_of) {
    if (occ.size() < 2) continue;
    if (occ.back() >= 1008) fail("section B repeats a key");
    ++repeated;
    extra += static_cast<int>(occ.size()) - 1;
    bool differ = false;
    for (std::size_t i : occ) differ = differ || rows[i].ps != rows[occ.front()].ps;
    differing += differ ? 1 : 0;
  }
  if (repeated != 234 || extra != 432 || differing != kDifferingKeys)
    fail("repeated keys " + std::to_string(repeated) + ", extra rows " + std::to_string(extra) + ", differing " +
         std::to_string(differing));
  const auto& listed = rows_of.at(kListedKey);
  for (std::size_t i = 0; i < listed.size(); ++i)
    if (listed.size() != kListedRows.size() || static_cast<int>(listed[i]) + 1 != kListedRows[i] ||
        rows[listed[i]].ps != kListedValues[i])
      fail("the listed key's rows");
  // Device rows and first rows.
  const std::map<int, std::pair<int, int>> devices = {
      {597, {144, 1}},     {629, {144, 25}},    {611, {144, 49}},    {620, {48, 97}},     {626, {168, 121}},
      {638, {144, 145}},   {601, {24, 193}},    {640, {24, 265}},    {623, {72, 385}},    {608, {48, 673}},
      {624, {48, 961}},    {523, {198, 1009}},  {557, {198, 1207}},  {470, {198, 1405}},  {466, {198, 1603}},
      {562, {198, 1801}},  {471, {198, 1999}},  {472, {198, 2197}},  {518, {198, 2395}}};
  std::map<int, std::pair<int, int>> seen;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    auto& s = seen[rows[i].device];
    if (s.first++ == 0) s.second = static_cast<int>(i) + 1;
  }
  if (seen != devices) fail("rows per device or first rows");
}

std::string render(const std::vector<ROW>& rows) {
  std::ostringstream os;
  os << "// Generated by tools/velmo_pll_table_gen from the table's layout rule; do not edit.\n";
  os << "// device, chain, timing corner, ps per step\n";
  for (const ROW& r : rows)
    os << "{" << r.device << ", \"" << r.chain << "\", \"" << r.corner << "\", " << r.ps << "},\n";
  return os.str();
}

}  // namespace

int main(int argc, char** argv) {
  const bool compare = argc == 3 && std::string(argv[1]) == "--compare";
  if (!(argc == 2 || compare)) {
    std::cerr << "usage: velmo_pll_table_gen OUT | --compare FILE\n";
    return 2;
  }
  const std::vector<ROW> rows = generate();
  check(rows);
  const std::string text = render(rows);
  if (compare) {
    std::ifstream in(argv[2], std::ios::binary);
    std::ostringstream have;
    have << in.rdbuf();
    if (!in && have.str().empty()) fail(std::string("cannot read ") + argv[2]);
    if (have.str() != text) {
      std::cerr << "velmo_pll_table_gen: " << argv[2] << " differs from the generated table\n";
      return 1;
    }
    return 0;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << text;
  return out ? 0 : 2;
}
