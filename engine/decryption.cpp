// Traditional decryption of encrypted members: the stream cipher's keys, its byte decryption, and
// the start of an encrypted member (its password, its 12-byte header and the header's check).
#include <cstdio>
#include <cstring>

#include "engine/crc32.h"
#include "engine/engine.h"

namespace {

constexpr size_t PASSWORD_SIZE = 256; // the prompt's answer, with its NUL

[[gnu::always_inline]] inline uint32_t crc_step(uint32_t key, unsigned char byte) {
    return crc_table[(key ^ byte) & 0xFF] ^ (key >> 8);
}

// The keys after one more plain byte.
[[gnu::always_inline]] inline void update_keys(CipherKeys &k, unsigned char plain) {
    k.key0 = crc_step(k.key0, plain);
    k.key1 = (k.key1 + (k.key0 & 0xFF)) * 134775813u + 1;
    k.key2 = crc_step(k.key2, static_cast<unsigned char>(k.key1 >> 24));
}

[[gnu::always_inline]] inline unsigned char decrypt_byte(CipherKeys &k, unsigned char cipher) {
    uint32_t t = (k.key2 | 2) & 0xFFFF;
    auto plain = static_cast<unsigned char>(cipher ^ ((t * (t ^ 1)) >> 8));
    update_keys(k, plain);
    return plain;
}

// The password for the current archive's encrypted members: -P's, else the prompt's (asked once
// per archive, through the policy the command line set); null when there is none.
const char *archive_password() {
    DecryptionState &d = engine.decryption;
    if (d.have_given) return d.given.c_str();
    const char *archive = engine.archive_path ? engine.archive_path : "";
    if (d.answered_for != archive) {
        d.answered_for = archive;
        d.have_answered = false;
        d.answered.clear();
        char answer[PASSWORD_SIZE] = {};
        PasswordPolicy ask = engine.kept.password_policy;
        if (ask != nullptr && ask(engine.archive_name, answer, sizeof answer)) {
            answer[sizeof answer - 1] = '\0';
            d.answered = answer;
            d.have_answered = true;
        }
    }
    return d.have_answered ? d.answered.c_str() : nullptr;
}

// The member is not decrypted: its line, and the status of a member that could not be extracted.
bool refuse(const char *why, EngineStatus &status) {
    std::fprintf(stderr, "   skipping: %-22s  %s\n", shown_name(engine.filename).c_str(), why);
    raise_status(status, EngineStatus::error);
    return false;
}

} // namespace

void start_keys(CipherKeys &keys, const char *password) {
    keys = CipherKeys{};
    for (const char *p = password; *p; ++p) update_keys(keys, static_cast<unsigned char>(*p));
}

void decrypt_bytes(CipherKeys &keys, unsigned char *bytes, int32_t count) {
    CipherKeys k = keys;
    for (int32_t i = 0; i < count; ++i) bytes[i] = decrypt_byte(k, bytes[i]);
    keys = k;
}

bool start_member_decryption(EngineStatus &status) {
    DecryptionState &d = engine.decryption;
    d.active = false;
    if (engine.current == nullptr || !engine.current->encrypted) return true;
    const char *password = archive_password();
    if (password == nullptr) return refuse("encrypted (no password given)", status);
    if (engine.local.compressed_size < ENCRYPTION_HEADER_SIZE)
        return refuse("encrypted data shorter than their header", status);
    start_keys(d.keys, password);
    unsigned char last = 0;
    for (int i = 0; i < ENCRYPTION_HEADER_SIZE; ++i) {
        int b = next_byte();
        if (b < 0) return refuse("encrypted data shorter than their header", status);
        last = decrypt_byte(d.keys, static_cast<unsigned char>(b));
    }
    // The header's last byte repeats the CRC's high byte, or, for a member whose CRC follows its
    // data, the high byte of its time (some writers put the CRC's there too). One wrong password
    // in 256 passes; the CRC check after decoding finds it.
    const LocalHeader &l = engine.local;
    bool matches = last == (l.crc32 >> 24) || ((l.flags & 0x0008) && last == (l.mod_time >> 8));
    if (!matches) return refuse("incorrect password", status);
    d.active = true;
    return true;
}

uint64_t member_data_size() {
    uint64_t size = engine.local.compressed_size;
    return engine.decryption.active ? size - ENCRYPTION_HEADER_SIZE : size;
}

void set_password_policy(PasswordPolicy policy) {
    engine.kept.password_policy = policy;
}
