#include "w3j3/w3j3_mapping_model.h"

const char* const W3J3_MAPPING_MODEL::s_model_type_string = "w3j3_mapping";

W3J3_MAPPING_MODEL::W3J3_MAPPING_MODEL() : m_port_map(std::make_unique<W3J3_PORT_MAP_DB>()) {
  header().set_type(s_model_type_string);
}
W3J3_MAPPING_MODEL::~W3J3_MAPPING_MODEL() = default;
