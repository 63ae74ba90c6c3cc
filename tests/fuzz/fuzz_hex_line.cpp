// Intel HEX lines read one after another into the carried image, with one reader state, so
// that segment records move the data records after them.
//
// Input: a control byte, then lines separated by LF. With the control byte '+' each line's
// checksum is rewritten to hold whenever its fields are all hex digits.
//
// Properties: the reader raises nothing and leaves one of its codes; a refused line changes
// neither the image nor the segment; a sound data record that fits its row inside the image
// is accepted and stores exactly its bytes at segment x 16 + offset, and one that does not
// fit is refused; a sound segment record sets the segment; every other accepted line leaves
// the image alone.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "embedded_image.h"
#include "fuzz_support.h"
#include "hex_reader.h"
#include "memory_image.h"

namespace vq::fuzz {
namespace {

struct Images {
    MemoryImage before;  // before the line in hand
    MemoryImage work;
    MemoryImage carried;
};

Images& TheImages() {
    static const std::unique_ptr<Images> images = [] {
        auto made = std::make_unique<Images>();
        EmbeddedImage carried;
        carried.FillEmbeddedLines();
        carried.ReadInto(made->carried);
        return made;
    }();
    return *images;
}

struct Record {
    std::uint8_t type = 0;
    std::uint16_t offset = 0;
    std::vector<std::uint8_t> data;
};

// A record as the format defines it: count, offset, type, data, a checksum that holds, and
// nothing else on the line.
std::optional<Record> SoundRecord(std::string_view line) {
    const auto bytes = HexLineBytes(line);
    if (!bytes || bytes->size() < 5 || bytes->size() != (*bytes)[0] + 5u) return std::nullopt;
    unsigned sum = 0;
    for (const std::uint8_t b : *bytes) sum += b;
    if ((sum & 0xFF) != 0) return std::nullopt;
    Record record;
    record.offset = static_cast<std::uint16_t>((*bytes)[1] << 8 | (*bytes)[2]);
    record.type = (*bytes)[3];
    record.data.assign(bytes->begin() + 4, bytes->end() - 1);
    return record;
}

void CheckLine(const std::string& line, Images& images, HexReaderState& state) {
    images.before = images.work;
    const HexReaderState stateBefore = state;
    ReadHexLine(line, images.work, state);  // any exception is a finding
    const std::int16_t status = images.work.LineStatus;
    VQ_FUZZ_REQUIRE(status == HexAccepted || status == HexTooShort || status == HexCountTooLarge ||
                    status == HexWrongLength || status == HexBadTypeDigit ||
                    status == HexRowOutside || status == HexPastRowEnd ||
                    status == HexBadChecksum || status == HexNoStart ||
                    status == HexUnsupportedType);
    if (status != HexAccepted) {
        VQ_FUZZ_REQUIRE(SameImage(images.work, images.before));
        VQ_FUZZ_REQUIRE(state.segment == stateBefore.segment);
        return;
    }

    // Fields are read leniently: a digit that is not one reads as 0, so a line need not be
    // sound to be taken; the type field alone says what kind of record it was taken for.
    const bool typeReadsAsData =
        line.size() >= 13 && line[7] == '0' && (line[8] < '1' || line[8] > '9');
    const bool typeReadsAsSegment = line.size() >= 13 && line[7] == '0' && line[8] == '2';
    const auto record = SoundRecord(line);
    if (record && typeReadsAsData) {
        const std::uint32_t address = stateBefore.segment * 16 + record->offset;
        const bool fits = MemoryImage::ContainsAddress(address) &&
                          address % 16 + record->data.size() <= MemoryImage::kColumns;
        VQ_FUZZ_REQUIRE(fits);  // accepted, so it must have fitted
        MemoryImage& expected = images.before;
        for (std::size_t i = 0; i < record->data.size(); ++i) {
            expected.Store(address / 16, address % 16 + static_cast<std::uint32_t>(i),
                           record->data[i]);
        }
        VQ_FUZZ_REQUIRE(SameImage(images.work, expected));
    } else if (!typeReadsAsData) {
        VQ_FUZZ_REQUIRE(SameImage(images.work, images.before));
    }
    // Only a record whose type field reads 02 moves the segment; a sound one, to the value it
    // carries.
    if (!typeReadsAsSegment) {
        VQ_FUZZ_REQUIRE(state.segment == stateBefore.segment);
    } else if (record) {
        VQ_FUZZ_REQUIRE(record->data.size() == 2);
        VQ_FUZZ_REQUIRE(state.segment ==
                        static_cast<std::uint32_t>(record->data[0] << 8 | record->data[1]));
    }
}

// Sound records the reader must take: data that fits its row inside the image, and segment
// records.
void CheckCompleteness(const std::string& line, std::int16_t status,
                       const HexReaderState& stateBefore) {
    const auto record = SoundRecord(line);
    if (!record || line.size() < 13 || record->data.size() > 16) return;
    if (record->type == 0x00) {
        const std::uint32_t address = stateBefore.segment * 16 + record->offset;
        const bool fits = MemoryImage::ContainsAddress(address) &&
                          address % 16 + record->data.size() <= MemoryImage::kColumns;
        VQ_FUZZ_REQUIRE(fits == (status == HexAccepted));
    } else if (record->type == 0x02 && record->data.size() == 2) {
        VQ_FUZZ_REQUIRE(status == HexAccepted);
    }
}

}  // namespace
}  // namespace vq::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vq;
    using namespace vq::fuzz;
    if (size == 0) return 0;
    const bool repair = data[0] == '+';
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    Images& images = TheImages();
    images.work = images.carried;
    HexReaderState state;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line(text.substr(start, end - start));
        if (repair) RepairHexChecksum(line);
        const HexReaderState stateBefore = state;
        CheckLine(line, images, state);
        CheckCompleteness(line, images.work.LineStatus, stateBefore);
        start = end + 1;
    }
    return 0;
}
