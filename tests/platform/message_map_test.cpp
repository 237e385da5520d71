// The layer's translation of window messages, its box styles and its y axis, as both layers
// use them.
#include <gtest/gtest.h>

#include "platform/common/message_map.h"
#include "platform/win_api.h"

namespace {

TranslatedMsg command(uint16_t id, uint16_t code, CommandSender sender) {
    return translate_message(WM_COMMAND, static_cast<uintptr_t>(id) | (uintptr_t{code} << 16),
                             sender == CommandSender::none ? 0 : 0x1234, sender);
}

bool is_installer_kind(uint32_t kind) {
    return kind == TM_INIT || kind == TM_COMMAND || kind == TM_CONTROL || kind == TM_CLOSE ||
           kind == MSG_INSTALL_FINISHED;
}

} // namespace

TEST(MessageMap, DialogMessagesAndTheInstallersOwn) {
    EXPECT_EQ(translate_message(WM_INITDIALOG, 0, 0, CommandSender::none).kind, TM_INIT);
    EXPECT_EQ(translate_message(WM_CLOSE, 0, 0, CommandSender::none).kind, TM_CLOSE);
    // The system menu's Close ends in WM_CLOSE; it is not a close request of its own.
    EXPECT_EQ(translate_message(WM_SYSCOMMAND, 0xF060, 0, CommandSender::none).kind,
              TM_OTHER_BASE + WM_SYSCOMMAND);
    // Posted by the layer for the installer: WM_APP + kind, and back.
    EXPECT_EQ(posted_message_number(MSG_INSTALL_FINISHED), uint32_t{WM_APP} + 0x402);
    EXPECT_EQ(
        translate_message(posted_message_number(MSG_INSTALL_FINISHED), 0, 0, CommandSender::none)
            .kind,
        MSG_INSTALL_FINISHED);
    // Window messages whose numbers equal the installer's kinds pass for none of them.
    const uint32_t raw_messages[] = {WM_SETCURSOR, 0x29,        WM_SETFONT, 0x3B,
                                     WM_USER + 1,  WM_USER + 2, WM_PAINT,   WM_NULL};
    for (uint32_t raw : raw_messages) {
        TranslatedMsg out = translate_message(raw, 1, 0, CommandSender::none);
        EXPECT_FALSE(is_installer_kind(out.kind)) << raw;
        EXPECT_EQ(out.kind, TM_OTHER_BASE + raw) << raw;
    }
}

TEST(MessageMap, CommandsAndNotifications) {
    TranslatedMsg install = command(1, BN_CLICKED, CommandSender::push_button);
    EXPECT_EQ(install.kind, TM_COMMAND);
    EXPECT_EQ(install.id, 1);
    EXPECT_EQ(command(2, 0, CommandSender::none).kind, TM_COMMAND); // a dialog key
    // A button that cannot be pressed issues no command.
    EXPECT_FALSE(
        is_installer_kind(command(1, BN_CLICKED, CommandSender::disabled_push_button).kind));
    TranslatedMsg box = command(300, BN_CLICKED, CommandSender::check_box);
    EXPECT_EQ(box.kind, TM_CONTROL);
    EXPECT_EQ(box.id, 300);
    TranslatedMsg changed = command(302, EN_CHANGE, CommandSender::edit);
    EXPECT_EQ(changed.kind, TM_CONTROL);
    EXPECT_EQ(changed.notification, TM_EDIT_CHANGED);
    // Other edit notifications are not a change.
    for (uint16_t code : {uint16_t{EN_SETFOCUS}, uint16_t{EN_UPDATE}})
        EXPECT_NE(command(307, code, CommandSender::edit).notification, TM_EDIT_CHANGED) << code;
    EXPECT_EQ(command(308, 9, CommandSender::other_control).kind, TM_CONTROL);
}

TEST(MessageMap, BoxStyles) {
    EXPECT_EQ(message_box_flags(0x28), MB_OK | MB_ICONASTERISK | MB_SETFOREGROUND);
    EXPECT_EQ(message_box_flags(0x24), MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
    EXPECT_EQ(message_box_flags(0x11), MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
    // A risky question makes No the default answer.
    EXPECT_EQ(message_box_flags(0x91),
              MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND);
}

TEST(MessageMap, UpwardAxis) {
    // A 16-pixel control whose top lies 33 pixels below the top of a 357-pixel dialog.
    EXPECT_EQ(flip_y(357, 33, 16), 308);
    EXPECT_EQ(flip_y(357, 308, 16), 33);
    // The first viewer window: bottom edge 192 - 24 above the screen's bottom, 576 high.
    EXPECT_EQ(flip_y(768, 192 - 24, 576), 24);
}
