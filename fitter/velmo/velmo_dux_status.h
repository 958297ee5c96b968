#pragma once
// Texts of the legality engine's implement status codes, shared by the
// retimer and the resynthesiser so that both trace a failure alike.

// Indexed by the status code (0..10, 10 is success).
extern const char* const dux_status_descriptions[11];

// The text of a status code; "Unknown status" for a code outside the table.
const char* dux_status_text(unsigned status);
