// Preloaded into Trellon by the soak (LD_PRELOAD): tells how long the main thread stayed away from
// its event loop, and when a file was replaced. Trellon's event loop waits in poll or ppoll, so the
// time from leaving one wait to entering the next is the time the main thread was busy (or
// blocked elsewhere). Lines go to the file named by SOAK_PROBE_FILE, times in CLOCK_MONOTONIC ms:
//   stall START MS       the main thread was away from its loop for MS ms (over 100 ms)
//   replace TIME PATH    a file was renamed over PATH (the atomic replace of the settings and log)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

enum { kReportOverMs = 100 };

static pid_t mainThread;
static int out = -1;
static long long lastWaitEnd = -1;

__attribute__((constructor)) static void Start(void) {
  mainThread = getpid();
  const char* path = getenv("SOAK_PROBE_FILE");
  if (path) out = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  // Programs that Trellon starts run without the probe.
  unsetenv("LD_PRELOAD");
}

static long long NowMs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static int OnMainThread(void) {
  return (pid_t)syscall(SYS_gettid) == mainThread;
}

static void WaitBegins(void) {
  if (out < 0 || !OnMainThread()) return;
  const long long now = NowMs();
  if (lastWaitEnd >= 0 && now - lastWaitEnd > kReportOverMs) {
    dprintf(out, "stall %lld %lld\n", lastWaitEnd, now - lastWaitEnd);
  }
}

static void WaitEnds(void) {
  if (OnMainThread()) lastWaitEnd = NowMs();
}

int poll(struct pollfd* fds, nfds_t count, int timeout) {
  static int (*real)(struct pollfd*, nfds_t, int);
  if (!real) real = (int (*)(struct pollfd*, nfds_t, int))dlsym(RTLD_NEXT, "poll");
  WaitBegins();
  const int result = real(fds, count, timeout);
  WaitEnds();
  return result;
}

int ppoll(struct pollfd* fds, nfds_t count, const struct timespec* timeout, const sigset_t* mask) {
  static int (*real)(struct pollfd*, nfds_t, const struct timespec*, const sigset_t*);
  if (!real) {
    real = (int (*)(struct pollfd*, nfds_t, const struct timespec*, const sigset_t*))dlsym(
        RTLD_NEXT, "ppoll");
  }
  WaitBegins();
  const int result = real(fds, count, timeout, mask);
  WaitEnds();
  return result;
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  if (!real) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  const int result = real(from, to);
  if (result == 0 && out >= 0) dprintf(out, "replace %lld %s\n", NowMs(), to);
  return result;
}
