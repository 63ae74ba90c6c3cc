#pragma once

#include <cstdint>
#include <string>

#include "memory_image.h"
#include "text_file.h"

namespace vq {

// How a load ended. The texts are those the operator is shown.
struct LoadOutcome {
    enum class Kind { Loaded, RefusedLine, FileError };
    Kind kind = Kind::Loaded;
    std::int16_t lineStatus = 0;  // the refusing reader's code
    int lineNumber = 0;           // 1-based number of the refused line

    bool loaded() const { return kind == Kind::Loaded; }
    // "Error Code = n ; line number = k" or "File Open Error"; empty when loaded.
    std::string message() const;
};

// Whether the name selects the Intel HEX reader: its last three characters, upper-cased,
// are "HEX". Every other name is read as S-records.
bool IsHexFileName(const std::string& name);

// Reads the named file into a fresh image, which replaces the given one only when the whole
// file was read: a failed load leaves the image exactly as it was.
LoadOutcome LoadImageFile(const std::string& name, TextFileInput& files, MemoryImage& image);

}  // namespace vq
