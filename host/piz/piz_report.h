#pragma once
// recorded: the compile report database as finalize writes to it: an
// accessor that is locked, loaded, given linked reports and written.
#include <string>
#include <vector>

#include "common/host_api.h"

class HOST_API PIZ_COMPILATION_REPORT_ACCESSOR {
public:
  // recorded: scripted "PIZ_COMPILATION_REPORT_ACCESSOR::load" (default true).
  bool load();
  // recorded: a linked report of that name, creator module and folder (0 is
  // the main folder); returns its index.
  int create_linked_report(const std::string& name, const std::string& creator, int folder);
  void link_report(int report);
  void write_report(int report_type);
};

class HOST_API PIZ_CONCURRENT_ACCESS {
public:
  static void lock(PIZ_COMPILATION_REPORT_ACCESSOR* accessor, bool for_writing);
  static void unlock(PIZ_COMPILATION_REPORT_ACCESSOR* accessor);
};
