#include "velmo_mac_merge_shared.h"

#include <algorithm>
#include <cstdio>

#include "cfg/cfg.h"
#include "msg/msg_gen_loc.h"
#include "omz/omz_instance_name.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_debug.h"
#include "velmo_msgs.h"
#include "wexan/wexan_design.h"
#include "vok/vok_atom_netlist.h"

using BOX = ZMP::BBOX_2D;

std::vector<BOX> velmo_mac_region_dsp_boxes(const TIBEX_ZARTO_REGION_LIST& regions, int region_id,
                                            const std::vector<BOX>& dsp_column_boxes) {
  std::vector<BOX> boxes;
  const TIBEX_ZARTO_REGION* region = regions.get_xr(region_id);
  if (region == nullptr) return boxes;
  if (region->whole_device_x || region->whole_device_y) {
    boxes = dsp_column_boxes;
  } else {
    for (const BOX& column : dsp_column_boxes)
      for (const TIBEX_ZARTO_REGION::RECT& r : region->rects) {
        const BOX common = column.intersection(BOX(r.xmin, r.ymin, r.xmax, r.ymax));
        if (!common.is_empty()) boxes.push_back(common);
      }
  }
  // Join the boxes of one column that touch or overlap, until no two do:
  // overlapping rectangles must not count a location twice, and a join can
  // make a box touch one examined before.
  bool changed = true;
  while (changed) {
    changed = false;
    for (std::size_t a = 0; a < boxes.size(); ++a) {
      for (std::size_t b = a + 1; b < boxes.size();) {
        const BOX& ba = boxes[a];
        const BOX& bb = boxes[b];
        const bool same_column = bb.get_min(0) == ba.get_min(0) && bb.get_max(0) == ba.get_max(0);
        if (same_column && bb.get_min(1) <= ba.get_max(1) + 1 && bb.get_max(1) + 1 >= ba.get_min(1)) {
          boxes[a] = BOX(ba.get_min(0), std::min(ba.get_min(1), bb.get_min(1)), ba.get_max(0),
                         std::max(ba.get_max(1), bb.get_max(1)));
          boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(b));
          changed = true;
        } else {
          ++b;
        }
      }
    }
  }
  return boxes;
}

std::string velmo_mac_region_name(const TIBEX_ZARTO_REGION_LIST* regions, int region_id) {
  const TIBEX_ZARTO_REGION* region = regions != nullptr ? regions->get_xr(region_id) : nullptr;
  return region != nullptr ? region->name : std::string();
}

std::string velmo_mac_short_name(const VOK_ATOM_NODE* atom) {
  std::string path;
  if (atom != nullptr && atom->get_instance_name() != nullptr)
    atom->get_instance_name()->get_short_hpath(path, OMZ_HPATH_FORMAT_SHORT);
  return path;
}

void velmo_mac_attach_node_names(MSG_BASE* msg, const std::vector<const VOK_ATOM_NODE*>& atoms, int limit) {
  const int count = static_cast<int>(atoms.size());
  for (int i = 0; i < count && i < limit; ++i)
    msg->add_sub_message(MSG_VELMO::I::DWO_ATOM_NAME(velmo_mac_short_name(atoms[static_cast<std::size_t>(i)])));
  if (count > limit) msg->add_sub_message(MSG_VELMO::I::DWO_ATOM_NAMES_OMITTED(count - limit));
}

void velmo_mac_attach_region_boxes(MSG_BASE* msg, const char* title_format, const std::string& region_name,
                                   const std::vector<BOX>& boxes) {
  char title[4096];
  std::snprintf(title, sizeof title, title_format, region_name.c_str());
  auto* list = new MSG_GEN_LOC_NODE_LIST(title);
  for (const BOX& box : boxes)
    list->add_loc_obj(new MSG_GEN_LOC_CHIP_AREA(box.get_min(0), box.get_min(1), box.get_max(0), box.get_max(1)));
  msg_add_gen_loc_obj_to_msg(msg, list);
}

void velmo_mac_print_constraints(const WEXAN_DESIGN* design, const VOK_ATOM_NODE* atom) {
  // Locked constraints of every source.
  constexpr unsigned ANY_SOURCE = 16384;
  const TIBEX_LOCATION_CONSTRAINT constraint = design->get_atom_location_constraint(atom->get_id());
  if (constraint.has_locked_constraint(ANY_SOURCE)) {
    const TIBEX_LOCKED_CONSTRAINT locked = constraint.get_locked_constraint(ANY_SOURCE);
    if (locked.is_specified_exactly())
      msg_vdebug_impl(2, "\tAtom %d was constrained to (%d, %d)", atom->get_id(), locked.get_x(), locked.get_y());
    else
      msg_vdebug_impl(2, "\tAtom %d was constrained to region (%d, %d) to (%d, %d)", atom->get_id(),
                      locked.get_xmin(), locked.get_ymin(), locked.get_xmax(), locked.get_ymax());
  } else {
    msg_vdebug_impl(2, "\tAtom %d was not constrained!", atom->get_id());
  }
}

void velmo_mac_add_dsp_row(BOX& current, std::vector<BOX>& runs, int x, int y, int dsp_height) {
  if (current.is_empty()) {
    current = BOX(x, y, x, y + dsp_height - 1);
  } else if (current.get_max(1) + 1 == y) {
    current = BOX(x, current.get_min(1), x, y + dsp_height - 1);
  } else {
    runs.push_back(current);
    current = BOX(x, y, x, y + dsp_height - 1);
  }
}

void velmo_mac_limit_dsp_locations(int& num_dsp_locations) {
  const int limit = cfg_get_int_value("velmo_max_dsp_locations_to_use", -1);
  if (limit >= 0 && limit < num_dsp_locations) {
    msg_vdebug_impl(2, "VELMO_MAC_MERGE: Limiting number of DSP locations available to %d, instead of default %d",
                    limit, num_dsp_locations);
    num_dsp_locations = limit;
  }
}
