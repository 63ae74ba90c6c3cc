// Program jobs one after another in one tool, each against a fresh unpaced simulator with a
// fault drawn at random. VQ_SOAK_SEED and VQ_SOAK_JOBS choose the run. VQ_SOAK_SLOWDOWN is
// for a run under valgrind or a sanitizer: it stretches the time allowed per job, and leaves
// memory to the instrument, whose allocator is not the program's.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "fault_rig.h"

namespace vq::test {
namespace {

using namespace std::chrono_literals;

// Under AddressSanitizer the allocator is the instrument's: it holds freed memory back for a
// while, and leaks are its to report at the exit.
#if defined(__has_feature)
#define VQ_HAS_FEATURE(x) __has_feature(x)
#else
#define VQ_HAS_FEATURE(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || VQ_HAS_FEATURE(address_sanitizer)
constexpr bool kSanitizedAllocator = true;
#else
constexpr bool kSanitizedAllocator = false;
#endif

constexpr std::uint32_t kLastNormalBlock = 0xFEC00;
constexpr int kWarmUpJobs = 20;

long EnvNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

// What the job is expected to say, and the simulator options that make it say so.
struct Plan {
    std::string kind;  // the fault, for the summary
    std::string detail;
    QStringList options;
    std::string message = "Completed.";
    int timeOuts = 0;  // time-outs the fault costs
};

template <class T>
const T& Pick(std::mt19937& random, const std::vector<T>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
}

int Between(std::mt19937& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

// Frames of a job: 1 the erase, 2 .. blocks + 1 the writes, blocks + 2 the end.
Plan DrawFault(std::mt19937& random, const std::vector<std::uint32_t>& blocks) {
    const int frames = static_cast<int>(blocks.size()) + 2;
    const auto tokenFor = [&](const char* kind, const std::map<std::string, std::string>& said) {
        std::vector<std::string> tokens;
        for (const auto& [token, message] : said) tokens.push_back(token);
        const std::string token = Pick(random, tokens);
        return Plan{std::string("token for ") + kind,
                    token,
                    {"--token-for", QString("%1:%2").arg(kind, QString::fromStdString(token))},
                    said.at(token)};
    };
    switch (Between(random, 0, 15)) {
        case 0:
        case 1:
        case 2:
            return {"none", "", {}};
        case 3:
            return {"region error", "", {"--region-error"}, "Region error"};
        case 4:
            return tokenFor(
                "identify",
                {{"OK", "Completed."}, {"NG", "Error"}, {"RE", "Region error"}, {"XX", "Error"}});
        case 5:
            return tokenFor("connect-flash", {{"CT", "Completed."},
                                              {"OK", "Connect failed."},
                                              {"NG", "Connect failed."},
                                              {"BE", "Connect failed."}});
        case 6:
            return tokenFor("flash-erase", {{"BE", "Completed."},
                                            {"OK", "Erase failed."},
                                            {"NG", "Erase failed."},
                                            {"PG", "Erase failed."}});
        case 7:
            // Not NG: the radio leaves flash mode on any end frame, so every further attempt
            // would wait out its time-out.
            return tokenFor("flash-end", {{"ED", "Completed."}, {"OK", "Disconnect failed."}});
        case 8:
        case 9: {
            const std::uint32_t block = Pick(random, blocks);
            const std::string token =
                Pick(random, std::vector<std::string>{"NG", "XX", "BE", "OK"});
            const int attempts = Between(random, 1, 12);
            Plan plan{"block answered with a token",
                      RowAddressText(block / 16) + " " + token + " " + std::to_string(attempts) +
                          " times",
                      {"--block-token", QString("%1:%2:%3")
                                            .arg(block, 0, 16)
                                            .arg(QString::fromStdString(token))
                                            .arg(attempts)}};
            if (token != "OK" && attempts >= 10) plan.message = "Write failed.";
            return plan;
        }
        case 10:
        case 11: {
            const int frame = Between(random, 1, frames + 1);
            const int bytes = Between(random, 1, 1032);
            Plan plan{"unplugged in a frame",
                      std::to_string(bytes) + " bytes of frame " + std::to_string(frame),
                      {"--unplug-in-frame", QString::number(frame), "--unplug-after-bytes",
                       QString::number(bytes)}};
            if (frame == 1) plan.message = "Erase failed.";
            if (frame > 1 && frame < frames) plan.message = "Write failed.";
            if (frame == frames) plan.message = "Disconnect failed.";
            return plan;
        }
        case 12: {
            const int position = Between(random, 0, 1031);
            return {"echo byte changed",
                    std::to_string(position),
                    {"--echo-flip", QString::number(position)}};
        }
        case 13: {
            const int late = Between(random, 1, 30);
            return {
                "answers late", std::to_string(late) + " ms", {"--late", QString::number(late)}};
        }
        case 14:
            return {"one byte a write", "", {"--byte-gap", "0"}};
        default: {
            // Rare, as each costs a time-out: one frame goes unheard, then the radio is back
            // with a garbled answer or a few bytes of noise, which the retries get past.
            if (Between(random, 0, 3) != 0) return {"none", "", {}};
            // A write frame goes unheard: an end frame heard garbled would still end the
            // connection, and every later attempt would wait out its time-out.
            const int after = Between(random, 1, frames - 2);
            const bool garble = Between(random, 0, 1) == 0;
            const int noise = Between(random, 1, 3);
            Plan plan{
                garble ? "silent, back garbled" : "silent, back with noise",
                "after frame " + std::to_string(after),
                {"--silent-after-frames", QString::number(after), "--silent-for-bytes", "1032"}};
            if (garble) {
                plan.options << "--garble-on-return";
            } else {
                plan.options << "--garbage-on-return" << QString::number(noise);
            }
            plan.timeOuts = 1;
            return plan;
        }
    }
}

std::vector<std::uint32_t> DrawBlocks(std::mt19937& random) {
    std::vector<std::uint32_t> blocks;
    const int count = Between(random, 1, 6);
    while (static_cast<int>(blocks.size()) < count) {
        const auto block = 0xC0000 + 0x400 * static_cast<std::uint32_t>(Between(
                                                 random, 0, (kLastNormalBlock - 0xC0000) / 0x400));
        if (std::find(blocks.begin(), blocks.end(), block) == blocks.end()) blocks.push_back(block);
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

// The requests a job that ended with this message must never have sent: a failed step is
// the last one, with no clean-up after it.
std::vector<std::string> NeverSentAfter(const std::string& message) {
    if (message == "Error" || message == "Region error")
        return {"connect-flash", "flash-erase", "flash-write", "flash-end"};
    if (message == "Connect failed.") return {"flash-erase", "flash-write", "flash-end"};
    if (message == "Erase failed.") return {"flash-write", "flash-end"};
    if (message == "Write failed.") return {"flash-end"};
    return {};
}

TEST(Soak, ProgramJobsWithSeededFaultsAgreeWithTheRadioAndLeakNothing) {
    const auto seed = static_cast<std::uint32_t>(EnvNumber("VQ_SOAK_SEED", 1));
    const long jobs = EnvNumber("VQ_SOAK_JOBS", 200);
    const long slowdown = EnvNumber("VQ_SOAK_SLOWDOWN", 1);
    std::mt19937 random(seed);
    QTemporaryDir scratch;
    InProcessTool tool;

    std::map<std::string, int> outcomes;
    std::map<std::string, int> faults;
    std::multiset<std::string> descriptorsAfterFirstJob;
    long residentAfterWarmUp = 0;
    long heapAfterWarmUp = 0;
    Clock::duration longest{};
    const auto start = Clock::now();
    long done = 0;
    // What the tool saw of each failed attempt, shown with the simulator's log on a failure.
    std::vector<std::string> failedAttempts;
    Clock::time_point jobStarted;
    tool.flash.SetObserver([&](const FlashEvent& e) {
        if (e.kind != FlashEvent::Kind::AttemptFailed) return;
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - jobStarted);
        failedAttempts.push_back(
            RowAddressText(e.address / 16) + " attempt " + std::to_string(e.attempt.attempt) +
            ": " + std::to_string(e.attempt.received) + " of " +
            std::to_string(e.attempt.expected) + " bytes, code " + std::to_string(e.attempt.code) +
            ", at " + std::to_string(ms.count()) + " ms");
    });
    for (long job = 1; job <= jobs && !HasFailure(); ++job) {
        const auto blocks = DrawBlocks(random);
        const TestImage image =
            MakeImage(scratch.filePath("image.s28"), blocks, static_cast<std::uint32_t>(random()));
        ASSERT_FALSE(image.path.isEmpty());
        tool.image = image.image;
        const Plan plan = DrawFault(random, blocks);
        SCOPED_TRACE(testing::Message()
                     << "seed " << seed << ", job " << job << ": " << plan.kind << " "
                     << plan.detail << ", " << blocks.size() << " blocks");
        ++faults[plan.kind];

        SimProcess sim(QStringList(plan.options) << "--dump"
                                                 << "flash.bin");
        ASSERT_TRUE(sim.started());
        failedAttempts.clear();
        const auto jobStart = Clock::now();
        jobStarted = jobStart;
        const CommandOutcome outcome = tool.Program(sim.device());
        const auto took = Clock::now() - jobStart;
        longest = std::max(longest, took);
        sim.stop();
        ++outcomes[outcome.message];
        ++done;

        EXPECT_EQ(outcome.message, plan.message);
        EXPECT_LE(took, 2s * slowdown + (OneShotTimer::kReplyTimeout + kQuietAfterTimeOut + 500ms) *
                                            plan.timeOuts);
        EXPECT_FALSE(tool.port.portOpen());
        const auto requests = LoggedRequests(sim);
        if (outcome.message == "Completed.") {
            EXPECT_EQ(MissingFromCompletedJob(requests, image.image), "");
            EXPECT_EQ(FirstDifference(sim.path("flash.bin"), image.image), std::nullopt);
        }
        for (const std::string& kind : NeverSentAfter(outcome.message)) {
            EXPECT_TRUE(std::none_of(requests.begin(), requests.end(),
                                     [&](const LoggedRequest& r) { return r.kind == kind; }))
                << kind << " sent after \"" << outcome.message << "\"";
        }
        if (HasFailure()) {
            std::printf("what the simulator logged:\n");
            for (const QString& line : sim.logLines()) std::printf("  %s\n", qPrintable(line));
            for (const auto& line : failedAttempts) std::printf("  tool: %s\n", line.c_str());
        }

        if (job == 1) descriptorsAfterFirstJob = FileDescriptors();
        EXPECT_EQ(FileDescriptors(), descriptorsAfterFirstJob);
        if (job == kWarmUpJobs) {
            residentAfterWarmUp = ResidentKiB();
            heapAfterWarmUp = HeapInUseKiB();
        }
    }
    const long residentAtEnd = ResidentKiB();
    const long heapAtEnd = HeapInUseKiB();
    const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::printf("soak: seed %u, %ld jobs in %.1f s, longest job %.0f ms\n", seed, done, seconds,
                std::chrono::duration<double, std::milli>(longest).count());
    for (const auto& [fault, count] : faults)
        std::printf("  fault %-32s %4d\n", fault.c_str(), count);
    for (const auto& [message, count] : outcomes)
        std::printf("  said  %-32s %4d\n", message.c_str(), count);
    std::printf("  after job %d: resident %ld KiB, heap in use %ld KiB\n", kWarmUpJobs,
                residentAfterWarmUp, heapAfterWarmUp);
    std::printf("  at the end:   resident %ld KiB, heap in use %ld KiB\n", residentAtEnd,
                heapAtEnd);
    std::printf("  descriptors after job 1 and at the end: %zu, %zu\n",
                descriptorsAfterFirstJob.size(), FileDescriptors().size());
    if (done > kWarmUpJobs && slowdown == 1 && !kSanitizedAllocator) {
        // A frame buffer (1 KiB) kept per job would add some 180 KiB of heap by job 200. The
        // resident size also holds allocator slack and code paged in by rarer faults.
        EXPECT_LT(heapAtEnd - heapAfterWarmUp, 64) << "heap in use grew";
        EXPECT_LT(residentAtEnd - residentAfterWarmUp, 1024) << "resident memory grew";
    }
}

}  // namespace
}  // namespace vq::test
