#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/common/format.h"

namespace jet {

// Jet 3 keeps every text (names, values, property texts, the parts of stored queries) in the
// database's single-byte code page; Jet 4 keeps UCS-2. What a new object brings into a Jet 3
// database, typically from a Jet 4 reference, is checked before anything is written, so that
// a text the code page cannot hold fails with an error that says which text and why instead
// of a bare conversion error half way through.

// Raises 3125 (a name: `what` says of which object) or 3421 (any other text) when `format` is
// Jet 3 and `text` holds a character code page `code_page` has no byte for. Does nothing for
// Jet 4.
void CheckNameStorable(const std::string& name, const std::string& what, Format format, uint16_t code_page);
void CheckTextStorable(const std::string& text, const std::string& what, Format format, uint16_t code_page);

// A property blob (MSysObjects.LvProp) of another database, whose code page is
// `source_code_page`, made fit for a database of `format` and `code_page`: the same
// properties, their texts re-encoded for it (a blob that already suits it is returned
// unchanged). Raises as above for a text the code page cannot hold; `owner` names the object
// in the message. An empty blob stays empty.
std::vector<uint8_t> PropertyBlobFor(const std::vector<uint8_t>& blob, uint16_t source_code_page, Format format,
                                     uint16_t code_page, const std::string& owner);

}  // namespace jet
