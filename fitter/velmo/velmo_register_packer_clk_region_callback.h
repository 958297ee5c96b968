#pragma once
// The legality listener the register-packing interface hands out: whether a
// (register, block) pair may be packed, answered by the location manager or,
// on the large-periphery families, by the clock network's rules. A pair that
// is answered true is committed in that manager at once.
#include "nolt/nolt_register_packer.h"
#include "norbo/norbo_manager.h"

class VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK : public NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER {
public:
  VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK();
  ~VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK() override;
  VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK(const VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK&) = delete;
  VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK& operator=(const VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK&) = delete;

  bool is_io_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair, NOLT_IO_RP_REGISTER_TYPE type,
                              NOLT_RP_EXPLANATION* explanation) const override;
  bool is_ram_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair,
                               NOLT_RP_EXPLANATION* explanation) const override;
  bool is_dsp_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair,
                               NOLT_RP_EXPLANATION* explanation) const override;

  bool uses_location_manager() const { return m_use_location_manager; }

private:
  bool is_block_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair) const;

  bool m_use_location_manager;
  // The manager records accepted pairs, which answering does from a const
  // member of the listener interface.
  mutable NORBO_MANAGER m_location_manager;
};
