// Preloaded into velmo-fit by the fit tests to make thread creation fail on
// purpose: the first VELMO_TEST_THREADS_STARTED threads start, every later
// pthread_create fails with EAGAIN (as when no thread can be had). Without
// the variable every thread starts.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdlib.h>

typedef int (*CREATE)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

static atomic_int g_started;

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  static CREATE real;
  if (real == NULL) real = (CREATE)dlsym(RTLD_NEXT, "pthread_create");
  const char* allowed = getenv("VELMO_TEST_THREADS_STARTED");
  if (allowed != NULL && atomic_fetch_add(&g_started, 1) >= atoi(allowed)) return EAGAIN;
  return real(thread, attr, start, arg);
}
