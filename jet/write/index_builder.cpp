#include "jet/write/index_builder.h"

#include "jet/common/error.h"

namespace jet {

std::vector<IndexEntry> IndexEntriesFromRows(PageSource&, const TableDef&, size_t, uint16_t) {
  throw Error(err::kNotSupported, "not yet");
}
void BuildIndex(store::PageOverlay&, PageAllocator&, TableDef&, size_t, std::vector<IndexEntry>) {
  throw Error(err::kNotSupported, "not yet");
}
void DeleteIndexPages(store::PageOverlay&, PageAllocator&, const TableDef&, size_t) {
  throw Error(err::kNotSupported, "not yet");
}
void ThrowDuplicateIndexKey() { throw Error(err::kNotSupported, "not yet"); }

}  // namespace jet
