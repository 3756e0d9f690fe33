// The tool's text forms: the escaped TEXT of a plain line, UTF-8 checking,
// JSON strings and the shape of one JSON line.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "read_tool.h"

namespace {

struct EscapeCase {
    std::string bytes;
    std::string escaped;
};

TEST(EscapeText, EveryByteClass) {
    const EscapeCase cases[] = {
        {"", ""},
        {"Hello, World 123", "Hello, World 123"},
        {" ~", " ~"},  // both ends of printable ASCII stay
        {"a\\b", "a\\\\b"},
        {"\\n", "\\\\n"},  // a literal backslash-n is not a line feed
        {"1\n2\r3\t4", "1\\n2\\r3\\t4"},
        {std::string("\x00", 1), "\\x00"},
        {"\x01\x1f\x7f", "\\x01\\x1F\\x7F"},
        {"caf\xe9", "caf\\xE9"},
        {"\x80\xff", "\\x80\\xFF"},
        {"\xc3\xa9", "\\xC3\\xA9"},  // UTF-8 is escaped byte by byte too
        {"\"quoted\"", "\"quoted\""},
    };
    for (const EscapeCase& c : cases) {
        EXPECT_EQ(escapeText(c.bytes), c.escaped) << hexBytes(c.bytes);
    }
}

TEST(EscapeText, AllBytesRoundTripUnambiguously) {
    // Undoing the escapes must give back every byte value exactly.
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string escaped = escapeText(all);
    std::string undone;
    for (size_t i = 0; i < escaped.size(); ++i) {
        ASSERT_GE(escaped[i], 0x20);
        ASSERT_LE(escaped[i], 0x7e);
        if (escaped[i] != '\\') {
            undone.push_back(escaped[i]);
            continue;
        }
        const char kind = escaped[++i];
        if (kind == '\\') undone.push_back('\\');
        else if (kind == 'n') undone.push_back('\n');
        else if (kind == 'r') undone.push_back('\r');
        else if (kind == 't') undone.push_back('\t');
        else {
            ASSERT_EQ(kind, 'x');
            undone.push_back(static_cast<char>(std::stoi(escaped.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        }
    }
    EXPECT_EQ(undone, all);
}

TEST(Utf8, WellFormedAndMalformed) {
    const struct {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain ASCII", true},
        {"caf\xc3\xa9", true},
        {"\xe2\x82\xac", true},          // U+20AC
        {"\xf0\x9f\x98\x80", true},      // U+1F600
        {"\xf4\x8f\xbf\xbf", true},      // U+10FFFF
        {"caf\xe9", false},              // Latin-1
        {"\xc3", false},                 // cut short
        {"\xe2\x82", false},
        {"\x80", false},                 // lone continuation
        {"\xc0\xaf", false},             // overlong '/'
        {"\xe0\x80\xaf", false},         // overlong
        {"\xed\xa0\x80", false},         // surrogate U+D800
        {"\xf4\x90\x80\x80", false},     // above U+10FFFF
        {"\xf8\x88\x80\x80\x80", false}, // five-byte form
        {"\xc3\x28", false},             // bad continuation
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << hexBytes(c.bytes);
    }
}

TEST(JsonString, QuotesAndControls) {
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(jsonString("\x01\x1f\x7f"), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(jsonString("caf\xc3\xa9 /"), "\"caf\xc3\xa9 /\"");
}

DecodedSymbol symbolWith(const std::string& text) {
    DecodedSymbol symbol;
    std::memset(&symbol, 0, sizeof symbol);
    const CvPoint corners[4] = {{10, 20}, {110, 20}, {110, -3}, {10, 120}};
    std::memcpy(symbol.corners, corners, sizeof corners);
    std::memcpy(symbol.text, text.data(), text.size());
    return symbol;
}

TEST(OutputLines, PlainAndJson) {
    const DecodedSymbol utf8 = symbolWith("Gr\xc3\xbc\xc3\x9f\x65\t\"x\"");
    EXPECT_EQ(plainLine("dir/a b.png", utf8), "dir/a b.png\tGr\\xC3\\xBC\\xC3\\x9Fe\\t\"x\"");
    EXPECT_EQ(jsonLine("dir/a b.png", utf8, 1),
              "{\"file\":\"dir/a b.png\",\"text\":\"Gr\xc3\xbc\xc3\x9f" "e\\t\\\"x\\\"\","
              "\"escaped\":false,\"hex\":\"4772c3bcc39f650922782" "2\","
              "\"corners\":[[10,20],[110,20],[110,-3],[10,120]],\"pass\":1}");

    const DecodedSymbol latin1 = symbolWith("caf\xe9\\");
    EXPECT_EQ(jsonLine("f\xff.png", latin1, 2),
              "{\"file\":\"f\\\\xFF.png\",\"text\":\"caf\\\\xE9\\\\\\\\\",\"escaped\":true,"
              "\"hex\":\"636166e95c\",\"corners\":[[10,20],[110,20],[110,-3],[10,120]],"
              "\"pass\":2}");
}

TEST(OutputLines, TextWithoutTerminatorStopsAtTheRecordsEnd) {
    DecodedSymbol full = symbolWith("");
    std::memset(full.text, 'A', sizeof full.text);
    EXPECT_EQ(symbolText(full), std::string(DM_TEXT_BYTES, 'A'));
}

}  // namespace
