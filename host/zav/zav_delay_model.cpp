#include "zav/zav_delay_model.h"

#include "dev/dev_family.h"
#include "zel/zel_dc_table.h"

int ZAV_ROOT_NODE::lookup(int type, unsigned setting, int condition) const {
  if (condition != 46 && condition != 47) return ZAV_ILLEGAL_DELAY;
  return host::dc::delay_ps(host::device::internal_family_code(), type, setting, m_model_code, m_speed_grade,
                            condition == 46);
}

int ZAV_ROOT_NODE::get_delay(int type, unsigned setting, int arg, int condition, int, int, int, int, int, int, int,
                             int) const {
  if (type == 562 && arg == 137) {
    if (setting > 63) return ZAV_ILLEGAL_DELAY;
    const double scale = m_model_code == host::dc::MODEL_FAST ? 0.65 : 1.0;
    return static_cast<int>(static_cast<double>(setting) * 20.0 * scale);
  }
  const auto& chains = host::dc::table(host::device::internal_family_code()).chains;
  auto it = chains.find(type);
  if (it != chains.end() && it->second.zav_by_value_only) return ZAV_ILLEGAL_DELAY;
  return lookup(type, setting, condition);
}

int ZAV_ROOT_NODE::get_delay_by_value(int type, unsigned value, int, int condition, int, int, int, int, int, int,
                                      int, int) const {
  return lookup(type, value, condition);
}
