#pragma once
// The PLL delay-chain operation: the host's PLL compensation with this
// component's delay models (model 0 IOPLL, model 1 CMU FPLL), the C-counter
// LVDS ports and the engineering override; and the measured per-step delays
// of the IOPLL chains.
#include <cstdint>
#include <string>

#include "dev/dev_basic_info.h"
#include "velmo_export.h"
#include "wexan/wexan_pll_delay_chains_op.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_ops.h"

class YOS_TRANSLATOR;

// One row of the measured-delay table.
struct VELMO_PLL_DELAY_CHAINS_OP_DATA_ENTRY {
  std::uint32_t device;
  std::string delay_chain;
  std::string timing_corner;
  std::int32_t delay_ps;
};

// Timing-corner name -> measured delay of one step (ps) of a chain, from the
// rows of every device whose base device is `device` (a device without a
// base device counts as its own); a later row overrides an earlier one.
VELMO_API ZMP_HASH_LITE<std::string, int> velmo_pll_delay_chains_create_op_map(DEV_DEVICE_ENUM device,
                                                                              const std::string& delay_chain);

class VELMO_API VELMO_PLL_DELAY_CHAINS_OP : public WEXAN_PLL_DELAY_CHAINS_OP {
public:
  using WEXAN_PLL_DELAY_CHAINS_OP::WEXAN_PLL_DELAY_CHAINS_OP;
  ~VELMO_PLL_DELAY_CHAINS_OP() override;

  void construct_delay_models() override;
  bool fill_in_lvds_port_type_and_index_for_c_counter(unsigned long c_counter, DB_OUTPUT_PORT_TYPE* port_type,
                                                      unsigned short* index) const override;
  unsigned get_delay_model_index(const VOK_ATOM_NODE* atom) const override;
  bool corner_case_override_done(VOK_ATOM_NODE* atom, ZMP_ENUM_TYPE<VOK_PLL_COMPENSATION_MODE_ENUM> mode,
                                 const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model) const override;

  void construct_iopll_delay_model(YOS_TRANSLATOR* translator);
  void construct_cmu_fpll_delay_model(YOS_TRANSLATOR* translator);
};
