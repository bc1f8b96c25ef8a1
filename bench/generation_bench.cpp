// Measures the main job from the outside: how long the generator takes to
// write the parser source for each reference grammar, and how fast the
// generated JSON checker parses a large document.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "child_run.h"

namespace {

constexpr size_t json_target_bytes = 32u << 20;
constexpr int json_repeats = 3;

int compare_names(const void* a, const void* b) {
  return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

// The generator on every grammar of the reference folder, writing the source to a scratch file.
void bench_generator(const char* folder, const char* scratch) {
  DIR* dir = opendir(folder);
  if (dir == nullptr) {
    std::printf("No grammar folder at %s: no generator figures.\n\n", folder);
    return;
  }
  char names[64][256];
  size_t count = 0;
  while (dirent* entry = readdir(dir)) {
    size_t length = std::strlen(entry->d_name);
    if (count < 64 && length > 2 && length < 256 && std::strcmp(entry->d_name + length - 2, ".y") == 0)
      std::strcpy(names[count++], entry->d_name);
  }
  closedir(dir);
  std::qsort(names, count, sizeof names[0], compare_names);
  std::printf("%-16s %8s %10s %10s\n", "grammar", "status", "seconds", "peak MiB");
  for (size_t i = 0; i < count; ++i) {
    char path[1024], output[1024];
    std::snprintf(path, sizeof path, "%s/%s", folder, names[i]);
    std::snprintf(output, sizeof output, "%s.tab.c", scratch);
    char* argv[] = {const_cast<char*>(VELLMARK_PARSER), const_cast<char*>("-o"), output, path, nullptr};
    run_figures f = run_program(argv, "/dev/null");
    std::printf("%-16s %8d %10.3f %10.1f\n", names[i], f.status, f.seconds, f.peak_kib / 1024.0);
    std::remove(output);
  }
  std::printf("\n");
}

// Writes one array element: an object with strings, numbers, literals and a nested array.
size_t write_element(FILE* out, size_t n) {
  std::fprintf(out,
               "{\"id\": %zu, \"name\": \"item number %zu\", \"price\": %zu.25, \"tags\": "
               "[\"a\", \"b\\u00e9\", true, false, null], \"nested\": {\"depth\": [[1], [2, 3]]}}",
               n, n, n % 1000);
  return 45;  // tokens in one element
}

// A document of about json_target_bytes; returns its token count.
size_t write_json(const char* path) {
  FILE* out = std::fopen(path, "w");
  if (out == nullptr) return 0;
  size_t tokens = 2;
  std::fputs("[\n", out);
  for (size_t n = 0; std::ftell(out) < static_cast<long>(json_target_bytes); ++n) {
    if (n > 0) std::fputs(",\n", out), ++tokens;
    tokens += write_element(out, n);
  }
  std::fputs("\n]\n", out);
  std::fclose(out);
  return tokens;
}

void bench_json_parser(const char* scratch) {
  char path[1024];
  std::snprintf(path, sizeof path, "%s.json", scratch);
  size_t tokens = write_json(path);
  FILE* in = std::fopen(path, "r");
  if (tokens == 0 || in == nullptr) {
    std::printf("Could not write the JSON document.\n");
    return;
  }
  std::fseek(in, 0, SEEK_END);
  double bytes = static_cast<double>(std::ftell(in));
  std::fclose(in);
  char* argv[] = {const_cast<char*>(VELLMARK_JSON), nullptr};
  run_figures best{-1, 1e9, 0, 0};
  for (int i = 0; i < json_repeats; ++i) {
    run_figures f = run_program(argv, path);
    if (f.seconds < best.seconds) best = f;
  }
  std::printf("JSON checker on %.1f MB, %zu tokens (best of %d): status %d, %.3f s, %.1f MB/s, %.2f M tokens/s, peak %.1f MiB\n",
              bytes / 1e6, tokens, json_repeats, best.status, best.seconds, bytes / 1e6 / best.seconds,
              static_cast<double>(tokens) / 1e6 / best.seconds, best.peak_kib / 1024.0);
  std::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
  const char* folder = argc > 1 ? argv[1] : VELLMARK_GRAMMAR_DIR;
  char scratch[] = "/tmp/vellmark-bench-XXXXXX";
  int fd = mkstemp(scratch);
  if (fd < 0) return 1;
  close(fd);
  bench_generator(folder, scratch);
  bench_json_parser(scratch);
  std::remove(scratch);
  return 0;
}
