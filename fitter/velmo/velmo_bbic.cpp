// The blackboxing flow is not part of this build yet: nothing sets the
// active flag, and the two operations say so on the debug output.
#include "velmo_bbic.h"

#include "velmo_debug.h"

namespace {
// Set while preserved partitions are blackboxed.
bool s_bbic_active = false;
}  // namespace

bool VELMO_BBIC::any_partitions_blackboxed() { return s_bbic_active; }

void VELMO_BBIC::push_routing_to_partitions() {
  msg_vdebug_impl(2, "VELMO_BBIC::push_routing_to_partitions: not built yet");
}

void VELMO_BBIC::restore_all_blackbox_contents() {
  msg_vdebug_impl(2, "VELMO_BBIC::restore_all_blackbox_contents: not built yet");
}
