#include "cmp/cmp_facade.h"

#include "common/host_call_log.h"

#include <memory>

#include "common/host_world.h"
#include "omz/omz_option.h"

namespace {
struct CMP_STATE {
  std::unique_ptr<CMP_FACADE> facade = std::make_unique<CMP_FACADE>();
};
}  // namespace

CMP_FACADE::CMP_FACADE() = default;
CMP_FACADE::~CMP_FACADE() = default;

CMP_FACADE* CMP_FACADE::current() { return host_world_slot<CMP_STATE>().facade.get(); }

DEV_FAMILY_ENUM CMP_FACADE::get_family() const {
  return static_cast<DEV_FAMILY_ENUM>(host::device::internal_family_code());
}

OMZ_NAMESPACE* CMP_FACADE::get_option_namespace() const { return OMZ_NAMESPACE::get_default(); }

void CMP_FACADE::update_timing(bool flag) { host::log_call("CMP_FACADE::update_timing", flag); }
void CMP_FACADE::notify_timing_netlist_changed(int what) { host::log_call("CMP_FACADE::notify_timing_netlist_changed", what); }
void CMP_FACADE::report_fitter_failure(int what) { host::log_call("CMP_FACADE::report_fitter_failure", what); }
