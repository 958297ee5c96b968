// The stand-in host as a Tcl package, so a tclsh script can drive a fit the
// way velmo-fit does and then use the component's own Tcl commands on it:
//
//   load .../lib/libvelmo_fit_tcl.so Velmo_fit
//   velmo_fit::start ?velmo-fit options?   prepare the host, adopt this
//                                          interpreter, load and start the
//                                          component, run the prepare step
//                                          (--help returns the usage and
//                                          starts nothing; --report and
//                                          --stages are refused)
//   velmo_fit::stage plan|place|route|retime|final   -> 1 or 0
//   velmo_fit::cfg name ?value?            read a configuration value, or
//                                          set one during a fit (a value
//                                          start would refuse is refused
//                                          alike; outside a fit, refused)
//   velmo_fit::call_log ?pattern?          names of the host calls so far
//   velmo_fit::clear_call_log
//   velmo_fit::script name bool|int|string value ?-always?
//   velmo_fit::end                         the post-fit checks when a stage
//                                          routed and the preserved
//                                          partitions' check after place,
//                                          then shut the component down
//                                          -> 1, or 0 when a stage or a
//                                          check failed, a stage's
//                                          equivalence-check
//                                          files were not written, or a
//                                          design with partitions was never
//                                          placed; the fit is closed
//                                          whatever fails in it
//
// A command a stage evaluates in this interpreter (the final stage's
// timing reports, say) may not run a stage or end the fit.
// The stages play velmo-fit's host sequence: each at most once, in flow
// order, with the host's timing analysis after it; route, retime and final
// need place, retime needs route (final too on a family whose final stage
// routes nothing), and no stage runs after one that failed. One fit at a
// time; start resets the whole host, and a start that fails leaves no fit
// open. One copy of the package per interpreter: loading a second (the same
// files in another folder) is an error that leaves the first in charge. Each
// fit ends the component's blackboxing mode, so the next one starts as in a
// fresh process (but for the configuration values the component reads once
// per process).
//
// With equivalence checking on (project option 627 in the settings), the
// package writes the netlists and check scripts velmo-fit writes, at the
// same points and with the same code: the synthesized netlist at start, each
// stage's netlist and script after it, each netlist from the whole design
// also while blackboxed partitions are on their shells. A netlist that
// cannot be written, or a script asked for that the component left missing
// or short, fails the stage (0) after one line on stderr naming the file.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <tbb/global_control.h>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_control.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "oxu/oxu_job.h"
#include "sta/sta_analysis.h"
#include "velmo_fit_sequence.h"
#include "velmo_fit_session.h"
#include "velmo_fit_verification.h"
// Last: the Tcl headers define CONST, a template parameter name of the
// containers the host headers above use.
#include <tcl.h>

#include "umbr/umbr_tcl.h"

namespace {

struct FIT {
  void* lib = nullptr;
  std::string design;  // the design's name
  std::unique_ptr<velmo_fit::HOST_SEQUENCE> sequence;
  std::unique_ptr<tbb::global_control> parallelism;  // --threads, for the fit's lifetime
  std::string failed;  // the stage that failed (no stage runs after it)
  // The stage running: a Tcl command it evaluates (a report's proc) may
  // call the package, but may not end the fit under it.
  std::string running;
  bool started = false;
  int threads = 4;  // --threads of the fit
  // Equivalence checking (project option 627), as velmo-fit writes it.
  velmo_fit::VERIFICATION verification;
  bool netlist_failed = false;  // a stage's netlist or check script could not be written
};

// Never destroyed: the exit handler below releases what a fit holds, and
// the parallelism limit is left in force to the end of the process.
FIT& fit() {
  static FIT& f = *new FIT;
  return f;
}

int error(Tcl_Interp* interp, const std::string& text) {
  Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
  return TCL_ERROR;
}

void print_message(const POSTED_MESSAGE& m) {
  std::printf("%s\n", host::messages::format(m).c_str());
  std::fflush(stdout);
}

// A thread that cannot be started fails the fit with a Tcl error, as
// velmo-fit ends with its line. A worker of the threading library that
// cannot start the next worker fails outside any command: it notes the
// reason and waits for the end of the process (it holds no work yet, and
// the others finish the parallel region), and the command running, or the
// next one, fails with it.
// The reason is kept in storage the exit of the process leaves alone: a
// worker may fail while tclsh exits.
std::thread::id g_interp_thread;
std::mutex g_worker_failure_lock;
std::string& g_worker_failure = *new std::string;
std::terminate_handler g_previous_terminate = nullptr;

[[noreturn]] void on_terminate() {
  if (std::this_thread::get_id() != g_interp_thread)
    if (std::exception_ptr active = std::current_exception()) {
      try {
        std::rethrow_exception(active);
      } catch (const std::exception& e) {
        if (const std::string reason = host::thread_start_failure(e); !reason.empty()) {
          {
            const std::lock_guard<std::mutex> hold(g_worker_failure_lock);
            if (g_worker_failure.empty()) g_worker_failure = reason;
          }
          for (;;) pause();
        }
      } catch (...) {
      }
    }
  if (g_previous_terminate != nullptr) g_previous_terminate();
  std::abort();
}

void release_at_exit(ClientData);

// After a thread could not start, the threading library may still start a
// late worker as the process ends, and it would run while the libraries'
// static objects are destroyed (a pure virtual call, an abort). Such a
// process ends without those destructors: the fit is closed, what Tcl and
// C have buffered is written, and the process exits with the script's
// status.
[[noreturn]] void exit_after_thread_failure(ClientData status) {
  release_at_exit(nullptr);
  for (int which : {TCL_STDOUT, TCL_STDERR})
    if (Tcl_Channel channel = Tcl_GetStdChannel(which)) Tcl_Flush(channel);
  std::fflush(nullptr);
  _exit(static_cast<int>(reinterpret_cast<std::intptr_t>(status)));
}

int thread_failure(Tcl_Interp* interp, const std::string& reason) {
  Tcl_SetExitProc(&exit_after_thread_failure);
  if (fit().failed.empty()) fit().failed = "a thread that could not be started";
  return error(interp, "cannot start a thread: " + reason);
}

// Runs a host or component call, turning an internal error into a Tcl error.
template <class F> int guarded(Tcl_Interp* interp, F&& f) {
  try {
    const int code = f();
    std::string reason;
    {
      const std::lock_guard<std::mutex> hold(g_worker_failure_lock);
      reason.swap(g_worker_failure);
    }
    return reason.empty() ? code : thread_failure(interp, reason);
  } catch (const HOST_INTERNAL_ERROR& e) {
    if (fit().failed.empty()) fit().failed = "an internal error";
    return error(interp, "Internal Error: " + e.condition + " (" + e.file + ":" + std::to_string(e.line) + ")");
  } catch (const std::exception& e) {
    if (const std::string reason = host::thread_start_failure(e); !reason.empty()) return thread_failure(interp, reason);
    if (fit().failed.empty()) fit().failed = "an internal error";
    return error(interp, std::string("Internal Error: exception: ") + e.what());
  }
}

// The component stays mapped once opened (RTLD_NODELETE): commands of its
// packages may outlive the fit and the handle Tcl's `load` took, and the
// worker threads of the threading library it brought in may still be
// winding down when the fit ends. close_fit shuts the component down first;
// close_fit_state only drops the fit.
void close_fit_state();
void close_fit() {
  FIT& f = fit();
  if (f.sequence) f.sequence->shut_down();
  close_fit_state();
}

void close_fit_state() {
  FIT& f = fit();
  f.started = false;
  f.running.clear();
  f.sequence.reset();
  f.failed.clear();
  f.verification = velmo_fit::VERIFICATION();
  f.netlist_failed = false;
  if (f.lib) dlclose(f.lib);
  f.lib = nullptr;
}

// Closes a fit that a failed command left open. Closing may fail as well
// (a thread that cannot be started): the command's own result is the one
// given.
void close_left_open(Tcl_Interp* interp) {
  if (!fit().lib && !fit().sequence) return;
  Tcl_Obj* result = Tcl_GetObjResult(interp);
  Tcl_IncrRefCount(result);
  guarded(interp, [] {
    close_fit();
    return TCL_OK;
  });
  close_fit_state();
  Tcl_SetObjResult(interp, result);
  Tcl_DecrRefCount(result);
}

int start_fit(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

// A start that fails leaves no fit open, whatever failed.
int cmd_start(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  if (fit().lib) return error(interp, "velmo_fit::start: a fit is running; end it first");
  const int code = start_fit(interp, objc, objv);
  if (code != TCL_OK) close_left_open(interp);
  return code;
}

int start_fit(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  std::vector<std::string> words{"velmo-fit"};
  for (int i = 1; i < objc; ++i) words.emplace_back(Tcl_GetString(objv[i]));
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  velmo_fit::OPTIONS o;
  std::string why;
  if (!velmo_fit::parse_options(static_cast<int>(argv.size()), argv.data(), &o, &why))
    return error(interp, "velmo_fit::start: " + why);
  if (o.help) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(velmo_fit::usage(), -1));
    return TCL_OK;
  }
  if (!o.report_file.empty())
    return error(interp, "velmo_fit::start: --report is not supported here (the package writes no report)");
  if (o.stages_given)
    return error(interp, "velmo_fit::start: --stages is not supported here (run each stage with velmo_fit::stage)");
  // A netlist or check script written past the file-size limit fails with
  // EFBIG, which the stage reports, instead of ending tclsh.
  std::signal(SIGXFSZ, SIG_IGN);
  return guarded(interp, [&] {
    host_reset();
    host::sta::verify_incremental(false);
    host::messages::set_listener(&print_message);
    host::cfg::set_bad_value_listener(&velmo_fit::warn_bad_cfg_value);
    for (unsigned id : o.suppressed) host::messages::suppress(id);
    if (o.debug_level > 0) {
      host::debug::set_level("VELMO", o.debug_level);
      host::debug::set_echo(true);
    }
    FIT& f = fit();
    f.parallelism = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                          static_cast<std::size_t>(o.threads));
    OXU_PROCESSOR_MANAGER::set_thread_count(o.threads);
    f.threads = o.threads;
    velmo_fit::PREPARED prepared;
    if (velmo_fit::prepare_host(o, &prepared, &why) != 0) return error(interp, "velmo_fit::start: " + why);
    f.sequence = std::make_unique<velmo_fit::HOST_SEQUENCE>(prepared.settings.partitions);
    if (!f.sequence->partitions().prepare(&why)) {
      f.sequence.reset();
      return error(interp, "velmo_fit::start: " + why);
    }
    // Any stage may be asked for later: the directories of every script
    // the configuration asks for.
    if (velmo_fit::VERIFICATION::requested() &&
        !velmo_fit::VERIFICATION::check_before_fit(prepared.design.name, velmo_fit::all_stages(), &why)) {
      f.sequence.reset();
      return error(interp, "velmo_fit::start: " + why);
    }
    f.design = prepared.design.name;
    host::tcl::adopt_interpreter(interp);

    const std::string path = velmo_fit::component_library_path(false);
    f.lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!f.lib) {
      const char* e = dlerror();
      f.sequence.reset();
      return error(interp, "velmo_fit::start: cannot load " + path + ": " + (e ? e : "unknown error"));
    }
    std::vector<std::string> missing;
    f.sequence->bind(f.lib, {}, true, &missing);
    if (!missing.empty()) {
      close_fit();
      return error(interp, "velmo_fit::start: libvelmo.so lacks " + missing.front());
    }
    if (f.verification.bind(f.lib, prepared.design.name, &f.sequence->partitions())) {
      if (!f.verification.write("synthesized")) {
        const std::string path = f.verification.netlist_path("synthesized");
        close_fit();
        return error(interp, "velmo_fit::start: cannot write the netlist " + path);
      }
      f.sequence->after_stage = [&f](const std::string& s, bool ok) {
        if (!f.verification.after_stage(s, ok)) f.netlist_failed = true;
      };
    }
    CMP_FACADE::current()->set_command_line("tclsh velmo_fit::start");
    f.started = true;
    if (!f.sequence->start_up(CMP_FACADE::current())) {
      close_fit();
      return error(interp, "velmo_fit::start: the component's start-up failed");
    }
    if (!f.sequence->prepare()) {
      close_fit();
      return error(interp, "velmo_fit::start: the prepare step failed");
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(path.c_str(), -1));
    return TCL_OK;
  });
}

int cmd_stage(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  if (objc != 2) {
    Tcl_WrongNumArgs(interp, 1, objv, "stage");
    return TCL_ERROR;
  }
  FIT& f = fit();
  if (!f.started) return error(interp, "velmo_fit::stage: no fit is running");
  if (!f.running.empty()) return error(interp, "velmo_fit::stage: the " + f.running + " stage is running");
  const std::string s = Tcl_GetString(objv[1]);
  // A partitioned design says why it needs place, as velmo-fit does for a
  // stage list without place.
  if ((s == "route" || s == "retime" || s == "final") && !f.sequence->ran("place"))
    if (const std::string why = f.sequence->partitions().place_needed(); !why.empty())
      return error(interp, "velmo_fit::stage: " + s + " before place: " + why);
  if (std::string why = velmo_fit::stage_refusal(f.sequence->stages_run(), s, host::device::spec().family);
      !why.empty())
    return error(interp, "velmo_fit::stage: " + why);
  if (!f.failed.empty()) return error(interp, "velmo_fit::stage: " + s + " cannot run after " + f.failed);
  f.running = s;
  const int code = guarded(interp, [&] {
    // A netlist or check script that cannot be written fails the stage
    // that made it.
    const bool ok = f.sequence->run_stage(s, false) && !f.netlist_failed;
    if (!ok) f.failed = "the failed stage " + s;
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(ok));
    return TCL_OK;
  });
  f.running.clear();
  return code;
}

// The stages the fit may still run: those after the last one that ran
// (stages run in flow order).
std::vector<std::string> stages_to_run() {
  std::vector<std::string> stages = velmo_fit::all_stages();
  const std::vector<std::string>& ran = fit().sequence->stages_run();
  if (!ran.empty()) stages.erase(stages.begin(), std::find(stages.begin(), stages.end(), ran.back()) + 1);
  return stages;
}

// Sets a configuration value, only during a fit: start resets the whole
// configuration, so a value given before it would be dropped (start takes
// it with --cfg). The configuration must pass the checks start made on it,
// with the same message: a value they refuse is not taken (the earlier one
// stays), and one they lower is lowered. A check-script switch turned on
// makes every check start makes for the scripts, on the stages still to
// run, and is refused when its stage has already run; turned off, it asks
// for nothing and is always taken.
bool set_cfg(Tcl_Interp* interp, const char* name, const char* value) {
  if (!fit().started) {
    error(interp, "velmo_fit::cfg: no fit is running: give it to velmo_fit::start with --cfg");
    return false;
  }
  using velmo_fit::VERIFICATION;
  const std::string item = name;
  const auto values = host::cfg::snapshot();
  const auto old = values.find(item);
  const bool was_on = VERIFICATION::switch_on(item);
  host::cfg::set(item, value);
  const bool turned_on = std::string_view(item).starts_with("fitter_write_eqcheck_for_") && !was_on &&
                         VERIFICATION::switch_on(item);
  // Only a switch of a stage's script asks for anything to be written.
  const std::string stage = turned_on ? VERIFICATION::stage_of_switch(item) : std::string();
  std::string why;
  if (!stage.empty() && fit().sequence->ran(stage))
    why = item + " asks for the check script of the " + stage + " stage, which has already run";
  if (why.empty()) why = velmo_fit::cfg_refusal(fit().threads);
  if (why.empty() && !stage.empty() && VERIFICATION::requested())
    VERIFICATION::check_before_fit(fit().design, stages_to_run(), &why);
  if (why.empty()) {
    // Taken: a name nothing reads during the fit is warned of at its end.
    // (Its value as the checks left it, which may have lowered it.)
    const auto now = host::cfg::snapshot();
    const auto it = now.find(item);
    host::cfg::set_by_user(item, it != now.end() ? it->second : std::string(value), "velmo_fit::cfg");
    if (turned_on) VERIFICATION::warn_switches_without_effect(item);
    return true;
  }
  if (old != values.end())
    host::cfg::set(item, old->second);
  else
    host::cfg::unset(item);
  error(interp, "velmo_fit::cfg: " + why);
  return false;
}

int cmd_cfg(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  if (objc != 2 && objc != 3) {
    Tcl_WrongNumArgs(interp, 1, objv, "name ?value?");
    return TCL_ERROR;
  }
  const char* name = Tcl_GetString(objv[1]);
  if (*name == '\0') return error(interp, "velmo_fit::cfg: empty configuration name");
  // Only the fit's own readings count as reading a name: this command's
  // checks and the value it answers do not.
  host::cfg::UNCOUNTED_READS uncounted;
  if (objc == 3 && !set_cfg(interp, name, Tcl_GetString(objv[2]))) return TCL_ERROR;
  Tcl_SetObjResult(interp, Tcl_NewStringObj(cfg_get_value(name, "").c_str(), -1));
  return TCL_OK;
}

int cmd_call_log(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  if (objc > 2) {
    Tcl_WrongNumArgs(interp, 1, objv, "?pattern?");
    return TCL_ERROR;
  }
  const char* pattern = objc == 2 ? Tcl_GetString(objv[1]) : "*";
  Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
  for (const std::string& name : host::call_names())
    if (Tcl_StringMatch(name.c_str(), pattern)) Tcl_ListObjAppendElement(interp, list, Tcl_NewStringObj(name.c_str(), -1));
  Tcl_SetObjResult(interp, list);
  return TCL_OK;
}

int cmd_clear_call_log(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  if (objc != 1) {
    Tcl_WrongNumArgs(interp, 1, objv, "");
    return TCL_ERROR;
  }
  host::clear_calls();
  return TCL_OK;
}

int cmd_script(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  const bool always = objc == 5 && std::string(Tcl_GetString(objv[4])) == "-always";
  if (objc != 4 && !always) {
    Tcl_WrongNumArgs(interp, 1, objv, "name bool|int|string value ?-always?");
    return TCL_ERROR;
  }
  const std::string name = Tcl_GetString(objv[1]);
  const std::string type = Tcl_GetString(objv[2]);
  auto put = [&](auto v) {
    if (always)
      host::script::always(name, v);
    else
      host::script::queue<decltype(v)>(name).push(v);
  };
  if (type == "bool") {
    int b = 0;
    if (Tcl_GetBooleanFromObj(interp, objv[3], &b) != TCL_OK) return TCL_ERROR;
    put(b != 0);
  } else if (type == "int") {
    int i = 0;
    if (Tcl_GetIntFromObj(interp, objv[3], &i) != TCL_OK) return TCL_ERROR;
    put(i);
  } else if (type == "string") {
    put(std::string(Tcl_GetString(objv[3])));
  } else {
    return error(interp, "velmo_fit::script: unknown type '" + type + "' (bool, int or string)");
  }
  return TCL_OK;
}

int cmd_end(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  if (objc != 1) {
    Tcl_WrongNumArgs(interp, 1, objv, "");
    return TCL_ERROR;
  }
  if (!fit().lib) return error(interp, "velmo_fit::end: no fit is running");
  // A command the stage evaluates cannot end the fit under the stage.
  if (!fit().running.empty())
    return error(interp, "velmo_fit::end: the " + fit().running + " stage is running; end the fit after it");
  // A fit whose threads stopped starting has failed already: a worker that
  // could not start while it is shut down says nothing new, and the end
  // still answers 0.
  const bool threads_failed = fit().failed == "a thread that could not be started";
  const int code = guarded(interp, [&] {
    // The post-fit checks after the stage that routed last, as velmo-fit
    // runs them after its last stage.
    FIT& f = fit();
    // A partitioned design's fit that never placed fails, as velmo-fit
    // refuses its stage list: the whole design's timing and the preserved
    // partitions were never seen.
    const std::string unplaced =
        f.started && !f.sequence->ran("place") ? f.sequence->partitions().place_needed() : std::string();
    if (!unplaced.empty()) {
      std::fflush(stdout);
      std::fprintf(stderr, "velmo_fit::end: %s\n", unplaced.c_str());
    }
    // A failed stage fails the fit, as it makes velmo-fit end 1; so do
    // equivalence-check files asked for and not written.
    bool clean = unplaced.empty() && f.failed.empty() && (!f.started || f.sequence->post_fit_checks()) &&
                 !f.netlist_failed;
    // Preserved partitions that lost their placement or routing fail the
    // fit, as in velmo-fit.
    if (clean && f.started && f.failed.empty() && f.sequence->partitions().active() && f.sequence->ran("place"))
      clean = f.sequence->partitions().print_preserved_check();
    velmo_fit::warn_unread_cfg();
    if (f.started) f.verification.finish();
    close_fit();
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(clean));
    return TCL_OK;
  });
  // The end closes the fit whatever failed in it.
  close_left_open(interp);
  if (code == TCL_ERROR && threads_failed) {
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(0));
    return TCL_OK;
  }
  return code;
}

// At the end of the process (tclsh's exit, or the end of its script) a fit
// still open is closed as `end` closes it, without its checks: the
// component is shut down. The fit's parallelism limit stays in force:
// lifting it has the threading library start more workers, and one that
// cannot start would end the process from a destructor.
void release_at_exit(ClientData) {
  if (fit().lib) {
    try {
      close_fit();
    } catch (...) {
      // Nothing is left to report to, and nothing is destroyed at the exit.
    }
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int Velmo_fit_Init(Tcl_Interp* interp) {
  // The host has one interpreter for the process: a child interpreter,
  // which its parent may delete at any time, cannot be it.
  if (Tcl_GetMaster(interp) != nullptr) return error(interp, "load the package in the main interpreter");
  // Another copy of the package (its files in another folder) in charge of
  // this interpreter stays in charge: its commands, its host and the fit it
  // may be running are the interpreter's.
  if (Tcl_CmdInfo info; Tcl_GetCommandInfo(interp, "::velmo_fit::start", &info) && info.objProc != cmd_start)
    return error(interp, "another copy of the velmo_fit package is loaded in this interpreter; this one is not used");
  g_interp_thread = std::this_thread::get_id();
  if (g_previous_terminate == nullptr) g_previous_terminate = std::set_terminate(&on_terminate);
  static std::once_flag exit_handler;
  std::call_once(exit_handler, [] { Tcl_CreateExitHandler(&release_at_exit, nullptr); });
  // The host's command framework works in this interpreter from now on, so
  // that the component's packages can be loaded before any fit.
  host::tcl::adopt_interpreter(interp);
  Tcl_CreateNamespace(interp, "::velmo_fit", nullptr, nullptr);
  struct {
    const char* name;
    Tcl_ObjCmdProc* proc;
  } const commands[] = {
      {"::velmo_fit::start", cmd_start},       {"::velmo_fit::stage", cmd_stage},
      {"::velmo_fit::cfg", cmd_cfg},           {"::velmo_fit::call_log", cmd_call_log},
      {"::velmo_fit::clear_call_log", cmd_clear_call_log},
      {"::velmo_fit::script", cmd_script},     {"::velmo_fit::end", cmd_end},
  };
  for (const auto& c : commands) Tcl_CreateObjCommand(interp, c.name, c.proc, nullptr, nullptr);
  return Tcl_PkgProvide(interp, "velmo_fit", "1.0");
}
