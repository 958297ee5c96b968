#include "piz/piz_report.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool PIZ_COMPILATION_REPORT_ACCESSOR::load() {
  host::log_call("PIZ_COMPILATION_REPORT_ACCESSOR::load");
  return host::script::next<bool>("PIZ_COMPILATION_REPORT_ACCESSOR::load", true);
}

int PIZ_COMPILATION_REPORT_ACCESSOR::create_linked_report(const std::string& name, const std::string& creator,
                                                          int folder) {
  host::log_call("PIZ_COMPILATION_REPORT_ACCESSOR::create_linked_report", name, creator, folder);
  return 0;
}

void PIZ_COMPILATION_REPORT_ACCESSOR::link_report(int report) {
  host::log_call("PIZ_COMPILATION_REPORT_ACCESSOR::link_report", report);
}

void PIZ_COMPILATION_REPORT_ACCESSOR::write_report(int report_type) {
  host::log_call("PIZ_COMPILATION_REPORT_ACCESSOR::write_report", report_type);
}

void PIZ_CONCURRENT_ACCESS::lock(PIZ_COMPILATION_REPORT_ACCESSOR*, bool for_writing) {
  host::log_call("PIZ_CONCURRENT_ACCESS::lock", for_writing);
}

void PIZ_CONCURRENT_ACCESS::unlock(PIZ_COMPILATION_REPORT_ACCESSOR*) { host::log_call("PIZ_CONCURRENT_ACCESS::unlock"); }
