#include "file_text_input.h"

#include <filesystem>
#include <fstream>

namespace vq {
namespace {

// No line of either image format comes near this length; keeping more of a longer line would
// only let a garbage file fill memory. The rest of such a line is still consumed.
constexpr std::size_t kMaxKeptLineLength = 64 * 1024;

class FileTextFile : public TextFile {
  public:
    explicit FileTextFile(std::ifstream stream) : m_stream(std::move(stream)) {}

    bool atEnd() override { return m_stream.peek() == std::ifstream::traits_type::eof(); }

    std::string lineInput() override {
        std::string line;
        for (;;) {
            const int c = m_stream.get();
            if (c == std::ifstream::traits_type::eof()) break;
            if (c == '\n') break;
            if (c == '\r') {
                if (m_stream.peek() == '\n') m_stream.get();
                break;
            }
            if (line.size() < kMaxKeptLineLength) line.push_back(static_cast<char>(c));
        }
        if (m_stream.bad()) throw FileFailure("read error");
        return line;
    }

  private:
    std::ifstream m_stream;
};

}  // namespace

std::unique_ptr<TextFile> FileTextInput::open(const std::string& name) {
    std::error_code error;
    if (std::filesystem::is_directory(name, error)) throw FileFailure(name + " is a directory");
    // A pipe would block the opening until a writer comes, and a device such as /dev/zero
    // would never end; an image is a plain file.
    const auto status = std::filesystem::status(name, error);
    if (!error && !std::filesystem::is_regular_file(status)) {
        throw FileFailure(name + " is not a regular file");
    }
    std::ifstream stream(name, std::ios::binary);
    if (!stream) throw FileFailure("cannot open " + name);
    return std::make_unique<FileTextFile>(std::move(stream));
}

}  // namespace vq
