#include <string>

#include "read_tool.h"

namespace {

// A JSON string for bytes that may not be UTF-8: as they are when they are,
// else in the tool's escaped form (the hex field keeps the exact bytes).
std::string jsonText(const std::string& bytes, bool* escaped) {
    *escaped = !isValidUtf8(bytes);
    return jsonString(*escaped ? escapeText(bytes) : bytes);
}

}  // namespace

std::string plainLine(const std::string& file, const DecodedSymbol& symbol) {
    return file + "\t" + escapeText(symbolText(symbol));
}

std::string jsonLine(const std::string& file, const DecodedSymbol& symbol, int pass) {
    const std::string text = symbolText(symbol);
    bool fileEscaped = false;
    bool textEscaped = false;
    std::string line = "{\"file\":" + jsonText(file, &fileEscaped);
    line += ",\"text\":" + jsonText(text, &textEscaped);
    line += std::string(",\"escaped\":") + (textEscaped ? "true" : "false");
    line += ",\"hex\":\"" + hexBytes(text) + "\"";
    line += ",\"corners\":[";
    for (int k = 0; k < 4; ++k) {
        if (k > 0) line += ",";
        line += "[" + std::to_string(symbol.corners[k].x) + "," +
                std::to_string(symbol.corners[k].y) + "]";
    }
    line += "],\"pass\":" + std::to_string(pass) + "}";
    return line;
}
