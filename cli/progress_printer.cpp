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
    // Until one unit is done there is no rate to reckon the time left from.
    char left[16] = "--:--";
    if (event.unitsDone > 0) {
        const double secondsLeft =
            seconds / event.unitsDone * (event.unitsToWrite - event.unitsDone);
        const int whole = static_cast<int>(secondsLeft + 0.5);
        std::snprintf(left, sizeof left, "%d:%02d", whole / 60, whole % 60);
    }
    if (m_terminal) {
        // Cleared behind the text, since a shorter line would leave the old one's tail.
        std::fprintf(m_out, "\r%05X  %d/%d %s  %6.0f B/s  %s left\033[K", event.address,
                     event.unitsDone, event.unitsToWrite, m_unitName, bytesPerSecond, left);
        m_lineOpen = true;
    } else {
        std::fprintf(m_out, "%05X %d/%d %s %.0f B/s %s left\n", event.address, event.unitsDone,
                     event.unitsToWrite, m_unitName, bytesPerSecond, left);
    }
    std::fflush(m_out);
}

void ProgressPrinter::showFailure(const FlashEvent& event) {
    finish();
    const AttemptRecord& a = event.attempt;
    // Erase, end and the command words have no block or row to name.
    if (event.address != 0) std::fprintf(m_out, "%05X: ", event.address);
    std::fprintf(m_out, "attempt %d of %d failed: ", a.attempt, a.attempts);
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
