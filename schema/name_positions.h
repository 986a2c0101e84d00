#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "schema/collection_walk.h"
#include "schema/comparison_rules.h"
#include "schema/name_index.h"

namespace schema {

// The positions of a collection's items by name, under SameName's rule, read once. A pass
// that matches every item of one collection against another looks names up here instead of
// walking the other collection each time, which made a 500-table schema quadratic.
// If reading a name fails, the lookup falls back to walking the collection, so a failing
// item raises exactly where the walk would have met it.
template <typename NameAt>
class NamePositions {
 public:
  NamePositions(int16_t count, NameAt name_at)
      : count_(count), name_at_(std::move(name_at)), index_(count > 0 ? static_cast<size_t>(count) : 0) {
    try {
      ForEachPosition(count_, [&](int16_t i) {
        index_.Add(name_at_(i));
        return true;
      });
    } catch (const std::exception&) {
      index_ = NameIndex();
      walk_ = true;
    }
  }

  // Position of the first item SameName with `name`, or -1 (FindByName's answer).
  int16_t First(const std::string& name) const {
    if (walk_) return FindByName(count_, name, name_at_);
    return static_cast<int16_t>(index_.First(name));
  }

  // Every position whose name is SameName with `name`, in collection order.
  std::vector<int16_t> All(const std::string& name) const {
    if (!walk_) {
      std::vector<int16_t> all;
      for (int32_t i = index_.First(name); i >= 0; i = index_.Next(i)) all.push_back(static_cast<int16_t>(i));
      return all;
    }
    std::vector<int16_t> all;
    ForEachPosition(count_, [&](int16_t i) {
      if (SameName(name_at_(i), name)) all.push_back(i);
      return true;
    });
    return all;
  }

 private:
  int16_t count_;
  NameAt name_at_;
  bool walk_ = false;
  NameIndex index_;
};

// The items of a collection as a pass that changes nothing reads them: each fetched once, on
// first use, and its name read once. Read again, an item of an unchanged database would be
// the same one, so the answers are the collection's own. A failing read is not kept and
// raises again when asked again; a position outside 0 .. count - 1 goes to the collection
// each time, which raises as it would.
template <typename Collection, typename Ref>
class ItemsReadOnce {
 public:
  ItemsReadOnce(const Collection& collection, int16_t count)
      : collection_(collection), slots_(count > 0 ? static_cast<size_t>(count) : 0) {}

  Ref Item(int16_t position) {
    Slot* slot = SlotAt(position);
    if (!slot) return collection_.Item(position);
    if (!slot->item) slot->item = collection_.Item(position);
    return slot->item;
  }
  std::string Name(int16_t position) {
    Slot* slot = SlotAt(position);
    if (!slot) return collection_.Item(position)->Name();
    if (!slot->name) {
      if (!slot->item) slot->item = collection_.Item(position);
      slot->name = slot->item->Name();
    }
    return *slot->name;
  }

 private:
  struct Slot {
    Ref item;
    std::optional<std::string> name;
  };
  Slot* SlotAt(int16_t position) {
    return position >= 0 && static_cast<size_t>(position) < slots_.size() ? &slots_[static_cast<size_t>(position)]
                                                                          : nullptr;
  }

  const Collection& collection_;
  std::vector<Slot> slots_;
};

}  // namespace schema
