#pragma once
// One-line accessors of the environment's utilities. Included at the end of
// the host's utilities header.
#include "wexan/wexan_utilities.h"

inline bool WEXAN_PDC_UTILITY::extra_effort_pdc_is_on() const { return m_pdc_mode == 2; }
inline void WEXAN_PERIPHERY_FLOW::flush_atom_mod_report() { m_atom_mod_report.flush(); }
