#include "velmo_router.h"

#include "velmo_debug.h"

// The incremental hold-fixing re-route comes with a later part of the
// fitter; until then it has nothing to do.
bool VELMO_SPAR::run() {
  msg_vdebug_impl(2, "VELMO_SPAR::run: not built yet");
  return true;
}
