#pragma once
// The instance name's returned-string accessor, filled by the host's
// out-parameter overload.
#include <string>

#include "omz/omz_instance_name.h"

inline std::string OMZ_INSTANCE_NAME::get_short_hpath(OMZ_HPATH_FORMAT_TYPE format) const {
  std::string path;
  get_short_hpath(path, format);
  return path;
}
