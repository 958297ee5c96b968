#pragma once
// The pipeline-register utility's destructor: its members, nothing else.
// Included at the end of the host's utility header.
#include "zel/zel_zota_util.h"

inline ZOTA::UTIL::~UTIL() = default;
