#pragma once
// data: a terminal named by value (atom id, port symbol, port index), so that
// it survives edits of the atom objects. Input ports have symbols in
// namespace 8, output ports in namespace 9. The empty port is
// (0xFFFFFFFF, null symbol, 0xFFFF).
#include <cstdint>

#include "common/host_api.h"
#include "pelk/pelk_symbol.h"
#include "vok/vok_atom_term.h"

enum : int {
  VOK_PORT_NAMESPACE_INPUT = 8,
  VOK_PORT_NAMESPACE_OUTPUT = 9,
};

class HOST_API VOK_ATOM_LOGICAL_PORT {
public:
  VOK_ATOM_LOGICAL_PORT() = default;
  VOK_ATOM_LOGICAL_PORT(std::uint32_t atom_id, PELK port, std::uint16_t index)
      : m_atom_id(atom_id), m_port(port), m_index(index) {}

  std::uint32_t get_atom_id() const { return m_atom_id; }
  PELK get_port() const { return m_port; }
  std::uint16_t get_index() const { return m_index; }
  bool is_empty() const { return m_atom_id == 0xFFFFFFFFu; }
  bool is_input() const { return m_port.get_namespace() == VOK_PORT_NAMESPACE_INPUT; }
  bool is_output() const { return m_port.get_namespace() == VOK_PORT_NAMESPACE_OUTPUT; }

  friend bool operator==(const VOK_ATOM_LOGICAL_PORT& a, const VOK_ATOM_LOGICAL_PORT& b) {
    return a.m_atom_id == b.m_atom_id && a.m_port == b.m_port && a.m_index == b.m_index;
  }

private:
  std::uint32_t m_atom_id = 0xFFFFFFFFu;
  PELK m_port;
  std::uint16_t m_index = 0xFFFF;
};

static_assert(sizeof(VOK_ATOM_LOGICAL_PORT) == 12, "a logical port is {u32 atom id, 32-bit symbol, u16 index}");

// The port symbol of an input or output port type ("I<type>" in namespace 8,
// "O<type>" in namespace 9) and the port type a symbol names (-1 for any
// other symbol).
HOST_API PELK vok_input_port_symbol(DB_INPUT_PORT_TYPE type);
HOST_API PELK vok_output_port_symbol(DB_OUTPUT_PORT_TYPE type);
HOST_API int vok_port_type_of_symbol(PELK symbol);

// The logical port of a term (the empty port for null).
HOST_API VOK_ATOM_LOGICAL_PORT vok_get_logical_port(const VOK_ATOM_ITERM* iterm);
HOST_API VOK_ATOM_LOGICAL_PORT vok_get_logical_port(const VOK_ATOM_OTERM* oterm);
// The term a logical port names in the netlist (searched by atom id, then by
// port type and index; with `hierarchical`, also inside black boxes' child
// netlists); null when there is none.
HOST_API VOK_ATOM_ITERM* vok_find_iterm(const VOK_ATOM_NETLIST* netlist, const VOK_ATOM_LOGICAL_PORT& port,
                                        bool hierarchical = true);
HOST_API VOK_ATOM_OTERM* vok_find_oterm(const VOK_ATOM_NETLIST* netlist, const VOK_ATOM_LOGICAL_PORT& port,
                                        bool hierarchical = true);
