#pragma once
// The prefit register-packing run: user packing (registers with a location
// assignment) then opportunistic packing, through the host's packer op.
class WEXAN_ENV;
class NOLT_FF_REGISTER_PACKER_OP;

class VELMO_REGISTER_PACKER {
public:
  static bool do_packing(WEXAN_ENV* env);
  // The run used with the user-to-block port model: aggressive RAM register
  // packing only.
  static bool do_packing_with_w3j3(WEXAN_ENV* env);
  static bool do_user_register_packing(WEXAN_ENV* env, NOLT_FF_REGISTER_PACKER_OP* op);
  static bool do_opportunistic_register_packing(WEXAN_ENV* env, NOLT_FF_REGISTER_PACKER_OP* op);
  // True when some register (black-box contents included) carries a locked or
  // floating I/O-packing location constraint and is not kept out of packing.
  static bool check_for_user_locked_ffs(WEXAN_ENV* env);
};
