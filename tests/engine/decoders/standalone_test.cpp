// The decoders on their own: every method's stream decoded from a byte buffer through a source
// and a sink of the test's making, with nothing of the engine linked. However the source cuts
// its bytes into runs, the output, the result and the input used are the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/decoders/decoders.h"
#include "tests/support/deflate_writer.h"
#include "tests/support/legacy_encoders.h"

using namespace qeltest;

namespace {

// A member's bytes in memory, handed out in runs of at most `run_limit` bytes.
struct MemorySource {
    const unsigned char *at;
    const unsigned char *end;
    int32_t run_limit;
    int32_t past_end = 0; // bytes asked for past the end
};

int memory_next(void *context, const unsigned char *used_to, const unsigned char **run,
                int32_t *run_length) {
    auto &m = *static_cast<MemorySource *>(context);
    if (used_to != nullptr) m.at = used_to;
    if (m.at == m.end) {
        ++m.past_end;
        *run = m.at;
        *run_length = 0;
        return -1;
    }
    int b = *m.at++;
    *run = m.at;
    *run_length = std::min<int32_t>(static_cast<int32_t>(m.end - m.at), m.run_limit);
    return b;
}

int64_t memory_finish(void *context, const unsigned char *used_to) {
    auto &m = *static_cast<MemorySource *>(context);
    if (used_to != nullptr) m.at = used_to;
    return (m.end - m.at) - m.past_end;
}

void memory_write(void *context, const unsigned char *block, unsigned length) {
    auto &out = *static_cast<Bytes *>(context);
    out.insert(out.end(), block, block + length);
}

// A text that repeats with variations, so that every method finds matches and literals.
Bytes sample_text() {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i % 37) + ": the quick brown fox " +
                std::string(static_cast<size_t>(i % 11), 'x') + "\n";
    return Bytes(text.begin(), text.end());
}

// The text as one fixed-code deflate block: literals, then a match wherever the 48 bytes back
// repeat at least three bytes.
Bytes deflate_fixed(const Bytes &data) {
    DeflateWriter d;
    d.fixed_header(true);
    size_t i = 0;
    while (i < data.size()) {
        size_t n = 0;
        while (i >= 48 && i + n < data.size() && n < 258 && data[i + n] == data[i + n - 48]) ++n;
        if (n >= 3) {
            d.fixed_match(static_cast<unsigned>(n), 48);
            i += n;
        } else {
            d.fixed_literal(data[i++]);
        }
    }
    d.fixed_end();
    return d.finish();
}

struct Row {
    const char *name;
    DecoderEntry decoder;
    uint16_t method;
    uint16_t flags;
    Bytes (*encode)(const Bytes &);
};

const Row rows[] = {
    {"deflate", deflate_decode_member, 8, 0, deflate_fixed},
    {"shrink", shrink_decode_member, 1, 0, [](const Bytes &d) { return shrink_encode(d).stream; }},
    {"reduce factor 2", reduce_decode_member, 3, 0,
     [](const Bytes &d) { return reduce_encode(d, 2); }},
    {"implode 8K, literal tree", implode_decode_member, 6, 6,
     [](const Bytes &d) { return implode_encode(d, 6); }},
};

TEST(StandaloneDecoders, DecodeFromMemoryWhateverTheRuns) {
    const Bytes data = sample_text();
    auto state = std::make_unique<DecoderState>();
    for (const Row &row : rows) {
        const Bytes stream = row.encode(data);
        const MemberFacts member{row.method, row.flags, static_cast<uint32_t>(stream.size()),
                                 static_cast<uint32_t>(data.size())};
        for (int32_t run_limit : {1, 7, 4096}) {
            SCOPED_TRACE(std::string(row.name) + ", runs of " + std::to_string(run_limit));
            MemorySource source{stream.data(), stream.data() + stream.size(), run_limit};
            Bytes out;
            const ByteSource input{
                &source, stream.data(),
                std::min<int32_t>(static_cast<int32_t>(stream.size()), run_limit), memory_next,
                memory_finish};
            const ByteSink output{&out, memory_write};
            DecodeOutcome outcome = row.decoder(*state, member, input, output);
            EXPECT_EQ(outcome.result, DecodeResult::ok);
            EXPECT_TRUE(out == data);
            // The decoder handed back all of the stream and at most the look-ahead past it.
            int32_t left = memory_finish(&source, nullptr);
            EXPECT_LE(left, 0);
            EXPECT_GE(left, -16);
            if (row.decoder == implode_decode_member) {
                EXPECT_EQ(outcome.used_compressed_size, static_cast<int32_t>(stream.size()));
            }
        }
    }
    deflate_release_fixed_tables(*state);
    EXPECT_EQ(state->table_memory.live_blocks, 0);
}

} // namespace
