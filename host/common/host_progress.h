#pragma once
// data: what the host is doing during a caller's long stage. While a stage
// is open (begin_stage .. end_stage), the host's operations (the hold-fix
// re-route, a timing update, the router) say when they start and end and how
// far they have come; once per interval of the injectable clock
// (host::clock) the listener is told the operations running, outermost
// first, each with what it has done of what it has to do. The operations
// report from the host's side of the calls; nothing reaches the component.
#include <cstddef>
#include <string>
#include <vector>

#include "common/host_api.h"

namespace host::progress {

struct OPERATION_STATUS {
  std::string name;       // "router", "hold-fix re-route", "timing update"
  long long done = 0;     // of `total`, in `unit`s
  long long total = -1;   // -1: the operation does not count its work
  std::string unit;       // "connection", ...
};
struct STATUS {
  std::vector<OPERATION_STATUS> running;  // outermost first, never empty
  double seconds = 0.0;                   // since the stage began
};

// The listener (null: none) and the interval between its calls, seconds.
HOST_API void set_listener(void (*listener)(const STATUS&), double every_seconds);
// The stage whose operations are reported: the first call is due one
// interval after begin_stage, the next one interval after it, and so on.
HOST_API void begin_stage();
HOST_API void end_stage();

// An operation in progress for as long as it lives (they nest).
class HOST_API OPERATION {
public:
  OPERATION(std::string name, std::string unit = std::string(), long long total = -1);
  ~OPERATION();
  OPERATION(const OPERATION&) = delete;
  OPERATION& operator=(const OPERATION&) = delete;
  // What it has done of what it has to do; tells the listener when a call is
  // due.
  void set(long long done, long long total);
  void set_done(long long done);

private:
  std::size_t m_index;  // in the running list
};

// Tells the listener when a call is due (operations call it as they go).
HOST_API void poll();

}  // namespace host::progress
