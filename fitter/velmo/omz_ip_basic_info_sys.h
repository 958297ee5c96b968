#pragma once
// The IP record's destructor: its members, nothing else. Included at the end
// of the host's IP record header.
#include "omz/omz_ip_basic_info.h"

inline OMZ_IP_BASIC_INFO::~OMZ_IP_BASIC_INFO() = default;
