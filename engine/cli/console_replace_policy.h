// The command line's answer to "replace an existing file?": a question on the console.
#pragma once

// True when the user answers yes; end of input is a no.
bool console_replace_policy(const char *path);
