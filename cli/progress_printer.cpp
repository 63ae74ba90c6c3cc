#include "progress_printer.h"

namespace vq::cli {
namespace {

const char* TokenName(std::int16_t code) {
    static const char* const kNames[] = {"OK", "NG", "ED", "CT", "BE", "PG", "RA", "EE"};
    return code >= 0 && code < 8 ? kNames[code] : "an unknown token";
}

}  // namespace

void ProgressPrinter::operator()(const FlashEvent& event) {
    switch (event.kind) {
        case FlashEvent::Kind::UnitStarted:
            if (!m_start) m_start = std::chrono::steady_clock::now();
            if (m_terminal) showUnit(event);
            break;
        case FlashEvent::Kind::UnitFinished:
            showUnit(event);
            break;
        case FlashEvent::Kind::AttemptFailed:
            if (m_verbose) showFailure(event);
            break;
    }
}

void ProgressPrinter::showUnit(const FlashEvent& event) {
    const double seconds =
        m_start ? std::chrono::duration<double>(std::chrono::steady_clock::now() - *m_start).count()
                : 0.0;
    const double bytesPerSecond =
        seconds > 0 ? event.unitsDone * static_cast<double>(m_bytesPerUnit) / seconds : 0.0;
    const int left = event.unitsToWrite - event.unitsDone;
    const double secondsLeft = event.unitsDone > 0 ? seconds / event.unitsDone * left : 0.0;
    const int whole = static_cast<int>(secondsLeft + 0.5);
    if (m_terminal) {
        std::fprintf(m_out, "\r%05X  %d/%d %s  %6.0f B/s  %d:%02d left ", event.address,
                     event.unitsDone, event.unitsToWrite, m_unitName, bytesPerSecond, whole / 60,
                     whole % 60);
        m_lineOpen = true;
    } else {
        std::fprintf(m_out, "%05X %d/%d %s %.0f B/s %d:%02d left\n", event.address, event.unitsDone,
                     event.unitsToWrite, m_unitName, bytesPerSecond, whole / 60, whole % 60);
    }
    std::fflush(m_out);
}

void ProgressPrinter::showFailure(const FlashEvent& event) {
    finish();
    const AttemptRecord& a = event.attempt;
    std::fprintf(m_out, "%05X: attempt %d of %d failed: ", event.address, a.attempt, a.attempts);
    switch (a.cause) {
        case AttemptFailure::ShortReply:
            std::fprintf(m_out, "time-out with %d of %d bytes\n", a.received, a.expected);
            break;
        case AttemptFailure::Rejected:
            std::fprintf(m_out, "the radio answered %s\n", TokenName(a.code));
            break;
        case AttemptFailure::ReadbackMismatch:
            std::fprintf(m_out, "the line did not come back unchanged\n");
            break;
    }
    std::fflush(m_out);
}

void ProgressPrinter::finish() {
    if (!m_lineOpen) return;
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_lineOpen = false;
}

}  // namespace vq::cli
