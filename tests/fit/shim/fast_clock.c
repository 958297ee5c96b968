// Preloaded into velmo-fit by the fit tests: from its first read on, the
// monotonic clock runs VELMO_TEST_CLOCK_SPEED times as fast as real time, so
// that a short run lasts many of the intervals its progress lines keep.
// Without the variable nothing changes.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdlib.h>
#include <time.h>

static int (*g_real)(clockid_t, struct timespec*);
static double g_speed = 1.0, g_start;
static pthread_once_t g_once = PTHREAD_ONCE_INIT;

static void init(void) {
  g_real = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
  const char* speed = getenv("VELMO_TEST_CLOCK_SPEED");
  if (speed != NULL && atof(speed) > 0) g_speed = atof(speed);
  struct timespec t;
  g_real(CLOCK_MONOTONIC, &t);
  g_start = (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

int clock_gettime(clockid_t id, struct timespec* ts) {
  pthread_once(&g_once, init);
  const int r = g_real(id, ts);
  if (r != 0 || id != CLOCK_MONOTONIC || g_speed == 1.0) return r;
  const double t = g_start + ((double)ts->tv_sec + 1e-9 * (double)ts->tv_nsec - g_start) * g_speed;
  ts->tv_sec = (time_t)t;
  ts->tv_nsec = (long)((t - (double)ts->tv_sec) * 1e9);
  return r;
}
