// Paragraph text in the log: windows-31j whatever the default code page.
#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <sstream>

#include "model/log_text.h"
#include "support/doc_builder.h"

namespace Kivrel {
namespace {

TEST(LogText, WritesWindows31jBytesRegardlessOfTheDefaultConverter) {
  std::string saved = ucnv_getDefaultName();
  ucnv_setDefaultName("UTF-8");
  struct Case {
    icu::UnicodeString text;
    std::string bytes;
  } cases[] = {
      {u"abc", "abc"},
      {u"第1章\u3000概要", testing::sjis("第1章\u3000概要")},
      {u"\uFF5E\u2460", "\x81\x60\x87\x40"},  // vendor characters of the code page
      {u"a\u00E9b", "a\xFC\xFC" "b"},          // unmappable: the substitution bytes
      {icu::UnicodeString(u"x") + static_cast<char16_t>(0xD800), "x\xFC\xFC"},
      {u"", ""},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    internal::writeLogText(out, c.text);
    EXPECT_EQ(out.str(), c.bytes) << logToUtf8(c.bytes);
  }
  ucnv_setDefaultName(saved.c_str());
}

}  // namespace
}  // namespace Kivrel
