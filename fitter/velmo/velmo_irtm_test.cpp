// The post-route incremental retimer is not part of this build yet: its
// entry says so on the debug output and reports that it had nothing to do.
#include "velmo_debug.h"
#include "velmo_expert.h"

int VELMO_EXPERT::test_incremental_retiming() {
  msg_vdebug_impl(2, "VELMO_EXPERT::test_incremental_retiming: not built yet");
  return 1;
}
