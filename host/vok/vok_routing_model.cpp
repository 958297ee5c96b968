#include "vok/vok_routing_model.h"

const char* const VOK_ROUTING_MODEL::s_model_type_string = "vok_routing";

VOK_ROUTING_MODEL::~VOK_ROUTING_MODEL() {
  for (JUK::FOREST<int, int>* network : m_networks) delete network;
}
