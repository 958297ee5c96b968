#include "r5t/r5t_kiv_model.h"

const char* const R5T_KIV_MODEL::s_model_type_string = "r5t";

R5T_KIV_MODEL::R5T_KIV_MODEL(R5T_INTERFACE* r5t) : m_r5t(r5t) { header().set_type(s_model_type_string); }
R5T_KIV_MODEL::~R5T_KIV_MODEL() = default;
