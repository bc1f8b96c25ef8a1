#include "options.h"

#include <getopt.h>

#include <cstdio>

#include "output/output_names.h"

namespace {

constexpr char short_options[] = "hVo:dvp:l";

// Long options without a letter of their own.
constexpr int header_option = 256;
constexpr int report_option = 257;

const struct option long_options[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"output", required_argument, nullptr, 'o'},
    {"header", required_argument, nullptr, header_option},
    {"name-prefix", required_argument, nullptr, 'p'},
    {"report", required_argument, nullptr, report_option},
    {"line-directives", no_argument, nullptr, 'l'},
    {nullptr, 0, nullptr, 0},
};

// Records one option letter; false for anything getopt_long rejected.
bool take_option(options* o, int letter) {
  switch (letter) {
    case 'h': o->help = true; return true;
    case 'V': o->version = true; return true;
    case 'd': o->header = true; return true;
    case 'v': o->details = true; return true;
    case 'l': o->line_directives = true; return true;
    case 'o': o->output = optarg; return true;
    case 'p':
      if (names_prefix_is_valid(optarg)) {
        o->prefix = optarg;
        return true;
      }
      std::fprintf(stderr, "Error: The name prefix must be a C identifier: %s\n", optarg);
      return false;
    case header_option:
      o->header_name = optarg;
      o->header = true;
      return true;
    case report_option: o->report = optarg; return true;
    default: return false;
  }
}

}  // namespace

bool options_parse(options* o, int argc, char** argv) {
  *o = options{};
  int letter;
  while ((letter = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
    if (!take_option(o, letter)) return false;
  }
  int remaining = argc - optind;
  if (remaining >= 2) {
    std::fprintf(stderr, "Error: Unexpected argument: %s\n", argv[optind + 1]);
    return false;
  }
  if (remaining == 1) o->path = argv[optind];
  return true;
}
