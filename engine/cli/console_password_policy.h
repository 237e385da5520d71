// The command line's answer to "password for this archive?": a prompt on the terminal.
#pragma once

#include <cstddef>

// When standard input is a terminal: asks for the archive's password without echoing it and
// returns true with the answer in `password`. Otherwise, or at end of input, false at once: the
// engine then skips the encrypted members, and a script never waits for an answer.
bool console_password_policy(const char *archive, char *password, size_t size);
