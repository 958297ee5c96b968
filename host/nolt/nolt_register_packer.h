#pragma once
// The register-packing operation of the shared-algorithm library and the
// family interface it asks for packers and listeners.
#include <list>
#include <string>
#include <vector>
#include "common/host_api.h"
#include "vok/vok_atom_term.h"

class WEXAN_ENV;
class WEXAN_DESIGN;
class VOK_ATOM_NODE;
class VOK_ATOM_OTERM;
class VOK_ATOM_ITERM;
class ZEL_MAC_UNIFIED_UTIL;

// A packer of the library (live counter "NOLT_REGISTER_PACKER").
class HOST_API NOLT_REGISTER_PACKER {
public:
  explicit NOLT_REGISTER_PACKER(const char* kind);
  virtual ~NOLT_REGISTER_PACKER();
  NOLT_REGISTER_PACKER(const NOLT_REGISTER_PACKER&) = delete;
  NOLT_REGISTER_PACKER& operator=(const NOLT_REGISTER_PACKER&) = delete;
  // data: which packer this is.
  const std::string& get_kind() const { return m_kind; }

private:
  std::string m_kind;
};

// recorded constructors: the I/O, RAM and DSP register packers.
class HOST_API NOLT_VORAN_IO_REGISTER_PACKER_OP : public NOLT_REGISTER_PACKER {
public:
  NOLT_VORAN_IO_REGISTER_PACKER_OP(WEXAN_ENV* env, WEXAN_DESIGN* design);
};
class HOST_API NOLT_FF_RAM_REGISTER_PACKER : public NOLT_REGISTER_PACKER {
public:
  explicit NOLT_FF_RAM_REGISTER_PACKER(WEXAN_ENV* env);
};
class HOST_API NOLT_DSP_REGISTER_PACKER : public NOLT_REGISTER_PACKER {
public:
  NOLT_DSP_REGISTER_PACKER();
};

// The DSP register-packer interface (live counter
// "NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE").
class HOST_API NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE {
public:
  // recorded
  explicit NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE(WEXAN_ENV* env);
  virtual ~NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE();
  NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE(const NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE&) = delete;
  NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE& operator=(const NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE&) = delete;
  // recorded: makes a DSP register packer; scripted (bool, default true:
  // false gives null).
  virtual NOLT_REGISTER_PACKER* create_dsp_register_packer();
  // recorded: deletes a packer this interface made.
  virtual void delete_dsp_register_packer(NOLT_REGISTER_PACKER* packer);
};

// A candidate (register, block) pair: first the register, second the I/O
// buffer, RAM or DSP atom.
struct NOLT_REGPACK_CANDIDATE_PAIR {
  VOK_ATOM_NODE* first = nullptr;
  VOK_ATOM_NODE* second = nullptr;
};

enum NOLT_IO_RP_REGISTER_TYPE : int {
  NOLT_IO_RP_INPUT_REGISTER = 0,
  NOLT_IO_RP_OUTPUT_REGISTER = 1,
  NOLT_IO_RP_OE_REGISTER = 2
};

// data: why a pair was refused.
class HOST_API NOLT_RP_EXPLANATION {
public:
  struct IO_ENTRY {
    int status;
    int register_id;
    int io_id;
  };
  void add_io_explanation(int status, const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* io);
  void io_set_submessages(const std::list<std::string>& messages);
  const std::vector<IO_ENTRY>& io_entries() const { return m_io; }
  const std::list<std::string>& submessages() const { return m_submessages; }

private:
  std::vector<IO_ENTRY> m_io;
  std::list<std::string> m_submessages;
};

// The listener the packing passes ask whether a pair may be packed.
class HOST_API NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER {
public:
  NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER();
  virtual ~NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER();
  NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER(const NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER&) = delete;
  NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER& operator=(const NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER&) =
      delete;
  virtual bool is_io_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair, NOLT_IO_RP_REGISTER_TYPE type,
                                      NOLT_RP_EXPLANATION* explanation) const = 0;
  virtual bool is_ram_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair,
                                       NOLT_RP_EXPLANATION* explanation) const = 0;
  virtual bool is_dsp_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair,
                                       NOLT_RP_EXPLANATION* explanation) const = 0;
};

// The family interface the component implements.
class HOST_API NOLT_FF_REGISTER_PACKER_OP_INTERFACE {
public:
  NOLT_FF_REGISTER_PACKER_OP_INTERFACE();
  virtual ~NOLT_FF_REGISTER_PACKER_OP_INTERFACE();
  NOLT_FF_REGISTER_PACKER_OP_INTERFACE(const NOLT_FF_REGISTER_PACKER_OP_INTERFACE&) = delete;
  NOLT_FF_REGISTER_PACKER_OP_INTERFACE& operator=(const NOLT_FF_REGISTER_PACKER_OP_INTERFACE&) = delete;

  virtual NOLT_REGISTER_PACKER* create_io_register_packer(WEXAN_ENV* env, WEXAN_DESIGN* design) = 0;
  virtual NOLT_REGISTER_PACKER* create_ram_register_packer(WEXAN_ENV* env) = 0;
  virtual NOLT_REGISTER_PACKER* create_mac_register_packer(WEXAN_ENV* env) = 0;
  virtual void create_register_packer_legality_listeners(
      std::vector<NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER*>& listeners) = 0;
  virtual void delete_register_packers() = 0;
  virtual int get_delay_for_connection(const VOK_ATOM_OTERM* oterm, const VOK_ATOM_ITERM* iterm,
                                       bool& out_flag) const = 0;
  virtual void get_packing_input_ports_for_register(std::vector<DB_INPUT_PORT_TYPE>* ports) = 0;

  // data: the packers made by the create calls (null until made).
  NOLT_REGISTER_PACKER* get_io_register_packer() const { return m_io_register_packer; }
  NOLT_REGISTER_PACKER* get_ram_register_packer() const { return m_ram_register_packer; }
  NOLT_REGISTER_PACKER* get_dsp_register_packer() const { return m_dsp_register_packer; }

protected:
  NOLT_REGISTER_PACKER* m_io_register_packer = nullptr;
  NOLT_REGISTER_PACKER* m_ram_register_packer = nullptr;
  NOLT_REGISTER_PACKER* m_dsp_register_packer = nullptr;
};

class HOST_API NOLT_FF_REGISTER_PACKER_OP {
public:
  // data: the family interface the packing passes use; setting records a lend
  // ("NOLT_FF_REGISTER_PACKER_OP::set_op_interface(ptr)"), null a take-back.
  static void set_op_interface(NOLT_FF_REGISTER_PACKER_OP_INTERFACE* iface);
  static NOLT_FF_REGISTER_PACKER_OP_INTERFACE* get_op_interface();

  // recorded: a packing run; `with_w3j3` for the user-to-block port model.
  explicit NOLT_FF_REGISTER_PACKER_OP(bool with_w3j3);
  // recorded
  ~NOLT_FF_REGISTER_PACKER_OP();
  NOLT_FF_REGISTER_PACKER_OP(const NOLT_FF_REGISTER_PACKER_OP&) = delete;
  NOLT_FF_REGISTER_PACKER_OP& operator=(const NOLT_FF_REGISTER_PACKER_OP&) = delete;

  // recorded passes; each scripted, default true.
  bool perform_timing_analysis();
  bool initialize_and_sweep_netlist();
  bool pack_registers_due_to_location_assignments();
  bool pack_registers_opportunistically();
  bool pack_ram_register_aggressively();
  // recorded: frees the data kept between runs.
  static void free_permanent_data();

private:
  bool m_with_w3j3;
};

class HOST_API NOLT_RP_UTIL {
public:
  // recorded
  static void sweep_inverters_and_wire_luts_at_packable_boundaries();
  // algorithm: the width of a MAC input port as the MAC utility gives it
  // (the recorded width, else the run of terms from index 0).
  static int get_qdsp_input_port_width(const ZEL_MAC_UNIFIED_UTIL* mac_util, const VOK_ATOM_NODE* mac,
                                       DB_INPUT_PORT_TYPE port);
};
