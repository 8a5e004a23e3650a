// The JSON description of a laid-out document (docs/document-format.md) and
// its translation into a record stream.
#ifndef KIVREL_APPS_DOCUMENT_JSON_H_
#define KIVREL_APPS_DOCUMENT_JSON_H_

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Kivrel::cli {

// What is wrong with a description. Syntax errors carry the line and column
// (from 1); errors in the structure carry the path of the value
// ("pages[0].blocks[2].size") and line 0.
class DocumentError : public std::runtime_error {
 public:
  DocumentError(const std::string& message, int line, int column)
      : std::runtime_error(message), line(line), column(column) {}
  int line;
  int column;
};

// Parses a UTF-8 description and writes its records to out (binary).
// Throws DocumentError; writes nothing useful when it throws.
void compileDocument(std::string_view json, std::ostream& out);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_DOCUMENT_JSON_H_
