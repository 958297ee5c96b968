#pragma once
// The slack walk of STA_SLACK_CALCULATOR: one helper per slack found, handed
// to a callback object that decides whether it is valid and what to do with
// it.
#include <cstdint>

#include "common/host_api.h"
#include "kem/kem_netlist.h"
#include "sta/sta_db_mgr.h"

// One slack of the walk: the edge's setup and hold slack at one corner.
class HOST_API STA_SLACK_CALCULATOR_HELPER {
public:
  STA_SLACK_CALCULATOR_HELPER(KEM_CORNER* corner, std::int32_t setup, std::int32_t hold)
      : m_corner(corner), m_setup(setup), m_hold(hold) {}
  // The slack for a delay kind (KEM_EDGE::get_delay numbering): 0 and 1, the
  // max delays, give the setup slack; 2 and 3, the min delays, the hold
  // slack. KEM_NO_SLACK when there is none.
  std::int32_t compute_slack(int delay_edge) const { return (delay_edge & 3) >= 2 ? m_hold : m_setup; }
  KEM_CORNER* get_internal_corner() const { return m_corner; }
  // The path type of the walk that made it (1 setup, 2 hold).
  int get_analysis_type() const { return m_type; }

private:
  friend class STA_SLACK_CALCULATOR;
  KEM_CORNER* m_corner = nullptr;
  std::int32_t m_setup = KEM_NO_SLACK;
  std::int32_t m_hold = KEM_NO_SLACK;
  int m_type = STA_LONG_PATH_ANALYSIS;
};

class HOST_API STA_TQ2 {
public:
  // A slack is valid for the timing engine's users when the path type's
  // slack exists.
  static bool is_valid_slack_for_hov(const STA_SLACK_CALCULATOR_HELPER& slack);
};

class HOST_API STA_SLACK_CALCULATOR_CALLBACK_BASE {
public:
  virtual ~STA_SLACK_CALCULATOR_CALLBACK_BASE();
  virtual void callback_on_valid_slack(const STA_SLACK_CALCULATOR_HELPER& slack) = 0;
  virtual bool is_valid_slack(const STA_SLACK_CALCULATOR_HELPER& slack) const {
    return STA_TQ2::is_valid_slack_for_hov(slack);
  }
};
