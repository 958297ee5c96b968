#pragma once
// Location objects attached to messages: a chip area and a titled list of
// location objects. Attaching renders the object into the message's text
// form and deletes it:
//   chip area  "area (xmin, ymin) - (xmax, ymax)"
//   node list  "<title>: <item>; <item>; ..."
#include <memory>
#include <string>
#include <vector>
#include "common/host_api.h"

class MSG_BASE;

class HOST_API MSG_GEN_LOC_OBJ {
public:
  virtual ~MSG_GEN_LOC_OBJ();
  virtual std::string to_text() const = 0;
};

class HOST_API MSG_GEN_LOC_CHIP_AREA : public MSG_GEN_LOC_OBJ {
public:
  MSG_GEN_LOC_CHIP_AREA(int xmin, int ymin, int xmax, int ymax);
  ~MSG_GEN_LOC_CHIP_AREA() override;
  std::string to_text() const override;

private:
  int m_xmin, m_ymin, m_xmax, m_ymax;
};

class HOST_API MSG_GEN_LOC_NODE_LIST : public MSG_GEN_LOC_OBJ {
public:
  explicit MSG_GEN_LOC_NODE_LIST(std::string title);
  ~MSG_GEN_LOC_NODE_LIST() override;
  // Takes ownership of the item.
  void add_loc_obj(MSG_GEN_LOC_OBJ* item);
  std::string to_text() const override;

private:
  std::string m_title;
  std::vector<std::unique_ptr<MSG_GEN_LOC_OBJ>> m_items;
};

// data: attaches the object to the message (the message takes it over).
HOST_API void msg_add_gen_loc_obj_to_msg(MSG_BASE* msg, MSG_GEN_LOC_OBJ* obj);
