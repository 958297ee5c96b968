// The dangling clock routing cleanup is not part of this build yet: it says
// so on the debug output and leaves the routing as it is.
#include "velmo_dangling_clock_routing_deletion.h"

#include "velmo_debug.h"

void velmo_delete_dangling_lpclk_routing(WEXAN_ENV*) {
  msg_vdebug_impl(2, "velmo_delete_dangling_lpclk_routing: not built yet");
}
