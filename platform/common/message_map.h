// How the OS layer speaks for the installer: window messages become TranslatedMsg kinds, the
// installer's box styles become Windows box flags, and the layer's upward y axis meets Windows'
// downward one. Pure arithmetic, shared by the Win32 and the headless layer.
#pragma once

#include <cstdint>

#include "platform/os_layer.h"

// What sent a WM_COMMAND: decides between a command and a control notification.
enum class CommandSender {
    none,                 // no control: a menu, an accelerator or a dialog key without button
    push_button,          // an enabled push button
    disabled_push_button, // a push button that cannot be pressed now
    check_box,
    edit,
    other_control,
};

// The installer's kinds posted with os_PostMsg travel as WM_APP + kind.
constexpr uint32_t POSTED_KIND_LIMIT = 0x4000;
uint32_t posted_message_number(uint32_t kind);

TranslatedMsg translate_message(uint32_t message, uintptr_t first, intptr_t second,
                                CommandSender sender);

// The Windows box flags for a style word: 0x10 Yes/No buttons (else one OK button), 0x04 error,
// 0x08 information, 0x01 question icon; 0x80 makes the second button (No) the default.
uint32_t message_box_flags(uint32_t style);

// A window whose edge lies `offset` from one side of its parent, measured along the other
// direction: the layer's upward y (bottom edge above the parent's bottom) to Windows' downward
// top edge, and back. The conversion is its own inverse.
inline int32_t flip_y(int32_t parent_height, int32_t offset, int32_t height) {
    return parent_height - offset - height;
}
