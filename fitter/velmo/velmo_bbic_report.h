#pragma once
// The report guard: for its lifetime every partition shows its full
// contents, read-only; its destructor puts back what it found.
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "jov/jov_design.h"
#include "velmo_export.h"

class VOK_ATOM_BLACKBOX;
class VOK_ATOM_NETLIST;

class VELMO_BBIC_REPORT_DETAILS {
public:
  explicit VELMO_BBIC_REPORT_DETAILS(JOV_DESIGN& design);
  ~VELMO_BBIC_REPORT_DETAILS();
  VELMO_BBIC_REPORT_DETAILS(const VELMO_BBIC_REPORT_DETAILS&) = delete;
  VELMO_BBIC_REPORT_DETAILS& operator=(const VELMO_BBIC_REPORT_DETAILS&) = delete;
  static void relink_partitions_to_boxes(JOV_DESIGN& design);

private:
  std::vector<std::pair<VOK_ATOM_BLACKBOX*, VOK_ATOM_NETLIST*>> m_box_links;
  std::vector<std::pair<JOV_PARTITION*, JOV_PARTITION::STATE_SELECTOR>> m_active_states;
  std::vector<std::pair<JOV_STATE*, bool>> m_read_only_states;
  JOV_DESIGN* m_design = nullptr;
};

class VELMO_API VELMO_BBIC_REPORT {
public:
  explicit VELMO_BBIC_REPORT(JOV_DESIGN& design);
  ~VELMO_BBIC_REPORT();
  VELMO_BBIC_REPORT(const VELMO_BBIC_REPORT&) = delete;
  VELMO_BBIC_REPORT& operator=(const VELMO_BBIC_REPORT&) = delete;

private:
  std::unique_ptr<VELMO_BBIC_REPORT_DETAILS> m_details;
};
