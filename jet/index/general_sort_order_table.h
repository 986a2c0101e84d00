#pragma once

// Per-character weights of Access's "General" text sort order, as its indexes write them.
// The table itself is generated from sample databases by tools/derive_sort_order.

#include <cstdint>
#include <span>

#include "jet/common/format.h"

namespace jet {

// Accent code of a character that carries none. Jet 4 writes it as a byte, Jet 3 as a nibble.
inline constexpr uint8_t kNoAccent = 2;

// The code (with no primary weight) of a character a Jet 4 key leaves out altogether: no
// weight, no accent place, no entry among the skipped characters. Access writes Greek letters
// with polytonic marks (U+1Fxx) so.
inline constexpr uint8_t kIgnoredCharacter = 0;

// Marks of a Jet 4 kana in the key's kana part (two bits each); the trailing full-size ones are
// not written.
inline constexpr uint8_t kNotKana = 0;
inline constexpr uint8_t kSmallKana = 2;
inline constexpr uint8_t kFullSizeKana = 3;

struct GeneralSortWeight {
  char16_t character = 0;
  // Bytes the character adds to the primary part of the key; 0 for a character the primary
  // ordering skips (Jet 4 lists those after the accents, with their position).
  uint8_t primary_length = 0;
  uint8_t primary[4] = {};
  // The accent code; for a skipped Jet 4 character, its code in the list of skipped ones.
  uint8_t extra = kNoAccent;
  // Whether the character occupies a place in the accent list (Jet 3 gives places to letters
  // only; Jet 4 to every character with a primary weight).
  bool accent_place = true;
  // Whether the weight was read from a key Access wrote, rather than filled by a pattern or
  // taken from public tables.
  bool observed = true;
  // A combining mark (Jet 4): no primary weight and no place of its own; `extra` is added to
  // the accent of the weighted character before it, so "a" + U+0301 keys as "á".
  bool modifies_accent = false;
  // Jet 4 kana: besides weight and accent, each kana adds a mark of its size to a part of the
  // key of its own, so that a small kana sorts apart from its full-size letter.
  uint8_t kana = kNotKana;
  // Accent bytes after `extra`, 0 where there are none: a character that stands for two
  // letters (U+01C4, "DZ" with caron) carries one accent for each.
  uint8_t more_accents[2] = {};
};

// Characters in a row that a Jet 4 key leaves out altogether (unassigned and private-use
// code points mostly), held as ranges rather than one entry each.
struct GeneralSortIgnoredRange {
  char16_t first = 0;
  char16_t last = 0;
};

// The ideographs come as runs: characters in a row whose two-byte weights follow one another,
// the low bytes 00 and 01 left out (they end key parts). `first_weight` is the first one's.
struct GeneralSortRun {
  char16_t first = 0;
  char16_t last = 0;
  uint16_t first_weight = 0;
};

// The two-byte weight `steps` places after `weight` in a run, or 0 past FFFF.
constexpr uint32_t RunWeightAfter(uint32_t weight, uint32_t steps) {
  const uint32_t place = (weight >> 8) * 254u + ((weight & 0xFFu) - 2u) + steps;
  const uint32_t high = place / 254u;
  return high > 0xFFu ? 0 : (high << 8) | (place % 254u + 2u);
}

// The weights of `format`'s General order, sorted by character, runs spelled out.
std::span<const GeneralSortWeight> GeneralSortTable(Format format);

// The weight of one UTF-16 unit, or nullptr when neither a sample nor a public table shows
// how Access orders it.
const GeneralSortWeight* FindGeneralSortWeight(Format format, char16_t character);
// The same for every unit at once, indexed by its value (65,536 entries): for loops that key
// millions of characters.
std::span<const GeneralSortWeight* const> GeneralSortWeightsByUnit(Format format);

}  // namespace jet
