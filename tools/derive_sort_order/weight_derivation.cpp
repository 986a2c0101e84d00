#include "tools/derive_sort_order/weight_derivation.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <optional>

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

// Jet 4 kana weigh 7F and their letter; each adds a size mark to the kana part of the key.
constexpr uint8_t kKanaLead = 0x7F;

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
    // 79 Cyrillic, 7F kana, 9F-F1 ideographs. Every other first byte is a whole weight.
    rules.two_byte_leads = {0x08, 0x2B, 0x33, 0x34, 0x37, 0x79, kKanaLead};
    for (int lead = 0x9F; lead <= 0xF1; ++lead) rules.two_byte_leads.push_back(static_cast<uint8_t>(lead));
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
  if (ok) {
    ++observed_keys_;
  } else {
    unsplit_.push_back(UnsplitKey{text, parts, where});
  }
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
  const size_t kana = static_cast<size_t>(std::count_if(primaries.begin(), primaries.end(), [](const auto& p) {
    return p.size() == 2 && p[0] == kKanaLead;
  }));
  if (parts.kana_marks.size() > kana || (kana + 6) / 7 != parts.kana_groups) {
    notes_.push_back(where + ": kana part does not fit " + CodePoints(text));
    return false;
  }
  for (size_t i = 0, kana_seen = 0; i < weighted.size(); ++i) {
    Reading r;
    r.primary = primaries[i];
    r.accent_seen = i < parts.accents.size();
    r.extra = r.accent_seen ? parts.accents[i] : jet::kNoAccent;
    if (r.primary.size() == 2 && r.primary[0] == kKanaLead) {
      r.kana = kana_seen < parts.kana_marks.size() ? parts.kana_marks[kana_seen] : jet::kFullSizeKana;
      ++kana_seen;
    }
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

std::vector<jet::GeneralSortWeight> WeightDerivation::SettleReadings(std::vector<std::string>& notes) const {
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
      notes.push_back(CodePoint(c) + ": keys disagree (" + std::to_string(folded.size()) +
                      " readings); kept the most frequent");
    }
    jet::GeneralSortWeight w;
    w.character = c;
    w.primary_length = static_cast<uint8_t>(best->first.primary.size());
    std::copy(best->first.primary.begin(), best->first.primary.end(), w.primary);
    w.extra = best->first.extra;
    w.accent_place = best->first.accent_place;
    w.kana = best->first.kana;
    w.observed = true;
    table.push_back(w);
  }
  return table;
}

namespace {

// Every way the characters of one key may weigh that gives exactly its bytes, given the
// weights already known: each character without one either adds the next primary weight
// (taking the accent at its place), is the next skipped character the key lists, or is left
// out of the key altogether.
class KeySolver {
 public:
  using Reading = WeightDerivation::Reading;
  using Solution = std::map<char16_t, Reading>;

  KeySolver(jet::Format format, const SegmentationRules& rules, const WeightDerivation::KnownWeights& known,
            const std::u16string& text, const TextKeyParts& parts)
      : format_(format), rules_(rules), known_(known), text_(text), parts_(parts) {}

  // False when the search gave up: too many ways, or too long a search.
  bool Solve(std::vector<Solution>& solutions) {
    solutions_ = &solutions;
    Step(0, 0, 0, 0);
    return !gave_up_;
  }

 private:
  static constexpr size_t kMostSolutions = 64;
  static constexpr size_t kMostSteps = 200000;

  uint8_t AccentAt(size_t place) const {
    return place < parts_.accents.size() ? parts_.accents[place] : jet::kNoAccent;
  }

  bool TakesAccentPlace(const std::vector<uint8_t>& primary) const {
    return format_ == jet::Format::kJet4 ? !primary.empty() : !primary.empty() && primary[0] >= kJet3FirstLetterWeight;
  }

  // Goes on from character `i` with `reading` for it, when the key's bytes allow it.
  void Take(size_t i, size_t at, size_t place, size_t skip, const Reading& reading) {
    if (!reading.primary.empty()) {
      const auto& primary = parts_.primary;
      if (at + reading.primary.size() > primary.size() ||
          !std::equal(reading.primary.begin(), reading.primary.end(), primary.begin() + static_cast<std::ptrdiff_t>(at)))
        return;
      if (reading.accent_place && reading.extra != AccentAt(place)) return;
      Step(i + 1, at + reading.primary.size(), place + (reading.accent_place ? 1 : 0), skip);
      return;
    }
    if (reading.extra == jet::kIgnoredCharacter) {
      Step(i + 1, at, place, skip);
      return;
    }
    if (format_ == jet::Format::kJet3) return;
    if (skip >= parts_.skipped.size() || parts_.skipped[skip].place != place || parts_.skipped[skip].code != reading.extra)
      return;
    Step(i + 1, at, place, skip + 1);
  }

  void Step(size_t i, size_t at, size_t place, size_t skip) {
    if (gave_up_) return;
    if (++steps_ > kMostSteps) {
      gave_up_ = true;
      return;
    }
    if (i == text_.size()) {
      if (at != parts_.primary.size() || skip != parts_.skipped.size() || place < parts_.accents.size()) return;
      if (solutions_->size() >= kMostSolutions) {
        gave_up_ = true;
        return;
      }
      solutions_->push_back(assigned_);
      return;
    }
    const char16_t c = text_[i];
    if (const auto known = known_.find(c); known != known_.end()) {
      const jet::GeneralSortWeight& w = known->second;
      Reading r;
      r.primary.assign(w.primary, w.primary + w.primary_length);
      r.extra = w.extra;
      r.accent_place = w.accent_place;
      Take(i, at, place, skip, r);
      return;
    }
    if (const auto chosen = assigned_.find(c); chosen != assigned_.end()) {
      Take(i, at, place, skip, chosen->second);
      return;
    }
    std::vector<Reading> options;
    if (at < parts_.primary.size()) {
      const size_t width = std::find(rules_.two_byte_leads.begin(), rules_.two_byte_leads.end(), parts_.primary[at]) !=
                                   rules_.two_byte_leads.end()
                               ? 2
                               : 1;
      if (at + width <= parts_.primary.size()) {
        Reading r;
        r.primary.assign(parts_.primary.begin() + static_cast<std::ptrdiff_t>(at),
                         parts_.primary.begin() + static_cast<std::ptrdiff_t>(at + width));
        r.accent_place = TakesAccentPlace(r.primary);
        r.extra = r.accent_place ? AccentAt(place) : jet::kNoAccent;
        options.push_back(r);
      }
    }
    if (format_ == jet::Format::kJet4) {
      if (skip < parts_.skipped.size() && parts_.skipped[skip].place == place) {
        Reading r;
        r.extra = parts_.skipped[skip].code;
        r.accent_place = false;
        options.push_back(r);
      }
      Reading left_out;
      left_out.extra = jet::kIgnoredCharacter;
      left_out.accent_place = false;
      options.push_back(left_out);
    }
    for (const Reading& option : options) {
      assigned_[c] = option;
      Take(i, at, place, skip, option);
      assigned_.erase(c);
    }
  }

  jet::Format format_;
  const SegmentationRules& rules_;
  const WeightDerivation::KnownWeights& known_;
  const std::u16string& text_;
  const TextKeyParts& parts_;
  Solution assigned_;
  std::vector<Solution>* solutions_ = nullptr;
  size_t steps_ = 0;
  bool gave_up_ = false;
};

}  // namespace

size_t WeightDerivation::Isolate(const UnsplitKey& key, const KnownWeights& known) {
  std::vector<KeySolver::Solution> solutions;
  if (!KeySolver(format_, rules_, known, key.text, key.parts).Solve(solutions) || solutions.empty()) return 0;
  // A character weighs as it does in every way the key can be read, or it stays unknown.
  size_t isolated = 0;
  for (const auto& [c, reading] : solutions.front()) {
    const bool same_everywhere = std::all_of(solutions.begin(), solutions.end(), [&](const KeySolver::Solution& s) {
      const auto other = s.find(c);
      return other != s.end() && other->second == reading;
    });
    if (!same_everywhere) continue;
    Record(c, reading);
    ++isolated;
    notes_.push_back(key.where + ": " + CodePoint(c) + " isolated" +
                     (reading.primary.empty() && reading.extra == jet::kIgnoredCharacter ? " (left out of keys)" : "") +
                     " from " + std::to_string(solutions.size()) + " readings of " + CodePoints(key.text));
  }
  return isolated;
}

std::vector<jet::GeneralSortWeight> WeightDerivation::Settle() {
  std::vector<std::string> notes;
  std::vector<jet::GeneralSortWeight> table = SettleReadings(notes);
  for (bool learned = true; learned;) {
    learned = false;
    KnownWeights known;
    for (const jet::GeneralSortWeight& w : table) known[w.character] = w;
    for (const UnsplitKey& key : unsplit_) {
      if (Isolate(key, known) == 0) continue;
      ++isolated_keys_;
      learned = true;
    }
    notes.clear();
    table = SettleReadings(notes);
  }
  notes_.insert(notes_.end(), notes.begin(), notes.end());
  for (const UnsplitKey& key : unsplit_) {
    std::string lacking;
    for (char16_t c : std::u16string(key.text)) {
      const bool has = std::any_of(table.begin(), table.end(), [c](const auto& w) { return w.character == c; });
      if (!has && lacking.find(CodePoint(c)) == std::string::npos) lacking += " " + CodePoint(c);
    }
    if (!lacking.empty()) notes_.push_back(key.where + ": still unread, no weight for" + lacking);
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
