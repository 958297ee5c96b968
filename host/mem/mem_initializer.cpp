#include "mem/mem_initializer.h"

#include "common/host_call_log.h"

#include <fstream>
#include <mutex>
#include <sstream>

namespace {
std::mutex& tag_mutex() {
  static std::mutex m;
  return m;
}
std::vector<std::string>& tag_list() {
  static auto* v = new std::vector<std::string>();
  return *v;
}
// Reads a "VmSize:"-style line of /proc/self/status, in bytes.
std::uint64_t status_kb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) {
      std::istringstream is(line.substr(std::string(key).size()));
      std::uint64_t kb = 0;
      is >> kb;
      return kb * 1024;
    }
  }
  return 0;
}
}  // namespace

MEM_INITIALIZER::MEM_INITIALIZER(const char* tag) {
  std::lock_guard<std::mutex> lock(tag_mutex());
  tag_list().push_back(tag ? tag : "");
}

std::uint64_t mem_info_get_process_current_virtual_used() { return status_kb("VmSize:"); }
std::uint64_t mem_info_get_process_peak_virtual_used() { return status_kb("VmPeak:"); }

namespace host::mem {
std::vector<std::string> tags() {
  std::lock_guard<std::mutex> lock(tag_mutex());
  return tag_list();
}
}  // namespace host::mem

void MEM_MANAGER::check_memory_guards() { host::log_call("MEM_MANAGER::check_memory_guards"); }
