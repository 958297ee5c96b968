// The retiming-engine library the component loads by name.
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "kem/kem_timing_model.h"
#include "yun/yun_utility.h"
#include "zarn_yun_zota.h"

namespace {

class ZARN_YUN_UTILITY : public YUN_UTILITY {
public:
  explicit ZARN_YUN_UTILITY(YUN_ENV* env) : m_env(env), m_engine(env) {}

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

  // recorded; scripted under "YUN_UTILITY::retime", default true.
  bool retime(const ITERM_SET& first, const ITERM_SET& second, ATOM_LIST& changed) override {
    host::log_call("YUN_UTILITY::retime_sets", static_cast<int>(first.size()), static_cast<int>(second.size()));
    // The stand-in moves no register.
    zarn_yun::debug_line("retime: %d registers moved", static_cast<int>(changed.size()));
    return host::script::next<bool>("YUN_UTILITY::retime", true);
  }
  bool depopulate_netlist(HOV_ATOM_NETLIST_TAINT_MANAGER* taints) override {
    return m_engine.depopulate_netlist(taints);
  }
  bool collect_candidates(HOV_ATOM_NETLIST_TAINT_MANAGER* taints, ATOM_LIST& out) override {
    return m_engine.collect_candidates(taints, out);
  }
  void fill_register_restriction_table(PIZ_TABLE* table) override { m_engine.fill_register_restriction_table(table); }
  bool depopulate_registers(const std::vector<VOK_ATOM_NODE*>& registers,
                            HOV_ATOM_NETLIST_TAINT_MANAGER* taints) override {
    return m_engine.depopulate_registers(registers, taints);
  }
  bool repopulate(ATOM_LIST& out) override { return m_engine.repopulate(out); }
  bool repopulate_periphery_transfer_registers(const std::vector<VOK_ATOM_NODE*>& p2c, const PORT_GID_MAP& p2c_ports,
                                               const std::vector<VOK_ATOM_NODE*>& c2p,
                                               const PORT_GID_MAP& c2p_ports) override {
    return m_engine.repopulate_periphery_transfer_registers(p2c, p2c_ports, c2p, c2p_ports);
  }
  ATOM_LIST repopulate_uib_esram_c2p_registers(const ATOM_LIST& registers,
                                               VOK_RE_ROUTING_MODIFIER& modifier) override {
    return m_engine.repopulate_uib_esram_c2p_registers(registers, modifier);
  }
  // recorded.
  void prepare_repopulation() override { host::log_call("YUN_UTILITY::prepare_repopulation"); }

private:
  YUN_ENV* m_env;
  zarn_yun::ENGINE m_engine;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) YUN_UTILITY* yun_utility_factory(YUN_ENV* env) {
  host::log_call("yun_utility_factory", env);
  // A test may script a factory that makes nothing.
  if (!host::script::next<bool>("yun_utility_factory", true)) return nullptr;
  return new ZARN_YUN_UTILITY(env);
}
