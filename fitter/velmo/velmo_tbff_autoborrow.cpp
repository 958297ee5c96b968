#include "velmo_tbff_autoborrow.h"

#include "velmo_debug.h"

// The optimisation comes with a later part of the fitter; until then it has
// nothing to do.
void velmo_optimize_tbff(WEXAN_ENV*) { msg_vdebug_impl(2, "velmo_optimize_tbff: not built yet"); }
void velmo_revert_tbff(WEXAN_ENV*) { msg_vdebug_impl(2, "velmo_revert_tbff: not built yet"); }
