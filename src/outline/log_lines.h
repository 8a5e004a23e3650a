// Fixed texts of the output stage's log lines, as windows-31j bytes.
#ifndef KIVREL_OUTLINE_LOG_LINES_H_
#define KIVREL_OUTLINE_LOG_LINES_H_

namespace Kivrel::internal {

// "---------------- ページ番号 " before the page number.
constexpr const char kLogPageLead[] =
    "---------------- \x83\x79\x81\x5b\x83\x57\x94\xd4\x8d\x86 ";
constexpr const char kLogPageTail[] = "----------------\n";

// "削除理由 = " before the reason code; the text follows in brackets.
constexpr const char kLogDropLead[] = "\x8d\xed\x8f\x9c\x97\x9d\x97\x52 = ";
constexpr const char kLogDropOpen[] = " [";
constexpr const char kLogDropClose[] = "]\n";

}  // namespace Kivrel::internal

#endif  // KIVREL_OUTLINE_LOG_LINES_H_
