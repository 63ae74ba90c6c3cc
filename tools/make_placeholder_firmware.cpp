// Writes the synthetic S-record image the tool carries while the radio's firmware is not at
// hand. The bytes are noise, but the layout is that of the real image: the same line count,
// record sizes, gaps, column phases, used rows and used blocks, so that startup, the block
// write and their tests see what they will see with the real file.
//
//   make_placeholder_firmware OUTPUT
//
// The output is the same on every run and every platform: the layout follows from the tables
// below, the bytes from a fixed-seed xorshift generator. After writing, the file is read back
// and every layout figure is checked; any mismatch ends the program with status 1.

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint32_t kBase = 0xC0000;
constexpr std::uint32_t kImageSize = 0x40000;
constexpr std::uint32_t kRowSize = 16;
constexpr std::uint32_t kBlockSize = 1024;
constexpr std::uint32_t kRowCount = kImageSize / kRowSize;
constexpr std::uint32_t kBlockCount = kImageSize / kBlockSize;
constexpr std::uint32_t kFullRecord = 32;

constexpr std::string_view kHeaderLine = "S0030000FC";
constexpr std::string_view kTerminationLine = "S804000000FB";

// The figures of the real image.
constexpr std::size_t kLineCount = 6946;
constexpr std::size_t kDataRecords = 6944;
constexpr std::size_t kFullRecords = 6830;
constexpr std::uint32_t kDataBytes = 220296;
constexpr std::size_t kGapCount = 42;
constexpr std::uint32_t kGapBytes = 41848;
constexpr std::size_t kColumnZeroStarts = 1010;
constexpr std::uint32_t kUsedRows = 13767;
constexpr std::uint32_t kUsedBlocks = 220;
constexpr std::uint32_t kHeaderBytes = 8;  // first record, at kBase
constexpr std::uint32_t kVectorBytes = 4;  // last record, ending at the top of the image

// The image as sections of data. Every section is written as 32-byte records from its start
// and one shorter record for its remainder, so there are as many short records as sections.
// The sections sit in five segments whose ends are 1 KiB aligned; the blocks between the
// segments hold nothing, and inside a segment some sections are followed by a small gap.
struct Segment {
    std::uint32_t firstBlock;
    std::uint32_t endBlock;
    std::size_t sections;
    std::size_t gaps;
};
constexpr std::array<Segment, 5> kSegments{{
    {0, 24, 14, 4},
    {36, 90, 28, 9},
    {99, 150, 26, 9},
    {158, 205, 24, 8},
    {212, 256, 22, 8},
}};
constexpr std::size_t kSectionCount = kDataRecords - kFullRecords;
constexpr std::size_t kSmallGapCount = kGapCount - (kSegments.size() - 1);
static_assert([] {
    std::size_t sections = 0, gaps = 0;
    for (const auto& segment : kSegments) {
        sections += segment.sections;
        gaps += segment.gaps;
    }
    return sections == kSectionCount && gaps == kSmallGapCount;
}());
// One section is a single byte, so the shortest possible record occurs.
constexpr std::size_t kOneByteSection = 57;
constexpr std::uint32_t kMinGap = 4;
constexpr std::uint32_t kMaxGap = 260;

// Fixed-seed xorshift32: its sequence does not depend on the standard library.
class Xorshift32 {
  public:
    std::uint32_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    // A value in [low, high]; the modulo bias does not matter for a placeholder.
    std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
        return low + Next() % (high - low + 1);
    }

  private:
    std::uint32_t m_state = 0x2545F491;
};

struct Section {
    std::uint32_t tail = 0;         // bytes of the short record, 1..31
    std::uint32_t fullRecords = 0;  // 32-byte records before it
    std::uint32_t gapAfter = 0;     // bytes left empty after the section
    std::uint32_t start = 0;        // address, set once the lengths are known
    std::uint32_t Length() const { return fullRecords * kFullRecord + tail; }
};

struct Layout {
    std::vector<Section> sections;
    std::vector<std::uint8_t> bytes;  // kImageSize bytes from kBase, 0xFF where no data
    std::vector<bool> covered;        // kImageSize flags: a record stores this byte
};

std::uint32_t SegmentStart(const Segment& segment) {
    return kBase + segment.firstBlock * kBlockSize;
}
std::uint32_t SegmentLength(const Segment& segment) {
    return (segment.endBlock - segment.firstBlock) * kBlockSize;
}

// The values in [low, high] that leave `budget - value` reachable by `after` more values
// each in [low, high].
struct Window {
    std::uint32_t lo;
    std::uint32_t hi;
};
Window WithinBudget(std::uint32_t low, std::uint32_t high, std::uint32_t budget,
                    std::size_t after) {
    const auto n = static_cast<std::int64_t>(after);
    const std::int64_t lo = std::max<std::int64_t>(low, std::int64_t{budget} - high * n);
    const std::int64_t hi = std::min<std::int64_t>(high, std::int64_t{budget} - low * n);
    return {static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(hi)};
}
// Draws around the average still to be spent, so the last values are not squeezed to an end
// of the range.
std::uint32_t DrawWithinBudget(Xorshift32& rng, std::uint32_t low, std::uint32_t high,
                               std::uint32_t budget, std::size_t after) {
    const Window window = WithinBudget(low, high, budget, after);
    const std::uint32_t average =
        std::clamp<std::uint32_t>(budget / static_cast<std::uint32_t>(after + 1), low, high);
    const std::uint32_t spread = std::min(average - low, high - average);
    return rng.Between(std::max(window.lo, average - spread),
                       std::min(window.hi, average + spread));
}

// The bytes the segments leave between them; the rest of the gap bytes lie inside segments.
std::uint32_t GapBytesBetweenSegments() {
    std::uint32_t inSegments = 0;
    for (const auto& segment : kSegments) inSegments += SegmentLength(segment);
    return kImageSize - inSegments;
}

bool IsFree(std::size_t index) {
    return index != 0 && index != kSectionCount - 1 && index != kOneByteSection;
}

// Remainders of the sections: the header and the reset vector are fixed, the rest add up so
// that the short records hold the data the 32-byte records leave over.
void ChooseTails(std::vector<Section>& sections, Xorshift32& rng) {
    sections.front().tail = kHeaderBytes;
    sections.back().tail = kVectorBytes;
    sections[kOneByteSection].tail = 1;
    const std::uint32_t shortBytes = kDataBytes - kFullRecords * kFullRecord;
    std::uint32_t budget = shortBytes - kHeaderBytes - kVectorBytes - 1;
    std::size_t left = kSectionCount - 3;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (!IsFree(i)) continue;
        --left;
        sections[i].tail = DrawWithinBudget(rng, 1, kFullRecord - 1, budget, left);
        budget -= sections[i].tail;
    }
}

// Gaps inside the segments, spread evenly over the section boundaries. The last gap of each
// segment is chosen so that the segment's remainders and gaps come to a multiple of 32: then
// whole 32-byte records fill the segment up to its aligned end.
void ChooseGaps(std::vector<Section>& sections, Xorshift32& rng) {
    std::uint32_t budget = kGapBytes - GapBytesBetweenSegments();
    std::size_t left = kSmallGapCount;
    std::size_t first = 0;
    for (std::size_t s = 0; s < kSegments.size(); ++s) {
        const std::size_t count = kSegments[s].sections;
        const std::size_t gaps = kSegments[s].gaps;
        std::uint32_t sum = 0;
        for (std::size_t i = first; i < first + count; ++i) sum += sections[i].tail;
        std::size_t placed = 0;
        for (std::size_t boundary = 0; boundary + 1 < count; ++boundary) {
            if ((boundary + 1) * gaps / (count - 1) == boundary * gaps / (count - 1)) continue;
            ++placed;
            --left;
            Section& section = sections[first + boundary];
            if (left == 0) {
                section.gapAfter = budget;
            } else if (placed == gaps) {
                const Window window = WithinBudget(kMinGap, kMaxGap, budget, left);
                std::uint32_t gap = rng.Between(window.lo, window.hi);
                gap += (kFullRecord - (sum + gap) % kFullRecord) % kFullRecord;
                if (gap > window.hi) gap -= kFullRecord;
                section.gapAfter = gap;
            } else {
                section.gapAfter = DrawWithinBudget(rng, kMinGap, kMaxGap, budget, left);
            }
            budget -= section.gapAfter;
            sum += section.gapAfter;
        }
        first += count;
    }
}

bool StartsAtColumnZero(const Section& section) {
    return section.start % kRowSize == 0;
}

// Where each section starts. The 32-byte records do not move the column phase, so the phase
// of a section's start is fixed by the remainders and gaps before it in its segment.
void PlaceSections(std::vector<Section>& sections) {
    std::size_t first = 0;
    for (const auto& segment : kSegments) {
        std::uint32_t address = SegmentStart(segment);
        for (std::size_t i = first; i < first + segment.sections; ++i) {
            sections[i].start = address;
            address += sections[i].Length() + sections[i].gapAfter;
        }
        first += segment.sections;
    }
}

// Fills each segment with 32-byte records, shared out by random weights, then moves records
// between sections that start at column 0 and sections that do not until the column-0
// starts come to the real image's count.
bool ChooseFullRecords(std::vector<Section>& sections, Xorshift32& rng) {
    PlaceSections(sections);  // phases only; the records come next
    std::size_t first = 0;
    std::size_t columnZero = 0;
    for (const auto& segment : kSegments) {
        std::uint32_t fixed = 0;
        std::uint32_t weights = 0;
        std::vector<std::uint32_t> weight(segment.sections, 0);
        for (std::size_t i = first; i < first + segment.sections; ++i) {
            fixed += sections[i].tail + sections[i].gapAfter;
            if (IsFree(i)) weights += weight[i - first] = rng.Between(1, 64);
        }
        if (fixed % kFullRecord != 0) return false;
        const std::uint32_t records = (SegmentLength(segment) - fixed) / kFullRecord;
        std::uint32_t given = 0;
        for (std::size_t i = first; i < first + segment.sections; ++i) {
            sections[i].fullRecords = records * weight[i - first] / weights;
            given += sections[i].fullRecords;
        }
        // The rounding leaves fewer records than sections; the first free ones take them.
        for (std::size_t i = first; given < records; ++i) {
            if (IsFree(i)) {
                ++sections[i].fullRecords;
                ++given;
            }
        }
        first += segment.sections;
    }
    for (const auto& section : sections) {
        if (StartsAtColumnZero(section)) columnZero += section.fullRecords + 1;
    }

    first = 0;
    for (const auto& segment : kSegments) {
        std::vector<std::size_t> zero;
        std::vector<std::size_t> other;
        for (std::size_t i = first; i < first + segment.sections; ++i) {
            if (IsFree(i)) (StartsAtColumnZero(sections[i]) ? zero : other).push_back(i);
        }
        first += segment.sections;
        if (zero.empty() || other.empty()) continue;
        // Too few column-0 starts: give records to the column-0 sections; too many: take.
        const bool give = columnZero < kColumnZeroStarts;
        auto& from = give ? other : zero;
        auto& to = give ? zero : other;
        std::size_t f = 0;
        std::size_t t = 0;
        std::size_t idle = 0;
        while (columnZero != kColumnZeroStarts && idle < from.size()) {
            Section& donor = sections[from[f]];
            f = (f + 1) % from.size();
            if (donor.fullRecords <= 1) {
                ++idle;
                continue;
            }
            idle = 0;
            --donor.fullRecords;
            ++sections[to[t]].fullRecords;
            t = (t + 1) % to.size();
            columnZero = give ? columnZero + 1 : columnZero - 1;
        }
    }
    PlaceSections(sections);
    return columnZero == kColumnZeroStarts;
}

// Fills the data with noise, then turns whole data rows into 0xFF, one per block, until the
// used rows come to the real image's count: a row holding nothing but 0xFF is not used.
bool FillBytes(Layout& layout, Xorshift32& rng) {
    layout.bytes.assign(kImageSize, 0xFF);
    layout.covered.assign(kImageSize, false);
    for (const auto& section : layout.sections) {
        for (std::uint32_t a = section.start; a < section.start + section.Length(); ++a) {
            layout.bytes[a - kBase] = static_cast<std::uint8_t>(rng.Next() >> 24);
            layout.covered[a - kBase] = true;
        }
    }
    auto rowUsed = [&](std::uint32_t row) {
        for (std::uint32_t c = 0; c < kRowSize; ++c) {
            const std::uint32_t i = row * kRowSize + c;
            if (layout.covered[i] && layout.bytes[i] != 0xFF) return true;
        }
        return false;
    };
    auto rowFull = [&](std::uint32_t row) {
        for (std::uint32_t c = 0; c < kRowSize; ++c) {
            if (!layout.covered[row * kRowSize + c]) return false;
        }
        return true;
    };
    std::uint32_t used = 0;
    std::vector<std::uint32_t> candidates;
    const std::uint32_t rowsPerBlock = kBlockSize / kRowSize;
    for (std::uint32_t row = 0; row < kRowCount; ++row) {
        if (!rowUsed(row)) continue;
        ++used;
        if (row % rowsPerBlock == rowsPerBlock / 2 && rowFull(row)) candidates.push_back(row);
    }
    if (used < kUsedRows) return false;
    const std::uint32_t blank = used - kUsedRows;
    if (blank > candidates.size()) return false;
    for (std::uint32_t k = 0; k < blank; ++k) {
        const std::uint32_t row = candidates[k * candidates.size() / blank];
        for (std::uint32_t c = 0; c < kRowSize; ++c) layout.bytes[row * kRowSize + c] = 0xFF;
    }
    return true;
}

void AppendHex(std::string& out, std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int d = digits - 1; d >= 0; --d) out += kDigits[(value >> (4 * d)) & 0xF];
}

std::string RecordLine(std::uint32_t address, const std::uint8_t* data, std::uint32_t size) {
    const std::uint32_t count = 3 + size + 1;
    std::uint32_t sum = count + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF);
    std::string line = "S2";
    AppendHex(line, count, 2);
    AppendHex(line, address, 6);
    for (std::uint32_t i = 0; i < size; ++i) {
        AppendHex(line, data[i], 2);
        sum += data[i];
    }
    AppendHex(line, ~sum & 0xFF, 2);
    return line;
}

std::string Render(const Layout& layout) {
    std::string text;
    text.reserve(kLineCount * 80);
    text.append(kHeaderLine).append("\r\n");
    for (const auto& section : layout.sections) {
        for (std::uint32_t offset = 0; offset < section.Length(); offset += kFullRecord) {
            const std::uint32_t size = std::min(kFullRecord, section.Length() - offset);
            const std::uint32_t address = section.start + offset;
            text.append(RecordLine(address, &layout.bytes[address - kBase], size)).append("\r\n");
        }
    }
    text.append(kTerminationLine).append("\r\n");
    return text;
}

// ---- Checking the written file, from its text alone ----

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Checker {
  public:
    void Expect(bool holds, const std::string& what) {
        if (!holds) {
            std::cerr << "make_placeholder_firmware: " << what << "\n";
            m_ok = false;
        }
    }
    template <typename T>
    void ExpectEqual(T seen, T wanted, const std::string& what) {
        std::ostringstream text;
        text << what << ": " << seen << ", wanted " << wanted;
        Expect(seen == wanted, text.str());
    }
    bool Ok() const { return m_ok; }

  private:
    bool m_ok = true;
};

bool CheckText(const std::string& text) {
    Checker check;
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            check.Expect(false, "last line has no CR LF");
            break;
        }
        lines.emplace_back(text.data() + at, end - at);
        at = end + 2;
    }
    check.ExpectEqual(lines.size(), kLineCount, "lines");
    if (lines.size() < 3) return false;
    check.Expect(lines.front() == kHeaderLine, "first line is not the S0 header");
    check.Expect(lines.back() == kTerminationLine, "last line is not the S8 termination");

    std::vector<bool> used(kRowCount, false);
    std::uint32_t expectedNext = kBase;
    std::size_t fullRecords = 0, shortRecords = 0, columnZero = 0, gaps = 0;
    std::uint32_t dataBytes = 0, gapBytes = 0;
    std::size_t shortest = 1000, longest = 0;
    for (std::size_t n = 1; n + 1 < lines.size(); ++n) {
        const std::string_view line = lines[n];
        const std::string where = "line " + std::to_string(n + 1);
        bool hex = line.size() >= 14 && line.size() % 2 == 0 && line.substr(0, 2) == "S2";
        for (std::size_t i = 2; hex && i < line.size(); ++i) hex = HexValue(line[i]) >= 0;
        check.Expect(hex, where + " is not an S2 record in upper-case hex");
        if (!hex) continue;
        auto byteAt = [&](std::size_t pair) {
            return static_cast<std::uint32_t>(HexValue(line[2 + 2 * pair]) * 16 +
                                              HexValue(line[3 + 2 * pair]));
        };
        const std::uint32_t count = byteAt(0);
        check.Expect(line.size() == 2 * count + 4, where + " length disagrees with its count");
        if (line.size() != 2 * count + 4) continue;
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i <= count; ++i) sum += byteAt(i);
        check.Expect((sum & 0xFF) == 0xFF, where + " has a wrong checksum");

        const std::uint32_t address = byteAt(1) << 16 | byteAt(2) << 8 | byteAt(3);
        const std::uint32_t size = count - 4;
        check.Expect(size >= 1 && size <= kFullRecord, where + " carries 0 or over 32 bytes");
        check.Expect(address >= expectedNext, where + " overlaps or goes back");
        check.Expect(address + size <= kBase + kImageSize, where + " runs past the image");
        if (address < expectedNext || address + size > kBase + kImageSize) continue;
        if (address > expectedNext) {
            ++gaps;
            gapBytes += address - expectedNext;
        }
        expectedNext = address + size;
        dataBytes += size;
        (size == kFullRecord ? fullRecords : shortRecords) += 1;
        if (address % kRowSize == 0) ++columnZero;
        shortest = std::min(shortest, line.size());
        longest = std::max(longest, line.size());
        for (std::uint32_t i = 0; i < size; ++i) {
            if (byteAt(4 + i) != 0xFF) used[(address + i - kBase) / kRowSize] = true;
        }
    }
    check.Expect(lines[1].substr(0, 10) == "S20C0C0000", "first record is not 8 bytes at C0000");
    check.Expect(lines[lines.size() - 2].substr(0, 10) == "S2080FFFFC",
                 "last record is not 4 bytes at FFFFC");
    check.ExpectEqual(expectedNext, kBase + kImageSize, "end of the last record");
    check.ExpectEqual(fullRecords + shortRecords, kDataRecords, "S2 records");
    check.ExpectEqual(fullRecords, kFullRecords, "32-byte records");
    check.ExpectEqual(dataBytes, kDataBytes, "data bytes");
    check.ExpectEqual(gaps, kGapCount, "gaps");
    check.ExpectEqual(gapBytes, kGapBytes, "gap bytes");
    check.ExpectEqual(columnZero, kColumnZeroStarts, "records starting at column 0");
    check.ExpectEqual(shortest, std::size_t{14}, "shortest S2 line");
    check.ExpectEqual(longest, std::size_t{76}, "longest S2 line");

    std::uint32_t usedRows = 0, usedBlocks = 0;
    const std::uint32_t rowsPerBlock = kBlockSize / kRowSize;
    for (std::uint32_t block = 0; block < kBlockCount; ++block) {
        bool any = false;
        for (std::uint32_t r = block * rowsPerBlock; r < (block + 1) * rowsPerBlock; ++r) {
            usedRows += used[r];
            any = any || used[r];
        }
        usedBlocks += any;
    }
    check.ExpectEqual(usedRows, kUsedRows, "used rows");
    check.ExpectEqual(usedBlocks, kUsedBlocks, "used blocks");
    return check.Ok();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_placeholder_firmware OUTPUT\n";
        return 2;
    }
    Xorshift32 rng;
    Layout layout;
    layout.sections.resize(kSectionCount);
    ChooseTails(layout.sections, rng);
    ChooseGaps(layout.sections, rng);
    if (!ChooseFullRecords(layout.sections, rng)) {
        std::cerr << "make_placeholder_firmware: the column-0 starts cannot be matched\n";
        return 1;
    }
    if (!FillBytes(layout, rng)) {
        std::cerr << "make_placeholder_firmware: the used rows cannot be matched\n";
        return 1;
    }
    {
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        out << Render(layout);
        if (!out.flush()) {
            std::cerr << "make_placeholder_firmware: cannot write " << argv[1] << "\n";
            return 1;
        }
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    return CheckText(written.str()) ? 0 : 1;
}
