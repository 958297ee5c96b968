// The fitter-API library the component loads by name. Its object is opaque to
// the component; a live counter lets tests prove shut-down deletes it.
#include "common/host_call_log.h"
#include "thr/thr_drl.h"

class WEXAN_ENV;

namespace {
struct GOVIN {
  WEXAN_ENV* env;
};
}  // namespace

extern "C" __attribute__((visibility("default"))) void* govin_wexan_factory(WEXAN_ENV* env) {
  host::log_call("govin_wexan_factory", env);
  host::counters::add("govin", 1);
  return new GOVIN{env};
}

extern "C" __attribute__((visibility("default"))) void govin_delete_govin(void* obj) {
  host::log_call("govin_delete_govin", obj);
  if (!obj) return;
  host::counters::add("govin", -1);
  delete static_cast<GOVIN*>(obj);
}
