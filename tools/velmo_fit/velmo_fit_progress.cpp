#include "velmo_fit_progress.h"

#include <cstdio>
#include <string>

#include "dev/dev_spec.h"
#include "testing/blif_design.h"
#include "tibex/tibex_placer.h"
#include "velmo_fit_counts.h"

namespace velmo_fit {

namespace {
constexpr double kRoundLinesAfterSeconds = 3.0;
}  // namespace

void print_round(const host::router::ROUND& r) {
  if (!r.ended) {
    std::printf("  Routing round %d: %d of %s searched (%.1f s)\n", r.round, r.searched,
                counted(r.to_search, "connection").c_str(), r.seconds);
  } else {
    if (r.seconds < kRoundLinesAfterSeconds) return;
    std::printf("  Routing round %d: %s, %s left (%.1f s)\n", r.round, counted(r.overused, "overused element").c_str(),
                counted(r.connections_left, "connection").c_str(), r.seconds);
  }
  std::fflush(stdout);
}

void print_final_progress(const host::progress::STATUS& s) {
  if (s.running.empty() || s.running.back().name == "router") return;
  std::string what;
  for (const host::progress::OPERATION_STATUS& op : s.running) {
    if (!what.empty()) what += "; ";
    what += op.name;
    if (op.total >= 0) what += ", " + std::to_string(op.done) + " of " + counted(op.total, op.unit);
  }
  std::printf("  Final stage: %s (%.1f s)\n", what.c_str(), s.seconds);
  std::fflush(stdout);
}

void print_placement_spread() {
  const host::placement::SPREAD s = host::placement::last_spread();
  if (s.limit <= 0 || s.limit >= host::testing::kFitLabAtomLimit) return;
  std::printf("Placement: at most %d LUTs and registers per LAB (not %d), to spread the design over the %s of the "
              "device (routing demand %.2f of supply packed, %.2f spread)\n",
              s.limit, host::testing::kFitLabAtomLimit,
              counted(host::testing::grid_capacity(host::device::spec()).labs, "LAB").c_str(), s.packed_demand,
              s.spread_demand);
}

nlohmann::ordered_json placement_report() {
  const host::placement::SPREAD s = host::placement::last_spread();
  nlohmann::ordered_json j = {{"lab_atom_limit", s.limit}};
  if (!s.decided) {
    // Spread per LAB without a lower limit weighed for the whole device.
    if (!s.reason.empty()) j["reason"] = s.reason;
    return j;
  }
  j["spread_limit"] = s.candidate;
  j["packed_demand"] = s.packed_demand;
  if (s.spread_demand > 0) j["spread_demand"] = s.spread_demand;
  j["reason"] = s.reason;
  return j;
}

}  // namespace velmo_fit
