#pragma once
// Profiling bins, stopwatches and time texts.
//
// recorded: opening and closing a bin is logged; bins form a per-thread
// stack. A close that does not match the top is recorded as an anomaly
// ("unbalanced close <name>"), never raised (destructors close bins).
#include <string>
#include <vector>
#include "common/host_api.h"
#include "common/host_clock.h"

class HOST_API GEN_PROFILE_BINS {
public:
  using HANDLE = int;  // the stack depth before the bin was opened
  static HANDLE open_with_tag(const char* group, const char* name, int limit, const char* tag);
  // A bin of a module that carries both a group and a user tag.
  static HANDLE open_with_tag(const char* module, const char* name, int limit, const char* group, const char* tag);
  static HANDLE open(const char* group, const char* name);
  static void close(const char* name);
  static void close_recursively(HANDLE handle);
};

// A stopwatch on the host clock.
class HOST_API GEN_STOPWATCH {
public:
  GEN_STOPWATCH();
  void start();
  void stop();
  void reset();
  double get_elapsed_seconds() const;
  // "hh:mm:ss"
  std::string get_elapsed_time_str() const;

private:
  host::clock::time_point m_start;
  double m_accumulated = 0.0;
  bool m_running = false;
};

// "hh:mm:ss" for a number of seconds.
HOST_API std::string gen_format_elapsed_time(double seconds);
// The host clock in whole seconds since its epoch.
HOST_API long long gen_get_current_time_seconds();
// recorded: logs a netlist cookie under a name for the compile's records.
HOST_API void gen_log_cookie(const char* name, unsigned long long cookie);
// The command line the compiler was started with.
HOST_API std::string gen_get_command_line();

struct BIN_EVENT {
  std::string action;  // "open", "close", "unbalanced close"
  std::string group;
  std::string name;
  std::string tag;
  int thread;
};

namespace host::bins {
HOST_API std::vector<BIN_EVENT> events();
// Names of bins still open on the calling thread, innermost last.
HOST_API std::vector<std::string> open_stack();
// True when every thread's stack is empty and no close was unbalanced.
HOST_API bool balanced(std::string* why = nullptr);
}  // namespace host::bins
