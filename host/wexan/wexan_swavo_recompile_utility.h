#pragma once
// The incremental recompile's skip decision.
#include "common/host_api.h"

class HOST_API WEXAN_SWAVO_RECOMPILE_UTILITY {
public:
  // data: every partition can skip the fitter (default false;
  // host::wexan::set_all_partitions_can_skip_fitter).
  static bool all_partitions_can_skip_fitter();
  // recorded: writes the recompile's reports.
  static void generate_swavo_recompile_reports(bool flag, bool legality);
};

namespace host::wexan {
HOST_API void set_all_partitions_can_skip_fitter(bool on);
}
