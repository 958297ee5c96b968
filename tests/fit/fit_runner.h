#pragma once
// Runs velmo-fit as a subprocess and collects its exit status and output
// (stdout and stderr together).
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace velmo_fit_test {

struct RESULT {
  int status;  // exit status, -1 when the program did not exit normally
  std::string out;
};

inline RESULT run(const std::string& args) {
  std::string cmd = std::string(VELMO_FIT_EXE) + " " + args + " 2>&1";
  RESULT r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

}  // namespace velmo_fit_test
