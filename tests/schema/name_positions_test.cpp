#include "schema/name_positions.h"

#include <gtest/gtest.h>

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
