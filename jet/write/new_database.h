#pragma once

#include <filesystem>

#include "jet/common/format.h"

namespace jet {

// Creates an empty database (Jet 4: Access 2000-2003 format; Jet 3: Access 97 format; code
// page 1252, General sort order) with the system objects Jet itself gives a new database: the
// catalog (MSysObjects), its permissions (MSysACEs), stored queries (MSysQueries) and
// relationships (MSysRelationships), the containers Tables, Databases and Relationships, and
// MSysDb. What Access adds when it first opens a file (MSysAccessObjects, SummaryInfo, ...) it
// adds itself.
//
// The file appears only when complete; 3204 when `path` exists.
void CreateDatabase(const std::filesystem::path& path, Format format = Format::kJet4);

}  // namespace jet
