#pragma once
// recorded: generation of the atom-to-cell directives after the fit.
#include "common/host_api.h"

class GESK_BUNDLE;
class VOK_CHIP_DB_ENTRY;

class HOST_API R5T_DIRECTIVE_GENERATOR {
public:
  static R5T_DIRECTIVE_GENERATOR* create(int base_family, VOK_CHIP_DB_ENTRY* entry, GESK_BUNDLE* bundle);
  static void destroy(R5T_DIRECTIVE_GENERATOR* generator);
  void generate_directives();
};
