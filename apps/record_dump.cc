#include "record_dump.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "kivrel/record_writer.h"

namespace Kivrel::cli {

namespace {

std::uint32_t u32(std::string_view body, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(body[at + i])) << (8 * i);
  return value;
}
std::int32_t i32(std::string_view body, std::size_t at) {
  return static_cast<std::int32_t>(u32(body, at));
}
std::uint16_t u16(std::string_view body, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(body[at]) |
                                    (static_cast<unsigned char>(body[at + 1]) << 8));
}

struct TypeInfo {
  const char* name;
  std::size_t fixedSize;  // bytes the reader consumes; kByLength: recordLength
};
constexpr std::size_t kByLength = static_cast<std::size_t>(-1);

TypeInfo typeInfo(std::uint32_t type) {
  switch (static_cast<RecordType>(type)) {
    case RecordType::kSection: return {"Section", kSectionBodySize};
    case RecordType::kTableRowFormat: return {"TableRowFormat", kTableRowFormatBodySize};
    case RecordType::kReserved3: return {"Reserved3", kReserved3BodySize};
    case RecordType::kParagraphFormat: return {"ParagraphFormat", kParagraphFormatBodySize};
    case RecordType::kCharacterFormat: return {"CharacterFormat", kCharacterFormatBodySize};
    case RecordType::kText: return {"Text", kByLength};
    case RecordType::kParagraphBreak: return {"ParagraphBreak", kByLength};
    case RecordType::kCellEnd: return {"CellEnd", kByLength};
    case RecordType::kTableRowEnd: return {"TableRowEnd", kByLength};
    case RecordType::kLineBreak: return {"LineBreak", kByLength};
    case RecordType::kPageBreak: return {"PageBreak", kByLength};
    case RecordType::kTab: return {"Tab", 0};
    case RecordType::kParagraphPosition:
      return {"ParagraphPosition", kParagraphPositionBodySize};
  }
  return {"unknown", kByLength};
}

void decodeFields(DumpedRecord& record, std::string_view body) {
  nlohmann::ordered_json& f = record.fields;
  switch (static_cast<RecordType>(record.type)) {
    case RecordType::kSection: {
      const std::uint32_t flags = u32(body, 0), options = u32(body, 4);
      f = {{"sectionFlags", flags}, {"sectionOptions", options},
           {"width", i32(body, 8)}, {"height", i32(body, 12)}};
      if (flags & kSpecialSectionFlag) f["special"] = true;
      if (options & kIgnoredSectionOption)
        record.problems.push_back("ignored by the reader (sectionOptions 0x02)");
      else if (std::all_of(body.begin(), body.end(), [](char c) { return c == 0; }))
        record.problems.push_back("ignored by the reader (all-zero body)");
      break;
    }
    case RecordType::kTableRowFormat: f = {{"tableCells", i32(body, 16)}}; break;
    case RecordType::kParagraphFormat:
      f = {{"flag", u32(body, 0)}, {"owflag", i32(body, 8)}, {"charCount", i32(body, 20)},
           {"charSize", i32(body, 24)}, {"fi", i32(body, 40)}, {"li", i32(body, 44)},
           {"ri", i32(body, 48)}, {"sb", i32(body, 52)}, {"sa", i32(body, 56)}};
      break;
    case RecordType::kCharacterFormat:
      f = {{"flag", u32(body, 0)},     {"fontNo", i32(body, 16)},   {"charSize", i32(body, 24)},
           {"word28", u16(body, 28)},  {"word30", u16(body, 30)},   {"value56", u32(body, 56)},
           {"value100", u32(body, 100)}};
      break;
    case RecordType::kText: {
      const std::size_t units = body.size() / 2;
      icu::UnicodeString text;
      for (std::size_t i = 0; i < units; ++i) text.append(static_cast<char16_t>(u16(body, 2 * i)));
      std::string utf8;
      text.toUTF8String(utf8);
      f = {{"text", utf8}};
      if (body.size() % 2) record.problems.push_back("odd length: the last byte is ignored");
      break;
    }
    case RecordType::kParagraphPosition: f = {{"cx", i32(body, 0)}, {"cy", i32(body, 4)}}; break;
    default: break;
  }
}

// Reads up to n bytes into body; returns how many there were. Grows body as
// bytes arrive, so a false length costs no more than the input holds.
std::uint64_t readBody(std::istream& in, std::uint64_t n, std::string& body) {
  constexpr std::uint64_t kChunk = 1 << 20;
  body.clear();
  while (body.size() < n) {
    const std::size_t old = body.size();
    body.resize(old + static_cast<std::size_t>(std::min(kChunk, n - old)));
    in.read(body.data() + old, static_cast<std::streamsize>(body.size() - old));
    body.resize(old + static_cast<std::size_t>(in.gcount()));
    if (!in) break;
  }
  return body.size();
}

// Passes over up to n bytes; returns how many there were.
std::uint64_t skipBody(std::istream& in, std::uint64_t n) {
  in.ignore(static_cast<std::streamsize>(n));
  return static_cast<std::uint64_t>(in.gcount());
}

std::string hexOffset(std::uint64_t offset) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%08llx", static_cast<unsigned long long>(offset));
  return buffer;
}

}  // namespace

std::uint64_t dumpRecords(std::istream& in, const RecordVisitor& onRecord) {
  std::uint64_t at = 0;
  std::string body;
  for (;;) {
    char header[kRecordHeaderSize];
    in.read(header, sizeof header);
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    DumpedRecord record;
    record.offset = at;
    at += got;
    if (got < kRecordHeaderSize) {
      record.name = "truncated";
      record.problems.push_back(std::to_string(got) +
                                " trailing bytes, too few for a record header");
      onRecord(record);
      break;
    }
    const std::string_view headerBytes(header, sizeof header);
    record.type = u32(headerBytes, 0);
    record.length = u32(headerBytes, 4);
    const TypeInfo info = typeInfo(record.type);
    record.name = info.name;
    const std::uint64_t consumed = info.fixedSize == kByLength ? record.length : info.fixedSize;

    if (info.fixedSize == kByLength) {
      if (record.length >= kSkipToEndLength)
        record.problems.push_back("recordLength of 2^31 or more: the reader cannot skip it");
    } else if (record.type == static_cast<std::uint32_t>(RecordType::kTab)) {
      if (record.length != 0)
        record.problems.push_back("desynchronised: Tab with recordLength " +
                                  std::to_string(record.length) +
                                  "; the reader takes the next bytes as a header");
    } else if (record.length != info.fixedSize) {
      record.problems.push_back("desynchronised: recordLength " + std::to_string(record.length) +
                                " differs from the body size " + std::to_string(info.fixedSize));
    }
    if (std::string_view(info.name) == "unknown")
      record.problems.push_back("unknown type: the reader skips " +
                                std::to_string(record.length) + " bytes");

    const bool decoded = info.fixedSize != kByLength ||
                         record.type == static_cast<std::uint32_t>(RecordType::kText);
    const std::uint64_t available = decoded ? readBody(in, consumed, body) : skipBody(in, consumed);
    at += available;
    if (available < consumed) {
      record.problems.push_back("truncated: the body needs " + std::to_string(consumed) +
                                " bytes, " + std::to_string(available) + " remain");
      onRecord(record);
      break;
    }
    if (decoded) decodeFields(record, body);
    onRecord(record);
  }
  return at;
}

std::string formatRecordLine(const DumpedRecord& record) {
  std::string line = hexOffset(record.offset) + "  " + record.name;
  if (record.name != "truncated") {
    line.append(record.name.size() < 18 ? 18 - record.name.size() : 1, ' ');
    line += "type=" + std::to_string(record.type) + " len=" + std::to_string(record.length);
    for (const auto& [key, value] : record.fields.items())
      line += " " + key + "=" + value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  for (const std::string& problem : record.problems) line += "  !! " + problem;
  return line;
}

nlohmann::ordered_json recordToJson(const DumpedRecord& record) {
  nlohmann::ordered_json json = {{"offset", record.offset}, {"name", record.name}};
  if (record.name != "truncated") {
    json["type"] = record.type;
    json["length"] = record.length;
    json["fields"] = record.fields;
  }
  json["problems"] = record.problems;
  return json;
}

}  // namespace Kivrel::cli
