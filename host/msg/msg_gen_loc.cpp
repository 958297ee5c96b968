#include "msg/msg_gen_loc.h"

#include "msg/msg_base.h"

MSG_GEN_LOC_OBJ::~MSG_GEN_LOC_OBJ() = default;

MSG_GEN_LOC_CHIP_AREA::MSG_GEN_LOC_CHIP_AREA(int xmin, int ymin, int xmax, int ymax)
    : m_xmin(xmin), m_ymin(ymin), m_xmax(xmax), m_ymax(ymax) {}
MSG_GEN_LOC_CHIP_AREA::~MSG_GEN_LOC_CHIP_AREA() = default;
std::string MSG_GEN_LOC_CHIP_AREA::to_text() const {
  return "area (" + std::to_string(m_xmin) + ", " + std::to_string(m_ymin) + ") - (" + std::to_string(m_xmax) +
         ", " + std::to_string(m_ymax) + ")";
}

MSG_GEN_LOC_NODE_LIST::MSG_GEN_LOC_NODE_LIST(std::string title) : m_title(std::move(title)) {}
MSG_GEN_LOC_NODE_LIST::~MSG_GEN_LOC_NODE_LIST() = default;
void MSG_GEN_LOC_NODE_LIST::add_loc_obj(MSG_GEN_LOC_OBJ* item) {
  if (item != nullptr) m_items.emplace_back(item);
}
std::string MSG_GEN_LOC_NODE_LIST::to_text() const {
  std::string text = m_title + ":";
  for (std::size_t i = 0; i < m_items.size(); ++i) text += (i == 0 ? " " : "; ") + m_items[i]->to_text();
  return text;
}

void msg_add_gen_loc_obj_to_msg(MSG_BASE* msg, MSG_GEN_LOC_OBJ* obj) {
  if (obj == nullptr) return;
  if (msg != nullptr) msg->add_location_text(obj->to_text());
  delete obj;
}
