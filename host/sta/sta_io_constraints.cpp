#include "sta/sta_io_constraints.h"

#include <cstdint>
#include <map>
#include <mutex>

#include "common/host_world.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_family.h"
#include "dev/dev_pad.h"
#include "kem/kem_netlist.h"
#include "pexa/pexa_utility.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "zel/zel_dc_table.h"

namespace host::timing {
namespace {
struct IO_STATE {
  std::mutex mutex;
  std::map<int, IO_DELAY> delays;
};
IO_STATE& io_state() { return host_world_slot<IO_STATE>(); }

unsigned setting_of(const VOK_ATOM_NODE* pin, int type) {
  std::int64_t v = 0;
  return pin->get_parameter(VOK_PARAMETER_TYPE::UINT, host::dc::yos_param_of(type), &v) ? static_cast<unsigned>(v) : 0;
}

bool horizontal(const VOK_ATOM_NODE* pin) {
  if (!pin->is_placed()) return false;
  const DEV_PAD* pad = PEXA_UTILITY::get_current_device()->get_pad(pin->get_location_gid());
  if (pad == nullptr) return false;
  return (pad->is_valid_bool_data(3) && pad->get_bool_data(3)) || (pad->is_valid_bool_data(4) && pad->get_bool_data(4));
}
}  // namespace

bool older_pin_form() {
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  const DEV_BASIC_INFO* info = device ? device->get_basic_info() : nullptr;
  return info != nullptr && !(info->is_valid_bool_data(77) && info->get_bool_data(77));
}

void set_io_delay(int pin_atom_id, const IO_DELAY& delay) {
  std::lock_guard<std::mutex> lock(io_state().mutex);
  io_state().delays[pin_atom_id] = delay;
}

const IO_DELAY* io_delay(int pin_atom_id) {
  std::lock_guard<std::mutex> lock(io_state().mutex);
  auto it = io_state().delays.find(pin_atom_id);
  return it == io_state().delays.end() ? nullptr : &it->second;
}

VOK_ATOM_NODE* pin_of_buffer(const VOK_ATOM_NODE* buffer) {
  if (buffer == nullptr) return nullptr;
  if (buffer->is_io_ibuf()) {
    for (std::size_t i = 0; i < buffer->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = buffer->get_iterm_slot(i);
      const VOK_ATOM_OTERM* src = t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
      if (src && src->get_my_node() && src->get_my_node()->is_pin()) return src->get_my_node();
    }
  }
  if (buffer->is_io_obuf()) {
    for (std::size_t i = 0; i < buffer->get_oterm_slot_count(); ++i) {
      const VOK_ATOM_OTERM* o = buffer->get_oterm_slot(i);
      for (VOK_ATOM_ITERM* t = o ? o->get_first_fanout(VOK_TRAVERSE_AS_STORED) : nullptr; t;
           t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        if (t->get_my_node()->is_pin()) return t->get_my_node();
    }
  }
  return nullptr;
}

void add_pin_buffers(VOK_ATOM_NETLIST* top, std::set<int>* ids) {
  if (top == nullptr) return;
  std::set<int> more;
  for (int id : *ids) {
    const VOK_ATOM_NODE* pin = top->get_atom_by_id(id);
    if (pin == nullptr || !pin->is_pin()) continue;
    for (std::size_t i = 0; i < pin->get_oterm_slot_count(); ++i) {
      const VOK_ATOM_OTERM* o = pin->get_oterm_slot(i);
      for (VOK_ATOM_ITERM* t = o ? o->get_first_fanout(VOK_TRAVERSE_AS_STORED) : nullptr; t;
           t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        if (t->get_my_node()->is_io_ibuf()) more.insert(t->get_my_node()->get_id());
    }
    for (std::size_t i = 0; i < pin->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = pin->get_iterm_slot(i);
      const VOK_ATOM_OTERM* src = t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
      if (src && src->get_my_node() && src->get_my_node()->is_io_obuf()) more.insert(src->get_my_node()->get_id());
    }
  }
  ids->insert(more.begin(), more.end());
}

bool may_carry_chain(const KEM_EDGE& edge) {
  if (edge.get_kind() != KEM_EDGE_INTERCONNECT) return false;
  const KEM_NODE* s = edge.get_src_node();
  const KEM_NODE* d = edge.get_dst_node();
  const VOK_ATOM_ITERM* term = d ? d->get_iterm() : nullptr;
  if (s == nullptr || term == nullptr) return false;
  const VOK_ATOM_NODE* from = s->get_atom();
  const VOK_ATOM_NODE* to = term->get_my_node();
  return (from && (from->is_pin() || from->is_io_ibuf())) || (to && to->is_io_obuf());
}

int chain_delay_ps(const KEM_EDGE& edge, const KEM_TIMING_MODEL& corner) {
  // The edge's kind was tested once, when it was made; the chain's settings
  // are read on every call, so they follow changes made since.
  if (!edge.may_carry_chain()) return 0;
  const VOK_ATOM_ITERM* term = edge.get_dst_node()->get_iterm();
  const VOK_ATOM_NODE* from = edge.get_src_node()->get_atom();
  const VOK_ATOM_NODE* to = term->get_my_node();
  const bool older = older_pin_form();
  const bool out_of_pin = from && (older ? from->is_pin() : from->is_io_ibuf());
  // A sink that takes no input chain (most of a pin clock's fanout) has
  // none on either family form: known before the tables are read.
  if (out_of_pin && !(to->is_ff() && to->get_register_kind() == 396) && !to->is_ddio_in() &&
      !term->is_connected_to_delay_chain(8) && !to->is_io_12_lane() && !to->is_delay_chain())
    return 0;
  const int family = host::device::internal_family_code();
  const bool newer = host::dc::table(family).chains.count(446) != 0;
  int type = -1;
  const VOK_ATOM_NODE* pin = nullptr;
  if (out_of_pin) {
    pin = older ? from : pin_of_buffer(from);
    const bool reg = to->is_ff() && to->get_register_kind() == 396;
    const bool eligible = term->is_connected_to_delay_chain(8);
    if (newer) {
      if (reg || to->is_ddio_in() || eligible) type = 446;
      else if (to->is_io_12_lane()) type = 448;
    } else {
      if (reg || to->is_ddio_in() || to->is_delay_chain()) type = 15;
      else if (eligible) type = 12 + term->get_delay_chain_index(8);
    }
  } else if (to && to->is_io_obuf()) {
    pin = pin_of_buffer(to);
    const bool oe = term->is_used_as(22);
    type = newer ? (oe ? 431 : 430) : (oe ? 16 : 14);
  }
  if (pin == nullptr || type < 0) return 0;
  const int code = host::dc::model_code_of_corner_kind(corner.get_corner());
  const int ps = host::dc::delay_ps(family, type, setting_of(pin, type), code, corner.get_speed_grade(), horizontal(pin));
  return ps == static_cast<int>(0x80000001u) ? 0 : ps;
}
}  // namespace host::timing
