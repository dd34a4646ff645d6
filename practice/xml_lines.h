// The line-oriented XML of the practice list file: escaping, the value-line parser, a line reader over the
// file's text and the decimal conversion the file's numbers use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace practice {

std::string XmlEscape(std::string_view text);
// Decodes the five entities in a single pass, so "&amp;lt;" gives "&lt;" and nothing is decoded twice.
std::string XmlUnescape(std::string_view text);

struct XmlLine {
    std::string name;
    std::string value;
};
XmlLine ParseXmlLine(std::string_view line);
// The same parse as views into `line`, for readers that only compare the name and convert the value.
struct XmlLineView {
    std::string_view name;
    std::string_view value;
};
XmlLineView ParseXmlLineView(std::string_view line);

// Decimal text as the C library's atoi reads it (leading blanks, a sign, digits; 0 when there are none),
// saturated at the int32 range instead of overflowing.
int32_t ParseDecimal(std::string_view text);

// "<Name>"value"</Name>" followed by a line feed.
void AppendValueLine(std::string& out, std::string_view name, std::string_view value);
void AppendValueLine(std::string& out, std::string_view name, int32_t value);
void AppendTagLine(std::string& out, std::string_view tag);

// Lines of an in-memory text, without their line ends; a CR before the LF is dropped too.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : m_text(text) {}
    bool ReadLine(std::string& line);
    // The next line as a view into the text, which must outlive it.
    bool ReadLine(std::string_view& line);
    // Reads until a line contains `needle`; false at the end of the text, or when a line containing `stop`
    // (when given) comes first, which means the block being read is damaged.
    bool SkipTo(std::string_view needle, std::string_view stop = {});
    bool AtEnd() const { return m_pos >= m_text.size(); }

  private:
    std::string_view m_text;
    size_t m_pos = 0;
};

}  // namespace practice
