// Preloaded into velmo-fit by the fit tests to change the file system at a
// chosen point of a run: the first rename(), renameat() or mkdir() whose new
// name (a renameat's as its folder's path and the name) ends with
// VELMO_TEST_AFTER_RENAME runs the shell command VELMO_TEST_AFTER_RENAME_RUN
// once it has succeeded, and the run carries on. Without the variables
// nothing changes.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static atomic_int g_ran;

static int after(int result, const char* to) {
  const char* suffix = getenv("VELMO_TEST_AFTER_RENAME");
  const char* command = getenv("VELMO_TEST_AFTER_RENAME_RUN");
  if (result != 0 || suffix == NULL || command == NULL) return result;
  const size_t length = strlen(to), suffix_length = strlen(suffix);
  if (length >= suffix_length && strcmp(to + length - suffix_length, suffix) == 0 &&
      atomic_exchange(&g_ran, 1) == 0 && system(command) != 0)
    fprintf(stderr, "after_rename: '%s' failed\n", command);
  return result;
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  if (real == NULL) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  return after(real(from, to), to);
}

int mkdir(const char* path, mode_t mode) {
  static int (*real)(const char*, mode_t);
  if (real == NULL) real = (int (*)(const char*, mode_t))dlsym(RTLD_NEXT, "mkdir");
  return after(real(path, mode), path);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  static int (*real)(int, const char*, int, const char*);
  if (real == NULL) real = (int (*)(int, const char*, int, const char*))dlsym(RTLD_NEXT, "renameat");
  char link[64], path[8192] = "";
  snprintf(link, sizeof link, "/proc/self/fd/%d", to_dir);
  const ssize_t n = to_dir == AT_FDCWD || to[0] == '/' ? 0 : readlink(link, path, sizeof path - 1);
  snprintf(path + (n > 0 ? n : 0), sizeof path - (n > 0 ? n : 0), "%s%s", n > 0 ? "/" : "", to);
  return after(real(from_dir, from, to_dir, to), path);
}
