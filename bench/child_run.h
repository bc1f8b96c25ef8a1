#ifndef VELLMARK_BENCH_CHILD_RUN_H
#define VELLMARK_BENCH_CHILD_RUN_H

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

// Seconds on a clock that only moves forward.
inline double now_seconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// How a program run by run_program ended: exit status, wall-clock seconds, peak memory and processor seconds.
struct run_figures {
  int status;
  double seconds;
  long peak_kib;
  double cpu_seconds;  // user and system time: less disturbed than the wall clock by other work on a shared machine
};

// The processor seconds, user and system, that usage records.
inline double processor_seconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs argv (a path, or a name looked up in PATH) with standard input from
// input_path and output discarded; status 127 when it could not be started,
// -1 when no child could be made or the child was killed.
inline run_figures run_program(char* const argv[], const char* input_path) {
  run_figures f{-1, 0, 0, 0};
  double start = now_seconds();
  pid_t child = fork();
  if (child < 0) return f;
  if (child == 0) {
    int in = open(input_path, O_RDONLY), out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0) _exit(127);
    dup2(in, STDIN_FILENO), dup2(out, STDOUT_FILENO), dup2(out, STDERR_FILENO);
    execvp(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  f.seconds = now_seconds() - start;
  f.peak_kib = usage.ru_maxrss;
  f.cpu_seconds = processor_seconds(usage);
  f.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return f;
}

// Runs work() in a child process, so that its peak memory is its own, and
// passes its plain result back through a pipe, with its processor seconds
// when cpu_seconds is given; false when the child could not be run or died.
template <typename R, typename F>
bool run_in_child(F work, R* result, double* seconds, long* peak_kib, double* cpu_seconds = nullptr) {
  int channel[2];
  if (pipe(channel) != 0) return false;
  std::fflush(stdout);
  double start = now_seconds();
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(channel[0]);
    R made = work();
    ssize_t written = write(channel[1], &made, sizeof made);
    _exit(written == static_cast<ssize_t>(sizeof made) ? 0 : 1);
  }
  close(channel[1]);
  ssize_t got = read(channel[0], result, sizeof *result);
  close(channel[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  *seconds = now_seconds() - start;
  *peak_kib = usage.ru_maxrss;
  if (cpu_seconds != nullptr) *cpu_seconds = processor_seconds(usage);
  return got == static_cast<ssize_t>(sizeof *result) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#endif
