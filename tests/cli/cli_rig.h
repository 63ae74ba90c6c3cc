#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "memory_image.h"
#include "sim_process.h"

// Texts in failure messages as text, not as a list of UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace vq::test {

// How one run of vqflash-cli ended.
struct CliRun {
    bool finished = false;  // it exited by itself, before the guard time ran out
    int exitCode = -1;
    QString out;
    QString err;

    QStringList outLines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    QStringList errLines() const { return err.split(u'\n', Qt::SkipEmptyParts); }
};

// Runs vqflash-cli with standard output and standard error on pipes.
CliRun RunCli(const QStringList& arguments);

// The carried image, read as the tool reads it at every start.
const MemoryImage& CarriedImage();

// The bytes first..last of an image, both addresses included.
QByteArray ImageBytes(const MemoryImage& image, std::uint32_t first, std::uint32_t last);

// Whether two stretches of flash that start at `base` agree; names the first difference.
::testing::AssertionResult SameBytes(const QByteArray& got, const QByteArray& want,
                                     std::uint32_t base);

// The start addresses of the image's used blocks from 0xC0000 up to `lastRow`.
std::vector<std::uint32_t> UsedBlocks(const MemoryImage& image, std::uint32_t lastRow);

// A tool the test needs (srec_cat, objcopy) when it was found at configure time.
QString ToolProgram(const char* configured);

// Runs a helper program and fails the test when it does not end with status 0.
::testing::AssertionResult RunTool(const QString& program, const QStringList& arguments);

// Tests that run the tool against simulated radios.
class CliTest : public ::testing::Test {
  protected:
    // Starts a simulated radio that dumps its flash into its folder.
    SimProcess& StartRadio(QStringList options = {});
    // The flash as the radio dumped it when the flash connection ended; empty without a dump.
    QByteArray Dump(const SimProcess& radio) const;
    // The kinds of the requests the radio saw, in order: "identify", "flash-write", ...
    QStringList RequestKinds(const SimProcess& radio) const;
    // The field NAME=... of every request, in order: "settings", "address", ...
    QStringList RequestFields(const SimProcess& radio, const QString& name) const;
    // The addresses of the write frames the radio saw, in order.
    std::vector<std::uint32_t> WrittenBlocks(const SimProcess& radio) const;

    std::vector<std::unique_ptr<SimProcess>> m_radios;
};

// Where a dump byte lies in the radio's address space.
constexpr std::uint32_t kFlashBase = 0xC0000;
constexpr std::uint32_t kTopOfNormalRange = 0xFEFFF;
constexpr std::uint32_t kTopOfFlash = 0xFFFFF;

}  // namespace vq::test
