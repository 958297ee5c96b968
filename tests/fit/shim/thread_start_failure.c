// Preloaded into velmo-fit (and tclsh) by the fit tests, and linked into the
// unit tests, to make thread creation fail on purpose: while
// VELMO_TEST_THREADS_STARTED is set, the first that many threads start and
// every later pthread_create fails with EAGAIN (as when no thread can be
// had). Without the variable every thread starts. With
// VELMO_TEST_THREADS_REFUSE_WORKER set, the first thread that a thread other
// than the process's first asks for (a pool's worker starting the next
// worker) is refused instead, and every other thread starts.
//
// With VELMO_TEST_THREADS_LOG naming a file, each pthread_create appends one
// line to it: "started" or "refused", then who asked. A std::thread is named
// by the type of what it runs (the C++ type name of its state object, which
// holds the lambda and so names the function that made it); any other
// thread by the library of its start routine.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*CREATE)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

static atomic_int g_started;
static atomic_int g_worker_refused;

// Who asked for the thread. The standard library's thread constructor
// passes its own start routine and, as its argument, a polymorphic state
// object: its vtable's type_info (the word before the vtable's address
// point) holds the mangled type name after its own vtable pointer.
static const char* caller(void* (*start)(void*), void* arg) {
  Dl_info info;
  if (dladdr((void*)start, &info) == 0 || info.dli_fname == NULL) return "?";
  if (strstr(info.dli_fname, "libstdc++") == NULL || arg == NULL) return info.dli_fname;
  void** vtable = *(void***)arg;
  const void* type_info = vtable[-1];
  return ((const char* const*)type_info)[1];
}

static void log_start(const char* what, void* (*start)(void*), void* arg) {
  const char* path = getenv("VELMO_TEST_THREADS_LOG");
  if (path == NULL) return;
  char line[4096];
  const int n = snprintf(line, sizeof line, "%s %s\n", what, caller(start, arg));
  if (n <= 0) return;
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (fd < 0) return;
  // One write per line: lines of threads started at once never interleave.
  if (write(fd, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1) < 0) {
  }
  close(fd);
}

// A process that ends through exit() runs its libraries' destructors: the
// log says so.
__attribute__((destructor)) static void log_destructors(void) {
  const char* path = getenv("VELMO_TEST_THREADS_LOG");
  const int fd = path != NULL ? open(path, O_WRONLY | O_APPEND | O_CREAT, 0644) : -1;
  if (fd >= 0 && write(fd, "destructors\n", 12) >= 0) close(fd);
}

// Counts from zero again: the next that many threads start. For a process
// that sets the variable more than once (the unit tests, one test after
// another).
void velmo_test_threads_restart(void) {
  atomic_store(&g_started, 0);
  atomic_store(&g_worker_refused, 0);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  static CREATE real;
  if (real == NULL) real = (CREATE)dlsym(RTLD_NEXT, "pthread_create");
  const char* allowed = getenv("VELMO_TEST_THREADS_STARTED");
  const int refuse = allowed != NULL ? atomic_fetch_add(&g_started, 1) >= atoi(allowed)
                                     : getenv("VELMO_TEST_THREADS_REFUSE_WORKER") != NULL && gettid() != getpid() &&
                                           atomic_exchange(&g_worker_refused, 1) == 0;
  if (refuse) {
    log_start("refused", start, arg);
    return EAGAIN;
  }
  log_start("started", start, arg);
  return real(thread, attr, start, arg);
}
