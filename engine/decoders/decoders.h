// The decoders of the compressed methods: their one result vocabulary, what a caller hands them
// (the member's facts, its bytes, a place for the output), the records they keep, their table
// entries and their entry points. Nothing here reaches into the engine.
#pragma once

#include <cstdint>

// The one work area of WINDOW_SIZE bytes: deflate's and implode's sliding window, shrink's and
// reduce's tables. One decoder uses it at a time (and the stored copy).
constexpr int WINDOW_SIZE = 32768;

// What a decoder says about a member. The extraction driver turns it into messages and an
// EngineStatus in one place; the table builders answer in the same words.
enum class DecodeResult {
    ok,
    bad_data,        // the data breaks the format: an invalid code, a count out of range, a
                     // match before the member's start, a string too long, input run out
    incomplete_code, // a code leaves part of its code space unused where it may not
    over_subscribed, // code lengths describe more codes than the code space holds
    bad_block_type,  // deflate: block type 3
    bad_tree,        // implode: a tree description that does not describe its symbols
    no_memory,       // a table or buffer could not be allocated
    size_mismatch,   // implode: decoded, but the compressed size was not used exactly
};

// A decoder's result with what the caller reports beside it: the decoders print nothing.
struct DecodeOutcome {
    DecodeResult result = DecodeResult::ok;
    unsigned incomplete_distance_codes = 0; // deflate: blocks decoded with an incomplete one
    bool incomplete_literal_code = false;   // deflate: the member ended on an incomplete one
    int64_t used_compressed_size = 0;       // implode: the input that was used
};

// Every check of what a member's data says goes through here, so that the decoders' rule for
// untrusted data reads in one place: a decoder that meets data it cannot trust returns a result
// at once and never decodes on by guessing.
#define CHECK_DATA(condition, failure)                                                             \
    do {                                                                                           \
        if (!(condition)) [[unlikely]]                                                             \
            return (failure);                                                                      \
    } while (0)

// --- Prefix-code table entries -----------------------------------------------------------------

// What a table entry means (its tag); 0..14 is a coded value with that many extra bits.
constexpr uint8_t TAG_END_OF_BLOCK = 15; // simple symbol 256 or above
constexpr uint8_t TAG_LITERAL = 16;      // simple symbol below 256; the value is the byte
constexpr uint8_t TAG_LINK_BASE = 16;    // 17..32: link to a table of (tag - 16) index bits
constexpr uint8_t TAG_INVALID = 99;      // code space that no symbol uses

constexpr unsigned MAX_CODE_SYMBOLS = 288;
constexpr unsigned MAX_CODE_LENGTH = 16;

// One entry of the linked multi-level tables (build_decode_table).
struct DecodeEntry {
    uint8_t tag;
    uint8_t width; // code bits consumed at this level (for a link: the holding table's index bits)
    union {
        uint16_t value;        // literal, symbol or base value
        DecodeEntry *subtable; // next-level table (links; the link slot's chain pointer)
    };
};

// Table memory, counted for the tests: blocks allocated and not yet released, and a countdown
// of allocations after which one fails (negative: never). Lives for the whole process.
struct TableMemory {
    long live_blocks = 0;
    long fail_after = -1;
};

// --- What a caller hands a decoder ----------------------------------------------------------

// The facts of the member that the decoders read.
struct MemberFacts {
    uint16_t method = 0;            // reduce: the compression factor
    uint16_t flags = 0;             // general purpose flags: implode's variant
    uint64_t compressed_size = 0;   // deflate and implode: how much input to expect
    uint64_t uncompressed_size = 0; // implode and reduce: how much output to make
};

// Where a member's compressed bytes come from. The bit input reads the run of bytes it was last
// handed straight through (the first run: `start`), and asks for the next byte when the run is
// used up.
struct ByteSource {
    void *context;
    const unsigned char *start; // the member's first bytes, `start_length` of them
    int32_t start_length;
    // Counts the bytes before `used_to` as used (nothing when it is null), then returns the
    // member's next byte, 0..255, or -1 at and past the member's end, and points `*run` at the
    // member's bytes after it that may be read straight through, `*run_length` of them.
    int (*next)(void *context, const unsigned char *used_to, const unsigned char **run,
                int32_t *run_length);
    // The decoder is done: counts the bytes before `used_to` as used and returns how many of the
    // member's bytes are left (negative: how many were asked for past its end).
    int64_t (*finish)(void *context, const unsigned char *used_to);
};

// Where a decoder's output goes, block by block, in order.
struct ByteSink {
    void *context;
    void (*write)(void *context, const unsigned char *block, unsigned length);
};

// --- The records of the decoders ---------------------------------------------------------------

// What the bit input knows beyond its registers: where its bytes come from, what a byte past
// the member's end reads as for the decoder at work, and how many such fill bytes it has
// supplied.
struct InputFeed {
    const ByteSource *source = nullptr;
    unsigned char fill = 0;
    unsigned fill_bytes = 0;
};

// The bit input of every decoder over the member's compressed bytes: what a decode loop keeps in
// registers. Its rules and operations are in bit_input.h.
struct BitInput {
    uint64_t bits = 0;                   // held bits, the next one in bit 0
    unsigned count = 0;                  // how many bits are held
    const unsigned char *next = nullptr; // next byte of the run the source handed over
    int32_t direct = 0;                  // bytes at `next` that belong to the member
    InputFeed *feed = nullptr;
};

// Deflate's output area: the history that a match may reach back into (the last WINDOW_SIZE bytes
// written out, DEFLATE64_HISTORY for deflate64) followed by the run being decoded, which goes out
// to write_out in one block once it passes DEFLATE_RUN_SIZE bytes. The slack after the run takes
// a match begun just before that mark (deflate64's longest), and the bytes that the wide literal
// stores and match copies write beyond their end.
constexpr unsigned DEFLATE64_HISTORY = 65536;
constexpr unsigned DEFLATE_RUN_SIZE = 262144;
constexpr unsigned DEFLATE_SLACK = 65538 + 32;
constexpr unsigned DEFLATE_AREA_SIZE = DEFLATE64_HISTORY + DEFLATE_RUN_SIZE + DEFLATE_SLACK;

// Deflate: the member's input and output position across its blocks, and the fixed codes.
struct DeflateState {
    BitInput input;
    unsigned char *area = nullptr;    // the output area (DecoderState::deflate_area)
    const ByteSink *output = nullptr; // where the runs go
    unsigned out_pos = 0;             // next write position in the output area
    unsigned unwritten = 0;           // the first byte of the area not yet written out
    bool use_literal_pairs = false;   // the member is long enough for literal pairs to pay
    // The fixed codes' packed tables, built by the first fixed block of an engine call and kept
    // until deflate_release_fixed_tables.
    uint32_t *fixed_literals = nullptr;
    uint32_t *fixed_distances = nullptr;
    uint32_t *fixed64_literals = nullptr; // the same for deflate64
    uint32_t *fixed64_distances = nullptr;
    unsigned code_lengths[288 + 32] = {}; // the lengths read by one dynamic block
};

// Shrink: the code state and the output position in its output block.
constexpr unsigned SHRINK_OUTPUT_SIZE = 65536;
struct ShrinkState {
    int code_width = 9;
    int next_free_code = 257;
    unsigned char *out_pos = nullptr;
    unsigned out_count = 0;
};

// Reduce: the size of every follower set (the sets themselves lie in the work area).
struct ReduceState {
    unsigned char follower_count[256] = {};
};

// Implode: the bit lengths of one Shannon-Fano tree as its description gives them.
struct ImplodeState {
    unsigned tree_lengths[256] = {};
};

// Everything the decoders keep; the caller hands it to each of them.
struct DecoderState {
    unsigned char window_area[WINDOW_SIZE] = {};
    unsigned char deflate_area[DEFLATE_AREA_SIZE]; // no bytes kept from one member to the next
    unsigned char shrink_output[SHRINK_OUTPUT_SIZE];
    InputFeed input_feed;
    DeflateState deflate;
    ShrinkState shrink;
    ReduceState reduce;
    ImplodeState implode;
    TableMemory table_memory; // kept for the whole process
};

// --- Entry points ------------------------------------------------------------------------------
// Each decodes one member: its compressed bytes from `input`, its output to `output`, its work
// areas and tables in `state`.

using DecoderEntry = DecodeOutcome (*)(DecoderState &state, const MemberFacts &member,
                                       const ByteSource &input, const ByteSink &output);

DecodeOutcome deflate_decode_member(DecoderState &state, const MemberFacts &member,
                                    const ByteSource &input, const ByteSink &output);
// Deflate64 (method 9): deflate with a 64K history, length code 285 as 3 plus 16 extra bits and
// the distance codes 30 and 31.
DecodeOutcome deflate64_decode_member(DecoderState &state, const MemberFacts &member,
                                      const ByteSource &input, const ByteSink &output);
// Releases the fixed codes' tables, which deflate and deflate64 keep from one member to the next.
void deflate_release_fixed_tables(DecoderState &state);
DecodeOutcome implode_decode_member(DecoderState &state, const MemberFacts &member,
                                    const ByteSource &input, const ByteSink &output);
DecodeOutcome shrink_decode_member(DecoderState &state, const MemberFacts &member,
                                   const ByteSource &input, const ByteSink &output);
DecodeOutcome reduce_decode_member(DecoderState &state, const MemberFacts &member,
                                   const ByteSource &input, const ByteSink &output);

// First-level bits asked for implode's distance tree: more for members above 200000 compressed
// bytes.
int implode_distance_lookup_bits(uint64_t compressed_size);
