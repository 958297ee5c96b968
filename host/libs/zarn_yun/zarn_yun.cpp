// The retiming-engine library the component loads by name.
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "kem/kem_timing_model.h"
#include "yun/yun_utility.h"

namespace {

class ZARN_YUN_UTILITY : public YUN_UTILITY {
public:
  explicit ZARN_YUN_UTILITY(YUN_ENV* env) : m_env(env) {}

  // recorded with the three settings the environment gives; scripted under
  // "YUN_UTILITY::retime", default true.
  bool retime() override {
    host::log_call("YUN_UTILITY::retime", m_env->get_bool_data(YUN_ENV::EXPAND_LABS),
                   m_env->get_bool_data(YUN_ENV::SPAR_FLOW_RETIMED), m_env->get_bool_data(YUN_ENV::SPAR_FLOW_FINAL));
    return host::script::next<bool>("YUN_UTILITY::retime", true);
  }

  // data: the configured part's corners (slow and fast unless the device
  // says otherwise); a test may script an empty list with
  // "YUN_UTILITY::no_timing_models".
  void get_timing_models(std::vector<KEM_TIMING_MODEL>& models) override {
    host::log_call("YUN_UTILITY::get_timing_models");
    if (host::script::next<bool>("YUN_UTILITY::no_timing_models", false)) return;
    for (const DeviceCorner& c : host::device::spec().corners) models.push_back(KEM_TIMING_MODEL::from_corner(c));
  }

private:
  YUN_ENV* m_env;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) YUN_UTILITY* yun_utility_factory(YUN_ENV* env) {
  host::log_call("yun_utility_factory", env);
  return new ZARN_YUN_UTILITY(env);
}
