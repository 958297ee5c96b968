#include "dev/dev_die_info.h"

DEV_DIE_INFO::~DEV_DIE_INFO() = default;
