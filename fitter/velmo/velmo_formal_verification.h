#pragma once
// The equivalence-check scripts: per fitter stage, a Tcl script for the
// outside checker that compares the stage's netlist with the one before.
#include "jov/jov_enum.h"
#include "velmo_export.h"

// Writes "eqcheck.tcl" under <project>/verification/<stage>/ when project
// option 627 and "fitter_write_eqcheck_for_<snapshot>" are on.
VELMO_API void velmo_write_formal_verification_flow(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot);
