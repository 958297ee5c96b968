// Stage members of the expert whose steps are not part of this build yet.
// Each raises an internal error naming itself; a member moves out of this
// file into its stage's source when its steps are built.
#include <string>
#include <vector>

#include "msg/msg_internal_error.h"
#include "velmo_expert.h"

namespace {
[[noreturn]] void l_not_built(const char* member, int line) {
  std::string text = std::string("VELMO_EXPERT::") + member + ": not built yet";
  MSG_INTERNAL_ERROR::report(text.c_str(), "VELMO", "velmo_expert", line);
}
}  // namespace

// ---------------------------------------------------------------------------
// Stage members whose steps come with later parts of the fitter. Each stops
// with an internal error naming itself rather than pretend to have run.




bool VELMO_EXPERT::mark_lutram_zota_ffs_no_touch_for_retimer() {
  l_not_built("mark_lutram_zota_ffs_no_touch_for_retimer", __LINE__);
}



