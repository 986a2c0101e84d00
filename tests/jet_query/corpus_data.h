#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jet/common/format.h"
#include "jet/query/query_row.h"

namespace vantrel::test {

// Raw material taken from the sample databases by data/make_corpus_data.py, kept beside the
// tests so that they run without mdbtools.
struct CorpusBlob {
  std::string file;    // "jet4/queryTestV2000.mdb"
  std::string object;  // MSysObjects.Name
  jet::Format format;
  std::vector<uint8_t> bytes;
};

std::vector<CorpusBlob> CorpusPropertyBlobs();

// Query name -> its MSysQueries rows in stored order, for one sample file.
std::map<std::string, std::vector<jet::QueryRow>> CorpusQueryRows(const std::string& file);

std::vector<uint8_t> FromHex(const std::string& hex);

}  // namespace vantrel::test
