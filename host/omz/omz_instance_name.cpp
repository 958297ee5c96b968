#include "omz/omz_instance_name.h"

#include "common/host_call_log.h"

void OMZ_INSTANCE_NAME::get_short_hpath(std::string& out, OMZ_HPATH_FORMAT_TYPE) const { out = m_path; }

bool OMZ_INSTANCE_NAME::get_synthesized_from(OMZ_INSTANCE_NAME* out) const {
  const std::size_t tilde = m_path.find('~');
  if (tilde == std::string::npos || tilde == 0) return false;
  if (out) *out = OMZ_INSTANCE_NAME(m_path.substr(0, tilde));
  return true;
}

OMZ_INSTANCE_NAME OMZ_INSTANCE_NAME::create_synthesized_name(const OMZ_INSTANCE_NAME& base, const std::string& suffix,
                                                             bool a, bool b, bool c) {
  host::log_call("OMZ_INSTANCE_NAME::create_synthesized_name", base.path(), suffix, a, b, c);
  return OMZ_INSTANCE_NAME(base.path() + "~" + suffix);
}
