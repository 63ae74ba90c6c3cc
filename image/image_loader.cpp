#include "image_loader.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "hex_reader.h"
#include "srecord_reader.h"

namespace vq {

std::string LoadOutcome::message() const {
    switch (kind) {
        case Kind::RefusedLine:
            return "Error Code = " + std::to_string(lineStatus) +
                   " ; line number = " + std::to_string(lineNumber);
        case Kind::FileError:
            return "File Open Error";
        case Kind::Loaded:
            break;
    }
    return {};
}

bool IsHexFileName(const std::string& name) {
    if (name.size() < 3) return false;
    std::string tail = name.substr(name.size() - 3);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return tail == "HEX";
}

LoadOutcome LoadImageFile(const std::string& name, TextFileInput& files, MemoryImage& image) {
    image.LineStatus = 0;
    std::unique_ptr<TextFile> file;
    try {
        file = files.open(name);
    } catch (const std::exception&) {
        return {LoadOutcome::Kind::FileError};
    }

    // The file is read into an image of its own, which takes the place of the memory image
    // only when every line was read: a failed load must not leave a half-filled image for
    // the next write to put into a radio.
    auto fresh = std::make_unique<MemoryImage>();
    const bool hex = IsHexFileName(name);
    HexReaderState hexState;
    int lineCounter = 0;
    try {
        while (!file->atEnd()) {
            const std::string line = file->lineInput();
            if (hex) {
                ReadHexLine(line, *fresh, hexState);
            } else {
                ReadSRecordLine(line, *fresh);
            }
            ++lineCounter;
            if (fresh->LineStatus != 0) {
                image.LineStatus = fresh->LineStatus;
                return {LoadOutcome::Kind::RefusedLine, fresh->LineStatus, lineCounter};
            }
        }
    } catch (const std::exception&) {
        return {LoadOutcome::Kind::FileError};
    }
    image = *fresh;
    image.LineStatus = 0;
    return {};
}

}  // namespace vq
