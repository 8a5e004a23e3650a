// Field offsets inside the fixed-size record bodies; part of the stream
// format, shared by the reader and the writer.
#ifndef KIVREL_MODEL_RECORD_FORMAT_H_
#define KIVREL_MODEL_RECORD_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace Kivrel {

namespace section {
constexpr std::size_t kFlags = 0;
constexpr std::size_t kOptions = 4;
constexpr std::size_t kWidth = 8;
constexpr std::size_t kHeight = 12;
}  // namespace section

namespace tablerow {
constexpr std::size_t kTableCells = 16;
}  // namespace tablerow

namespace paraformat {
constexpr std::size_t kFlag = 0;
constexpr std::size_t kOwflag = 8;
constexpr std::size_t kCharCount = 20;
constexpr std::size_t kCharSize = 24;
constexpr std::size_t kFi = 40;
constexpr std::size_t kLi = 44;
constexpr std::size_t kRi = 48;
constexpr std::size_t kSb = 52;
constexpr std::size_t kSa = 56;
}  // namespace paraformat

namespace charformat {
constexpr std::size_t kFlag = 0;
constexpr std::size_t kFontNo = 16;
constexpr std::size_t kCharSize = 24;
constexpr std::size_t kWord28 = 28;
constexpr std::size_t kWord30 = 30;
constexpr std::size_t kValue56 = 56;
constexpr std::size_t kValue100 = 100;
constexpr std::uint32_t kBoldFlag = 0x4;
}  // namespace charformat

}  // namespace Kivrel

#endif  // KIVREL_MODEL_RECORD_FORMAT_H_
