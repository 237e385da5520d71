// The output writer: CRC-32 and line-end conversion across block boundaries.
#include <gtest/gtest.h>

#include <string>

#include "engine/crc32.h"
#include "engine/decoders/decoders.h"
#include "engine/engine.h"
#include "tests/support/decoder_harness.h"

using namespace qeltest;

namespace {
// Passes text through write_out in the given block sizes with conversion on; returns the output.
std::string convert(const std::string &text, const std::vector<size_t> &blocks) {
    std::FILE *out = std::tmpfile();
    static unsigned char buffer[OUTPUT_BUFFER_SIZE];
    static MemberEntry entry;
    entry = MemberEntry{};
    entry.convert_text = 1;
    engine.current = &entry;
    engine.output.buffer = buffer;
    engine.output.file = out;
    engine.options.test = 0;
    engine.options.to_stdout = 0;
    engine.output.disk_full_state = DiskFullState::none;
    engine.output.first_block = 1;
    engine.output.crc_accumulator = 0xFFFFFFFFu;
    size_t at = 0;
    for (size_t n : blocks) {
        write_out(reinterpret_cast<const unsigned char *>(text.data()) + at,
                  static_cast<unsigned>(n), 0);
        at += n;
    }
    std::fflush(out);
    std::rewind(out);
    std::string result;
    int c;
    while ((c = std::fgetc(out)) != EOF) result.push_back(static_cast<char>(c));
    std::fclose(out);
    engine.output.file = nullptr;
    engine.output.buffer = nullptr;
    engine.current = nullptr;
    return result;
}
} // namespace

TEST(Crc32, KnownValues) {
    EXPECT_EQ(crc_table[1], 0x77073096u);
    const unsigned char abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(~crc32_update(0xFFFFFFFFu, abc, 3), 0x352441C2u);
}

TEST(TextConversion, LineEndsBecomeCrLf) {
    EXPECT_EQ(convert("a\rb\nc\r\nd", {8}), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(convert("x\r\r\ny", {5}), "x\r\n\r\ny");
}

TEST(TextConversion, CrLfSplitAcrossBlocksGivesOnePair) {
    EXPECT_EQ(convert("ab\r\ncd", {3, 3}), "ab\r\ncd");
    EXPECT_EQ(convert("ab\r\rcd", {3, 3}), "ab\r\n\r\ncd");
}

TEST(TextConversion, OversizedBlockIsConvertedInPieces) {
    std::string text(70000, '\n');
    std::string converted = convert(text, {text.size()});
    EXPECT_EQ(converted.size(), 140000u);
}
