#include "jet/write/index_page_writer.h"

#include "jet/common/error.h"

namespace jet {

size_t SharedPrefixLength(std::span<const IndexEntry>) { throw Error(err::kNotSupported, "not yet"); }
size_t EncodedEntriesSize(std::span<const IndexEntry>, uint8_t) { throw Error(err::kNotSupported, "not yet"); }
size_t IndexPageEntryCapacity(Format) { throw Error(err::kNotSupported, "not yet"); }
std::vector<uint8_t> EncodeIndexPage(const IndexPageFrame&, std::span<const IndexEntry>, Format) {
  throw Error(err::kNotSupported, "not yet");
}

}  // namespace jet
