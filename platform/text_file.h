#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace vq {

// Raised when a text file cannot be opened or read.
class FileFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An open text file, read line by line. A line ends at CR LF, at a lone CR or at a lone LF;
// the terminator is not part of the line.
class TextFile {
  public:
    virtual ~TextFile() = default;
    virtual bool atEnd() = 0;
    // Throws FileFailure on a read error.
    virtual std::string lineInput() = 0;
};

// Opens text files by name for reading.
class TextFileInput {
  public:
    virtual ~TextFileInput() = default;
    // Throws FileFailure when the file cannot be opened.
    virtual std::unique_ptr<TextFile> open(const std::string& name) = 0;
};

}  // namespace vq
