#pragma once
// The retiming engine's interfaces, implemented by libzarn_yun.so and by the
// component's adaptor.
#include "common/host_api.h"

class HOST_API YUN_ENV {
public:
  virtual ~YUN_ENV();
};

class HOST_API YUN_UTILITY {
public:
  YUN_UTILITY();
  virtual ~YUN_UTILITY();
};

using YUN_UTILITY_FACTORY_FN = YUN_UTILITY* (*)(YUN_ENV*);
