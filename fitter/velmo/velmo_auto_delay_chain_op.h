#pragma once
// The automatic I/O delay-chain pass.
class WEXAN_ENV;

// Runs the delay-chain operation's automatic step on the environment.
bool velmo_auto_delay_chain_work(WEXAN_ENV* env);
