#include "output/line_counter.h"

#include <sys/types.h>

#include <cstring>

#include "text/memory.h"

namespace {

ssize_t count_and_pass_on(void* cookie, const char* text, size_t size) {
  line_counter* c = static_cast<line_counter*>(cookie);
  size_t passed = std::fwrite(text, 1, size, c->target);
  for (size_t i = 0; i < passed; ++i) c->lines += text[i] == '\n';
  return passed == size ? static_cast<ssize_t>(passed) : -1;
}

}  // namespace

line_counter* line_counter_open(FILE* target) {
  line_counter* c = memory_new_record<line_counter>();
  if (c == nullptr) return nullptr;
  c->target = target;
  cookie_io_functions_t functions{};
  functions.write = count_and_pass_on;
  c->stream = fopencookie(c, "w", functions);
  if (c->stream == nullptr) {
    memory_release(c);
    return nullptr;
  }
  return c;
}

size_t line_counter_next_line(line_counter* c) {
  std::fflush(c->stream);
  return c->lines + 1;
}

bool line_counter_close(line_counter* c) {
  if (c == nullptr) return true;
  bool passed = std::ferror(c->stream) == 0;
  passed = std::fclose(c->stream) == 0 && passed;
  memory_release(c);
  return passed;
}
