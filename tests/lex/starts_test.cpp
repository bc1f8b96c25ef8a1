#include "lex/starts.h"

#include <gtest/gtest.h>

#include "lex_test_support.h"

namespace {

TEST(Starts, PushTakesOverTheNameAndFindReturnsTheFirst) {
  starts* table = starts_new();
  ustring* names[] = {make_text("INITIAL"), make_text("COMMENT"), make_text("COMMENT")};
  for (ustring* name : names) {
    ASSERT_TRUE(start_push(table, name));
    EXPECT_EQ(name->size, 0u);
  }
  ustring* wanted = make_text("COMMENT");
  EXPECT_EQ(start_find(table, wanted), table->items[1]);
  ustring* missing = make_text("STRING");
  EXPECT_EQ(start_find(table, missing), nullptr);
  for (ustring* name : {names[0], names[1], names[2], wanted, missing}) ustring_free(name);
  starts_free(table);
}

}  // namespace
