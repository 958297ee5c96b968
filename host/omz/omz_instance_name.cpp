#include "omz/omz_instance_name.h"

void OMZ_INSTANCE_NAME::get_short_hpath(std::string& out, OMZ_HPATH_FORMAT_TYPE) const { out = m_path; }
