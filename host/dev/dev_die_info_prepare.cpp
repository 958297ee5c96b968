#include "common/host_call_log.h"
#include "dev/dev_die_info.h"

void DEV_DIE_INFO::prepare(int level, const std::string& name) const {
  host::log_call("DEV_DIE_INFO::prepare", level, name);
}
