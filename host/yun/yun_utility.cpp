#include "yun/yun_utility.h"

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "thr/thr_drl.h"

YUN_ENV::~YUN_ENV() = default;

YUN_UTILITY::YUN_UTILITY() { host::counters::add("yun_utility", 1); }
YUN_UTILITY::~YUN_UTILITY() { host::counters::add("yun_utility", -1); }

namespace {
struct YUN_FAILURE {
  std::string why;
};
}  // namespace

void host::yun::note_failure(const std::string& why) { host_world_slot<YUN_FAILURE>().why = why; }

std::string host::yun::take_failure() {
  std::string why;
  why.swap(host_world_slot<YUN_FAILURE>().why);
  return why;
}
