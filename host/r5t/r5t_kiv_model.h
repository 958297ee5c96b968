#pragma once
// data: the compile-database model of the atom metadata (type "r5t"): the
// metadata store it stands for.
#include "common/host_api.h"
#include "kiv/kiv_model.h"

class R5T_INTERFACE;

class HOST_API R5T_KIV_MODEL : public KIV_MODEL {
public:
  static const char* const s_model_type_string;  // "r5t"
  explicit R5T_KIV_MODEL(R5T_INTERFACE* r5t);
  ~R5T_KIV_MODEL() override;
  R5T_INTERFACE* get_r5t() const { return m_r5t; }

private:
  R5T_INTERFACE* m_r5t;
};
