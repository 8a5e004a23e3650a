// Decoding a record stream the way the reader walks it, for kivrel dump.
#ifndef KIVREL_APPS_RECORD_DUMP_H_
#define KIVREL_APPS_RECORD_DUMP_H_

#include <cstdint>
#include <functional>
#include <istream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace Kivrel::cli {

struct DumpedRecord {
  std::uint64_t offset = 0;  // of the header
  std::uint32_t type = 0;
  std::uint32_t length = 0;  // recordLength as written
  std::string name;          // "Section", ..., "unknown"
  nlohmann::ordered_json fields = nlohmann::ordered_json::object();
  // What the reader would skip, stop at or lose step on.
  std::vector<std::string> problems;
};

using RecordVisitor = std::function<void(const DumpedRecord&)>;

// Walks in record by record, consuming what the reader consumes: the fixed
// body size for fixed-size types, recordLength for the others, nothing for
// Tab; hands each record to onRecord as it is decoded. A tail too short for
// a header or body is reported as a last record named "truncated". Returns
// the bytes read.
std::uint64_t dumpRecords(std::istream& in, const RecordVisitor& onRecord);

// One line: offset, type name, length, fields, then "!! problem" notes.
std::string formatRecordLine(const DumpedRecord& record);
nlohmann::ordered_json recordToJson(const DumpedRecord& record);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_RECORD_DUMP_H_
