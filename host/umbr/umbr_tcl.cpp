#include "umbr/umbr_tcl.h"

#include <dlfcn.h>
#include <link.h>
#include <tcl.h>
#include <unwind.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_control.h"
#include "msg/msg_internal_error.h"
#include "thr/thr_drl.h"
#include "wexan/wexan_env.h"

namespace {

struct COMMAND {
  std::string full_name;  // <namespace>::<name>
  UMBR_OBJ_CMD_PROC proc;
};

struct UMBR_STATE {
  Tcl_Interp* interp = nullptr;
  bool owned = false;
  bool dynamically_loading = false;
  // Setup in progress.
  std::string name_space;
  bool unregistering = false;
  std::vector<COMMAND> pending_rows;
  // Registered commands per namespace.
  std::map<std::string, std::vector<COMMAND>> packages;
  void reset();
};
// Kept for the whole process (never destroyed), so that the component's
// exit handlers may still ask for the interpreter; host_reset empties it.
UMBR_STATE& state() {
  static UMBR_STATE* s = new UMBR_STATE();
  return *s;
}

// An interpreter deleted by its owner is forgotten, so nothing is ever
// created or evaluated in a freed one.
void l_forget_interpreter(ClientData client, Tcl_Interp* interp) {
  UMBR_STATE& s = state();
  if (s.interp == interp && client == &s) {
    s.interp = nullptr;
    s.owned = false;
  }
}

// Takes `interp` as the framework's interpreter, letting go of the one
// before it (deleted when the framework made it).
void l_take_interpreter(Tcl_Interp* interp, bool owned) {
  UMBR_STATE& s = state();
  if (s.interp != nullptr) {
    Tcl_DontCallWhenDeleted(s.interp, l_forget_interpreter, &s);
    if (s.owned && s.interp != interp) Tcl_DeleteInterp(s.interp);
  }
  s.interp = interp;
  s.owned = owned;
  if (interp != nullptr) Tcl_CallWhenDeleted(interp, l_forget_interpreter, &s);
}

void UMBR_STATE::reset() {
  l_take_interpreter(nullptr, false);
  *this = UMBR_STATE();
}

// Tcl needs to know its executable before static packages are declared.
struct TCL_STARTUP {
  TCL_STARTUP() {
    Tcl_FindExecutable(nullptr);
    host_register_reset_hook("umbr", [] { state().reset(); });
  }
} l_tcl_startup;

int l_dispatch(ClientData client, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  auto proc = reinterpret_cast<UMBR_OBJ_CMD_PROC>(client);
  // The commands work on a fit: without the fitter environment (before
  // start-up, after shut-down) none of them runs.
  if (WEXAN_ENV::get_env() == nullptr) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj("no fit is running", -1));
    return TCL_ERROR;
  }
  try {
    return proc(nullptr, interp, objc, objv);
  } catch (const HOST_INTERNAL_ERROR& e) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(("Internal Error: " + e.condition).c_str(), -1));
    return TCL_ERROR;
  } catch (...) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj("Internal Error: unexpected exception", -1));
    return TCL_ERROR;
  }
}

void l_create(Tcl_Interp* interp, const std::string& name_space, const COMMAND& c) {
  Tcl_Eval(interp, ("namespace eval " + name_space + " {}").c_str());
  Tcl_CreateObjCommand(interp, c.full_name.c_str(), l_dispatch, reinterpret_cast<ClientData>(c.proc), nullptr);
  const std::string leaf = c.full_name.substr(c.full_name.rfind("::") + 2);
  Tcl_Eval(interp, ("namespace eval " + name_space + " {namespace export " + leaf + "}").c_str());
}

void l_create_all(Tcl_Interp* interp) {
  for (const auto& [name_space, commands] : state().packages)
    for (const COMMAND& c : commands) l_create(interp, name_space, c);
}

}  // namespace

UMBR_CMD::UMBR_CMD(const UMBR_CMD_DEFINITION* definition) : m_definition(definition) {
  host::counters::add("UMBR_CMD", 1);
}
UMBR_CMD::~UMBR_CMD() { host::counters::add("UMBR_CMD", -1); }

int UMBR_ARGS::process_tcl_command_arguments(UMBR_ARGS*, UMBR_CMD* command, bool* do_not_run, int objc,
                                             Tcl_Obj* const objv[]) {
  const UMBR_CMD_DEFINITION* def = command->get_definition();
  host::log_call("UMBR_ARGS::process_tcl_command_arguments", std::string(def->command), objc);
  Tcl_Interp* interp = state().interp;
  auto fail = [&](const std::string& text) {
    if (interp != nullptr) Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
    return TCL_ERROR;
  };
  for (int i = 1; i < objc; ++i) {
    const std::string word = Tcl_GetString(objv[i]);
    if (word.size() < 2 || word[0] != '-') return fail("Unknown option '" + word + "'");
    const int value = def->name_to_enum(word.c_str() + 1);
    if (value < 1 || value > 3) return fail("Unknown option '" + word + "'");
    if (interp != nullptr)
      Tcl_SetObjResult(interp,
                       Tcl_NewStringObj((std::string("Usage: ") + def->package + "::" + def->command).c_str(), -1));
    *do_not_run = true;
    return TCL_OK;
  }
  return TCL_OK;
}

Tcl_Interp* umbr_get_interpreter() { return state().interp; }

int umbr_tcl_eval(Tcl_Interp* interp, const char* script) {
  host::log_call("umbr_tcl_eval", interp, script);
  int status = TCL_OK;
  if (interp != nullptr) status = Tcl_Eval(interp, script);
  return host::script::next<int>("umbr_tcl_eval", status);
}

void umbr_begin_package_setup(const char* name_space, const char* version, const char* library, const char* prefix,
                              bool unregistering) {
  host::log_call("umbr_begin_package_setup", std::string(name_space), std::string(version ? version : ""),
                 std::string(library ? library : "null"), std::string(prefix ? prefix : "null"), unregistering);
  UMBR_STATE& s = state();
  s.name_space = name_space;
  s.unregistering = unregistering;
  s.pending_rows.clear();
}

void umbr_register_callbacks(UMBR_CALLBACK* table) {
  host::log_call("umbr_register_callbacks", state().name_space);
  for (UMBR_CALLBACK* row = table; row != nullptr && row->name != nullptr; ++row)
    state().pending_rows.push_back({state().name_space + "::" + row->name, row->proc});
}

namespace {
// A command's code stays mapped for the rest of the process: Tcl keeps the
// command after whoever loaded the library lets go of it (Tcl's `unload` of
// a sibling package, a host closing its handle).
void l_keep_mapped(UMBR_OBJ_CMD_PROC proc) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(proc), &info) == 0 || info.dli_fname == nullptr) return;
  // The handle is never closed: that is the point.
  (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
}  // namespace

int umbr_end_package_setup() {
  host::log_call("umbr_end_package_setup", state().name_space);
  UMBR_STATE& s = state();
  if (!s.unregistering) {
    for (const COMMAND& c : s.pending_rows) l_keep_mapped(c.proc);
    std::vector<COMMAND>& commands = s.packages[s.name_space];
    for (const COMMAND& c : s.pending_rows) {
      commands.push_back(c);
      if (s.interp != nullptr) l_create(s.interp, s.name_space, c);
    }
  }
  s.pending_rows.clear();
  return TCL_OK;
}

void umbr_unregister_package(Tcl_Interp* interp) {
  host::log_call("umbr_unregister_package", state().name_space);
  UMBR_STATE& s = state();
  auto it = s.packages.find(s.name_space);
  if (it == s.packages.end()) return;
  if (interp != nullptr)
    for (const COMMAND& c : it->second) Tcl_DeleteCommand(interp, c.full_name.c_str());
  s.packages.erase(it);
}

namespace {
// Whether Tcl's own loader is on the calling thread's stack: a library
// whose initialisers run from there is being mapped by Tcl's `load`, which
// holds Tcl's package lock until they return (so registering a static
// package from them would wait for it forever).
struct CODE_RANGE {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;
  bool found = false;
};

_Unwind_Reason_Code l_visit_frame(_Unwind_Context* context, void* arg) {
  auto* range = static_cast<CODE_RANGE*>(arg);
  const std::uintptr_t ip = _Unwind_GetIP(context);
  if (ip > range->begin && ip <= range->end) {
    range->found = true;
    return _URC_END_OF_STACK;
  }
  return _URC_NO_REASON;
}

bool l_inside_tcl_load() {
  Dl_info info{};
  const ElfW(Sym)* symbol = nullptr;
  void* loader = reinterpret_cast<void*>(&Tcl_LoadFile);
  if (dladdr1(loader, &info, reinterpret_cast<void**>(const_cast<ElfW(Sym)**>(&symbol)), RTLD_DL_SYMENT) == 0 || symbol == nullptr ||
      info.dli_saddr == nullptr || symbol->st_size == 0)
    return false;
  CODE_RANGE range;
  range.begin = reinterpret_cast<std::uintptr_t>(info.dli_saddr);
  range.end = range.begin + symbol->st_size;
  _Unwind_Backtrace(&l_visit_frame, &range);
  return range.found;
}
}  // namespace

bool umbr_is_dynamically_loading() { return state().dynamically_loading || l_inside_tcl_load(); }

namespace host::tcl {
Tcl_Interp* create_interpreter() {
  l_take_interpreter(Tcl_CreateInterp(), true);
  l_create_all(state().interp);
  return state().interp;
}
void adopt_interpreter(Tcl_Interp* interp) {
  l_take_interpreter(interp, false);
  if (interp != nullptr) l_create_all(interp);
}
void set_dynamically_loading(bool on) { state().dynamically_loading = on; }
}  // namespace host::tcl
