#include "schema/name_matches.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "schema/comparison_rules.h"

namespace schema {
namespace {

using Names = std::vector<std::string_view>;

// The answers a walk with SameName gives: the first local match of each reference name, and
// whether each local name has any reference match.
void ExpectAsTheWalk(const Names& reference, const Names& local) {
  NameMatches matches;
  matches.Match(reference, local);
  for (size_t k = 0; k < reference.size(); ++k) {
    int32_t first = -1;
    for (size_t m = 0; m < local.size() && first < 0; ++m)
      if (SameName(local[m], reference[k])) first = static_cast<int32_t>(m);
    EXPECT_EQ(matches.LocalOf(k), first) << "reference " << reference[k];
  }
  for (size_t m = 0; m < local.size(); ++m) {
    bool found = false;
    for (std::string_view name : reference) found = found || SameName(name, local[m]);
    EXPECT_EQ(matches.InReference(m), found) << "local " << local[m];
  }
}

// The same spelling in the same places is matched by indexing one list: a name repeated under
// SameName must still find the first of its name, not its own place.
TEST(NameMatches, ListsSpeltAlikeMatchTheFirstOfEachName) {
  const Names names = {"Codice", "Città", "CODICE ", "Nome", "CITTÀ", "", " "};
  ExpectAsTheWalk(names, names);
  NameMatches matches;
  matches.Match(names, names);
  EXPECT_EQ(matches.LocalOf(2), 0);
  EXPECT_EQ(matches.LocalOf(4), 1);
  EXPECT_EQ(matches.LocalOf(6), 5);
}

TEST(NameMatches, ListsThatDifferMatchByRuleBothWays) {
  ExpectAsTheWalk({"Codice", "Nome", "Indirizzo", "Città"}, {"codice", "Telefono", "CITTÀ ", "Nome", "NOME"});
  ExpectAsTheWalk({"A", "B", "a"}, {"b", "A"});
  // One list the start of the other: the shortcut must not take a prefix for the whole.
  ExpectAsTheWalk({"A", "B"}, {"A", "B", "C"});
  ExpectAsTheWalk({"A", "B", "C"}, {"A", "B"});
  ExpectAsTheWalk({}, {"A"});
  ExpectAsTheWalk({"A"}, {});
}

// A matcher is used again for every pair of tables: nothing of one pair may leak into the next.
TEST(NameMatches, MatchingAgainForgetsTheLastPair) {
  NameMatches matches;
  const Names wide = {"F0", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12", "F13", "F14",
                      "F15", "F16", "F17"};
  matches.Match(wide, wide);
  const Names reference = {"F3", "Nuovo"};
  const Names local = {"F9"};
  matches.Match(reference, local);
  EXPECT_EQ(matches.LocalOf(0), -1);
  EXPECT_EQ(matches.LocalOf(1), -1);
  EXPECT_FALSE(matches.InReference(0));
}

}  // namespace
}  // namespace schema
