// derive_sort_order <corpus folder> <output .cpp> [<public Jet 4 weights>]
//
// Reads every text index of the sample databases under <corpus folder>/jet3 and /jet4,
// splits each stored key over the characters of the row it points at, and writes the
// per-character General weights as C++ source. Notes (disagreeing keys, keys that do not
// split, characters filled in by pattern) go to standard error.
//
// The public weights only fill characters the samples do not show: what Access wrote is the
// stronger evidence. Where both have a character they are compared and every disagreement
// is reported, since one means either the tables or the key reading is off.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/index/key_encoder.h"
#include "tools/derive_sort_order/corpus_index_walk.h"
#include "tools/derive_sort_order/key_parts.h"
#include "tools/derive_sort_order/public_weights.h"
#include "tools/derive_sort_order/table_writer.h"
#include "tools/derive_sort_order/weight_derivation.h"

namespace {

using namespace vantrel::derive;

bool IsText(const jet::ColumnDef& c) {
  return c.type == static_cast<uint8_t>(jet::FieldType::kText) || c.type == static_cast<uint8_t>(jet::FieldType::kMemo);
}

// Walks one entry's key column by column; non-text parts are rebuilt with the key encoder to
// find where the text parts start.
void ObserveEntry(WeightDerivation& derivation, const jet::TableDef& table, const jet::RealIndexDef& index,
                  const jet::Row& row, const std::vector<uint8_t>& key, const std::string& where) {
  size_t at = 0;
  for (const auto& part : index.columns) {
    auto column = std::find_if(table.columns.begin(), table.columns.end(),
                               [&](const jet::ColumnDef& c) { return c.number == part.column_number; });
    if (column == table.columns.end() || at >= key.size()) return;
    const jet::Value& value = row[static_cast<size_t>(column - table.columns.begin())];
    if (!IsText(*column) || jet::IsNull(value)) {
      std::vector<uint8_t> expected;
      jet::AppendColumnKey(expected, *column, value, part.ascending, table.format);
      if (key.size() - at < expected.size() || !std::equal(expected.begin(), expected.end(), key.begin() + at)) return;
      at += expected.size();
      continue;
    }
    std::vector<uint8_t> rest(key.begin() + static_cast<std::ptrdiff_t>(at) + 1, key.end());
    if (!part.ascending) {
      for (uint8_t& b : rest) b = static_cast<uint8_t>(~b);
    }
    auto parts = ParseTextKey(rest, table.format);
    if (!parts) {
      std::fprintf(stderr, "%s: key parts not of the shape read here (%zu bytes) over %s\n", where.c_str(),
                   rest.size(), std::get<std::string>(value).c_str());
      return;
    }
    derivation.Observe(jet::Utf8ToUtf16(std::get<std::string>(value)), *parts, where);
    at += 1 + parts->length;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: derive_sort_order <corpus folder> <output .cpp> [<public Jet 4 weights>]\n");
    return 2;
  }
  std::vector<jet::GeneralSortWeight> published;
  if (argc == 4) {
    try {
      published = ReadPublicWeights(argv[3]);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 1;
    }
  }
  const std::filesystem::path corpus = argv[1];
  WeightDerivation jet4(jet::Format::kJet4), jet3(jet::Format::kJet3);
  DerivedTables tables;
  std::vector<std::filesystem::path> files;
  for (const char* folder : {"jet3", "jet4"}) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(corpus / folder, ec)) {
      if (e.path().extension() == ".mdb") files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    try {
      FileImage pages(file);
      WeightDerivation& derivation = pages.format() == jet::Format::kJet3 ? jet3 : jet4;
      const size_t before = derivation.observed_keys();
      for (uint32_t definition_page : ListTablePages(pages)) {
        const jet::TableDef table = ReadIndexedTableDef(pages, definition_page);
        for (const auto& index : table.real_indexes) {
          for (const auto& entry : ReadLeafEntries(pages, index.first_page)) {
            const std::string where = file.filename().string() + " page " + std::to_string(entry.data_page) + " row " +
                                      std::to_string(entry.data_row);
            ObserveEntry(derivation, table, index, ReadEntryRow(pages, table, entry), entry.key, where);
          }
        }
      }
      if (derivation.observed_keys() > before) tables.sources.push_back(file.parent_path().filename().string() + "/" +
                                                                        file.filename().string());
    } catch (const jet::Error& e) {
      std::fprintf(stderr, "%s: skipped: %s\n", file.string().c_str(), e.what());
    }
  }
  tables.jet4 = jet4.Settle();
  tables.jet3 = jet3.Settle();
  for (const auto* d : {&jet4, &jet3}) {
    for (const auto& note : d->notes()) std::fprintf(stderr, "%s\n", note.c_str());
  }
  std::fprintf(stderr, "Jet 4: %zu keys (%zu more by isolating a character), %zu characters; "
               "Jet 3: %zu keys (%zu more), %zu characters\n", jet4.observed_keys(), jet4.isolated_keys(),
               tables.jet4.size(), jet3.observed_keys(), jet3.isolated_keys(), tables.jet3.size());
  if (tables.jet4.empty() || tables.jet3.empty()) {
    std::fprintf(stderr, "no text index keys found under %s\n", corpus.string().c_str());
    return 1;
  }
  if (!published.empty()) {
    const WeightComparison comparison = CompareWeights(tables.jet4, published);
    for (const auto& d : comparison.disagreements) std::fprintf(stderr, "public weight differs, keys kept: %s\n", d.c_str());
    const std::vector<jet::GeneralSortWeight> before = tables.jet4;
    const size_t added = FillFromPublic(tables.jet4, published);
    for (const auto& w : tables.jet4) {
      if (!std::binary_search(before.begin(), before.end(), w,
                              [](const auto& a, const auto& b) { return a.character < b.character; }))
        tables.jet4_public.push_back(w.character);
    }
    tables.public_source = std::filesystem::path(argv[3]).filename().string();
    std::fprintf(stderr, "Public Jet 4 weights: %zu characters; %zu also read from keys, %zu agreeing, %zu differing; "
                 "%zu added\n", published.size(), comparison.agreeing + comparison.disagreements.size(),
                 comparison.agreeing, comparison.disagreements.size(), added);
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << WriteTableSource(tables);
  return out ? 0 : 1;
}
