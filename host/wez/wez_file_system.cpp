#include "wez/wez_file_system.h"

#include <filesystem>
#include <system_error>

bool WEZ_FILE_SYSTEM::exists(const char* path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

bool WEZ_FILE_SYSTEM::mkdir(const char* path) {
  std::error_code ec;
  return std::filesystem::create_directory(path, ec);
}

bool WEZ_FILE_SYSTEM::remove_recursively(const char* path, void*, void*) {
  std::error_code ec;
  return std::filesystem::remove_all(path, ec) != static_cast<std::uintmax_t>(-1);
}
