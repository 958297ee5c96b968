#pragma once
// algorithm: file-system operations over std::filesystem.
#include "common/host_api.h"

class HOST_API WEZ_FILE_SYSTEM {
public:
  static bool exists(const char* path);
  // Makes one directory; false when it could not.
  static bool mkdir(const char* path);
  // Removes the file or directory tree at `path`, following no link: a link
  // given (with or without a trailing slash) or met inside is removed as a
  // link, and what it points to stays. True when nothing is left there
  // (also when nothing was); the two callbacks are unused.
  static bool remove_recursively(const char* path, void* filter, void* progress);
};
