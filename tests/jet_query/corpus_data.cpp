#include "tests/jet_query/corpus_data.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace vantrel::test {
namespace {

nlohmann::json LoadData(const char* name) {
  const auto path = std::filesystem::path(VANTREL_TEST_SOURCE_DIR) / "jet_query" / "data" / name;
  std::ifstream in(path);
  if (!in) throw std::runtime_error("missing test data " + path.string());
  return nlohmann::json::parse(in);
}

std::optional<std::string> OptionalText(const nlohmann::json& value) {
  if (value.is_null()) return std::nullopt;
  return value.get<std::string>();
}

}  // namespace

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::vector<CorpusBlob> CorpusPropertyBlobs() {
  std::vector<CorpusBlob> blobs;
  const nlohmann::json data = LoadData("corpus_blobs.json");
  for (const auto& [file, objects] : data.items()) {
    const auto format = file.rfind("jet3/", 0) == 0 ? jet::Format::kJet3 : jet::Format::kJet4;
    for (const auto& object : objects) {
      blobs.push_back({file, object["name"].get<std::string>(), format, FromHex(object["hex"].get<std::string>())});
    }
  }
  return blobs;
}

std::map<std::string, std::vector<jet::QueryRow>> CorpusQueryRows(const std::string& file) {
  std::map<std::string, std::vector<jet::QueryRow>> queries;
  const nlohmann::json data = LoadData("corpus_query_rows.json");
  for (const auto& [name, rows] : data.at(file).items()) {
    auto& out = queries[name];
    for (const auto& row : rows) {
      jet::QueryRow q;
      q.attribute = row["attribute"].get<uint8_t>();
      q.expression = OptionalText(row["expression"]);
      if (!row["flag"].is_null()) q.flag = row["flag"].get<int16_t>();
      q.name1 = OptionalText(row["name1"]);
      q.name2 = OptionalText(row["name2"]);
      out.push_back(std::move(q));
    }
  }
  return queries;
}

}  // namespace vantrel::test
