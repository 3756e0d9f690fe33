#include "read_tool.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";
const char kUpperHexDigits[] = "0123456789ABCDEF";

void appendHexByte(std::string* out, unsigned char byte, const char* digits) {
    out->push_back(digits[byte >> 4]);
    out->push_back(digits[byte & 15]);
}

}  // namespace

std::string escapeText(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c <= 0x7e) {
                    out.push_back(static_cast<char>(c));
                } else {
                    out += "\\x";
                    appendHexByte(&out, c, kUpperHexDigits);
                }
        }
    }
    return out;
}

bool isValidUtf8(const std::string& bytes) {
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length;
        unsigned int codePoint;
        unsigned int smallest;  // below this the form is overlong
        if ((lead & 0xe0) == 0xc0) {
            length = 2, codePoint = lead & 0x1f, smallest = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3, codePoint = lead & 0x0f, smallest = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4, codePoint = lead & 0x07, smallest = 0x10000;
        } else {
            return false;
        }
        if (n - i < static_cast<size_t>(length)) return false;
        for (int k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xc0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3f);
        }
        if (codePoint < smallest || codePoint > 0x10ffff) return false;
        if (codePoint >= 0xd800 && codePoint <= 0xdfff) return false;
        i += length;
    }
    return true;
}

std::string jsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    out += "\\u00";
                    appendHexByte(&out, c, kHexDigits);
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out += "\"";
    return out;
}

std::string hexBytes(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) appendHexByte(&out, c, kHexDigits);
    return out;
}
