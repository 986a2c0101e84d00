#pragma once

// Weights of the Jet 4 General order taken from public tables rather than from keys Access
// wrote: the lower-priority input of derive_sort_order, filling characters no sample shows.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "jet/index/general_sort_order_table.h"

namespace vantrel::derive {

// Parses the text of a weights file (see general_legacy_public_weights.txt for the form).
// Entries come back sorted by character with `observed` false. Throws std::runtime_error
// naming the line for anything malformed, duplicated or out of range: a silently skipped
// line would leave a character unweighted, a misread one would misplace rows.
std::vector<jet::GeneralSortWeight> ParsePublicWeights(std::string_view text);
std::vector<jet::GeneralSortWeight> ReadPublicWeights(const std::filesystem::path& file);

// How the sample-derived weights and the public ones compare where both have a character.
struct WeightComparison {
  size_t agreeing = 0;
  std::vector<std::string> disagreements;  // "U+00xx: keys ... public ..."
};
WeightComparison CompareWeights(const std::vector<jet::GeneralSortWeight>& derived,
                                const std::vector<jet::GeneralSortWeight>& published);

// `derived` with every public character it lacks added; derived weights are kept as they are.
// Returns how many were added.
size_t FillFromPublic(std::vector<jet::GeneralSortWeight>& derived, const std::vector<jet::GeneralSortWeight>& published);

}  // namespace vantrel::derive
