#include "lex/directives.h"

#include <gtest/gtest.h>

#include "lex_test_support.h"
#include "text/memory.h"

namespace {

struct option_case {
  const char* input;  // what follows "%option"
  bool accepted;
  const char* prefix;    // prefix afterwards, starting from "old"
  codepoint next;        // first character left unread
};

TEST(ParseOption, StoresOnlyAWellFormedPrefixAssignment) {
  const option_case cases[] = {
      {" prefix=\"calc\"\nX", true, "calc", '\n'},
      {"prefix=\" calc\"X", true, "calc", 'X'},
      {" /* c */ prefix=\"yy\"X", true, "yy", 'X'},
      {"prefix=\"my prefix\"", false, "old", ' '},
      {"prefix =\"calc\"", false, "old", ' '},
      {"prefix=calc", false, "old", 'c'},
      {"fast\nX", false, "old", '\n'},
      {"other=\"x\"X", true, "old", 'X'},
      {"prefix=\"1x\"", false, "old", 'x'},
      {"prefix=\"calc", false, "old", no_character},
  };
  for (const option_case& c : cases) {
    directives* d = directives_new();
    ustring_append_cstr(d->prefix, "old");
    text_reader in(c.input);
    EXPECT_EQ(parse_option(d, in.r), c.accepted) << c.input;
    EXPECT_EQ(str(d->prefix), c.prefix) << c.input;
    EXPECT_EQ(peek_next(in.r), c.next) << c.input;
    directives_free(d);
  }
}

TEST(ParseOption, LaterPrefixReplacesEarlier) {
  directives* d = directives_new();
  text_reader in("prefix=\"calc\" prefix=\"yy\"");
  ASSERT_TRUE(parse_option(d, in.r));
  ASSERT_TRUE(parse_option(d, in.r));
  EXPECT_EQ(str(d->prefix), "yy");
  directives_free(d);
}

TEST(ReadDirectiveName, FollowsTheNameRule) {
  text_reader good("  opt_2-x");
  ustring* name = read_directive_name(good.r);
  EXPECT_EQ(str(name), "opt_2");
  EXPECT_EQ(peek_next(good.r), codepoint('-'));
  ustring_free(name);

  text_reader digit("2abc");
  EXPECT_EQ(read_directive_name(digit.r), nullptr);
  EXPECT_EQ(peek_next(digit.r), codepoint('a'));  // the digit stays consumed
}

TEST(ProcessDirective, OnlyOptionReadsItsArguments) {
  directives* d = directives_new();
  ustring* example = make_text("example");
  ustring* option = make_text("option");
  text_reader args(" prefix=\"calc\"");
  EXPECT_TRUE(process_directive(example, d, args.r));
  EXPECT_EQ(peek_next(args.r), codepoint(' '));
  EXPECT_EQ(str(d->prefix), "");
  EXPECT_TRUE(process_directive(option, d, args.r));
  EXPECT_EQ(str(d->prefix), "calc");
  text_reader malformed(" fast");
  EXPECT_TRUE(process_directive(option, d, malformed.r));
  ustring_free(example);
  ustring_free(option);
  directives_free(d);
}

TEST(ProcessDirective, RunningOutOfMemoryIsNotIgnored) {
  ustring* option = make_text("option");
  for (size_t k = 1;; ++k) {
    directives* d = directives_new();
    text_reader args(" prefix=\"calc\"");
    size_t live = memory_live_blocks();
    size_t first = memory_allocation_count();
    memory_fail_at(k);
    bool done = process_directive(option, d, args.r);
    bool injected = memory_allocation_count() - first >= k;
    memory_fail_at(0);
    EXPECT_EQ(done, !injected) << "allocation " << k;
    EXPECT_EQ(str(d->prefix), injected ? "" : "calc");
    EXPECT_EQ(memory_live_blocks(), live + (injected ? 0 : 1));  // the stored prefix text
    directives_free(d);
    if (!injected) break;
  }
  ustring_free(option);
}

}  // namespace
