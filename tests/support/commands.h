#ifndef VELLMARK_TESTS_SUPPORT_COMMANDS_H
#define VELLMARK_TESTS_SUPPORT_COMMANDS_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

// Runs a shell command; its exit status (-1 when it did not exit normally),
// with what it wrote on standard output in *output.
inline int run_command(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t n;
  output->clear();
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif
