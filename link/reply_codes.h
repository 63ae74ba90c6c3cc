#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

namespace vq {

// What the radio's answer token means.
enum ReplyCode : std::int16_t {
    ReplyOk = 0,
    ReplyNg = 1,
    ReplyEd = 2,
    ReplyCt = 3,
    ReplyBe = 4,
    ReplyPg = 5,
    ReplyRa = 6,
    ReplyEe = 7,
    ReplyUnknown = 8,
    ReplyPinLowOutput = 9,
    ReplyPinHighOutput = 10,
    ReplyPinLowInput = 11,
    ReplyPinHighInput = 12,
    ReplyRegionError = 13,
};

// A classifier was asked to look past the end of the receive buffer. Trapped by the
// operation, like a port failure.
class ReplyIndexError : public std::out_of_range {
  public:
    using std::out_of_range::out_of_range;
};

// The four-byte token ("OK\r\n" and the like) at offset: codes 0..8.
std::int16_t ClassifyReply(std::span<const std::uint8_t> receiveBuffer, std::size_t offset);

// The six-byte framed token ("\r\nOK\r\n" and the like) at offset: codes 0, 1, 8..13.
std::int16_t ClassifyFramedReply(std::span<const std::uint8_t> receiveBuffer, std::size_t offset);

}  // namespace vq
