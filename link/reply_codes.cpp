#include "reply_codes.h"

#include <algorithm>
#include <array>
#include <string>

namespace vq {
namespace {

struct Token {
    char text[3];
    std::int16_t code;
};

// Compared in this order; the first match gives the code.
constexpr std::array<Token, 8> kPlainTokens{{
    {"OK", ReplyOk},
    {"NG", ReplyNg},
    {"ED", ReplyEd},
    {"CT", ReplyCt},
    {"BE", ReplyBe},
    {"PG", ReplyPg},
    {"RA", ReplyRa},
    {"EE", ReplyEe},
}};

constexpr std::array<Token, 7> kFramedTokens{{
    {"OK", ReplyOk},
    {"NG", ReplyNg},
    {"RE", ReplyRegionError},
    {"00", ReplyPinLowOutput},
    {"01", ReplyPinHighOutput},
    {"02", ReplyPinLowInput},
    {"03", ReplyPinHighInput},
}};

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

void RequireBytes(std::span<const std::uint8_t> buffer, std::size_t offset, std::size_t length) {
    if (buffer.size() < length || offset > buffer.size() - length) {
        throw ReplyIndexError("reply token at " + std::to_string(offset) + " lies beyond the " +
                              std::to_string(buffer.size()) + " bytes received");
    }
}

template <std::size_t N>
std::int16_t Lookup(const std::array<Token, N>& tokens, std::uint8_t first, std::uint8_t second) {
    const auto match = std::find_if(tokens.begin(), tokens.end(), [&](const Token& token) {
        return static_cast<std::uint8_t>(token.text[0]) == first &&
               static_cast<std::uint8_t>(token.text[1]) == second;
    });
    return match == tokens.end() ? std::int16_t{ReplyUnknown} : match->code;
}

}  // namespace

std::int16_t ClassifyReply(std::span<const std::uint8_t> receiveBuffer, std::size_t offset) {
    RequireBytes(receiveBuffer, offset, 4);
    const auto token = receiveBuffer.subspan(offset, 4);
    if (token[2] != kCr || token[3] != kLf) return ReplyUnknown;
    return Lookup(kPlainTokens, token[0], token[1]);
}

std::int16_t ClassifyFramedReply(std::span<const std::uint8_t> receiveBuffer, std::size_t offset) {
    RequireBytes(receiveBuffer, offset, 6);
    const auto token = receiveBuffer.subspan(offset, 6);
    if (token[0] != kCr || token[1] != kLf || token[4] != kCr || token[5] != kLf) {
        return ReplyUnknown;
    }
    return Lookup(kFramedTokens, token[2], token[3]);
}

}  // namespace vq
