// Builds a large Jet 4 database with the engine, for the benchmarks: TABLES tables of FIELDS
// fields that cycle through every field type, INDEXES indexes each (the first the primary key),
// QUERIES stored queries and rows made from a seed, so the same arguments always give the same
// database.
//
//   generate_database OUT.mdb [--tables N] [--fields M] [--indexes K] [--queries Q]
//                     [--rows R] [--big-rows R1] [--seed S] [--local] [--retype F=T]
//
// Every table gets R rows, except the first ("Grande") which gets R1 when it is given.
// --local makes the local side of a pair: one table in ten has a shorter text field, which an
// update rebuilds. --retype gives field F of every table the DAO type T instead, to make the
// reference of a pair whose update rebuilds every table.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "jet/common/error.h"
#include "jet/write/database_writer.h"
#include "jet/write/new_database.h"

namespace {

struct Options {
  std::filesystem::path out;
  int tables = 10;
  int fields = 12;
  int indexes = 3;
  int queries = 10;
  long rows = 1000;
  long big_rows = -1;
  uint64_t seed = 1;
  bool local = false;
  int retyped_field = -1;
  int16_t retyped_type = 0;
};

// Field types in the order the fields take them: every type a table can store.
constexpr int16_t kFieldTypes[] = {4, 10, 8, 7, 5, 3, 1, 2, 6, 12, 15, 11, 9, 20};
constexpr int kTextSize = 50;
constexpr int kBinarySize = 16;

int16_t FieldType(int field) { return kFieldTypes[field % (sizeof kFieldTypes / sizeof kFieldTypes[0])]; }

std::string TableName(int table) { return table == 0 ? "Grande" : "Tabella" + std::to_string(table); }
std::string FieldName(int field) { return "Campo" + std::to_string(field); }

// Values from the generator's raw output only (the standard distributions differ between
// libraries), so a seed gives the same rows everywhere.
class RowMaker {
 public:
  explicit RowMaker(uint64_t seed) : random_(seed) {}

  jet::Row Make(long number, int fields) {
    jet::Row row;
    row.reserve(static_cast<size_t>(fields));
    for (int f = 0; f < fields; ++f) row.push_back(f == 0 ? jet::Value{static_cast<int32_t>(number)} : Value(f));
    return row;
  }

 private:
  uint64_t Next() { return random_(); }
  uint64_t Below(uint64_t bound) { return Next() % bound; }

  std::string Text(size_t length) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzàèéìòù ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string text;
    while (text.size() < length) {
      const size_t at = Below(sizeof kLetters - 1);
      const unsigned char c = static_cast<unsigned char>(kLetters[at]);
      if (c >= 0x80) {  // keep a two-byte letter whole
        const size_t start = (c & 0xC0) == 0x80 ? at - 1 : at;
        text.append(kLetters + start, 2);
      } else {
        text += kLetters[at];
      }
    }
    return text;
  }

  jet::Value Value(int field) {
    if (Below(20) == 0) return jet::Value{};  // one value in twenty is Null
    switch (FieldType(field)) {
      case 1: return Below(2) == 1;
      case 2: return static_cast<uint8_t>(Below(256));
      case 3: return static_cast<int16_t>(static_cast<int>(Below(65536)) - 32768);
      case 4: return static_cast<int32_t>(static_cast<int64_t>(Below(2000000)) - 1000000);
      case 5: return jet::Currency{static_cast<int64_t>(Below(100000000000))};
      case 6: return static_cast<float>(Below(1000000)) / 100.0f;
      case 7: return static_cast<double>(Below(1000000000)) / 1000.0;
      case 8: return jet::DateTime{36000.0 + static_cast<double>(Below(20000)) + static_cast<double>(Below(86400)) / 86400.0};
      case 9: {
        jet::Binary binary;
        for (int i = 0; i < kBinarySize; ++i) binary.bytes.push_back(static_cast<uint8_t>(Below(256)));
        return binary;
      }
      case 10: return Text(1 + Below(kTextSize - 1));
      case 11: {
        jet::Binary binary;
        const size_t length = 16 + Below(48);
        for (size_t i = 0; i < length; ++i) binary.bytes.push_back(static_cast<uint8_t>(Below(256)));
        return binary;
      }
      case 12: return Text(40 + Below(200));
      case 15: {
        jet::Guid guid;
        for (uint8_t& byte : guid.bytes) byte = static_cast<uint8_t>(Below(256));
        return guid;
      }
      default: {
        jet::Decimal decimal;
        decimal.precision = 18;
        decimal.scale = 0;
        decimal.negative = Below(2) == 1;
        decimal.lo = static_cast<uint32_t>(Next());
        return decimal;
      }
    }
  }

  std::mt19937_64 random_;
};

jet::NewTable TableSpec(const Options& options, int t) {
  jet::NewTable table{TableName(t), {}, {}, {}};
  for (int f = 0; f < options.fields; ++f) {
    const int16_t type = FieldType(f);
    int32_t size = type == 10 ? kTextSize : type == 9 ? kBinarySize : 0;
    if (options.local && t % 10 == 1 && type == 10) size = kTextSize - 10;
    if (f == options.retyped_field) {
      table.columns.push_back({FieldName(f), options.retyped_type, options.retyped_type == 10 ? kTextSize : 0});
    } else {
      table.columns.push_back({FieldName(f), type, size});
    }
    table.properties.emplace_back();
  }
  for (int i = 0; i < options.indexes && i < options.fields; ++i) {
    // Memo, OLE and binary fields cannot be indexed by Access: those indexes go on field 0's
    // neighbours instead, keeping the count.
    int field = i;
    while (field < options.fields && (FieldType(field) == 12 || FieldType(field) == 11 || FieldType(field) == 9)) ++field;
    if (field >= options.fields) break;
    table.indexes.push_back({"Indice" + std::to_string(i), i == 0, i == 0, {FieldName(i == 0 ? 0 : field)}});
  }
  return table;
}

int Generate(const Options& options) {
  std::filesystem::remove(options.out);
  jet::CreateDatabase(options.out);
  auto writer = jet::DatabaseWriter::Open(options.out);
  for (int t = 0; t < options.tables; ++t) writer->CreateTable(TableSpec(options, t));
  for (int q = 0; q < options.queries && options.tables > 0; ++q) {
    const std::string table = TableName(q % options.tables);
    writer->CreateQuery("Query" + std::to_string(q), "SELECT " + table + ".* FROM " + table + ";");
  }
  RowMaker maker(options.seed);
  for (int t = 0; t < options.tables; ++t) {
    const long rows = t == 0 && options.big_rows >= 0 ? options.big_rows : options.rows;
    long made = 0;
    writer->InsertRows(TableName(t), [&](jet::Row& row) {
      if (made >= rows) return false;
      row = maker.Make(++made, options.fields);
      return true;
    });
  }
  writer->Commit();
  return 0;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  // The file name comes first; anything that looks like an option there (--help above all)
  // is not taken for one, or a file of that name would be made.
  if (argc < 2 || argv[1][0] == '-') return false;
  options.out = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--local") {
      options.local = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (flag == "--retype") {
      if (std::sscanf(value, "%d=%hd", &options.retyped_field, &options.retyped_type) != 2) return false;
      continue;
    }
    char* end = nullptr;
    const long long number = std::strtoll(value, &end, 10);
    if (*value == '\0' || *end != '\0' || number < 0) return false;
    if (flag == "--tables") options.tables = static_cast<int>(number);
    else if (flag == "--fields") options.fields = static_cast<int>(number);
    else if (flag == "--indexes") options.indexes = static_cast<int>(number);
    else if (flag == "--queries") options.queries = static_cast<int>(number);
    else if (flag == "--rows") options.rows = static_cast<long>(number);
    else if (flag == "--big-rows") options.big_rows = static_cast<long>(number);
    else if (flag == "--seed") options.seed = static_cast<uint64_t>(number);
    else return false;
  }
  return options.fields >= 1 && options.fields <= 255;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const bool asked_for_help = argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h");
  if (asked_for_help || !ParseOptions(argc, argv, options)) {
    std::fprintf(asked_for_help ? stdout : stderr,
                 "usage: %s OUT.mdb [--tables N] [--fields M (1-255)] [--indexes K] [--queries Q] [--rows R]\n"
                 "       [--big-rows R1] [--seed S] [--local] [--retype FIELD=DAO_TYPE]\n",
                 argv[0]);
    return asked_for_help ? 0 : 2;
  }
  try {
    return Generate(options);
  } catch (const jet::Error& error) {
    std::fprintf(stderr, "error %d: %s\n", error.number(), error.description());
    return 1;
  }
}
