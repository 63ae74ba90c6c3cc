// One S-record line read into the carried image.
//
// Input: a control byte, then the line. With the control byte '+' the line's checksum is
// rewritten to hold whenever the record's fields are all hex digits, so that the fuzzer
// reaches the stores with any count and address instead of stopping at the checksum.
//
// Properties: the status is one of the reader's codes; a refused line leaves the image as it
// was and raises nothing; only OutOfRangeFailure escapes; a sound S1/S2/S3 record is
// accepted and stores exactly its data bytes at consecutive addresses, up to the first one
// outside the image, which raises the failure; every other accepted record stores nothing.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "embedded_image.h"
#include "fuzz_support.h"
#include "memory_image.h"
#include "srecord_reader.h"

namespace vq::fuzz {
namespace {

struct Images {
    MemoryImage before;  // as after startup
    MemoryImage work;
    MemoryImage expected;
};

Images& TheImages() {
    static const std::unique_ptr<Images> images = [] {
        auto made = std::make_unique<Images>();
        EmbeddedImage carried;
        carried.FillEmbeddedLines();
        carried.ReadInto(made->before);
        made->work = made->before;
        return made;
    }();
    return *images;
}

struct DataRecord {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};

// An S1, S2 or S3 record as the format defines it: all fields hex, a checksum that holds.
// Characters behind the checksum are not part of the record.
std::optional<DataRecord> SoundDataRecord(std::string_view line) {
    if (line.size() < 2 || line[1] < '1' || line[1] > '3') return std::nullopt;
    const auto bytes = SRecordBytes(line);
    if (!bytes) return std::nullopt;
    unsigned sum = 0;
    for (const std::uint8_t b : *bytes) sum += b;
    if ((sum & 0xFF) != 0xFF) return std::nullopt;

    DataRecord record;
    const std::size_t addressBytes = static_cast<std::size_t>(line[1] - '0') + 1;
    const std::size_t checksumIndex = bytes->size() - 1;
    if (checksumIndex < 1 + addressBytes) return record;  // no room for data
    for (std::size_t i = 1; i <= addressBytes; ++i) {
        record.address = record.address * 256 + (*bytes)[i];
    }
    record.data.assign(bytes->begin() + static_cast<std::ptrdiff_t>(1 + addressBytes),
                       bytes->begin() + static_cast<std::ptrdiff_t>(checksumIndex));
    return record;
}

}  // namespace
}  // namespace vq::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vq;
    using namespace vq::fuzz;
    if (size == 0) return 0;
    std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] == '+') RepairSRecordChecksum(line);

    Images& images = TheImages();
    bool raised = false;
    try {
        ReadSRecordLine(line, images.work);
    } catch (const OutOfRangeFailure&) {
        raised = true;
    }
    const std::int16_t status = images.work.LineStatus;
    VQ_FUZZ_REQUIRE(status == SRecordAccepted || status == SRecordShortLine ||
                    status == SRecordBadChecksum || status == SRecordNoStart);
    VQ_FUZZ_REQUIRE((status == SRecordNoStart) == (line.empty() || line[0] != 'S'));
    if (status != SRecordAccepted) {
        VQ_FUZZ_REQUIRE(!raised);
        VQ_FUZZ_REQUIRE(SameImage(images.work, images.before));
    }

    if (const auto record = SoundDataRecord(line)) {
        VQ_FUZZ_REQUIRE(status == SRecordAccepted);
        images.expected = images.before;
        bool outside = false;
        for (std::size_t i = 0; i < record->data.size() && !outside; ++i) {
            const std::uint32_t address = record->address + static_cast<std::uint32_t>(i);
            outside = !MemoryImage::ContainsAddress(address);
            if (!outside) images.expected.Store(address / 16, address % 16, record->data[i]);
        }
        VQ_FUZZ_REQUIRE(raised == outside);
        VQ_FUZZ_REQUIRE(SameImage(images.work, images.expected));
    } else if (line.size() < 2 || line[1] < '1' || line[1] > '3') {
        VQ_FUZZ_REQUIRE(!raised);
        VQ_FUZZ_REQUIRE(SameImage(images.work, images.before));
    }

    if (!SameImage(images.work, images.before)) images.work = images.before;
    return 0;
}
