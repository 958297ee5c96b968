#pragma once
// The transceiver transmit-deskew operations of two families.
#include "common/host_api.h"

class VOK_ATOM_NETLIST;
class VOK_CHIP_DB_ENTRY;

class HOST_API HSSI_KY_TX_DESKEW_OP {
public:
  // recorded
  HSSI_KY_TX_DESKEW_OP(VOK_CHIP_DB_ENTRY* chip, VOK_ATOM_NETLIST* netlist);
  virtual ~HSSI_KY_TX_DESKEW_OP();
  // recorded: scripted, default true.
  bool init();
  bool work();
};

class HOST_API HSSI_KX_TX_DESKEW_OP {
public:
  // recorded
  explicit HSSI_KX_TX_DESKEW_OP(VOK_ATOM_NETLIST* netlist);
  virtual ~HSSI_KX_TX_DESKEW_OP();
  // recorded: scripted, default true.
  bool init();
  bool work();
};
