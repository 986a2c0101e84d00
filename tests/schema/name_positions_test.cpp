#include "schema/name_positions.h"
#include "schema/name_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace schema {
namespace {

// The answers must be those of walking the collection with FindByName, whatever the names.
TEST(NamePositions, AnswersAsTheWalkDoes) {
  const std::vector<std::string> names = {"Clienti", " CLIENTI", "Città", "Ordini", "clienti ", "", "CITTÀ"};
  auto name_at = [&](int16_t i) { return names.at(static_cast<size_t>(i)); };
  const NamePositions positions(static_cast<int16_t>(names.size()), name_at);
  for (const std::string probe : {"clienti", "CITTÀ", "città", "ordini ", "Fatture", "", "   ", "citta"}) {
    SCOPED_TRACE(probe);
    EXPECT_EQ(positions.First(probe), FindByName(static_cast<int16_t>(names.size()), probe, name_at));
  }
  EXPECT_EQ(positions.All("Clienti"), (std::vector<int16_t>{0, 1, 4}));
  EXPECT_EQ(positions.All("città"), (std::vector<int16_t>{2, 6}));
  EXPECT_TRUE(positions.All("Fatture").empty());
}

TEST(NamePositions, EmptyCollectionFindsNothing) {
  const NamePositions positions(0, [](int16_t) -> std::string { throw std::logic_error("not read"); });
  EXPECT_EQ(positions.First("a"), -1);
  EXPECT_TRUE(positions.All("a").empty());
}

// An item whose name cannot be read raises where the walk would have met it: a name found
// before it is still found, a search that must pass it raises.
TEST(NamePositions, AFailingNameRaisesOnlyWhereTheWalkWouldReachIt) {
  auto name_at = [](int16_t i) -> std::string {
    if (i == 2) throw std::runtime_error("damaged");
    return "Tabella" + std::to_string(i);
  };
  const NamePositions positions(4, name_at);
  EXPECT_EQ(positions.First("tabella1"), 1);
  EXPECT_THROW(positions.First("Tabella3"), std::runtime_error);
  EXPECT_THROW(positions.All("Tabella0"), std::runtime_error);
}

}  // namespace
}  // namespace schema

namespace schema {
namespace {

// The index must give the answers of walking the names with SameName, for every probe: the
// first match, then every later match in order.
TEST(NameIndex, AnswersAsAWalkWithSameNameDoes) {
  const std::vector<std::string> names = {"Clienti", " CLIENTI", "Città", "Ordini", "clienti ", "", "CITTÀ",
                                          "ÿ", "Ÿ", "   ", "Œuvre"};
  NameIndex index;
  for (const std::string& name : names) index.Add(name);
  for (const std::string probe : {"clienti", "CITTÀ", "città", "ordini ", "Fatture", "", "   ", "citta", "Ÿ",
                                  "œuvre", "Œuvre"}) {
    SCOPED_TRACE(probe);
    std::vector<int32_t> walked;
    for (size_t i = 0; i < names.size(); ++i)
      if (SameName(names[i], probe)) walked.push_back(static_cast<int32_t>(i));
    std::vector<int32_t> indexed;
    for (int32_t i = index.First(probe); i >= 0; i = index.Next(i)) indexed.push_back(i);
    EXPECT_EQ(indexed, walked);
  }
}

// Growing past its first table keeps every chain: many names, some repeated far apart.
TEST(NameIndex, GrowingKeepsFirstAndLaterPositions) {
  NameIndex index;
  for (int i = 0; i < 1000; ++i) index.Add("Campo" + std::to_string(i % 300));
  ASSERT_EQ(index.size(), 1000u);
  for (int k : {0, 1, 99, 299}) {
    std::vector<int32_t> positions;
    for (int32_t i = index.First("CAMPO" + std::to_string(k)); i >= 0; i = index.Next(i)) positions.push_back(i);
    std::vector<int32_t> expected;
    for (int i = k; i < 1000; i += 300) expected.push_back(i);
    EXPECT_EQ(positions, expected) << k;
  }
  EXPECT_EQ(index.First("Campo300"), -1);
  EXPECT_EQ(NameIndex().First("a"), -1);
}

TEST(NameKeyHash, EqualForEveryPairSameNameHolds) {
  const std::vector<std::string> names = {"abc", " ABC ", "aBc", "città", "CITTÀ ", "ÿ", "Ÿ", "", "  ",
                                          "ĳ", "Ĳ", "\xFF\xFE", "a\x80"};
  for (const std::string& a : names)
    for (const std::string& b : names)
      if (SameName(a, b)) {
        EXPECT_EQ(NameKeyHash(a), NameKeyHash(b)) << a << " / " << b;
      }
}

// Names are compared and hashed a word at a time: what a word holds must not change the
// answer. Every pair of a set of names of lengths around the word sizes, differing in case or
// in one byte at every place, with the bytes that border the letters and a non-ASCII letter
// at either side of a word boundary, must be SameName exactly when their keys are equal, and
// hash alike when they are.
TEST(NameKeyHash, WordsAgreeWithTheKeysAtEveryLengthAndPlace) {
  std::vector<std::string> names;
  for (size_t length : {1u, 3u, 4u, 5u, 7u, 8u, 9u, 12u, 15u, 16u, 17u}) {
    std::string base;
    for (size_t k = 0; k < length; ++k) base += static_cast<char>('a' + k % 26);
    names.push_back(base);
    names.push_back(UpperCase(base));
    names.push_back(" " + base + "  ");
    for (size_t at = 0; at < length; ++at) {
      for (char other : {'@', '[', '`', '{', 'Z', 'z', '0'}) {
        std::string changed = base;
        changed[at] = other;
        names.push_back(changed);
      }
      std::string raised = base;
      raised[at] = static_cast<char>(raised[at] - 32);
      names.push_back(raised);
      names.push_back(base.substr(0, at) + "\xC3\xA0" + base.substr(at));  // à
      names.push_back(UpperCase(base.substr(0, at)) + "\xC3\x80" + base.substr(at));  // À
    }
  }
  std::vector<std::string> keys;
  std::vector<size_t> name_hashes;
  for (const std::string& name : names) {
    keys.push_back(NameKey(name));
    name_hashes.push_back(NameKeyHash(name));
  }
  for (size_t a = 0; a < names.size(); ++a) {
    for (size_t b = 0; b < names.size(); ++b) {
      const bool same = keys[a] == keys[b];
      ASSERT_EQ(SameName(names[a], names[b]), same) << "'" << names[a] << "' / '" << names[b] << "'";
      if (same) {
        ASSERT_EQ(name_hashes[a], name_hashes[b]) << "'" << names[a] << "' / '" << names[b] << "'";
      }
    }
  }
  // The hash tells the names of a wide table apart rather than piling them on a few values.
  std::vector<size_t> hashes;
  for (int i = 0; i < 1000; ++i) hashes.push_back(NameKeyHash("Campo" + std::to_string(i)) & 1023);
  std::sort(hashes.begin(), hashes.end());
  EXPECT_GT(std::unique(hashes.begin(), hashes.end()) - hashes.begin(), 500);
}

// A counting collection: how often the pass would have gone to the engine.
struct CountingFields {
  int16_t count = 3;
  mutable int items = 0;
  mutable int names = 0;
  mutable int fail_item = -1;  // position whose next read fails once

  struct Named {
    const CountingFields* owner;
    int16_t position;
    std::string Name() const {
      ++owner->names;
      return "F" + std::to_string(position);
    }
  };
  std::shared_ptr<Named> Item(int16_t position) const {
    ++items;
    if (position < 0 || position >= count) throw std::out_of_range("3265");
    if (position == fail_item) {
      fail_item = -1;
      throw std::runtime_error("damaged");
    }
    return std::make_shared<Named>(Named{this, position});
  }
};

TEST(ItemsReadOnce, EachItemAndNameIsReadOnceAndFailuresAreNotKept) {
  CountingFields fields;
  fields.fail_item = 1;
  ItemsReadOnce<CountingFields, std::shared_ptr<CountingFields::Named>> items(fields, fields.count);
  EXPECT_EQ(items.Name(0), "F0");
  EXPECT_EQ(items.Name(0), "F0");
  EXPECT_EQ(items.Item(0)->position, 0);
  EXPECT_EQ(fields.items, 1);
  EXPECT_EQ(fields.names, 1);
  EXPECT_THROW(items.Name(1), std::runtime_error);
  EXPECT_EQ(items.Name(1), "F1");  // read again, since the failure was not kept
  EXPECT_EQ(fields.items, 3);
  // Outside the collection every read goes to it, and raises as it does.
  EXPECT_THROW(items.Item(3), std::out_of_range);
  EXPECT_THROW(items.Name(-1), std::out_of_range);
  EXPECT_THROW(items.Item(3), std::out_of_range);
  EXPECT_EQ(fields.items, 6);
}

}  // namespace
}  // namespace schema
