#pragma once
// data: the device's delay timing model (ZAV), answering chain delays from the
// family's delay-chain table (host::dc) at one corner. Every query answers
// 0x80000001 when it has no delay.
#include "common/host_api.h"

inline constexpr int ZAV_ILLEGAL_DELAY = static_cast<int>(0x80000001u);

class HOST_API ZAV_ROOT_NODE {
public:
  ZAV_ROOT_NODE(int model_code, int speed_grade) : m_model_code(model_code), m_speed_grade(speed_grade) {}
  // The delay of a chain (ZAV type) at a setting: condition 46 on a
  // horizontal pad, 47 on another; type 562 with argument 137 is the
  // clock-delay control (20 ps per setting, settings 0-63, corner-scaled).
  // Chains the table marks as answered by value miss here.
  int get_delay(int type, unsigned setting, int arg, int condition, int a0 = 0, int a1 = 0, int a2 = 0, int a3 = 0,
                int a4 = 0, int a5 = 0, int a6 = 0, int a7 = 0) const;
  // The delay of a chain at a ZAV value (the setting it translates).
  int get_delay_by_value(int type, unsigned value, int arg, int condition, int a0 = 0, int a1 = 0, int a2 = 0,
                         int a3 = 0, int a4 = 0, int a5 = 0, int a6 = 0, int a7 = 0) const;
  int get_model_code() const { return m_model_code; }

private:
  int lookup(int type, unsigned setting, int condition) const;
  int m_model_code;
  int m_speed_grade;
};
