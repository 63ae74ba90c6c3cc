// A whole image file, written to disk and loaded through the file-system text input over the
// carried image, with the S-record or the Intel HEX reader as the name chooses.
//
// Input: a control byte, then the file's content. The control byte's low three bits choose
// the name (and so the reader); bit 3 rewrites every line's checksum to hold where its fields
// are hex digits.
//
// Properties: the load either succeeds and leaves exactly what the readers make of the file's
// lines, split at CR LF, CR or LF, or fails and leaves the image byte for byte as it was;
// a refused line is reported with the first refused line's number and status, in the
// operator's text; any other failure is "File Open Error".

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "embedded_image.h"
#include "file_text_input.h"
#include "fuzz_support.h"
#include "hex_reader.h"
#include "image_loader.h"
#include "memory_image.h"
#include "srecord_reader.h"

namespace vq::fuzz {
namespace {

struct Name {
    const char* suffix;
    bool hex;
};
constexpr Name kNames[] = {{".s28", false}, {".hex", true}, {".HEX", true}, {".Hex", true},
                           {".mot", false}, {"", false},    {"hex", true},  {".s19", false}};

struct Images {
    MemoryImage carried;
    MemoryImage work;
    MemoryImage blank;
    MemoryImage model;
};

Images& TheImages() {
    static const std::unique_ptr<Images> images = [] {
        auto made = std::make_unique<Images>();
        EmbeddedImage carried;
        carried.FillEmbeddedLines();
        carried.ReadInto(made->carried);
        made->work = made->carried;
        return made;
    }();
    return *images;
}

std::vector<std::string> SplitLines(std::string_view content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = content.size();
        lines.emplace_back(content.substr(start, end - start));
        start = end + 1;
        if (end + 1 < content.size() && content[end] == '\r' && content[end + 1] == '\n') {
            ++start;
        }
    }
    return lines;
}

// What a load must end in, worked out line by line on a fresh image.
struct Expected {
    LoadOutcome::Kind kind = LoadOutcome::Kind::Loaded;
    std::int16_t status = 0;
    int lineNumber = 0;
};

Expected Model(const std::vector<std::string>& lines, bool hex, Images& images) {
    MemoryImage& fresh = images.model;
    fresh = images.blank;
    HexReaderState state;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        try {
            if (hex) {
                ReadHexLine(lines[i], fresh, state);
            } else {
                ReadSRecordLine(lines[i], fresh);
            }
        } catch (const OutOfRangeFailure&) {
            return {LoadOutcome::Kind::FileError};
        }
        if (fresh.LineStatus != 0) {
            return {LoadOutcome::Kind::RefusedLine, fresh.LineStatus, static_cast<int>(i + 1)};
        }
    }
    return {};
}

std::string FilePath(const char* suffix) {
    return (std::filesystem::temp_directory_path() /
            ("vq_fuzz_image_" + std::to_string(::getpid()) + suffix))
        .string();
}

}  // namespace
}  // namespace vq::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vq;
    using namespace vq::fuzz;
    // The file input keeps at most 64 KiB of a line; no sound image line comes near that.
    if (size == 0 || size > 60000) return 0;
    const Name& name = kNames[data[0] & 0x7];
    const bool repair = (data[0] & 0x8) != 0;
    const std::string_view raw(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::vector<std::string> lines = SplitLines(raw);
    std::string content(raw);
    if (repair) {
        content.clear();
        for (std::string& line : lines) {
            if (name.hex) {
                RepairHexChecksum(line);
            } else {
                RepairSRecordChecksum(line);
            }
            content += line + "\r\n";
        }
    }

    const std::string path = FilePath(name.suffix);
    std::ofstream(path, std::ios::binary) << content;
    Images& images = TheImages();
    FileTextInput files;
    const LoadOutcome outcome = LoadImageFile(path, files, images.work);
    std::filesystem::remove(path);

    const Expected expected = Model(lines, name.hex, images);
    VQ_FUZZ_REQUIRE(outcome.kind == expected.kind);
    switch (outcome.kind) {
        case LoadOutcome::Kind::Loaded:
            VQ_FUZZ_REQUIRE(SameImage(images.work, images.model));
            VQ_FUZZ_REQUIRE(images.work.LineStatus == 0);
            VQ_FUZZ_REQUIRE(outcome.message().empty());
            images.work = images.carried;
            return 0;
        case LoadOutcome::Kind::RefusedLine:
            VQ_FUZZ_REQUIRE(outcome.lineStatus == expected.status);
            VQ_FUZZ_REQUIRE(outcome.lineNumber == expected.lineNumber);
            VQ_FUZZ_REQUIRE(images.work.LineStatus == expected.status);
            VQ_FUZZ_REQUIRE(outcome.message() ==
                            "Error Code = " + std::to_string(expected.status) +
                                " ; line number = " + std::to_string(expected.lineNumber));
            break;
        case LoadOutcome::Kind::FileError:
            VQ_FUZZ_REQUIRE(outcome.message() == "File Open Error");
            break;
    }
    VQ_FUZZ_REQUIRE(SameImage(images.work, images.carried));
    return 0;
}
