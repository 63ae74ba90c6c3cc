#pragma once

#include <cstdint>
#include <string_view>

#include "frames.h"
#include "link.h"
#include "memory_image.h"

namespace vq {

// The flash-side operations on the radio: the transfer of one frame or text line, erase,
// the text command words, the two writes and the end of a flash-mode connection. Results
// are the operation results the callers judge: a reply code, 1 when the attempts ran out,
// -1 when the port failed.
class FlashProgrammer {
public:
    FlashProgrammer(Link& link, const MemoryImage& image);

    // Sends the current request of the mode and collects what comes back into the link's
    // receive buffer; returns the number of bytes collected.
    int TransferFrame(std::int16_t mode);

    // 1 when the 20 bytes at offset equal LineBuffer, 0 at the first difference, -1 when the
    // receive buffer is too short.
    int CheckLineReadback(std::size_t offset) const;

    std::int16_t EraseFlash();
    std::int16_t SendCommandWord(std::string_view word, std::int16_t mode);
    std::int16_t WriteFlash();
    std::int16_t WriteImage(std::int16_t mode);
    std::int16_t DisconnectTarget();

    Frame FrameBuffer{};
    Line LineBuffer{};
    PrefixedLine PrefixedLineBuffer{};

private:
    Link& m_link;
    const MemoryImage& m_image;
};

}  // namespace vq
