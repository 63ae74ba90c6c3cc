// Turns a text file into a C++ source file that holds its lines as a table of string views,
// so the program carries the file without reading it at run time.
//
//   embed_lines INPUT OUTPUT FUNCTION MAX_LINES

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string Escaped(const std::string& line) {
    std::string out;
    for (const unsigned char c : line) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: embed_lines INPUT OUTPUT FUNCTION MAX_LINES\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "embed_lines: cannot open " << argv[1] << "\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    const auto lines = SplitLines(text.str());
    const std::size_t maxLines = std::stoul(argv[4]);
    if (lines.size() > maxLines) {
        std::cerr << "embed_lines: " << argv[1] << " has " << lines.size()
                  << " lines; the table holds " << maxLines << "\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << "// Generated from " << argv[1] << "; do not edit.\n"
        << "#include <span>\n#include <string_view>\n\nnamespace vq {\nnamespace {\n"
        << "using namespace std::string_view_literals;\n"
        << "constexpr std::string_view kLines[] = {\n";
    for (const auto& line : lines) out << "    \"" << Escaped(line) << "\"sv,\n";
    if (lines.empty()) out << "    \"\"sv,\n";
    out << "};\n}  // namespace\n\nstd::span<const std::string_view> " << argv[3] << "() {\n"
        << "    return std::span<const std::string_view>(kLines, " << lines.size() << ");\n"
        << "}\n\n}  // namespace vq\n";
    return out ? 0 : 1;
}
