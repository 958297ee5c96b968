#pragma once
// data: memory-accounting categories that libraries register when they are
// loaded, and the process's memory figures.
#include <cstdint>
#include <string>
#include <vector>
#include "common/host_api.h"

class HOST_API MEM_INITIALIZER {
public:
  explicit MEM_INITIALIZER(const char* tag);
};

class HOST_API MEM_MANAGER {
public:
  // recorded: checks the guard words of the host's memory pools.
  static void check_memory_guards();
};

HOST_API std::uint64_t mem_info_get_process_current_virtual_used();
HOST_API std::uint64_t mem_info_get_process_peak_virtual_used();

namespace host::mem {
// Tags registered so far (kept across resets), one entry per registration.
HOST_API std::vector<std::string> tags();
}
