#include "sim_options.h"

#include <gtest/gtest.h>

namespace vq::sim {
namespace {

using namespace std::chrono_literals;

TEST(SimOptions, ReadsEveryFault) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--link",
                                 "/tmp/vqsim0",
                                 "--log",
                                 "l.txt",
                                 "--dump",
                                 "d.bin",
                                 "--paced",
                                 "--region-error",
                                 "--answer-bytes",
                                 "3",
                                 "--token",
                                 "NG",
                                 "--token-for",
                                 "connect-flash:OK",
                                 "--token-for",
                                 "flash-erase:NG",
                                 "--late",
                                 "250",
                                 "--block-token",
                                 "0xC0400:NG:2",
                                 "--drop-block",
                                 "fec00",
                                 "--silent-after-frames",
                                 "5",
                                 "--unplug-after-bytes",
                                 "600",
                                 "--unplug-in-frame",
                                 "3"},
                                options, error))
        << error;
    EXPECT_EQ(options.linkPath, "/tmp/vqsim0");
    EXPECT_EQ(options.logPath, "l.txt");
    EXPECT_EQ(options.dumpPath, "d.bin");
    EXPECT_TRUE(options.paced);
    const RadioConfig& r = options.radio;
    EXPECT_TRUE(r.regionError);
    EXPECT_FALSE(r.silent);
    EXPECT_EQ(r.answerBytes, 3u);
    EXPECT_EQ(r.token, "NG");
    const std::map<RequestKind, std::string> tokenFor = {{RequestKind::EnterFlash, "OK"},
                                                         {RequestKind::FlashErase, "NG"}};
    EXPECT_EQ(r.tokenFor, tokenFor);
    EXPECT_EQ(r.late, 250ms);
    ASSERT_TRUE(r.blockToken);
    EXPECT_EQ(r.blockToken->address, 0xC0400u);
    EXPECT_EQ(r.blockToken->token, "NG");
    EXPECT_EQ(r.blockToken->attempts, 2);
    EXPECT_EQ(r.dropBlock, 0xFEC00u);
    EXPECT_EQ(r.silentAfterFrames, 5);
    EXPECT_EQ(r.unplugAfterBytes, 600u);
    EXPECT_EQ(r.unplugInFrame, 3);
}

TEST(SimOptions, RefusesWhatItDoesNotUnderstand) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--late"},
        {"--late", "-5"},
        {"--late", "5ms"},
        {"--drop-block", "xyz"},
        {"--block-token", "C0400:NG"},
        {"--block-token", "C0400::2"},
        {"--unplug-after-bytes", "0"},
        {"--token-for", "flash-erase"},
        {"--token-for", "flash-erase:"},
        {"--token-for", "erase:NG"},
        {"--token-for", "flash-erase:NG:3"},
        {"--log"},
    };
    for (const auto& args : bad) {
        SimOptions options;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(args, options, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimOptions, ReadsComingBackALateReplyTheEchoFlipAndTheByteGap) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(
        {"--silent-for-bytes", "1032", "--garbage-on-return", "700", "--garble-on-return",
         "--late-once", "4:5500", "--echo-flip", "5", "--byte-gap", "1"},
        options, error))
        << error;
    const RadioConfig& r = options.radio;
    EXPECT_EQ(r.silentForBytes, 1032u);
    EXPECT_EQ(r.garbageOnReturn, 700u);
    EXPECT_TRUE(r.garbleOnReturn);
    ASSERT_TRUE(r.lateOnce);
    EXPECT_EQ(r.lateOnce->request, 4);
    EXPECT_EQ(r.lateOnce->delay, 5500ms);
    EXPECT_EQ(r.echoFlip, 5u);
    EXPECT_EQ(options.byteGap, 1ms);

    const std::vector<std::vector<std::string>> bad = {
        {"--silent-for-bytes", "0"},
        {"--late-once", "4"},
        {"--late-once", "0:100"},
        {"--late-once", "4:-1"},
        {"--late-once", "4:1:2"},
        {"--echo-flip", "x"},
        {"--byte-gap"},
    };
    for (const auto& args : bad) {
        SimOptions refused;
        EXPECT_FALSE(ParseSimOptions(args, refused, error)) << args[0] << " " << args.back();
    }
}

}  // namespace
}  // namespace vq::sim
