#pragma once
// The path record's destructor: its members, nothing else. Included at the
// end of the host's path header.
#include "wez/wez_path.h"

inline WEZ_PATH::~WEZ_PATH() = default;
