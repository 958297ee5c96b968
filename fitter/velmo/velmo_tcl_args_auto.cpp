#include "velmo_tcl_args_auto.h"

#include <tcl.h>

#include "gen/gen_project.h"
#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_tcl_args_auto", line);
}

const MEM_INITIALIZER l_mem_initializer("VELMO");

}  // namespace

// ---------------------------------------------------------------- names

const char* const VELMO_AUTO_SUBARG_HE = "he";
const char* const VELMO_AUTO_SUBARG_HEL = "hel";
const char* const VELMO_AUTO_SUBARG_L = "l";
const char* const VELMO_AUTO_SUBARG_LO = "lo";
const char* const VELMO_AUTO_SUBARG_LON = "lon";
const char* const VELMO_AUTO_SUBARG_LONG = "long";
const char* const VELMO_AUTO_SUBARG_LONG_ = "long_";
const char* const VELMO_AUTO_SUBARG_LONG_H = "long_h";
const char* const VELMO_AUTO_SUBARG_LONG_HE = "long_he";
const char* const VELMO_AUTO_SUBARG_LONG_HEL = "long_hel";

const char* const VELMO_AUTO_TRANSLATOR::m_argument_enum_string_table[4] = {"", "h", "help", "long_help"};

VELMO_AUTO_TRANSLATOR& VELMO_AUTO_TRANSLATOR::get_instance() {
  static VELMO_AUTO_TRANSLATOR instance;
  return instance;
}

VELMO_AUTO_TRANSLATOR::VELMO_AUTO_TRANSLATOR() { init_argument_enum_by_string(); }

void VELMO_AUTO_TRANSLATOR::init_argument_enum_by_string() {
  init_hash_from_table(m_map, m_argument_enum_string_table, 3);
}

void VELMO_AUTO_TRANSLATOR::init_hash_from_table(VELMO_AUTO_HASH& map, const char* const* table, int count) {
  for (int i = 1; i <= count; ++i) map[table[i]] = i;
}

bool VELMO_AUTO_TRANSLATOR::exists_argument_enum_by_string(const char* name) const {
  return m_map.find(name) != nullptr;
}

VELMO_AUTO_ARGUMENT_ENUM VELMO_AUTO_TRANSLATOR::get_argument_enum_by_string(const char* name) const {
  if (name == nullptr || *name == '\0') return VELMO_AUTO_ARGUMENT_NO_NAME;
  const VELMO_AUTO_HASH::NODE* n = m_map.find(name);
  return n != nullptr ? static_cast<VELMO_AUTO_ARGUMENT_ENUM>(n->value) : VELMO_AUTO_ARGUMENT_NONE;
}

const char* VELMO_AUTO_TRANSLATOR::get_string_by_argument_enum(int value) const {
  if (value < VELMO_AUTO_ARGUMENT_H || value > VELMO_AUTO_ARGUMENT_LONG_HELP)
    l_internal_error("The calling function has passed an illegal VELMO_AUTO_ARGUMENT_ENUM", __LINE__);
  return m_argument_enum_string_table[value];
}

namespace {
// The proper prefixes of the help names that are not names themselves.
struct SUBARG {
  const char* const* name;
  int value;
};
const SUBARG l_subargs[] = {
    {&VELMO_AUTO_SUBARG_HE, 2},       {&VELMO_AUTO_SUBARG_HEL, 2},     {&VELMO_AUTO_SUBARG_L, 3},
    {&VELMO_AUTO_SUBARG_LO, 3},       {&VELMO_AUTO_SUBARG_LON, 3},     {&VELMO_AUTO_SUBARG_LONG, 3},
    {&VELMO_AUTO_SUBARG_LONG_, 3},    {&VELMO_AUTO_SUBARG_LONG_H, 3},  {&VELMO_AUTO_SUBARG_LONG_HE, 3},
    {&VELMO_AUTO_SUBARG_LONG_HEL, 3},
};

void l_fill_subargs(VELMO_AUTO_HASH& map) {
  map.resize(20);
  for (const SUBARG& s : l_subargs) map[*s.name] = s.value;
}

VELMO_AUTO_ARGUMENT_ENUM l_lookup_subarg(const VELMO_AUTO_HASH& map, const char* name) {
  if (name == nullptr || *name == '\0') return VELMO_AUTO_ARGUMENT_NO_NAME;
  const VELMO_AUTO_HASH::NODE* n = map.find(name);
  return n != nullptr ? static_cast<VELMO_AUTO_ARGUMENT_ENUM>(n->value) : VELMO_AUTO_ARGUMENT_NONE;
}

// Name to enum for one command: the exact names, then its abbreviations.
template <class T> int l_name_to_enum(const char* name) {
  const VELMO_AUTO_TRANSLATOR& exact = VELMO_AUTO_TRANSLATOR::get_instance();
  if (name != nullptr && *name != '\0') {
    const VELMO_AUTO_ARGUMENT_ENUM e = exact.get_argument_enum_by_string(name);
    if (e >= VELMO_AUTO_ARGUMENT_H && e <= VELMO_AUTO_ARGUMENT_LONG_HELP) return e;
  }
  const T& abbreviations = T::get_instance();
  return abbreviations.get_argument_enum_by_substring(name);
}
}  // namespace

#define VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(NAME)                                          \
  NAME& NAME::get_instance() {                                                                \
    static NAME instance;                                                                     \
    return instance;                                                                          \
  }                                                                                           \
  NAME::NAME() { init_argument_enum_by_substring(); }                                         \
  void NAME::init_argument_enum_by_substring() { l_fill_subargs(m_map); }                     \
  VELMO_AUTO_ARGUMENT_ENUM NAME::get_argument_enum_by_substring(const char* name) const {     \
    return l_lookup_subarg(m_map, name);                                                      \
  }
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_DO_DSP_SIGN_EXT_TRANSLATOR)
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_DO_PREFIT_RAM_OP_TRANSLATOR)
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_RESYNTHESIS_TRANSLATOR)
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_RETIMING_TRANSLATOR)
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_REROUTE_TRANSLATOR)
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_REPLACE_TRANSLATOR)
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_BYPASS_REMOVAL_TRANSLATOR)
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_TEST_TBFF_TRANSLATOR)
VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR(VELMO_AUTO_CLEAR_TBFF_TRANSLATOR)
#undef VELMO_AUTO_DEFINE_SUBSTRING_TRANSLATOR

const char* velmo_auto_get_string_by_argument_enum(int value) {
  return VELMO_AUTO_TRANSLATOR::get_instance().get_string_by_argument_enum(value);
}
int velmo_auto_get_argument_enum_by_string(const char* name) {
  return VELMO_AUTO_TRANSLATOR::get_instance().get_argument_enum_by_string(name);
}
bool velmo_auto_exists_argument_enum_by_string(const char* name) {
  return VELMO_AUTO_TRANSLATOR::get_instance().exists_argument_enum_by_string(name);
}
int velmo_auto_get_do_dsp_sign_ext_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_DO_DSP_SIGN_EXT_TRANSLATOR>(name);
}
int velmo_auto_get_do_prefit_ram_op_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_DO_PREFIT_RAM_OP_TRANSLATOR>(name);
}
int velmo_auto_get_test_resynthesis_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_TEST_RESYNTHESIS_TRANSLATOR>(name);
}
int velmo_auto_get_test_retiming_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_TEST_RETIMING_TRANSLATOR>(name);
}
int velmo_auto_get_test_reroute_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_TEST_REROUTE_TRANSLATOR>(name);
}
int velmo_auto_get_test_replace_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_TEST_REPLACE_TRANSLATOR>(name);
}
int velmo_auto_get_test_bypass_removal_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_TEST_BYPASS_REMOVAL_TRANSLATOR>(name);
}
int velmo_auto_get_test_tbff_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_TEST_TBFF_TRANSLATOR>(name);
}
int velmo_auto_get_clear_tbff_argument_enum_by_string(const char* name) {
  return l_name_to_enum<VELMO_AUTO_CLEAR_TBFF_TRANSLATOR>(name);
}

// ---------------------------------------------------------------- command definitions

namespace {
// The argument lists: the terminating entry alone.
struct ARG_DEF {
  const void* fields[4];
};
const ARG_DEF velmo_auto_do_dsp_sign_ext_args_def[1] = {};
const ARG_DEF velmo_auto_do_prefit_ram_op_args_def[1] = {};
const ARG_DEF velmo_auto_test_resynthesis_args_def[1] = {};
const ARG_DEF velmo_auto_test_retiming_args_def[1] = {};
const ARG_DEF velmo_auto_test_reroute_args_def[1] = {};
const ARG_DEF velmo_auto_test_replace_args_def[1] = {};
const ARG_DEF velmo_auto_test_bypass_removal_args_def[1] = {};
const ARG_DEF velmo_auto_test_tbff_args_def[1] = {};
const ARG_DEF velmo_auto_clear_tbff_args_def[1] = {};
static_assert(sizeof(ARG_DEF) == 32, "an argument definition is 32 bytes");
}  // namespace

#define VELMO_AUTO_CMD_DEF(NAME, PACKAGE, COMMAND)                                                          \
  const UMBR_CMD_DEFINITION velmo_auto_##NAME##_cmd_def = {                                                \
      PACKAGE, COMMAND, velmo_auto_get_string_by_argument_enum, velmo_auto_get_##NAME##_argument_enum_by_string, \
      nullptr, nullptr, velmo_auto_##NAME##_args_def, nullptr, nullptr};
VELMO_AUTO_CMD_DEF(do_dsp_sign_ext, "velmo", "velmo_do_dsp_sign_ext")
VELMO_AUTO_CMD_DEF(do_prefit_ram_op, "velmo", "velmo_do_ram_op")
VELMO_AUTO_CMD_DEF(test_resynthesis, "eco_fitter", "test_resynthesis")
VELMO_AUTO_CMD_DEF(test_retiming, "eco_fitter", "test_retiming")
VELMO_AUTO_CMD_DEF(test_reroute, "eco_fitter", "test_reroute")
VELMO_AUTO_CMD_DEF(test_replace, "eco_fitter", "test_replace")
VELMO_AUTO_CMD_DEF(test_bypass_removal, "eco_fitter", "test_bypass_removal")
VELMO_AUTO_CMD_DEF(test_tbff, "eco_fitter", "test_tbff")
VELMO_AUTO_CMD_DEF(clear_tbff, "eco_fitter", "clear_tbff")
#undef VELMO_AUTO_CMD_DEF

// ---------------------------------------------------------------- command manager

VELMO_AUTO_MANAGER& VELMO_AUTO_MANAGER::get_instance() {
  static VELMO_AUTO_MANAGER instance;
  return instance;
}

VELMO_AUTO_MANAGER::~VELMO_AUTO_MANAGER() {
  for (UMBR_CMD*& slot : m_slots) {
    delete slot;
    slot = nullptr;
  }
}

UMBR_CMD* VELMO_AUTO_MANAGER::register_command(int slot, const UMBR_CMD_DEFINITION* definition) {
  UMBR_CMD*& cmd = m_slots[slot];
  if (cmd == nullptr) cmd = new UMBR_CMD(definition);
  return cmd;
}

#define VELMO_AUTO_INIT(NAME, SLOT)                                                                    \
  int velmo_init_##NAME(UMBR_ARGS* args, bool* flag, int objc, Tcl_Obj* const objv[]) {                \
    if (args == nullptr) l_internal_error("args != 0", __LINE__);                                      \
    UMBR_CMD* command = VELMO_AUTO_MANAGER::get_instance().register_command(SLOT, &velmo_auto_##NAME##_cmd_def); \
    return UMBR_ARGS::process_tcl_command_arguments(args, command, flag, objc, objv);                   \
  }
VELMO_AUTO_INIT(do_dsp_sign_ext, 0)
VELMO_AUTO_INIT(do_prefit_ram_op, 1)
VELMO_AUTO_INIT(test_resynthesis, 2)
VELMO_AUTO_INIT(test_retiming, 3)
VELMO_AUTO_INIT(test_reroute, 4)
VELMO_AUTO_INIT(test_replace, 5)
VELMO_AUTO_INIT(test_bypass_removal, 6)
VELMO_AUTO_INIT(test_tbff, 7)
VELMO_AUTO_INIT(clear_tbff, 8)
#undef VELMO_AUTO_INIT

// ---------------------------------------------------------------- packages

namespace {
constexpr const char* VELMO_NS = "::torvika::velmo";
constexpr const char* ECO_FITTER_NS = "::torvika::eco_fitter";
constexpr const char* VERSION = "1.0";

int l_register(const char* name_space, UMBR_CALLBACK* callbacks, const char* no_interpreter) {
  umbr_begin_package_setup(name_space, VERSION, nullptr, nullptr, false);
  umbr_register_callbacks(callbacks);
  umbr_end_package_setup();
  if (umbr_get_interpreter() == nullptr) l_internal_error(no_interpreter, __LINE__);
  return Tcl_PkgProvideEx(umbr_get_interpreter(), name_space, VERSION, nullptr);
}

int l_unregister(const char* name_space, const char* prefix, const char* no_interpreter) {
  Tcl_Interp* interp = umbr_get_interpreter();
  if (interp == nullptr) l_internal_error(no_interpreter, __LINE__);
  umbr_begin_package_setup(name_space, VERSION, "fitter_velmo", prefix, true);
  umbr_unregister_package(interp);
  return umbr_end_package_setup();
}
}  // namespace

namespace {
// Without the host's interpreter the packages cannot register: the loading
// interpreter gets the reason as a Tcl error (which its script may catch)
// rather than an internal error that would end the process.
bool l_refused_without_interpreter(Tcl_Interp* interp, const char* why) {
  if (umbr_get_interpreter() != nullptr) return false;
  if (interp != nullptr) Tcl_SetObjResult(interp, Tcl_NewStringObj(why, -1));
  return true;
}
}  // namespace

extern "C" {
int Velmo_Init(Tcl_Interp* interp) {
  if (l_refused_without_interpreter(interp, "A Tcl interpreter must exist before registering ::torvika::velmo!"))
    return TCL_ERROR;
  Tcl_StaticPackage(nullptr, "Eco_fitter", Eco_fitter_Init, nullptr);
  velmo_velmo_register_tcl();
  return 0;
}

int Eco_fitter_Init(Tcl_Interp* interp) {
  if (l_refused_without_interpreter(interp, "A Tcl interpreter must exist before registering ::torvika::eco_fitter!"))
    return TCL_ERROR;
  Tcl_StaticPackage(nullptr, "Velmo", Velmo_Init, nullptr);
  velmo_eco_fitter_register_tcl();
  return 0;
}

int Velmo_Unload(Tcl_Interp*, int) {
  velmo_velmo_unregister_tcl();
  return 0;
}

int Eco_fitter_Unload(Tcl_Interp*, int) {
  velmo_eco_fitter_unregister_tcl();
  return 0;
}

int velmo_velmo_register_tcl() {
  return l_register(VELMO_NS, velmo_velmo_tcl_callbacks,
                    "A Tcl interpreter must exist before registering ::torvika::velmo!");
}

int velmo_eco_fitter_register_tcl() {
  return l_register(ECO_FITTER_NS, velmo_eco_fitter_tcl_callbacks,
                    "A Tcl interpreter must exist before registering ::torvika::eco_fitter!");
}

int velmo_velmo_unregister_tcl() {
  return l_unregister(VELMO_NS, "velmo_velmo", "A Tcl interpreter must exist before unregistering ::torvika::velmo!");
}

int velmo_eco_fitter_unregister_tcl() {
  return l_unregister(ECO_FITTER_NS, "velmo_eco_fitter",
                      "A Tcl interpreter must exist before unregistering ::torvika::eco_fitter!");
}
}

// ---------------------------------------------------------------- load and exit

namespace {
// Exit-time unload: only with the graphical host, and only while the
// framework still has an interpreter (an internal error from a static
// destructor would abort the process at exit).
void l_unload_at_exit(int (*unload)(Tcl_Interp*, int)) {
  if (!gen_get_is_qt()) return;
  if (umbr_get_interpreter() == nullptr) return;
  unload(nullptr, 0);
}
}  // namespace

class VELMO_AUTO_ECO_FITTER_TCL_INIT {
public:
  VELMO_AUTO_ECO_FITTER_TCL_INIT() {
    if (!umbr_is_dynamically_loading()) Tcl_StaticPackage(nullptr, "Eco_fitter", Eco_fitter_Init, nullptr);
  }
  ~VELMO_AUTO_ECO_FITTER_TCL_INIT() { l_unload_at_exit(Eco_fitter_Unload); }
};

class VELMO_AUTO_VELMO_TCL_INIT {
public:
  VELMO_AUTO_VELMO_TCL_INIT() {
    if (!umbr_is_dynamically_loading()) Tcl_StaticPackage(nullptr, "Velmo", Velmo_Init, nullptr);
  }
  ~VELMO_AUTO_VELMO_TCL_INIT() { l_unload_at_exit(Velmo_Unload); }
};

namespace {
VELMO_AUTO_ECO_FITTER_TCL_INIT velmo_auto_eco_fitter_tcl_init;
VELMO_AUTO_VELMO_TCL_INIT velmo_auto_velmo_tcl_init;
}  // namespace
