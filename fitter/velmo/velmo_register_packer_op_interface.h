#pragma once
// The family implementation of the register-packing operation's interface,
// lent to the host by start-up for the whole fitter run.
#include <vector>
#include "nolt/nolt_register_packer.h"

class VELMO_REGISTER_PACKER_OP_INTERFACE : public NOLT_FF_REGISTER_PACKER_OP_INTERFACE {
public:
  VELMO_REGISTER_PACKER_OP_INTERFACE();
  ~VELMO_REGISTER_PACKER_OP_INTERFACE() override;
  VELMO_REGISTER_PACKER_OP_INTERFACE(const VELMO_REGISTER_PACKER_OP_INTERFACE&) = delete;
  VELMO_REGISTER_PACKER_OP_INTERFACE& operator=(const VELMO_REGISTER_PACKER_OP_INTERFACE&) = delete;

  NOLT_REGISTER_PACKER* create_io_register_packer(WEXAN_ENV* env, WEXAN_DESIGN* design) override;
  NOLT_REGISTER_PACKER* create_ram_register_packer(WEXAN_ENV* env) override;
  NOLT_REGISTER_PACKER* create_mac_register_packer(WEXAN_ENV* env) override;
  void create_register_packer_legality_listeners(
      std::vector<NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER*>& listeners) override;
  void delete_register_packers() override;
  // The estimated delay of the connection in internal units (208 per ns).
  // Sets `out_flag` true for the two pad connections; leaves it otherwise.
  int get_delay_for_connection(const VOK_ATOM_OTERM* oterm, const VOK_ATOM_ITERM* iterm,
                               bool& out_flag) const override;
  void get_packing_input_ports_for_register(std::vector<DB_INPUT_PORT_TYPE>* ports) override;

private:
  NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE* m_dsp_packer_interface;
};
