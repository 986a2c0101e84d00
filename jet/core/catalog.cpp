#include "jet/core/catalog.h"

#include <string_view>

#include "jet/common/error.h"
#include "jet/core/catalog_values.h"
#include "jet/core/row_codec.h"

namespace jet {
namespace {

// Positions of the named columns in a system table's column list; a column the table lacks
// is -1 and reads as Null, so an older or trimmed catalog still opens.
class ColumnPositions {
 public:
  ColumnPositions(const TableDef& table, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
      int position = -1;
      for (size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].name == name) position = static_cast<int>(i);
      positions_.push_back(position);
    }
  }
  const Value& At(const Row& row, size_t which) const {
    static const Value kNull;
    const int position = positions_.at(which);
    return position < 0 || static_cast<size_t>(position) >= row.size() ? kNull : row[static_cast<size_t>(position)];
  }

 private:
  std::vector<int> positions_;
};

}  // namespace

std::vector<CatalogObject> ReadCatalog(PageSource& pages, const TableDef& msys_objects, uint16_t code_page) {
  enum { kId, kParentId, kName, kType, kFlags, kConnect, kDatabase, kForeignName, kLvProp };
  const ColumnPositions at(msys_objects,
                           {"Id", "ParentId", "Name", "Type", "Flags", "Connect", "Database", "ForeignName", "LvProp"});
  const DecodeContext context{msys_objects.format, code_page, &pages};
  std::vector<CatalogObject> objects;
  TableScan scan(pages, msys_objects);
  while (scan.Next()) {
    const Row row = DecodeRow(msys_objects, scan.bytes(), context);
    CatalogObject object;
    object.id = AsInt32(at.At(row, kId));
    object.parent_id = AsInt32(at.At(row, kParentId));
    object.name = AsText(at.At(row, kName)).value_or("");
    object.type = static_cast<int16_t>(AsInt32(at.At(row, kType)));
    object.flags = AsInt32(at.At(row, kFlags));
    object.connect = AsText(at.At(row, kConnect));
    object.database = AsText(at.At(row, kDatabase));
    object.foreign_name = AsText(at.At(row, kForeignName));
    object.properties = AsBytes(at.At(row, kLvProp)).value_or(std::vector<uint8_t>{});
    object.location = scan.location();
    objects.push_back(std::move(object));
  }
  return objects;
}

std::vector<QueryRow> ReadQueryRows(PageSource& pages, const TableDef& msys_queries, uint16_t code_page) {
  enum { kAttribute, kExpression, kFlag, kLvExtra, kName1, kName2, kObjectId, kOrder };
  const ColumnPositions at(msys_queries,
                           {"Attribute", "Expression", "Flag", "LvExtra", "Name1", "Name2", "ObjectId", "Order"});
  const DecodeContext context{msys_queries.format, code_page, &pages};
  std::vector<QueryRow> rows;
  TableScan scan(pages, msys_queries);
  while (scan.Next()) {
    const Row row = DecodeRow(msys_queries, scan.bytes(), context);
    QueryRow query_row;
    query_row.attribute = static_cast<uint8_t>(AsInt32(at.At(row, kAttribute)));
    query_row.expression = AsText(at.At(row, kExpression));
    if (!IsNull(at.At(row, kFlag))) query_row.flag = static_cast<int16_t>(AsInt32(at.At(row, kFlag)));
    query_row.lv_extra = AsBytes(at.At(row, kLvExtra));
    query_row.name1 = AsText(at.At(row, kName1));
    query_row.name2 = AsText(at.At(row, kName2));
    query_row.object_id = AsInt32(at.At(row, kObjectId));
    query_row.order = AsBytes(at.At(row, kOrder));
    rows.push_back(std::move(query_row));
  }
  return rows;
}

}  // namespace jet
