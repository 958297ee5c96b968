#pragma once
// The Tcl command framework over a real Tcl 8.6 interpreter: the
// interpreter, package setup (each callback row becomes the exported object
// command <namespace>::<name>), argument processing of a command's words,
// and script evaluation.
#include "common/host_api.h"

struct Tcl_Interp;
struct Tcl_Obj;

// The Tcl object-command signature of a callback.
using UMBR_OBJ_CMD_PROC = int (*)(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

// One row of a package's callback table; a row of zeros ends the table.
struct UMBR_CALLBACK {
  long reserved;
  const char* name;
  UMBR_OBJ_CMD_PROC proc;
};

// A command's definition: package, name, the argument-name translators and
// the argument list (the other fields are unused).
struct UMBR_CMD_DEFINITION {
  const char* package;
  const char* command;
  const char* (*enum_to_name)(int value);
  int (*name_to_enum)(const char* name);
  const void* reserved5;
  const void* reserved6;
  const void* args_def;
  const void* reserved8;
  const void* reserved9;
};
static_assert(sizeof(UMBR_CMD_DEFINITION) == 72, "nine 8-byte fields");

// data: the framework's object of one command (live counter "UMBR_CMD").
class HOST_API UMBR_CMD {
public:
  explicit UMBR_CMD(const UMBR_CMD_DEFINITION* definition);
  ~UMBR_CMD();
  UMBR_CMD(const UMBR_CMD&) = delete;
  UMBR_CMD& operator=(const UMBR_CMD&) = delete;
  const UMBR_CMD_DEFINITION* get_definition() const { return m_definition; }

private:
  const UMBR_CMD_DEFINITION* m_definition;
};

class HOST_API UMBR_ARGS {
public:
  UMBR_ARGS() = default;
  // algorithm: each word after the command name must be "-name": the name
  // goes through the command's translator (exact names, then
  // abbreviations). A help name (values 1-3) sets the interpreter's result
  // to the command's usage, sets *do_not_run and returns TCL_OK; any other
  // word sets "Unknown option '<word>'" and returns TCL_ERROR. No words:
  // TCL_OK. Recorded.
  static int process_tcl_command_arguments(UMBR_ARGS* args, UMBR_CMD* command, bool* do_not_run, int objc,
                                           Tcl_Obj* const objv[]);
};

// data: the interpreter, null while none exists.
HOST_API Tcl_Interp* umbr_get_interpreter();
// algorithm: evaluates a script in the interpreter and returns the Tcl
// status; without an interpreter it only records. Recorded; scripted
// results ("umbr_tcl_eval") win over the interpreter's.
HOST_API int umbr_tcl_eval(Tcl_Interp* interp, const char* script);

// algorithm: package setup. Registration (unregistering false) makes every
// callback row the exported command <namespace>::<name>, at once when an
// interpreter exists, else when one is made or adopted; a command called
// while no fit is running (no fitter environment) returns TCL_ERROR with the
// result "no fit is running" before it runs; a command that raises an
// internal error returns TCL_ERROR with the result "Internal Error:
// <condition>". With unregistering true, umbr_unregister_package
// deletes the package's commands. The library holding a registered
// callback is never unmapped afterwards. All recorded.
HOST_API void umbr_begin_package_setup(const char* name_space, const char* version, const char* library,
                                       const char* prefix, bool unregistering);
HOST_API void umbr_register_callbacks(UMBR_CALLBACK* table);
HOST_API int umbr_end_package_setup();
HOST_API void umbr_unregister_package(Tcl_Interp* interp);
// data: whether the framework is loading a library dynamically: on while
// set so, and whenever Tcl's own `load` is mapping a library (its loader
// is on the calling thread's stack).
HOST_API bool umbr_is_dynamically_loading();

namespace host::tcl {
// Makes the world's interpreter (a real Tcl 8.6 interpreter, owned by the
// world) and creates the commands registered so far.
HOST_API Tcl_Interp* create_interpreter();
// Adopts an interpreter a shell made (not owned). An interpreter the
// framework holds is forgotten when its owner deletes it: the framework has
// none until another is made or adopted.
HOST_API void adopt_interpreter(Tcl_Interp* interp);
HOST_API void set_dynamically_loading(bool on);
}  // namespace host::tcl
