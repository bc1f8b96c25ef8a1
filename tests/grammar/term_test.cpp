#include "grammar/term.h"

#include <gtest/gtest.h>

#include "text/memory.h"
#include "support/grammar_objects.h"

namespace {

TEST(TermNew, TakesOverTheNameAndStartsBlank) {
  ustring* name = text_of("NUMBER");
  unsigned char* buffer = name->data;
  term* t = term_new(name);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(name->data, nullptr);
  EXPECT_EQ(name->size, 0u);
  ustring_free(name);
  EXPECT_EQ(t->name->data, buffer);
  EXPECT_EQ(ustring_compare(t->name, "NUMBER"), 0);
  ASSERT_NE(t->type, nullptr);
  EXPECT_TRUE(ustring_is_empty(t->type));
  EXPECT_EQ(t->value, 0);
  EXPECT_EQ(t->id, 0u);
  term_free(t);
  term_free(nullptr);
}

TEST(TermNew, AllocationFailureLeaksNothingAndKeepsTheCallersName) {
  for (size_t k = 1;; ++k) {
    ustring* name = text_of("ID");
    size_t live = memory_live_blocks();
    memory_fail_at(k);
    term* t = term_new(name);
    memory_fail_at(0);
    if (t != nullptr) {
      term_free(t);
      ustring_free(name);
      EXPECT_GT(k, 3u);  // record, type and the taken-over name each allocate
      break;
    }
    EXPECT_EQ(memory_live_blocks(), live) << "failing allocation " << k;
    EXPECT_EQ(ustring_compare(name, "ID"), 0) << "failing allocation " << k;
    ustring_free(name);
  }
}

TEST(Terms, FindReturnsTheFirstExactMatch) {
  terms* array = terms_new();
  ustring* probe = text_of("a");
  EXPECT_EQ(term_find(array, probe), nullptr);
  term* a = make_term("a");
  term* b = make_term("b");
  term* upper = make_term("A");
  term* prefix = make_term("ab");
  for (term* t : {upper, prefix, a, b}) ASSERT_TRUE(term_push(array, t));
  EXPECT_EQ(term_find(array, probe), a);
  EXPECT_EQ(term_find(array, probe), a);
  ustring_append_cstr(probe, "b");
  EXPECT_EQ(term_find(array, probe), prefix);
  ustring_append_cstr(probe, "c");
  EXPECT_EQ(term_find(array, probe), nullptr);
  EXPECT_EQ(term_find(nullptr, probe), nullptr);
  ustring_free(probe);
  terms_clear(array);
  EXPECT_EQ(array->count, 0u);
  terms_free(array);
}

TEST(Terms, GrowFromEightToSixteenAndClearFreesEveryTerminal) {
  size_t live = memory_live_blocks();
  terms* array = terms_new();
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(term_push(array, make_term("t")));
  EXPECT_EQ(array->capacity, 8u);
  ASSERT_TRUE(term_push(array, make_term("t")));
  EXPECT_EQ(array->capacity, 16u);
  EXPECT_EQ(array->count, 9u);
  term* extra = make_term("u");
  for (int i = 9; i < 16; ++i) ASSERT_TRUE(term_push(array, make_term("t")));
  memory_fail_at(1);
  EXPECT_FALSE(term_push(array, extra));
  EXPECT_EQ(array->count, 16u);
  EXPECT_EQ(array->capacity, 16u);
  term_free(extra);
  terms_clear(array);
  terms_clear(nullptr);
  terms_free(array);
  terms_free(nullptr);
  EXPECT_EQ(memory_live_blocks(), live);
}

}  // namespace
