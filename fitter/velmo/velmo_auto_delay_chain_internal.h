#pragma once
// Helpers shared by the automatic delay-chain pass's source files.
#include <string>

class GEN_STOPWATCH;
class VOK_ATOM_NODE;

// The name of the search's per-element trace file.
extern const char* const velmo_optimization_timing_info_for_opt_element;

namespace velmo_auto_dc {
// Reports an internal error of the pass; does not return.
[[noreturn]] void internal_error(const char* condition, int line);

// A profiling bin of the pass, closed on every way out.
class BIN {
public:
  explicit BIN(const char* name);
  ~BIN();
  BIN(const BIN&) = delete;
  BIN& operator=(const BIN&) = delete;

private:
  const char* m_name;
};

// The pass's process-wide processing and timing-analysis stopwatches.
GEN_STOPWATCH& processing_stopwatch();
GEN_STOPWATCH& timing_analyzer_stopwatch();

// The short hierarchical name of an atom ("" without one).
std::string atom_name(const VOK_ATOM_NODE* atom);
}  // namespace velmo_auto_dc

#include <array>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace velmo_auto_dc {
// What one element's settings do to the slacks of its edges during a
// search, from its present setting: moves[s - min][kind][corner] on a
// pos_edges record (a neg_edges record moves the other way), and the most
// favourable move over the range on either kind of record.
struct SEARCH_MOVES {
  std::int32_t from = -1, min = 0, max = -1;
  std::vector<std::array<std::array<std::int32_t, 3>, 2>> moves;
  std::array<std::array<std::int32_t, 3>, 2> best_pos{}, best_neg{};
  std::unordered_set<std::int32_t> pos_ids, neg_ids;
};
}  // namespace velmo_auto_dc
