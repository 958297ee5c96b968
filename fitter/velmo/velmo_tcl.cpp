// The commands of the two Tcl packages: each hands its words to the
// argument processing, then runs one operation on the process's fitter
// environment and returns the Tcl status.
#include <tcl.h>

#include <string>

#include "cfg/cfg.h"
#include "gen/gen_profile.h"
#include "msg/msg_internal_error.h"
#include "muvo/muvo_entry.h"
#include "nolt/nolt_prefit_ops.h"
#include "nolt/nolt_utilities.h"
#include "tibex/tibex_env.h"
#include "velmo_eco_tcl.h"
#include "velmo_mac_sign_extension.h"
#include "velmo_tbff_autoborrow.h"
#include "velmo_tcl_args_auto.h"
#include "wexan/wexan_env.h"

namespace {

// The fitter environment; the commands need start-up to have run.
WEXAN_ENV* l_env(int line) {
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (env == nullptr) MSG_INTERNAL_ERROR::report("m_env", "VELMO", "velmo_tcl", line);
  return env;
}

// A scoped override of one configuration variable, restored on every exit.
class INI_SET {
public:
  INI_SET(const char* name, const char* value) : m_name(name), m_saved(cfg_get_value(name)) {
    cfg_set_value(m_name, value);
  }
  ~INI_SET() { cfg_set_value(m_name, m_saved.c_str()); }
  INI_SET(const INI_SET&) = delete;
  INI_SET& operator=(const INI_SET&) = delete;

private:
  const char* m_name;
  std::string m_saved;
};

// A profiling bin open for the command's work.
class BIN {
public:
  explicit BIN(const char* name)
      : m_handle(GEN_PROFILE_BINS::open_with_tag("VELMO", name, 2147483647, nullptr)) {}
  ~BIN() { GEN_PROFILE_BINS::close_recursively(m_handle); }
  BIN(const BIN&) = delete;
  BIN& operator=(const BIN&) = delete;

private:
  GEN_PROFILE_BINS::HANDLE m_handle;
};

using INIT_FN = int (*)(UMBR_ARGS*, bool*, int, Tcl_Obj* const[]);

// The command skeleton: argument processing, then the work when allowed.
template <class WORK> int l_command(INIT_FN init, int objc, Tcl_Obj* const objv[], WORK work) {
  UMBR_ARGS args;
  bool do_not_run = false;
  const int status = init(&args, &do_not_run, objc, objv);
  if (status != TCL_OK || do_not_run) return status;
  return work();
}

int velmo_do_dsp_sign_ext(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_do_dsp_sign_ext, objc, objv, [] {
    VELMO_MAC_SIGN_EXTENSION op(l_env(__LINE__));
    return op.work() ? TCL_OK : TCL_ERROR;
  });
}

int velmo_do_prefit_ram_op(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_do_prefit_ram_op, objc, objv, [] {
    WEXAN_ENV* env = l_env(__LINE__);
    NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP address_lines(env);
    if (!address_lines.work()) return TCL_ERROR;
    // The fitter environment owns the packer from here on.
    TIBEX_ENV::set_tibex_ram_packer(new NOLT_RAM_PACKING_CHECK_BODY(env));
    NOLT_RAM_DUP_DATA_OP dup_data(env);
    return dup_data.work() ? TCL_OK : TCL_ERROR;
  });
}

int velmo_test_resynthesis(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_test_resynthesis, objc, objv,
                   [] { return VELMO_ECO_TCL::test_incremental_resynthesis() != 0 ? TCL_OK : TCL_ERROR; });
}

int velmo_test_retiming(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_test_retiming, objc, objv,
                   [] { return VELMO_ECO_TCL::test_incremental_retiming() != 0 ? TCL_OK : TCL_ERROR; });
}

// One post-route resynthesis run with the given trick.
int l_muvo_trick(const char* bin_name, const char* trick) {
  BIN bin(bin_name);
  INI_SET trick_set("muvo_post_route_zota_tricks", trick);
  muvo(MUVO_STRATEGY_POST_ROUTE);
  return TCL_OK;
}

int velmo_test_reroute(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_test_reroute, objc, objv,
                   [] { return l_muvo_trick("ECO Incremental Reroute", "incr_route"); });
}

int velmo_test_replace(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_test_replace, objc, objv,
                   [] { return l_muvo_trick("ECO Incremental Replace", "pr_mdup"); });
}

int velmo_test_bypass_removal(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_test_bypass_removal, objc, objv,
                   [] { return l_muvo_trick("ECO Incremental Bypass Removal", "bypass_remove"); });
}

int velmo_test_tbff(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_test_tbff, objc, objv, [] {
    WEXAN_ENV* env = l_env(__LINE__);
    BIN bin("ECO Optimize TBFF and PW");
    velmo_optimize_tbff(env);
    return TCL_OK;
  });
}

int velmo_clear_tbff(void*, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
  return l_command(velmo_init_clear_tbff, objc, objv, [] {
    WEXAN_ENV* env = l_env(__LINE__);
    BIN bin("ECO Clear TBFF and PW");
    velmo_revert_tbff(env);
    return TCL_OK;
  });
}

}  // namespace

UMBR_CALLBACK velmo_velmo_tcl_callbacks[] = {
    {0, "velmo_do_dsp_sign_ext", velmo_do_dsp_sign_ext},
    {0, "velmo_do_ram_op", velmo_do_prefit_ram_op},
    {0, nullptr, nullptr},
};

UMBR_CALLBACK velmo_eco_fitter_tcl_callbacks[] = {
    {0, "muvo_resynthesis", velmo_test_resynthesis},
    {0, "test_resynthesis", velmo_test_resynthesis},
    {0, "muvo_retiming", velmo_test_retiming},
    {0, "test_retiming", velmo_test_retiming},
    {0, "muvo_reroute", velmo_test_reroute},
    {0, "test_reroute", velmo_test_reroute},
    {0, "muvo_replace", velmo_test_replace},
    {0, "test_replace", velmo_test_replace},
    {0, "muvo_bypass_removal", velmo_test_bypass_removal},
    {0, "test_bypass_removal", velmo_test_bypass_removal},
    {0, "optimize_tbff", velmo_test_tbff},
    {0, "test_tbff", velmo_test_tbff},
    {0, "clear_tbff", velmo_clear_tbff},
    {0, nullptr, nullptr},
};
