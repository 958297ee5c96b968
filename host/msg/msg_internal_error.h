#pragma once
// The internal-error reporter. report() never returns: it records the call and
// throws HOST_INTERNAL_ERROR, which derives from nothing so that no
// catch (const std::exception&) in the component or a library swallows it.
#include <string>
#include "common/host_api.h"

class HOST_API HOST_INTERNAL_ERROR {
public:
  HOST_INTERNAL_ERROR(std::string condition, std::string tag, std::string file, int line);
  virtual ~HOST_INTERNAL_ERROR();  // out of line: one typeinfo for every module
  HOST_INTERNAL_ERROR(const HOST_INTERNAL_ERROR&) = default;
  HOST_INTERNAL_ERROR& operator=(const HOST_INTERNAL_ERROR&) = default;

  std::string condition;
  std::string tag;
  std::string file;
  int line = 0;

  // "condition (file:line)"
  std::string what() const;
};

class HOST_API MSG_INTERNAL_ERROR {
public:
  [[noreturn]] static void report(const char* condition, const char* tag, const char* file, int line);
};
