// velmo-fit: the host program. It prepares the stand-in host (configuration,
// device, compiler facade), opens libvelmo.so with dlopen exactly as a host
// fitter would, starts the component, runs the asked stages in order, shuts it
// down and prints the messages and one line per stage.
//
// Exit status: 0 success, 1 a stage (or start-up) returned false or the
// component lacks an entry point, 2 bad command line, 3 internal error.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "dev/dev_spec.h"
#include "gen/gen_profile.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "velmo_fit_options.h"

namespace {

// Demangled signature -> mangled name of every function libvelmo.so exports.
const std::map<std::string, std::string>& exports() {
  static const std::map<std::string, std::string> table = {
#include "velmo_exports.inc"
  };
  return table;
}

struct ENTRY_POINTS {
  bool (*initialize)(CMP_FACADE*) = nullptr;
  void (*shutdown)() = nullptr;
  bool (*post_plan_ops)(bool) = nullptr;
  bool (*place)() = nullptr;
  bool (*route)() = nullptr;
  bool (*retime)() = nullptr;
  bool (*finalize)() = nullptr;
};

const char* kInitialize = "velmo_initialize_fitter(CMP_FACADE*)";
const char* kShutdown = "velmo_shutdown_fitter()";

const std::map<std::string, std::string>& stage_entry() {
  static const std::map<std::string, std::string> m = {
      {"plan", "velmo_post_plan_ops(bool)"}, {"place", "velmo_place()"},  {"route", "velmo_route()"},
      {"retime", "velmo_retime()"},          {"final", "velmo_finalize()"},
  };
  return m;
}

void* find(void* lib, const std::string& signature) {
  auto it = exports().find(signature);
  if (it == exports().end()) return nullptr;
  return dlsym(lib, it->second.c_str());
}

void print_message(const POSTED_MESSAGE& m) {
  std::printf("%s\n", host::messages::format(m).c_str());
  std::fflush(stdout);
}

std::string exe_dir() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : p.parent_path().string();
}

int run(const velmo_fit::OPTIONS& o, const std::string& command_line) {
  host_reset();
  host::messages::set_listener(&print_message);
  for (unsigned id : o.suppressed) host::messages::suppress(id);
  if (o.debug_level > 0) {
    host::debug::set_level("VELMO", o.debug_level);
    host::debug::set_echo(true);
  }

  // Configuration first: the component reads some values when it is loaded.
  for (const auto& f : o.cfg_files) {
    std::string err;
    if (!host::cfg::load_file(f, &err)) {
      std::fprintf(stderr, "velmo-fit: %s\n", err.c_str());
      return 2;
    }
  }
  for (const auto& item : o.cfg_items) host::cfg::set_from_assignment(item, nullptr);

  DeviceSpec spec;
  if (o.family) spec.family = *o.family;
  host::device::configure(spec);
  CMP_FACADE* cmp = CMP_FACADE::current();
  cmp->set_command_line(command_line);

  const std::string lib_path = exe_dir() + "/lib/libvelmo.so";
  void* lib = dlopen(lib_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* e = dlerror();
    std::fprintf(stderr, "velmo-fit: cannot load %s: %s\n", lib_path.c_str(), e ? e : "unknown error");
    return 1;
  }

  ENTRY_POINTS ep;
  ep.initialize = reinterpret_cast<bool (*)(CMP_FACADE*)>(find(lib, kInitialize));
  ep.shutdown = reinterpret_cast<void (*)()>(find(lib, kShutdown));
  std::vector<std::string> missing;
  if (!ep.initialize) missing.push_back(kInitialize);
  if (!ep.shutdown) missing.push_back(kShutdown);
  std::map<std::string, void*> stage_fn;
  for (const auto& s : o.stages) {
    void* f = find(lib, stage_entry().at(s));
    if (!f) missing.push_back(stage_entry().at(s));
    stage_fn[s] = f;
  }
  if (!missing.empty()) {
    std::printf("velmo-fit: libvelmo.so does not provide these entry points yet:\n");
    for (const auto& m : missing) std::printf("  %s\n", m.c_str());
    return 1;
  }

  int status = 0;
  bool started = false;
  try {
    GEN_STOPWATCH watch;
    started = true;
    bool ok = ep.initialize(cmp);
    std::printf("Stage start-up: %s (%s)\n", ok ? "ok" : "FAILED", watch.get_elapsed_time_str().c_str());
    if (!ok) status = 1;
    for (const auto& s : o.stages) {
      if (status != 0) break;
      watch.reset();
      bool r;
      if (s == "plan")
        r = reinterpret_cast<bool (*)(bool)>(stage_fn[s])(true);
      else
        r = reinterpret_cast<bool (*)()>(stage_fn[s])();
      std::printf("Stage %s: %s (%s)\n", s.c_str(), r ? "ok" : "FAILED", watch.get_elapsed_time_str().c_str());
      std::fflush(stdout);
      if (!r) status = 1;
    }
    started = false;
    ep.shutdown();
  } catch (const HOST_INTERNAL_ERROR& e) {
    std::fflush(stdout);
    std::printf("Internal Error: %s (%s:%d)\n", e.condition.c_str(), e.file.c_str(), e.line);
    std::fflush(stdout);
    // The component is in an unknown state: leave without unloading it.
    (void)started;
    _exit(3);
  }
  dlclose(lib);
  std::printf("velmo-fit: %s\n", status == 0 ? "done" : "failed");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  velmo_fit::OPTIONS o;
  std::string error;
  if (!velmo_fit::parse_options(argc, argv, &o, &error)) {
    std::fprintf(stderr, "velmo-fit: %s\n%s\n", error.c_str(), velmo_fit::usage());
    return 2;
  }
  if (o.help) {
    std::printf("%s\n", velmo_fit::usage());
    return 0;
  }
  std::string command_line;
  for (int i = 0; i < argc; ++i) command_line += (i ? " " : "") + std::string(argv[i]);
  return run(o, command_line);
}
