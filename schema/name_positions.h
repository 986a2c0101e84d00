#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schema/collection_walk.h"
#include "schema/comparison_rules.h"

namespace schema {

// The positions of a collection's items by name, under SameName's rule, read once. A pass
// that matches every item of one collection against another looks names up here instead of
// walking the other collection each time, which made a 500-table schema quadratic.
// If reading a name fails, the lookup falls back to walking the collection, so a failing
// item raises exactly where the walk would have met it.
template <typename NameAt>
class NamePositions {
 public:
  NamePositions(int16_t count, NameAt name_at) : count_(count), name_at_(std::move(name_at)) {
    try {
      ForEachPosition(count_, [&](int16_t i) {
        positions_[NameKey(name_at_(i))].push_back(i);
        return true;
      });
    } catch (const std::exception&) {
      positions_.clear();
      walk_ = true;
    }
  }

  // Position of the first item SameName with `name`, or -1 (FindByName's answer).
  int16_t First(const std::string& name) const {
    if (walk_) return FindByName(count_, name, name_at_);
    const auto found = positions_.find(NameKey(name));
    return found == positions_.end() ? -1 : found->second.front();
  }

  // Every position whose name is SameName with `name`, in collection order.
  std::vector<int16_t> All(const std::string& name) const {
    if (!walk_) {
      const auto found = positions_.find(NameKey(name));
      return found == positions_.end() ? std::vector<int16_t>{} : found->second;
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
  std::unordered_map<std::string, std::vector<int16_t>> positions_;
};

}  // namespace schema
