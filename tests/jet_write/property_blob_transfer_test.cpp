#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jet/common/error.h"
#include "jet/query/property_blob.h"
#include "jet/query/property_value.h"
#include "jet/write/code_page_text.h"

namespace jet {
namespace {

constexpr uint16_t kGreek = 1253;

std::vector<uint8_t> Jet3BlobWithDescription(const std::string& text, uint16_t code_page) {
  PropertyBlob blob;
  blob.groups.push_back({"Elenco", {TextProperty("Description", text, Format::kJet3, code_page)}, 0});
  return EncodePropertyBlob(blob, Format::kJet3, code_page);
}

std::string DescriptionOf(const std::vector<uint8_t>& blob, Format format, uint16_t code_page) {
  const PropertyBlob parsed = ParsePropertyBlob(blob, format, code_page);
  return PropertyText(parsed.groups.at(0).properties.at(0), format, code_page);
}

int ErrorOf(const std::vector<uint8_t>& blob, uint16_t from, Format format, uint16_t to) {
  try {
    PropertyBlobFor(blob, from, format, to, "query 'Elenco'");
  } catch (const Error& error) {
    return error.number();
  }
  return 0;
}

// A query copied from an Access 97 database keeps its texts as they read in the database it
// came from, whatever code page the receiving database has.
TEST(PropertyBlobTransfer, Jet3TextsAreReadInTheSourceDatabasesCodePage) {
  const std::string greek = "Ώρα αβγ";
  const std::vector<uint8_t> blob = Jet3BlobWithDescription(greek, kGreek);

  const std::vector<uint8_t> for_jet4 = PropertyBlobFor(blob, kGreek, Format::kJet4, 1252, "query 'Elenco'");
  EXPECT_EQ(DescriptionOf(for_jet4, Format::kJet4, 1252), greek);

  EXPECT_EQ(PropertyBlobFor(blob, kGreek, Format::kJet3, kGreek, "query 'Elenco'"), blob)
      << "the same code page takes the bytes as they are";

  // Western 1252 has no Greek letters: refused, not turned into the Latin letters that
  // share their bytes.
  EXPECT_EQ(ErrorOf(blob, kGreek, Format::kJet3, 1252), 3421);

  // Latin text moves from a Western database to a Greek one where 1253 has its letters, and
  // is refused where it has not.
  const std::vector<uint8_t> plain = Jet3BlobWithDescription("Elenco clienti", 1252);
  const std::vector<uint8_t> moved = PropertyBlobFor(plain, 1252, Format::kJet3, kGreek, "query 'Elenco'");
  EXPECT_EQ(DescriptionOf(moved, Format::kJet3, kGreek), "Elenco clienti");
  EXPECT_EQ(ErrorOf(Jet3BlobWithDescription("Forlì", 1252), 1252, Format::kJet3, kGreek), 3421);
}

}  // namespace
}  // namespace jet
