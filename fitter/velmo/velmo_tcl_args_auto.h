#pragma once
// The Tcl layer of the two command packages: the argument-name translators
// (help names and their abbreviations), the command manager that makes each
// command's framework object once, the argument processing every command
// runs first, and the package registration hooks.
#include "umbr/umbr_tcl.h"
#include "velmo_export.h"
#include "zmp_hash.h"

enum VELMO_AUTO_ARGUMENT_ENUM : int {
  VELMO_AUTO_ARGUMENT_NONE = 0,       // matches nothing
  VELMO_AUTO_ARGUMENT_H = 1,
  VELMO_AUTO_ARGUMENT_HELP = 2,
  VELMO_AUTO_ARGUMENT_LONG_HELP = 3,
  VELMO_AUTO_ARGUMENT_NO_NAME = 4,    // a null or empty name
};

extern const char* const VELMO_AUTO_SUBARG_HE;
extern const char* const VELMO_AUTO_SUBARG_HEL;
extern const char* const VELMO_AUTO_SUBARG_L;
extern const char* const VELMO_AUTO_SUBARG_LO;
extern const char* const VELMO_AUTO_SUBARG_LON;
extern const char* const VELMO_AUTO_SUBARG_LONG;
extern const char* const VELMO_AUTO_SUBARG_LONG_;
extern const char* const VELMO_AUTO_SUBARG_LONG_H;
extern const char* const VELMO_AUTO_SUBARG_LONG_HE;
extern const char* const VELMO_AUTO_SUBARG_LONG_HEL;

using VELMO_AUTO_HASH = ZMP_HASH<char const*, int, ZMP_CSTR_OPS>;

// The exact argument names.
class VELMO_AUTO_TRANSLATOR {
public:
  static VELMO_AUTO_TRANSLATOR& get_instance();
  static void init_hash_from_table(VELMO_AUTO_HASH& map, const char* const* table, int count);
  bool exists_argument_enum_by_string(const char* name) const;
  VELMO_AUTO_ARGUMENT_ENUM get_argument_enum_by_string(const char* name) const;
  const char* get_string_by_argument_enum(int value) const;
  static const char* const m_argument_enum_string_table[4];

private:
  VELMO_AUTO_TRANSLATOR();
  void init_argument_enum_by_string();
  VELMO_AUTO_HASH m_map;
};

// One abbreviation translator per command; they differ only in name.
#define VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(NAME)                      \
  class NAME {                                                             \
  public:                                                                  \
    static NAME& get_instance();                                           \
    VELMO_AUTO_ARGUMENT_ENUM get_argument_enum_by_substring(const char* name) const; \
                                                                           \
  private:                                                                 \
    NAME();                                                                \
    void init_argument_enum_by_substring();                                \
    VELMO_AUTO_HASH m_map;                                                 \
  };
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_DO_DSP_SIGN_EXT_TRANSLATOR)
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_DO_PREFIT_RAM_OP_TRANSLATOR)
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_RESYNTHESIS_TRANSLATOR)
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_RETIMING_TRANSLATOR)
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_REROUTE_TRANSLATOR)
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_REPLACE_TRANSLATOR)
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_BYPASS_REMOVAL_TRANSLATOR)
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_TBFF_TRANSLATOR)
VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR(VELMO_AUTO_CLEAR_TBFF_TRANSLATOR)
#undef VELMO_AUTO_DECLARE_SUBSTRING_TRANSLATOR

// Owns each command's framework object, made on first use.
class VELMO_AUTO_MANAGER {
public:
  static constexpr int NUM_COMMANDS = 9;
  static VELMO_AUTO_MANAGER& get_instance();
  UMBR_CMD* register_command(int slot, const UMBR_CMD_DEFINITION* definition);
  ~VELMO_AUTO_MANAGER();

private:
  VELMO_AUTO_MANAGER() = default;
  UMBR_CMD* m_slots[NUM_COMMANDS] = {};
};

extern const UMBR_CMD_DEFINITION velmo_auto_do_dsp_sign_ext_cmd_def;
extern const UMBR_CMD_DEFINITION velmo_auto_do_prefit_ram_op_cmd_def;
extern const UMBR_CMD_DEFINITION velmo_auto_test_resynthesis_cmd_def;
extern const UMBR_CMD_DEFINITION velmo_auto_test_retiming_cmd_def;
extern const UMBR_CMD_DEFINITION velmo_auto_test_reroute_cmd_def;
extern const UMBR_CMD_DEFINITION velmo_auto_test_replace_cmd_def;
extern const UMBR_CMD_DEFINITION velmo_auto_test_bypass_removal_cmd_def;
extern const UMBR_CMD_DEFINITION velmo_auto_test_tbff_cmd_def;
extern const UMBR_CMD_DEFINITION velmo_auto_clear_tbff_cmd_def;

const char* velmo_auto_get_string_by_argument_enum(int value);
int velmo_auto_get_argument_enum_by_string(const char* name);
bool velmo_auto_exists_argument_enum_by_string(const char* name);
int velmo_auto_get_do_dsp_sign_ext_argument_enum_by_string(const char* name);
int velmo_auto_get_do_prefit_ram_op_argument_enum_by_string(const char* name);
int velmo_auto_get_test_resynthesis_argument_enum_by_string(const char* name);
int velmo_auto_get_test_retiming_argument_enum_by_string(const char* name);
int velmo_auto_get_test_reroute_argument_enum_by_string(const char* name);
int velmo_auto_get_test_replace_argument_enum_by_string(const char* name);
int velmo_auto_get_test_bypass_removal_argument_enum_by_string(const char* name);
int velmo_auto_get_test_tbff_argument_enum_by_string(const char* name);
int velmo_auto_get_clear_tbff_argument_enum_by_string(const char* name);

// Argument processing of each command: the framework's status; *flag set
// means the command must not run.
int velmo_init_do_dsp_sign_ext(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);
int velmo_init_do_prefit_ram_op(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);
int velmo_init_test_resynthesis(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);
int velmo_init_test_retiming(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);
int velmo_init_test_reroute(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);
int velmo_init_test_replace(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);
int velmo_init_test_bypass_removal(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);
int velmo_init_test_tbff(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);
int velmo_init_clear_tbff(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]);

// Package hooks (exported under these names).
extern "C" {
VELMO_API int Velmo_Init(Tcl_Interp* interp);
VELMO_API int Eco_fitter_Init(Tcl_Interp* interp);
VELMO_API int Velmo_Unload(Tcl_Interp* interp, int flags);
VELMO_API int Eco_fitter_Unload(Tcl_Interp* interp, int flags);
VELMO_API int velmo_velmo_register_tcl();
VELMO_API int velmo_eco_fitter_register_tcl();
VELMO_API int velmo_velmo_unregister_tcl();
VELMO_API int velmo_eco_fitter_unregister_tcl();
}

// The callback tables (defined with the command functions).
extern UMBR_CALLBACK velmo_velmo_tcl_callbacks[];
extern UMBR_CALLBACK velmo_eco_fitter_tcl_callbacks[];
