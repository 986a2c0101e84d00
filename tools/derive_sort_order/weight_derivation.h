#pragma once

// Gathers, from text index keys Access wrote, what each character contributes to a key, and
// settles one weight per character.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jet/common/format.h"
#include "jet/index/general_sort_order_table.h"
#include "tools/derive_sort_order/key_parts.h"

namespace vantrel::derive {

// What the key bytes alone cannot tell and the samples show: which first bytes begin a
// two-byte primary weight, and which characters sort as two letters.
struct SegmentationRules {
  std::vector<uint8_t> two_byte_leads;
  std::vector<char16_t> two_letter_characters;
};
SegmentationRules RulesFor(jet::Format format);

class WeightDerivation {
 public:
  explicit WeightDerivation(jet::Format format) : format_(format), rules_(RulesFor(format)) {}

  // One text with the parts of its stored key. Returns false (and notes why) when the key
  // cannot be split over the text's characters.
  bool Observe(const std::u16string& text, const TextKeyParts& parts, const std::string& where);

  // One weight per observed character, the most frequent reading where keys disagree, then
  // the characters filled in by a pattern. Keys that did not split are read again as long as
  // that teaches something: a character without a weight takes the one every reading of such
  // a key's bytes (over the weights already known) gives it. Disagreements, fills, isolated
  // characters and the characters left without a weight are noted.
  std::vector<jet::GeneralSortWeight> Settle();

  // What one key shows of one character.
  struct Reading {
    std::vector<uint8_t> primary;
    uint8_t extra = jet::kNoAccent;
    bool accent_place = true;
    bool accent_seen = false;  // the accent was inside the key, not implied by trimming
    uint8_t kana = jet::kNotKana;
    auto operator<=>(const Reading&) const = default;
  };
  using KnownWeights = std::map<char16_t, jet::GeneralSortWeight>;

  const std::vector<std::string>& notes() const { return notes_; }
  size_t observed_keys() const { return observed_keys_; }
  // Keys that did not split but taught weights once read again.
  size_t isolated_keys() const { return isolated_keys_; }

 private:
  // A key whose text did not split, kept to be read again once more weights are known.
  struct UnsplitKey {
    std::u16string text;
    TextKeyParts parts;
    std::string where;
  };
  void Record(char16_t character, const Reading& reading);
  std::vector<jet::GeneralSortWeight> SettleReadings(std::vector<std::string>& notes) const;
  // Reads the weights of characters of `key` that have none in `known`, where every reading
  // of the key's bytes agrees on them. Returns how many it read.
  size_t Isolate(const UnsplitKey& key, const KnownWeights& known);
  bool TakesJet3AccentPlace(const std::vector<uint8_t>& primary) const;
  bool ObserveJet4(const std::u16string& text, const TextKeyParts& parts, const std::string& where);
  bool ObserveJet3(const std::u16string& text, const TextKeyParts& parts, const std::string& where);
  bool SplitPrimary(const std::vector<char16_t>& weighted, const std::vector<uint8_t>& primary,
                    std::vector<std::vector<uint8_t>>& out) const;

  jet::Format format_;
  SegmentationRules rules_;
  std::map<char16_t, std::map<Reading, size_t>> readings_;
  std::vector<std::string> notes_;
  size_t observed_keys_ = 0;
  size_t isolated_keys_ = 0;
  std::vector<UnsplitKey> unsplit_;
};

}  // namespace vantrel::derive
