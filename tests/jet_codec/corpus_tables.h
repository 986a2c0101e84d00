#pragma once

// Just enough of a table-definition reader to find and decode the rows of the sample
// databases, so that the codec can be checked against real Access output on its own.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/table_def.h"
#include "jet/core/value.h"

namespace vantrel::test {

class FilePages : public jet::PageSource {
 public:
  explicit FilePages(const std::filesystem::path& file);
  jet::Format format() const { return format_; }
  uint32_t page_size() const override { return jet::PageSizeOf(format_); }
  uint32_t page_count() const override { return static_cast<uint32_t>(bytes_.size() / page_size()); }
  std::span<const uint8_t> Page(uint32_t number) override;

 private:
  std::vector<uint8_t> bytes_;
  jet::Format format_ = jet::Format::kJet4;
};

jet::TableDef ReadTableDef(FilePages& pages, uint32_t definition_page);

// Every live row of the table, in page and slot order, forwarded rows read through their stub.
std::vector<jet::Row> ReadAllRows(FilePages& pages, const jet::TableDef& table);
std::vector<std::vector<uint8_t>> ReadAllRowBytes(FilePages& pages, const jet::TableDef& table);

}  // namespace vantrel::test
