#include "sta/sta_timers.h"

namespace host::timers {
namespace {
SPLIT g_split;
int g_depth[2] = {0, 0};  // open scopes per kind (an update may nest in another)
}  // namespace

SPLIT& split() { return g_split; }
void reset() { g_split = SPLIT(); }

SCOPE::SCOPE(KIND kind) : m_kind(kind), m_outer(g_depth[kind]++ == 0), m_start(std::chrono::steady_clock::now()) {
  if (m_outer && kind == TIMING) m_operation.emplace("timing update");
}

SCOPE::~SCOPE() {
  --g_depth[m_kind];
  if (!m_outer) return;
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  if (m_kind == ENGINE) {
    g_split.engine_seconds += s;
    ++g_split.engine_calls;
    return;
  }
  g_split.timing_seconds += s;
  ++g_split.timing_updates;
  if (g_depth[ENGINE] > 0) g_split.timing_in_engine_seconds += s;
}
}  // namespace host::timers
