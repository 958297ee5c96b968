#include "dev/dev_basic_info.h"
#include "wump/wump_die_info.h"

DEV_DIE_INFO* DEV_DEVICE::get_die_info() const { return host::device::die_info(); }
