#pragma once
// Accumulated wall time of the host's post-route engines, per process: what
// the edit engine's implement and restore cost (their timing updates
// included) and what the timing updates cost (those inside the engine
// counted apart), so that a caller can tell its own work from theirs.
#include <chrono>
#include <optional>

#include "common/host_api.h"
#include "common/host_progress.h"

namespace host::timers {
struct SPLIT {
  double engine_seconds = 0;      // DUX::implement and DUX::restore_checkpoint
  int engine_calls = 0;
  double timing_seconds = 0;      // full and incremental timing updates
  int timing_updates = 0;
  double timing_in_engine_seconds = 0;  // the part of timing_seconds inside the engine
};
// data: the accumulated split; reset() zeroes it.
HOST_API SPLIT& split();
HOST_API void reset();

// Adds its lifetime to the engine's (ENGINE) or the timing's (TIMING) time;
// an outermost TIMING scope is also the progress reports' "timing update".
class HOST_API SCOPE {
public:
  enum KIND { ENGINE, TIMING };
  explicit SCOPE(KIND kind);
  ~SCOPE();
  SCOPE(const SCOPE&) = delete;
  SCOPE& operator=(const SCOPE&) = delete;

private:
  KIND m_kind;
  bool m_outer;
  std::chrono::steady_clock::time_point m_start;
  std::optional<host::progress::OPERATION> m_operation;
};
}  // namespace host::timers
