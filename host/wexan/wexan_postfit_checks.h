#pragma once
// The host's post-fit checks and reports that the fitter's final check runs.
#include "common/host_api.h"

class WEXAN_ENV;

// The post-fit legality checker.
class HOST_API WEXAN_POST_FIT_CHECKER {
public:
  // recorded
  explicit WEXAN_POST_FIT_CHECKER(WEXAN_ENV* env);
  // recorded
  virtual ~WEXAN_POST_FIT_CHECKER();
  WEXAN_POST_FIT_CHECKER(const WEXAN_POST_FIT_CHECKER&) = delete;
  WEXAN_POST_FIT_CHECKER& operator=(const WEXAN_POST_FIT_CHECKER&) = delete;
  // recorded: scripted, default true.
  bool run_legality_checks();
};

// The post-fit LUT-RAM legality check.
class HOST_API WEXAN_CHECK_LUTRAM_LEGALITY_OP {
public:
  explicit WEXAN_CHECK_LUTRAM_LEGALITY_OP(WEXAN_ENV* env);
  virtual ~WEXAN_CHECK_LUTRAM_LEGALITY_OP();
  WEXAN_CHECK_LUTRAM_LEGALITY_OP(const WEXAN_CHECK_LUTRAM_LEGALITY_OP&) = delete;
  WEXAN_CHECK_LUTRAM_LEGALITY_OP& operator=(const WEXAN_CHECK_LUTRAM_LEGALITY_OP&) = delete;
  // recorded: scripted, default true.
  bool check();
};

// The design's report of ignored assignments.
class HOST_API WEXAN_IGNORED_ASSIGNMENTS_REPORT {
public:
  // data: the world's report (never null).
  static WEXAN_IGNORED_ASSIGNMENTS_REPORT* current();
  // recorded: writes the report out.
  void flush(bool flag);
};
