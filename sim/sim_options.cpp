#include "sim_options.h"

#include <charconv>
#include <optional>

namespace vq::sim {
namespace {

template <class Number>
std::optional<Number> ParseNumber(std::string_view text, int base = 10) {
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
    Number value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

std::string SimUsage() {
    return R"(usage: vqradio-sim [options]
Plays the VQ-K38 radio on a pseudo-terminal; prints the device path as its first line.
  --link PATH               also make PATH a symlink to the device
  --log FILE                log every open, settings, request and close to FILE
  --dump FILE               write the flash (0xC0000..0xFFFFF) when a flash connection ends and at exit
  --paced                   send at the line speed the tool set
  --region-error            answer the identification with RE
  --silent                  answer nothing, not even the echo
  --answer-bytes N          send only the first N bytes of every answer (0: the echo alone)
  --token TT                answer every request with the token TT
  --token-for KIND:TT       answer requests of KIND (as logged, e.g. flash-erase) with TT
  --late MS                 send every answer MS milliseconds after its echo
  --block-token ADDR:TT:N   answer the first N writes of the block at ADDR (hex) with TT
  --drop-block ADDR         never answer writes of the block at ADDR (hex)
  --silent-after-frames N   hear nothing after N frames and text lines
  --unplug-after-bytes K    close the line after K bytes of a frame
  --unplug-in-frame N       ... of frame number N (default 1)
  --silent-for-bytes K      with --silent-after-frames: hear again after K unheard bytes
  --garbage-on-return N     send N bytes of line noise on hearing again
  --garble-on-return        invert every bit of the first echo and answer after hearing again
  --late-once N:MS          send the answer to request N (from 1) MS milliseconds after its echo
  --echo-flip N             invert byte N (from 0) of every request in its echo
  --byte-gap MS             send every byte in a write of its own, MS milliseconds apart
)";
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                     std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        const auto fail = [&](const std::string& why) {
            error = flag + ": " + why;
            return false;
        };
        RadioConfig& radio = options.radio;

        if (flag == "--help" || flag == "-h") {
            options.help = true;
        } else if (flag == "--paced") {
            options.paced = true;
        } else if (flag == "--region-error") {
            radio.regionError = true;
        } else if (flag == "--silent") {
            radio.silent = true;
        } else if (flag == "--garble-on-return") {
            radio.garbleOnReturn = true;
        } else if (flag == "--link" || flag == "--log" || flag == "--dump" || flag == "--token") {
            const auto text = value();
            if (!text || text->empty()) return fail("needs a value");
            if (flag == "--link") options.linkPath = *text;
            if (flag == "--log") options.logPath = *text;
            if (flag == "--dump") options.dumpPath = *text;
            if (flag == "--token") radio.token = *text;
        } else if (flag == "--answer-bytes" || flag == "--late" ||
                   flag == "--silent-after-frames" || flag == "--unplug-after-bytes" ||
                   flag == "--unplug-in-frame" || flag == "--silent-for-bytes" ||
                   flag == "--garbage-on-return" || flag == "--echo-flip" || flag == "--byte-gap") {
            const auto text = value();
            const auto number = text ? ParseNumber<int>(*text) : std::nullopt;
            if (!number || *number < 0) return fail("needs a number");
            if (flag == "--answer-bytes") radio.answerBytes = static_cast<std::size_t>(*number);
            if (flag == "--late") radio.late = std::chrono::milliseconds(*number);
            if (flag == "--silent-after-frames") radio.silentAfterFrames = *number;
            if (flag == "--unplug-after-bytes") {
                if (*number == 0) return fail("needs at least one byte");
                radio.unplugAfterBytes = static_cast<std::size_t>(*number);
            }
            if (flag == "--unplug-in-frame") {
                if (*number == 0) return fail("frames count from 1");
                radio.unplugInFrame = *number;
            }
            if (flag == "--silent-for-bytes") {
                if (*number == 0) return fail("needs at least one byte");
                radio.silentForBytes = static_cast<std::size_t>(*number);
            }
            if (flag == "--garbage-on-return") {
                radio.garbageOnReturn = static_cast<std::size_t>(*number);
            }
            if (flag == "--echo-flip") radio.echoFlip = static_cast<std::size_t>(*number);
            if (flag == "--byte-gap") options.byteGap = std::chrono::milliseconds(*number);
        } else if (flag == "--drop-block") {
            const auto text = value();
            const auto address = text ? ParseNumber<std::uint32_t>(*text, 16) : std::nullopt;
            if (!address) return fail("needs a hexadecimal address");
            radio.dropBlock = *address;
        } else if (flag == "--token-for") {
            const auto text = value();
            const auto parts = text ? Split(*text, ':') : std::vector<std::string_view>{};
            const auto kind = parts.size() == 2 ? RequestKindNamed(parts[0]) : std::nullopt;
            if (!kind || parts[1].empty()) return fail("needs KIND:TOKEN");
            radio.tokenFor[*kind] = std::string(parts[1]);
        } else if (flag == "--late-once") {
            const auto text = value();
            const auto parts = text ? Split(*text, ':') : std::vector<std::string_view>{};
            const auto request = parts.size() == 2 ? ParseNumber<int>(parts[0]) : std::nullopt;
            const auto delay = parts.size() == 2 ? ParseNumber<int>(parts[1]) : std::nullopt;
            if (!request || *request < 1 || !delay || *delay < 0) return fail("needs N:MS");
            radio.lateOnce = RadioConfig::LateReply{*request, std::chrono::milliseconds(*delay)};
        } else if (flag == "--block-token") {
            const auto text = value();
            const auto parts = text ? Split(*text, ':') : std::vector<std::string_view>{};
            if (parts.size() != 3) return fail("needs ADDR:TOKEN:N");
            const auto address = ParseNumber<std::uint32_t>(parts[0], 16);
            const auto attempts = ParseNumber<int>(parts[2]);
            if (!address || parts[1].empty() || !attempts) return fail("needs ADDR:TOKEN:N");
            radio.blockToken = RadioConfig::BlockToken{*address, std::string(parts[1]), *attempts};
        } else {
            error = "unknown option " + flag;
            return false;
        }
    }
    return true;
}

}  // namespace vq::sim
