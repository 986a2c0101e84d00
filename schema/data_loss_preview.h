#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/core/database.h"
#include "schema/engine.h"

namespace schema {

// What the rebuild of one changed field would do to the local rows: the field as both
// databases define it and how many of its stored values would not survive the copy.
struct FieldLossPreview {
  std::string table;  // as the reference database spells it, like the run log
  std::string field;
  int16_t old_type = 0;  // local
  int16_t new_type = 0;  // reference
  int32_t old_size = 0;
  int32_t new_size = 0;
  uint64_t rows = 0;             // rows of the local table
  uint64_t not_convertible = 0;  // values the new type cannot hold: the copy fails on the first
  uint64_t cut = 0;              // text or bytes longer than the new size, stored shortened
};

// Every field that the update would rebuild (a field of a table in both databases whose type
// differs, or a text field whose size differs), in the order the passes meet them, with the
// values of the local rows tried against the field the rebuild would create. Reads both
// databases and changes neither.
std::vector<FieldLossPreview> PreviewDataLoss(jet::Database& reference, jet::Database& local);
std::vector<FieldLossPreview> PreviewDataLoss(const std::filesystem::path& reference,
                                              const std::filesystem::path& local);
// The same for two databases open through the engine, such as the verify pass's own once it
// has compared them: what the engine already read is used where it may be, and a database it
// cannot share is opened again from its file.
std::vector<FieldLossPreview> PreviewDataLoss(Database& reference, Database& local);

}  // namespace schema
