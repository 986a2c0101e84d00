#include "tools/derive_sort_order/public_weights.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace vantrel::derive {

namespace {

std::string CodePoint(unsigned c) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "U+%04X", c);
  return buf;
}

std::optional<unsigned> HexNumber(std::string_view s, size_t most_digits) {
  if (s.empty() || s.size() > most_digits) return std::nullopt;
  unsigned value = 0;
  for (char c : s) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else return std::nullopt;
    value = value * 16 + digit;
  }
  return value;
}

// Whole bytes only: "35A1" is two, "7" is not a byte string.
std::optional<std::vector<uint8_t>> HexBytes(std::string_view s) {
  if (s.empty() || s.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < s.size(); i += 2) {
    const auto b = HexNumber(s.substr(i, 2), 2);
    if (!b) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(*b));
  }
  return bytes;
}

std::string Describe(const jet::GeneralSortWeight& w) {
  char buf[16];
  std::string out;
  if (w.modifies_accent) {
    std::snprintf(buf, sizeof buf, "%02X", w.extra);
    return std::string("accent +") + buf;
  }
  if (w.primary_length == 0) {
    if (w.extra == jet::kIgnoredCharacter) return "left out";
    std::snprintf(buf, sizeof buf, "%02X", w.extra);
    return std::string("skipped ") + buf;
  }
  for (int i = 0; i < w.primary_length; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", w.primary[i]);
    out += buf;
  }
  std::snprintf(buf, sizeof buf, " %02X", w.extra);
  for (uint8_t more : w.more_accents) {
    if (more != 0) std::snprintf(buf + std::strlen(buf), sizeof buf - std::strlen(buf), "%02X", more);
  }
  if (w.kana != jet::kNotKana) return out + buf + (w.kana == jet::kSmallKana ? " small kana" : " kana");
  return out + buf;
}

bool SameWeight(const jet::GeneralSortWeight& a, const jet::GeneralSortWeight& b) {
  return a.primary_length == b.primary_length && std::equal(a.primary, a.primary + a.primary_length, b.primary) &&
         a.extra == b.extra && a.accent_place == b.accent_place && a.modifies_accent == b.modifies_accent &&
         a.kana == b.kana && std::equal(a.more_accents, a.more_accents + 2, b.more_accents);
}

}  // namespace

std::vector<jet::GeneralSortWeight> ParsePublicWeights(std::string_view text) {
  std::vector<jet::GeneralSortWeight> weights;
  std::istringstream lines{std::string(text)};
  std::string line;
  for (size_t number = 1; std::getline(lines, line); ++number) {
    const auto fail = [&](const std::string& why) {
      throw std::runtime_error("public weights line " + std::to_string(number) + ": " + why);
    };
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    const std::vector<std::string> w{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    if (w.empty()) continue;
    const size_t dash = w[0].find('-');
    const auto first = HexNumber(std::string_view(w[0]).substr(0, dash), 4);
    const auto last = dash == std::string::npos ? first : HexNumber(std::string_view(w[0]).substr(dash + 1), 4);
    if (!first || !last || *last < *first) fail("bad character or range '" + w[0] + "'");
    if (*first >= 0xD800 && *first <= 0xDFFF) fail("surrogates are not characters");
    jet::GeneralSortWeight entry;
    entry.observed = false;
    if (w.size() == 4 && w[1] == "weight") {
      const auto primary = HexBytes(w[2]);
      const auto accent = HexBytes(w[3]);
      if (!primary || primary->size() > sizeof entry.primary || !accent ||
          accent->size() > 1 + sizeof entry.more_accents)
        fail("a weight takes 1 to 4 primary bytes and 1 to 3 accent bytes");
      // Bytes 00 and 01 end the parts of a key, so no weight may hold them.
      const auto below_two = [](uint8_t b) { return b < 2; };
      if (std::any_of(primary->begin(), primary->end(), below_two) || std::any_of(accent->begin(), accent->end(), below_two))
        fail("weight bytes below 02 would end a key part");
      entry.primary_length = static_cast<uint8_t>(primary->size());
      std::copy(primary->begin(), primary->end(), entry.primary);
      entry.extra = (*accent)[0];
      std::copy(accent->begin() + 1, accent->end(), entry.more_accents);
      entry.accent_place = true;
    } else if (w.size() == 3 && w[1] == "skipped") {
      const auto code = HexBytes(w[2]);
      if (!code || code->size() != 1 || (*code)[0] == jet::kIgnoredCharacter) fail("a skipped character takes one nonzero code byte");
      entry.extra = (*code)[0];
      entry.accent_place = false;
    } else if (w.size() == 3 && w[1] == "modifier") {
      const auto code = HexBytes(w[2]);
      if (!code || code->size() != 1 || (*code)[0] == 0) fail("a combining mark takes one nonzero byte");
      entry.extra = (*code)[0];
      entry.accent_place = false;
      entry.modifies_accent = true;
    } else if (w.size() == 5 && w[1] == "kana") {
      const auto primary = HexBytes(w[2]);
      const auto accent = HexBytes(w[3]);
      if (!primary || primary->size() > sizeof entry.primary || !accent || accent->size() != 1)
        fail("a kana takes 1 to 4 primary bytes, one accent byte and its size");
      if (std::any_of(primary->begin(), primary->end(), [](uint8_t b) { return b < 2; }) || (*accent)[0] < 2)
        fail("weight bytes below 02 would end a key part");
      if (w[4] != "small" && w[4] != "full") fail("a kana is 'small' or 'full'");
      entry.primary_length = static_cast<uint8_t>(primary->size());
      std::copy(primary->begin(), primary->end(), entry.primary);
      entry.extra = (*accent)[0];
      entry.kana = w[4] == "small" ? jet::kSmallKana : jet::kFullSizeKana;
    } else if (w.size() == 3 && w[1] == "run") {
      const auto weight = HexNumber(w[2], 4);
      if (!weight || w[2].size() != 4 || (*weight >> 8) < 2 || (*weight & 0xFF) < 2)
        fail("a run starts at a two-byte weight with no byte below 02");
      if (jet::RunWeightAfter(*weight, *last - *first) == 0) fail("the run goes past weight FFFF");
      if (*first <= 0xDFFF && *last >= 0xD800) fail("surrogates are not characters");
      for (unsigned c = *first; c <= *last; ++c) {
        const uint32_t at = jet::RunWeightAfter(*weight, c - *first);
        entry.character = static_cast<char16_t>(c);
        entry.primary_length = 2;
        entry.primary[0] = static_cast<uint8_t>(at >> 8);
        entry.primary[1] = static_cast<uint8_t>(at);
        weights.push_back(entry);
      }
      continue;
    } else if (w.size() == 2 && w[1] == "ignored") {
      entry.extra = jet::kIgnoredCharacter;
      entry.accent_place = false;
    } else {
      fail("expected 'weight <primary> <accent>', 'kana <primary> <accent> small|full', 'skipped <code>', "
           "'modifier <byte>', 'run <weight>' or 'ignored'");
    }
    if (dash != std::string::npos && w[1] != "ignored") fail("only ignored characters and runs come as ranges");
    for (unsigned c = *first; c <= *last; ++c) {
      entry.character = static_cast<char16_t>(c);
      weights.push_back(entry);
    }
  }
  std::sort(weights.begin(), weights.end(), [](const auto& a, const auto& b) { return a.character < b.character; });
  const auto twice = std::adjacent_find(weights.begin(), weights.end(),
                                        [](const auto& a, const auto& b) { return a.character == b.character; });
  if (twice != weights.end()) throw std::runtime_error("public weights: " + CodePoint(twice->character) + " given twice");
  return weights;
}

std::vector<jet::GeneralSortWeight> ReadPublicWeights(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return ParsePublicWeights(text.str());
}

WeightComparison CompareWeights(const std::vector<jet::GeneralSortWeight>& derived,
                                const std::vector<jet::GeneralSortWeight>& published) {
  WeightComparison result;
  for (const auto& d : derived) {
    const auto p = std::lower_bound(published.begin(), published.end(), d.character,
                                    [](const auto& w, char16_t c) { return w.character < c; });
    if (p == published.end() || p->character != d.character) continue;
    if (SameWeight(d, *p)) {
      ++result.agreeing;
    } else {
      result.disagreements.push_back(CodePoint(d.character) + ": keys " + Describe(d) + ", public " + Describe(*p));
    }
  }
  return result;
}

size_t FillFromPublic(std::vector<jet::GeneralSortWeight>& derived, const std::vector<jet::GeneralSortWeight>& published) {
  std::vector<jet::GeneralSortWeight> merged;
  merged.reserve(derived.size() + published.size());
  size_t added = 0;
  auto d = derived.begin();
  for (const auto& p : published) {
    while (d != derived.end() && d->character < p.character) merged.push_back(*d++);
    if (d != derived.end() && d->character == p.character) continue;
    merged.push_back(p);
    ++added;
  }
  merged.insert(merged.end(), d, derived.end());
  derived = std::move(merged);
  return added;
}

}  // namespace vantrel::derive
