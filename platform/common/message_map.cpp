// Window messages to TranslatedMsg kinds, box styles to box flags.
#include "platform/common/message_map.h"

#include "platform/win_api.h"

uint32_t posted_message_number(uint32_t kind) {
    return kind < POSTED_KIND_LIMIT ? WM_APP + kind : kind;
}

TranslatedMsg translate_message(uint32_t message, uintptr_t first, intptr_t second,
                                CommandSender sender) {
    TranslatedMsg out{};
    out.kind = TM_OTHER_BASE + message;
    out.second = static_cast<uint32_t>(second);
    switch (message) {
    case WM_INITDIALOG:
        out.kind = TM_INIT;
        break;
    case WM_CLOSE: // the close box and the system menu end here, once
        out.kind = TM_CLOSE;
        break;
    case WM_COMMAND: {
        uint16_t id = static_cast<uint16_t>(first & 0xFFFF);
        uint16_t code = static_cast<uint16_t>((first >> 16) & 0xFFFF);
        switch (sender) {
        case CommandSender::none:
            out.kind = TM_COMMAND;
            break;
        case CommandSender::push_button:
            if (code == BN_CLICKED) out.kind = TM_COMMAND;
            break;
        case CommandSender::disabled_push_button:
            break; // a button that cannot be pressed issues no command
        case CommandSender::edit:
            out.kind = TM_CONTROL;
            code = code == EN_CHANGE ? TM_EDIT_CHANGED : code;
            break;
        case CommandSender::check_box:
        case CommandSender::other_control:
            out.kind = TM_CONTROL;
            break;
        }
        out.id = id;
        out.notification = code;
        break;
    }
    default:
        if (message >= WM_APP && message < WM_APP + POSTED_KIND_LIMIT) out.kind = message - WM_APP;
        break;
    }
    return out;
}

uint32_t message_box_flags(uint32_t style) {
    uint32_t flags = MB_SETFOREGROUND;
    bool yes_no = (style & 0x10) != 0;
    flags |= yes_no ? MB_YESNO : MB_OK;
    if (style & 0x04)
        flags |= MB_ICONHAND;
    else if (style & 0x01)
        flags |= MB_ICONQUESTION;
    else if (style & 0x08)
        flags |= MB_ICONASTERISK;
    if (yes_no && (style & MB_STYLE_RISKY)) flags |= MB_DEFBUTTON2;
    return flags;
}
