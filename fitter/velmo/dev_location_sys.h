#pragma once
// The device location's destructor: its members, nothing else. Included at
// the end of the host's location header.
#include "dev/dev_location.h"

inline DEV_LOCATION::~DEV_LOCATION() = default;
