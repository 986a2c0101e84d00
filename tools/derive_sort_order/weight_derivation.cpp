#include "tools/derive_sort_order/weight_derivation.h"

#include <algorithm>
#include <cstdio>
#include <deque>

namespace vantrel::derive {

namespace {

std::string CodePoint(char16_t c) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

std::string CodePoints(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += (out.empty() ? "" : " ") + CodePoint(c);
  return out;
}

bool Contains(const std::vector<uint8_t>& v, uint8_t b) { return std::find(v.begin(), v.end(), b) != v.end(); }

// Jet 3 letters weigh from 0x60 (A) upwards; only they take a place in the accent nibbles
// (the samples show hyphen and no-break space between accented letters taking none).
constexpr uint8_t kJet3FirstLetterWeight = 0x60;

}  // namespace

SegmentationRules RulesFor(jet::Format format) {
  SegmentationRules rules;
  if (format == jet::Format::kJet3) {
    // Æ æ Œ œ ß weigh as "ae", "oe", "ss"; Jet 3 gives Þ þ a letter weight of their own.
    rules.two_letter_characters = {0x00C6, 0x00DF, 0x00E6, 0x0152, 0x0153};
  } else {
    // Æ æ ß Þ þ weigh as "ae", "ss", "th".
    rules.two_letter_characters = {0x00C6, 0x00DE, 0x00DF, 0x00E6, 0x00FE};
    // Jet 4 groups: 08 whitespace, 2B punctuation, 33 and 34 symbols, 37 fractions,
    // 79 Cyrillic. Every other first byte is a whole weight.
    rules.two_byte_leads = {0x08, 0x2B, 0x33, 0x34, 0x37, 0x79};
  }
  return rules;
}

bool WeightDerivation::SplitPrimary(const std::vector<char16_t>& weighted, const std::vector<uint8_t>& primary,
                                    std::vector<std::vector<uint8_t>>& out) const {
  size_t at = 0;
  out.clear();
  for (char16_t c : weighted) {
    const bool two_letters = std::find(rules_.two_letter_characters.begin(), rules_.two_letter_characters.end(), c) !=
                             rules_.two_letter_characters.end();
    std::vector<uint8_t> weight;
    for (int part = 0; part < (two_letters ? 2 : 1); ++part) {
      if (at >= primary.size()) return false;
      const size_t width = Contains(rules_.two_byte_leads, primary[at]) ? 2 : 1;
      if (at + width > primary.size()) return false;
      weight.insert(weight.end(), primary.begin() + static_cast<std::ptrdiff_t>(at),
                    primary.begin() + static_cast<std::ptrdiff_t>(at + width));
      at += width;
    }
    out.push_back(std::move(weight));
  }
  return at == primary.size();
}

void WeightDerivation::Record(char16_t character, const Reading& reading) { ++readings_[character][reading]; }

bool WeightDerivation::Observe(const std::u16string& text, const TextKeyParts& parts, const std::string& where) {
  const bool ok = format_ == jet::Format::kJet3 ? ObserveJet3(text, parts, where) : ObserveJet4(text, parts, where);
  if (ok) ++observed_keys_;
  return ok;
}

// A skipped character is listed with the number of weighted characters before it, so walking
// the text with that count tells which characters the list names.
bool WeightDerivation::ObserveJet4(const std::u16string& text, const TextKeyParts& parts, const std::string& where) {
  std::deque<SkippedMark> pending(parts.skipped.begin(), parts.skipped.end());
  std::vector<char16_t> weighted;
  std::vector<std::pair<char16_t, uint8_t>> skipped;
  for (char16_t c : text) {
    if (!pending.empty() && pending.front().place == weighted.size()) {
      skipped.emplace_back(c, pending.front().code);
      pending.pop_front();
    } else {
      weighted.push_back(c);
    }
  }
  if (!pending.empty() || parts.accents.size() > weighted.size()) {
    notes_.push_back(where + ": skipped-character list does not fit " + CodePoints(text));
    return false;
  }
  std::vector<std::vector<uint8_t>> primaries;
  if (!SplitPrimary(weighted, parts.primary, primaries)) {
    notes_.push_back(where + ": primary weights do not split over " + CodePoints(text));
    return false;
  }
  for (size_t i = 0; i < weighted.size(); ++i) {
    Reading r;
    r.primary = primaries[i];
    r.accent_seen = i < parts.accents.size();
    r.extra = r.accent_seen ? parts.accents[i] : jet::kNoAccent;
    Record(weighted[i], r);
  }
  for (const auto& [c, code] : skipped) {
    Reading r;
    r.extra = code;
    r.accent_place = false;
    r.accent_seen = true;
    Record(c, r);
  }
  return true;
}

bool WeightDerivation::TakesJet3AccentPlace(const std::vector<uint8_t>& primary) const {
  return !primary.empty() && primary[0] >= kJet3FirstLetterWeight;
}

bool WeightDerivation::ObserveJet3(const std::u16string& text, const TextKeyParts& parts, const std::string& where) {
  std::vector<char16_t> characters(text.begin(), text.end());
  std::vector<std::vector<uint8_t>> primaries;
  if (!SplitPrimary(characters, parts.primary, primaries)) {
    notes_.push_back(where + ": primary weights do not split over " + CodePoints(text));
    return false;
  }
  size_t place = 0;
  for (size_t i = 0; i < characters.size(); ++i) {
    Reading r;
    r.primary = primaries[i];
    r.accent_place = TakesJet3AccentPlace(r.primary);
    if (r.accent_place) {
      r.accent_seen = place < parts.accents.size();
      r.extra = r.accent_seen ? parts.accents[place] : jet::kNoAccent;
      ++place;
    }
    Record(characters[i], r);
  }
  if (parts.accents.size() > place) {
    notes_.push_back(where + ": more accent nibbles than letters");
    return false;
  }
  return true;
}

std::vector<jet::GeneralSortWeight> WeightDerivation::Settle() {
  std::vector<jet::GeneralSortWeight> table;
  for (const auto& [c, readings] : readings_) {
    // A reading whose accent was only implied (trimmed away at the key's end) agrees with an
    // explicit plain accent; fold them before counting.
    std::map<Reading, size_t> folded;
    for (const auto& [r, n] : readings) {
      Reading key = r;
      key.accent_seen = false;
      folded[key] += n;
    }
    auto best = std::max_element(folded.begin(), folded.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    if (folded.size() > 1) {
      notes_.push_back(CodePoint(c) + ": keys disagree (" + std::to_string(folded.size()) +
                       " readings); kept the most frequent");
    }
    jet::GeneralSortWeight w;
    w.character = c;
    w.primary_length = static_cast<uint8_t>(best->first.primary.size());
    std::copy(best->first.primary.begin(), best->first.primary.end(), w.primary);
    w.extra = best->first.extra;
    w.accent_place = best->first.accent_place;
    w.observed = true;
    table.push_back(w);
  }
  // Jet 3 gives every C0 control except tab one and the same weight; the samples lack only
  // U+001A (Access stored it as another character), so it takes its neighbours' weight.
  if (format_ == jet::Format::kJet3) {
    auto find = [&](char16_t c) {
      return std::find_if(table.begin(), table.end(), [c](const auto& w) { return w.character == c; });
    };
    auto before = find(0x0019), after = find(0x001B);
    if (find(0x001A) == table.end() && before != table.end() && after != table.end() &&
        before->primary_length == after->primary_length &&
        std::equal(before->primary, before->primary + before->primary_length, after->primary)) {
      jet::GeneralSortWeight w = *before;
      w.character = 0x001A;
      w.observed = false;
      table.push_back(w);
      notes_.push_back("U+001A: filled from U+0019 and U+001B");
    }
  }
  std::sort(table.begin(), table.end(), [](const auto& a, const auto& b) { return a.character < b.character; });
  return table;
}

}  // namespace vantrel::derive
