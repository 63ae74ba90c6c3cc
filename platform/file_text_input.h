#pragma once

#include "text_file.h"

namespace vq {

// Text files from the file system, read in binary so that CR LF, a lone CR and a lone LF all
// end a line the same way on every platform.
class FileTextInput : public TextFileInput {
  public:
    std::unique_ptr<TextFile> open(const std::string& name) override;
};

}  // namespace vq
