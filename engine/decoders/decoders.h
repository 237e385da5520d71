// The decoders of the compressed methods: their one result vocabulary, the records they keep in
// the engine state, their table entries and their entry points.
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

// --- The records of the decoders ---------------------------------------------------------------

// The bit input of every decoder over the member's compressed bytes: what a decode loop keeps in
// registers. Its rules and operations are in bit_input.h.
struct BitInput {
    uint64_t bits = 0;                   // held bits, the next one in bit 0
    unsigned count = 0;                  // how many bits are held
    const unsigned char *next = nullptr; // next byte in the engine's input window
    int32_t direct = 0;                  // bytes at `next` that belong to the member
};

// What the input knows about the member's end: what a byte past it reads as for the decoder at
// work, and how many such fill bytes it has supplied.
struct InputEnd {
    unsigned char fill = 0;
    unsigned fill_bytes = 0;
};

// The member's bytes beyond the engine's input window, when many are left: read straight into
// the decoders' own buffer (DecoderState::bulk_buffer) a piece of BULK_PIECE_SIZE at a time, one
// read instead of one per input block. The engine's input window is brought back to where the
// member's bytes end when the decoder hands the input back.
constexpr int BULK_PIECE_SIZE = 65536;
constexpr int BULK_INPUT_THRESHOLD = 16384; // member bytes left that make pieces worth it
struct BulkInput {
    bool active = false;
    int64_t piece_position = 0;             // archive file position of the piece's first byte
    int64_t next_position = 0;              // and of the byte after the piece
    const unsigned char *settled = nullptr; // bytes before this one are counted as used
};

// Deflate's output area: the history that a match may reach back into (the last WINDOW_SIZE bytes
// written out) followed by the run being decoded, which goes out to write_out in one block once
// it passes DEFLATE_RUN_SIZE bytes. The slack after the run takes a match begun just before that
// mark, and the bytes that the wide literal stores and match copies write beyond their end.
constexpr unsigned DEFLATE_RUN_SIZE = 262144;
constexpr unsigned DEFLATE_SLACK = 258 + 32;
constexpr unsigned DEFLATE_AREA_SIZE = WINDOW_SIZE + DEFLATE_RUN_SIZE + DEFLATE_SLACK;

// Deflate: the member's input and output position across its blocks, and the fixed codes.
struct DeflateState {
    BitInput input;
    unsigned out_pos = 0;           // next write position in the output area
    unsigned unwritten = 0;         // the first byte of the area not yet written out
    bool use_literal_pairs = false; // the member is long enough for literal pairs to pay
    // The fixed codes' packed tables, built by the first fixed block of an engine call and kept
    // until deflate_release_fixed_tables.
    uint32_t *fixed_literals = nullptr;
    uint32_t *fixed_distances = nullptr;
    unsigned code_lengths[288 + 32] = {}; // the lengths read by one dynamic block
};

// Shrink: the code state and the output position in the engine's output buffer.
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

struct DecoderState {
    unsigned char window_area[WINDOW_SIZE] = {};
    unsigned char deflate_area[DEFLATE_AREA_SIZE]; // no bytes kept from one member to the next
    unsigned char bulk_buffer[BULK_PIECE_SIZE];
    InputEnd input_end;
    BulkInput bulk;
    DeflateState deflate;
    ShrinkState shrink;
    ReduceState reduce;
    ImplodeState implode;
    uint16_t sorted_symbols[MAX_CODE_SYMBOLS] = {}; // build_decode_table's work array
};

// --- Entry points ------------------------------------------------------------------------------
// Each decodes the current member from the engine's input (positioned at its first compressed
// byte, the member counters set) through write_out.

DecodeResult deflate_decode_member();
// Releases the fixed codes' tables; the engine calls it when a call ends.
void deflate_release_fixed_tables();
DecodeResult implode_decode_member();
DecodeResult shrink_decode_member();
DecodeResult reduce_decode_member();

// First-level bits asked for implode's distance tree: more for members above 200000 compressed
// bytes.
int implode_distance_lookup_bits(int32_t compressed_size);
