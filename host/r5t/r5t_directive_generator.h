#pragma once
// Generation of the routing directives from the post-fit port model.
#include "common/host_api.h"

class GESK_BUNDLE;
class VOK_CHIP_DB_ENTRY;

class HOST_API R5T_DIRECTIVE_GENERATOR {
public:
  // recorded: a generator for the family, owned by the caller.
  static R5T_DIRECTIVE_GENERATOR* create(int base_family_code, VOK_CHIP_DB_ENTRY* entry, GESK_BUNDLE* bundle);
  // recorded
  virtual ~R5T_DIRECTIVE_GENERATOR();
  R5T_DIRECTIVE_GENERATOR(const R5T_DIRECTIVE_GENERATOR&) = delete;
  R5T_DIRECTIVE_GENERATOR& operator=(const R5T_DIRECTIVE_GENERATOR&) = delete;
  // recorded: generates the directives; scripted, default true.
  virtual bool generate_directives();

protected:
  R5T_DIRECTIVE_GENERATOR() = default;
};
