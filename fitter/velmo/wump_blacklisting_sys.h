#pragma once
// Placement blacklisting: a placement gid is blacklisted when the die
// information reports it as not enabled.
#include "dev/dev_die_info.h"
#include "wump/wump_blacklisting.h"

inline bool WUMP_BLACKLISTING::is_placement_gid_blacklisted(unsigned gid) const {
  return !m_die->is_global_id_enabled(gid);
}
