#pragma once
// Cleanup of dangling large-periphery clock routing.
class WEXAN_ENV;

void velmo_delete_dangling_lpclk_routing(WEXAN_ENV* env);
