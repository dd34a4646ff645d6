// Escaping, parsing and line reading for the practice list file.
#include "practice/xml_lines.h"

#include <array>
#include <limits>

namespace practice {

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
                break;
        }
    }
    return out;
}

std::string XmlUnescape(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities{{
        {"&amp;", '&'},
        {"&lt;", '<'},
        {"&gt;", '>'},
        {"&quot;", '"'},
        {"&#39;", '\''},
    }};
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        bool decoded = false;
        if (text[i] == '&') {
            for (const auto& [entity, ch] : kEntities) {
                if (text.substr(i, entity.size()) == entity) {
                    out += ch;
                    i += entity.size();
                    decoded = true;
                    break;
                }
            }
        }
        if (!decoded) {
            out += text[i++];
        }
    }
    return out;
}

XmlLineView ParseXmlLineView(std::string_view line) {
    std::string_view text = line;
    if (size_t lt = line.find('<'); lt != std::string_view::npos) {
        text = line.substr(lt + 1);
    }
    XmlLineView result;
    if (size_t gt = text.find('>'); gt != std::string_view::npos) {
        result.name = text.substr(0, gt);
    }
    if (size_t q1 = text.find('"'); q1 != std::string_view::npos) {
        if (size_t q2 = text.find('"', q1 + 1); q2 != std::string_view::npos) {
            result.value = text.substr(q1 + 1, q2 - q1 - 1);
        }
    }
    return result;
}

XmlLine ParseXmlLine(std::string_view line) {
    const XmlLineView view = ParseXmlLineView(line);
    return {std::string(view.name), std::string(view.value)};
}

int32_t ParseDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int32_t>::max()) {
        value = std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

void AppendValueLine(std::string& out, std::string_view name, std::string_view value) {
    out += '<';
    out += name;
    out += ">\"";
    out += value;
    out += "\"</";
    out += name;
    out += ">\n";
}

void AppendValueLine(std::string& out, std::string_view name, int32_t value) {
    AppendValueLine(out, name, std::to_string(value));
}

void AppendTagLine(std::string& out, std::string_view tag) {
    out += tag;
    out += '\n';
}

bool LineReader::ReadLine(std::string_view& line) {
    if (m_pos >= m_text.size()) {
        return false;
    }
    size_t end = m_text.find('\n', m_pos);
    size_t next = end == std::string_view::npos ? m_text.size() : end + 1;
    if (end == std::string_view::npos) {
        end = m_text.size();
    }
    line = m_text.substr(m_pos, end - m_pos);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    m_pos = next;
    return true;
}

bool LineReader::ReadLine(std::string& line) {
    std::string_view view;
    if (!ReadLine(view)) {
        return false;
    }
    line.assign(view);
    return true;
}

bool LineReader::SkipTo(std::string_view needle, std::string_view stop) {
    std::string_view line;
    while (ReadLine(line)) {
        if (line.find(needle) != std::string::npos) {
            return true;
        }
        if (!stop.empty() && line.find(stop) != std::string::npos) {
            return false;
        }
    }
    return false;
}

}  // namespace practice
