#include "symbol_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef KELVRANE_TEST_DATA_DIR
#error "KELVRANE_TEST_DATA_DIR must point at tests/data"
#endif

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "symbol fixtures: %s\n", message.c_str());
    std::abort();
}

std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<SymbolFixture> load(const std::string& path) {
    std::ifstream in(path);
    if (!in) fail("cannot open " + path);
    std::vector<SymbolFixture> out;
    std::string line;
    SymbolFixture current;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "symbol") {
            current = SymbolFixture{};
            fields >> current.name;
        } else if (key == "generator") {
            current.generator = line.substr(10);
        } else if (key == "text") {
            std::string hex;
            fields >> hex;
            current.text = fromHex(hex);
        } else if (key == "size") {
            fields >> current.rows >> current.cols;
            for (int r = 0; r < current.rows; ++r) {
                if (!std::getline(in, line) || static_cast<int>(line.size()) != current.cols)
                    fail("bad module row in " + current.name);
                for (char c : line) current.modules.push_back(c == '1' ? 1 : 0);
            }
        } else if (key == "end") {
            out.push_back(current);
        } else {
            fail("unexpected line: " + line);
        }
    }
    return out;
}

}  // namespace

std::string hexOf(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string testDataDir() { return KELVRANE_TEST_DATA_DIR; }

const std::vector<SymbolFixture>& symbolFixtures() {
    static const std::vector<SymbolFixture> all = load(testDataDir() + "/ecc200/symbols.txt");
    return all;
}

const SymbolFixture& symbolFixture(const std::string& name) {
    for (const SymbolFixture& f : symbolFixtures())
        if (f.name == name) return f;
    fail("no fixture named " + name);
}
