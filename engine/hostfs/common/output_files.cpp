// Output files on every host: a member's new file is made in one exclusive step, and a member
// that replaces an existing file is written beside it and takes its place only when complete.
#include <cerrno>
#include <string>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

namespace {

void cannot_create() {
    std::fprintf(stderr, "\nerror:  cannot create %s\n", shown_name(engine.filename).c_str());
}

// Starts the output state of a member; the temporary names go on counting.
OutputFileState &fresh_output_state() {
    OutputFileState &output = engine.host.output_file;
    output = OutputFileState{0, 0, {}, output.next_temporary};
    return output;
}

// What the member's finished output file gets: its local header's date and time, its attributes
// (an archive file's without a current entry); the times of its extra fields, the local header's
// over the directory entry's; a Unix-made member's permissions.
MemberStamp member_stamp() {
    MemberStamp stamp{engine.local.mod_date, engine.local.mod_time,
                      engine.current ? engine.current->file_attributes : 0x20u};
    if (engine.current == nullptr) return stamp;
    MemberTimes times = engine.current->extra_times;
    read_extra_times(engine.extra_field, engine.extra_length, times);
    stamp.modified_known = times.modified_known;
    stamp.modified = times.modified;
    stamp.accessed_known = times.accessed_known;
    stamp.accessed = times.accessed;
    stamp.unix_mode = engine.current->unix_mode;
    stamp.fresh = !engine.host.output_file.replacing;
    if (stamp.unix_mode != 0 && !stamp.fresh) {
        CreationMask &mask = engine.host.creation_mask;
        if (!mask.known) {
            mask.bits = host_creation_mask();
            mask.known = 1;
        }
        stamp.creation_mask = mask.bits;
    }
    return stamp;
}

// A name beside the output file, in the same folder.
FolderEntry beside_output(const std::string &path) {
    return {engine.host.mapping.output_folder, host_base_name(path.c_str()), path.c_str(),
            engine.host.mapping.wide};
}

// Unbuffered, so that a failing write is seen by the writer and not lost at close.
void take_output(std::FILE *file) {
    std::setvbuf(file, nullptr, _IONBF, 0);
    engine.output.file = file;
}

} // namespace

FolderEntry output_entry() {
    return {engine.host.mapping.output_folder, host_base_name(engine.filename), engine.filename,
            engine.host.mapping.wide};
}

int output_status(HostFileInfo *info) {
    return host_lstat(output_entry(), info);
}

FileIdentity output_identity() {
    return host_path_identity(output_entry());
}

OutputOpen open_output() {
    fresh_output_state();
    std::FILE *file =
        host_create_exclusive(output_entry(), engine.current ? engine.current->unix_mode : 0);
    if (file == nullptr) {
        const int why = errno;
        if (why == EEXIST) return OutputOpen::exists;
        cannot_create();
        // A name the host cannot hold is the member's fault, not a full disk.
        return why == ENAMETOOLONG || why == ENOTDIR ? OutputOpen::bad_name : OutputOpen::failed;
    }
    take_output(file);
    return OutputOpen::created;
}

int open_replacement() {
    OutputFileState &output = fresh_output_state();
    HostFileInfo existing{};
    if (output_status(&existing) == 0 && existing.is_device) {
        // A device is not replaced by a file: it is written as it is.
        std::FILE *device = host_open_in_place(output_entry());
        if (device == nullptr) {
            cannot_create();
            return 1;
        }
        output.in_place = 1;
        take_output(device);
        return 0;
    }
    // A name beside the file that no other file has (8.3, for FAT folders too).
    const char *base = host_base_name(engine.filename);
    const std::string folder(engine.filename, static_cast<size_t>(base - engine.filename));
    std::FILE *file = nullptr;
    for (int attempt = 0; attempt < 1000 && file == nullptr; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "~qel%04x.tmp", output.next_temporary++ & 0xFFFFu);
        output.temporary = folder + name;
        file = host_create_exclusive(beside_output(output.temporary));
        if (file == nullptr && errno != EEXIST) break;
    }
    if (file == nullptr) {
        cannot_create();
        return 1;
    }
    host_keep_permissions(file, output_entry());
    output.replacing = 1;
    take_output(file);
    return 0;
}

int close_output(OutputEnd how) {
    if (engine.options.to_stdout) {
        std::fflush(stdout);
        return 0;
    }
    OutputFileState &output = engine.host.output_file;
    std::FILE *file = engine.output.file;
    engine.output.file = nullptr;
    const std::string written = output.replacing ? output.temporary : engine.filename;
    const bool keep =
        how == OutputEnd::complete ||
        (!output.replacing && (how == OutputEnd::damaged || how == OutputEnd::stopped));
    const FolderEntry written_entry = beside_output(written);
    if (file != nullptr)
        host_close_file(file, written_entry, keep && how != OutputEnd::stopped && !output.in_place,
                        member_stamp());
    int result = 0;
    if (!keep && !output.in_place) {
        host_remove_file(written_entry);
    } else if (output.replacing && !host_replace_file(written_entry, output_entry())) {
        cannot_create();
        host_remove_file(written_entry);
        result = 1;
    }
    output.replacing = output.in_place = 0;
    return result;
}
