// The engine's one state: its definition, the fresh start of every engine call and the release of
// what a call allocates.
#include <cstdlib>

#include "engine/decoders/decoders.h"
#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

EngineState engine;

bool allocate_call_buffers() {
    engine.input.buffer = static_cast<unsigned char *>(std::calloc(1, INPUT_BUFFER_SIZE));
    engine.output.buffer = static_cast<unsigned char *>(std::malloc(OUTPUT_BUFFER_SIZE));
    if (engine.input.buffer == nullptr || engine.output.buffer == nullptr) {
        std::free(engine.input.buffer);
        std::free(engine.output.buffer);
        engine.input.buffer = engine.output.buffer = nullptr;
        return false;
    }
    engine.input.hold_area = engine.input.buffer + INPUT_BLOCK_SIZE;
    return true;
}

void release_call_resources() {
    deflate_release_fixed_tables(engine.decoders);
    checkdir(nullptr, CD_RELEASE_ROOT);
    std::free(engine.output.text_conversion_buffer);
    engine.output.text_conversion_buffer = nullptr;
    std::free(engine.extra_field);
    engine.extra_field = nullptr;
    engine.extra_length = 0;
    std::free(engine.input.buffer);
    engine.input.buffer = engine.input.hold_area = nullptr;
    engine.input.read_pos = nullptr;
    std::free(engine.output.buffer);
    engine.output.buffer = nullptr;
}

void reset_engine_state() {
    release_call_resources();
    ExpansionState &expansion = engine.host.expansion;
    if (expansion.search != nullptr) dir_search_close(expansion.search);
    std::free(expansion.folder);

    engine.options = EngineOptions{};
    engine.names = NameLists{};
    engine.program_name = engine.archive_arg = engine.archive_name = engine.archive_path = nullptr;
    engine.input = InputWindow{};
    engine.end_record = EndRecord{};
    engine.end_record_offset = engine.expected_end_offset = 0;
    engine.central = CentralHeader{};
    engine.local = LocalHeader{};
    engine.current = nullptr;
    engine.filename[0] = '\0';
    engine.output = OutputState{};
    engine.extraction = ExtractionState{};
    engine.listed_member = MemberEntry{};
    // The decoders' work area holds nothing between members: every decoder sets up what it reads.
    engine.bulk = BulkInput{};
    engine.decoders.input_feed = InputFeed{};
    engine.decoders.deflate = DeflateState{};
    engine.decoders.shrink = ShrinkState{};
    engine.decoders.reduce = ReduceState{};
    engine.decoders.implode = ImplodeState{};
    engine.host.mapping = MappingState{};
    engine.host.expansion = ExpansionState{};
    engine.host.output_file = OutputFileState{};
    engine.host.time_zone = TimeZoneState{};
    engine.decryption = DecryptionState{};
    engine.host.creation_mask = CreationMask{};
    engine.stored_name.clear();
}

void set_replace_policy(ReplacePolicy policy) {
    engine.kept.replace_policy = policy;
}
