#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "memory_image.h"

// A broken property is a finding like a crash: name it and abort, so that libFuzzer keeps the
// input as an artifact.
#define VQ_FUZZ_REQUIRE(condition)                                                                \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)

namespace vq::fuzz {

// The image's own comparison walks its 16,384 rows one at a time, which under the sanitizers
// costs more than all the rest of a run. The image has no padding, so once the line statuses
// agree its bytes compare as its content.
inline bool SameImage(MemoryImage& a, MemoryImage& b) {
    static_assert(std::has_unique_object_representations_v<MemoryImage>);
    const std::int16_t status = a.LineStatus;
    a.LineStatus = b.LineStatus;
    const bool same = std::memcmp(&a, &b, sizeof(MemoryImage)) == 0;
    a.LineStatus = status;
    return same;
}

}  // namespace vq::fuzz

// Decoding written apart from the readers' own on purpose: the targets judge the readers by
// it. It takes only text made wholly of hex digit pairs.
namespace vq::fuzz {

inline int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

inline char HexDigit(unsigned value) {
    return "0123456789ABCDEF"[value & 0xF];
}

// The bytes of a text made only of hex digit pairs, or nothing.
inline std::optional<std::vector<std::uint8_t>> Pairs(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = Nibble(text[i]);
        const int low = Nibble(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

// An S-record's bytes from the count to the checksum, when the line begins with "S", is as
// long as its count says and those fields are hex; what follows is not part of the record.
inline std::optional<std::vector<std::uint8_t>> SRecordBytes(std::string_view line) {
    if (line.size() < 4 || line[0] != 'S') return std::nullopt;
    const auto count = Pairs(line.substr(2, 2));
    if (!count) return std::nullopt;
    const std::size_t length = 2 * static_cast<std::size_t>((*count)[0]) + 2;
    if (line.size() < 2 + length) return std::nullopt;
    return Pairs(line.substr(2, length));
}

// An Intel HEX line's bytes after the colon, when the rest of the line is hex pairs.
inline std::optional<std::vector<std::uint8_t>> HexLineBytes(std::string_view line) {
    if (line.empty() || line[0] != ':') return std::nullopt;
    return Pairs(line.substr(1));
}

// Rewrites the checksum so that it holds: without this nearly every mutation of a record
// stops at its checksum, and the stores behind it would be reached from the seeds alone.
inline void RepairSRecordChecksum(std::string& line) {
    const auto bytes = SRecordBytes(line);
    if (!bytes) return;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes->size(); ++i) sum += (*bytes)[i];
    const unsigned checksum = ~sum & 0xFF;
    const std::size_t at = 2 * bytes->size();
    line[at] = HexDigit(checksum >> 4);
    line[at + 1] = HexDigit(checksum);
}

inline void RepairHexChecksum(std::string& line) {
    const auto bytes = HexLineBytes(line);
    if (!bytes || bytes->empty()) return;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes->size(); ++i) sum += (*bytes)[i];
    const unsigned checksum = (0x100 - (sum & 0xFF)) & 0xFF;
    line[line.size() - 2] = HexDigit(checksum >> 4);
    line[line.size() - 1] = HexDigit(checksum);
}

}  // namespace vq::fuzz
