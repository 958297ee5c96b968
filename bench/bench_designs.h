#pragma once
// The bundled benchmark designs of the source tree.
#include <string>

inline std::string bench_designs_dir() {
  std::string src = __FILE__;
  src = src.substr(0, src.rfind('/'));  // .../bench
  src = src.substr(0, src.rfind('/'));  // the source tree
  return src + "/examples/designs";
}
