#include "reply_codes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vq {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

struct TokenCase {
    std::string received;
    std::size_t offset;
    std::int16_t code;
};

TEST(ClassifyReply, ReadsTheFourByteTokenBehindTheEcho) {
    const std::vector<TokenCase> cases = {
        {"OK\r\n", 0, ReplyOk},
        {"NG\r\n", 0, ReplyNg},
        {"ED\r\n", 0, ReplyEd},
        {"CT\r\n", 0, ReplyCt},
        {"BE\r\n", 0, ReplyBe},
        {"PG\r\n", 0, ReplyPg},
        {"RA\r\n", 0, ReplyRa},
        {"EE\r\n", 0, ReplyEe},
        {"ok\r\n", 0, ReplyUnknown},
        {"OK\n\r", 0, ReplyUnknown},
        {"OKxy", 0, ReplyUnknown},
        {"QK~FLASH\rCT\r\n", 9, ReplyCt},
        {"QK~FLASH\rCT\r\nextra", 9, ReplyCt},
        {"CT\r\nQK~FLASH\r", 9, ReplyUnknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyReply(Bytes(c.received), c.offset), c.code) << c.received;
    }
}

TEST(ClassifyFramedReply, ChecksTheFrameBeforeTheCharacters) {
    const std::vector<TokenCase> cases = {
        {"\r\nOK\r\n", 0, ReplyOk},
        {"\r\nNG\r\n", 0, ReplyNg},
        {"\r\nRE\r\n", 0, ReplyRegionError},
        {"\r\n00\r\n", 0, ReplyPinLowOutput},
        {"\r\n01\r\n", 0, ReplyPinHighOutput},
        {"\r\n02\r\n", 0, ReplyPinLowInput},
        {"\r\n03\r\n", 0, ReplyPinHighInput},
        {"\n\r00\n\r", 0, ReplyUnknown},
        {"\r\n04\r\n", 0, ReplyUnknown},
        {"\r\nok\r\n", 0, ReplyUnknown},
        {"\r\nOK\r\r", 0, ReplyUnknown},
        {"QK~VQ-K38\r\r\nRE\r\n", 10, ReplyRegionError},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyFramedReply(Bytes(c.received), c.offset), c.code) << c.received;
    }
}

TEST(Classifiers, FailWithAnIndexErrorPastTheEndOfTheBuffer) {
    EXPECT_THROW(ClassifyReply(Bytes("QK~FLASH\rCT\r"), 9), ReplyIndexError);
    EXPECT_THROW(ClassifyReply(Bytes(""), 0), ReplyIndexError);
    EXPECT_THROW(ClassifyReply(Bytes("OK\r\n"), 0xFFFF), ReplyIndexError);
    EXPECT_THROW(ClassifyFramedReply(Bytes("\r\nOK\r"), 0), ReplyIndexError);
    EXPECT_NO_THROW(ClassifyFramedReply(Bytes("\r\nOK\r\n"), 0));
}

}  // namespace
}  // namespace vq
