#pragma once
// Time-borrowing flip-flop optimisation.
class WEXAN_ENV;

// Chooses and runs the optimisation for the family, or nothing.
void velmo_optimize_tbff(WEXAN_ENV* env);
// Undoes what the optimisation changed, or nothing.
void velmo_revert_tbff(WEXAN_ENV* env);
