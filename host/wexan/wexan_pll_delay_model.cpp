// The PLL delay models: per-step delays at the current corner and the
// engineering override.
#include "wexan/wexan_pll_delay_model.h"

#include "common/host_call_log.h"
#include "dev/dev_spec.h"
#include "kem/kem_manager.h"
#include "yos/yos_interface.h"
#include "yos/yos_translator.h"

std::string host::pll::corner_name(int speed_grade, int kind, int millivolts, int celsius) {
  const std::string tail = "_" + std::to_string(millivolts) + "mv_" + std::to_string(celsius) + "c";
  return kind == DeviceCorner::FAST ? "MIN_fast" + tail : std::to_string(speed_grade) + "_slow" + tail;
}

int WEXAN_DELAY_CHAIN_INFO::step_delay_at(const std::string& corner) const {
  const int* measured = m_measured_delays.lookup(corner);
  return measured ? *measured : m_default_step_delay;
}

void WEXAN_PLL_CONFIGURABLE_DELAY_MODEL::on_timing_corner_change() {
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_CORNER_MANAGER* corners = kem ? kem->get_corner_manager() : nullptr;
  if (corners && corners->get_current_corner_id() >= 0) {
    const KEM_TIMING_MODEL& c = corners->get_current_corner();
    m_corner_name = host::pll::corner_name(c.get_speed_grade(), c.get_corner(), c.get_millivolts(), c.get_celsius());
  } else {
    DeviceCorner slow;
    for (const DeviceCorner& c : host::device::spec().corners)
      if (c.kind == DeviceCorner::SLOW) {
        slow = c;
        break;
      }
    m_corner_name = host::pll::corner_name(slow.speed_grade, slow.kind, slow.millivolts, slow.celsius);
  }
  m_step_delays.clear();
  for (const WEXAN_DELAY_CHAIN_GROUP* g : {&m_input_delay_chains, &m_feedback_delay_chains})
    for (const WEXAN_DELAY_CHAIN_INFO& chain : g->m_delay_chains) m_step_delays.push_back(chain.step_delay_at(m_corner_name));
}

void WEXAN_PLL_CONFIGURABLE_DELAY_MODEL::set_delay_chains_to_engineering_value(VOK_ATOM_NODE* atom,
                                                                               BIG_TIME value) const {
  host::log_call("WEXAN_PLL_CONFIGURABLE_DELAY_MODEL::set_delay_chains_to_engineering_value", atom, value.get_ps());
  if (atom == nullptr) return;
  YOS_TRANSLATOR* translator = YOS_TRANSLATOR::get_instance();
  auto write = [&](const WEXAN_DELAY_CHAIN_GROUP& g) {
    for (const WEXAN_DELAY_CHAIN_INFO& chain : g.m_delay_chains)
      yos_current_interface()->set_time_data(atom, translator->get_time_enum_of(chain.m_param_symbol.get()),
                                             value.get_ps());
  };
  write(m_input_delay_chains);
  write(m_feedback_delay_chains);
  for (const auto& g : m_output_delay_chains) write(g);
  for (const auto& g : m_lvds_delay_chains) write(g);
}
