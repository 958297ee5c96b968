#include "velmo_finalize_parasitics.h"

bool VELMO_FINALIZE_PARASITICS::has_written_out_kem = false;
