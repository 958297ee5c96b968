// Preloaded into velmo-fit by the fit tests to change the file system at a
// chosen point of a run: the first rename() whose new name ends with
// VELMO_TEST_AFTER_RENAME runs the shell command
// VELMO_TEST_AFTER_RENAME_RUN once it has succeeded, and the run carries
// on. Without the variables nothing changes.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int (*RENAME)(const char*, const char*);

static atomic_int g_ran;

int rename(const char* from, const char* to) {
  static RENAME real;
  if (real == NULL) real = (RENAME)dlsym(RTLD_NEXT, "rename");
  const int result = real(from, to);
  const char* suffix = getenv("VELMO_TEST_AFTER_RENAME");
  const char* command = getenv("VELMO_TEST_AFTER_RENAME_RUN");
  if (result != 0 || suffix == NULL || command == NULL) return result;
  const size_t length = strlen(to), suffix_length = strlen(suffix);
  if (length >= suffix_length && strcmp(to + length - suffix_length, suffix) == 0 &&
      atomic_exchange(&g_ran, 1) == 0 && system(command) != 0)
    fprintf(stderr, "after_rename: '%s' failed\n", command);
  return result;
}
