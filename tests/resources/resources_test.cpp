// The generated resources: the dialog table against the resource script, the pictures and the
// icon as files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "installer/shell/shell.h"
#include "resources/main_dialog.h"

namespace {

std::string resource_file(const std::string &name) {
    std::ifstream in(std::string(QEL_RESOURCE_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

uint32_t le32(const std::string &data, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(data[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(data[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(data[at + 3])) << 24;
}
uint16_t le16(const std::string &data, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(data[at]) |
                                 static_cast<unsigned char>(data[at + 1]) << 8);
}

struct Bitmap {
    int32_t width = 0, height = 0;
    int bits = 0;
    std::vector<uint32_t> palette; // 0x00RRGGBB
    std::string data;
    size_t pixels_at = 0;
    // The colour of a pixel, y counted from the picture's top row.
    uint32_t colour(int x, int y) const {
        size_t row_bytes = ((static_cast<size_t>(width) * 4 + 31) / 32) * 4;
        size_t row = static_cast<size_t>(height - 1 - y); // stored bottom-up
        unsigned char pair = static_cast<unsigned char>(
            data[pixels_at + row * row_bytes + static_cast<size_t>(x) / 2]);
        return palette[x % 2 == 0 ? pair >> 4 : pair & 0xF];
    }
};

Bitmap read_bitmap(const std::string &name) {
    Bitmap b;
    b.data = resource_file(name);
    if (b.data.size() < 54 || b.data.compare(0, 2, "BM") != 0) return b;
    b.pixels_at = le32(b.data, 10);
    b.width = static_cast<int32_t>(le32(b.data, 18));
    b.height = static_cast<int32_t>(le32(b.data, 22));
    b.bits = le16(b.data, 28);
    uint32_t colours = le32(b.data, 46);
    for (uint32_t i = 0; i < colours; ++i) {
        size_t at = 54 + 4 * i;
        b.palette.push_back(static_cast<uint32_t>(static_cast<unsigned char>(b.data[at + 2]))
                                << 16 |
                            static_cast<uint32_t>(static_cast<unsigned char>(b.data[at + 1])) << 8 |
                            static_cast<unsigned char>(b.data[at]));
    }
    return b;
}

const DialogControl *table_control(int id) {
    for (const DialogControl &c : DIALOG_CONTROLS)
        if (c.id == id) return &c;
    return nullptr;
}

} // namespace

// The kinds of control the program's code takes its ids for.
TEST(DialogTable, EveryControlTheCodeUses) {
    struct Use {
        int id;
        DialogControlKind kind;
    };
    const Use uses[] = {
        {CTRL_INSTALL, DLG_DEFAULT_BUTTON},  {CTRL_CANCEL, DLG_BUTTON},
        {CTRL_CREDIT, DLG_RIGHT_LABEL},      {CTRL_PICTURE_LARGE, DLG_PICTURE},
        {CTRL_PICTURE_SMALL, DLG_PICTURE},   {CTRL_ALREADY_INSTALLED, DLG_AUTO_CHECK},
        {CTRL_EXISTING_LABEL, DLG_LABEL},    {CTRL_EXISTING_PATH, DLG_EDIT},
        {CTRL_COPY_OPTIONS, DLG_AUTO_CHECK}, {CTRL_COPY_PHONEBOOK, DLG_AUTO_CHECK},
        {CTRL_COPY_SCRIPTS, DLG_AUTO_CHECK}, {CTRL_DESTINATION, DLG_EDIT},
        {CTRL_PROGRESS, DLG_PROGRESS},       {CTRL_STATUS, DLG_LABEL},
        {CTRL_LOG_PATH, DLG_EDIT},           {CTRL_OPTIONS_PATH, DLG_EDIT},
        {CTRL_SCRIPT_PATH, DLG_EDIT},        {CTRL_UPLOAD_PATH, DLG_EDIT},
        {CTRL_DOWNLOAD_PATH, DLG_EDIT},      {CTRL_DESTINATION_LABEL, DLG_LABEL},
    };
    for (const Use &use : uses) EXPECT_EQ(table_control(use.id)->kind, use.kind) << use.id;
    // Every field a path is typed into scrolls, so that it takes a path longer than it shows;
    // 311 is read-only.
    for (int language = 0; language < 3; ++language) {
        for (int id : {CTRL_EXISTING_PATH, CTRL_DESTINATION, CTRL_LOG_PATH, CTRL_SCRIPT_PATH,
                       CTRL_UPLOAD_PATH, CTRL_DOWNLOAD_PATH})
            EXPECT_NE(table_control(id)->style[language] & 0x80u, 0u) << id;
        EXPECT_NE(table_control(CTRL_OPTIONS_PATH)->style[language] & 0x800u, 0u);
    }
    EXPECT_STREQ(table_control(CTRL_PROGRESS)->window_class, "ProgressBar");
    EXPECT_EQ(table_control(CTRL_PICTURE_LARGE)->bitmap, BITMAP_TERMINAL_LARGE);
    EXPECT_EQ(table_control(CTRL_PICTURE_SMALL)->bitmap, BITMAP_TERMINAL_SMALL);
    // The German widths of the copy boxes.
    EXPECT_EQ(table_control(CTRL_COPY_PHONEBOOK)->width[1], 175);
    EXPECT_EQ(table_control(CTRL_COPY_OPTIONS)->width[1], 176);
    EXPECT_EQ(table_control(CTRL_COPY_SCRIPTS)->width[1], 168);
    // English and German place every control alike, apart from those widths.
    for (const DialogControl &c : DIALOG_CONTROLS) {
        EXPECT_EQ(c.x[0], c.x[1]) << c.id;
        EXPECT_EQ(c.style[0], c.style[1]) << c.id;
        bool copy_box =
            c.id == CTRL_COPY_PHONEBOOK || c.id == CTRL_COPY_OPTIONS || c.id == CTRL_COPY_SCRIPTS;
        if (!copy_box) {
            EXPECT_EQ(c.width[0], c.width[1]) << c.id;
        }
    }
    // French: the folder labels are wide enough for their texts, the fields beside them start
    // after them, end where the others end and scroll.
    for (int label : {CTRL_LOG_LABEL, CTRL_OPTIONS_LABEL, CTRL_SCRIPT_LABEL, CTRL_UPLOAD_LABEL,
                      CTRL_DOWNLOAD_LABEL}) {
        EXPECT_LT(table_control(label)->x[2] + table_control(label)->width[2],
                  table_control(CTRL_LOG_PATH)->x[2])
            << label;
    }
    for (int field : {CTRL_LOG_PATH, CTRL_OPTIONS_PATH, CTRL_SCRIPT_PATH, CTRL_UPLOAD_PATH,
                      CTRL_DOWNLOAD_PATH}) {
        const DialogControl *c = table_control(field);
        EXPECT_EQ(c->x[2] + c->width[2], c->x[0] + c->width[0]) << field;
        EXPECT_NE(c->style[2] & 0x80u, 0u) << field;
    }
    // Created hidden, caption and system menu, no minimise or maximise box.
    EXPECT_EQ(DIALOG_STYLE & 0x10000000u, 0u);
    EXPECT_EQ(DIALOG_STYLE & 0x00C80000u, 0x00C80000u);
    EXPECT_EQ(DIALOG_STYLE & 0x00030000u, 0u);
    EXPECT_EQ(DIALOG_WIDTH, 415);
    EXPECT_EQ(DIALOG_HEIGHT, 220);
}

// The resource script says what the table says, in code page 1252, with the ids by name.
TEST(DialogTable, ResourceScriptAgrees) {
    std::string script = resource_file("setup.rc");
    ASSERT_FALSE(script.empty());
    EXPECT_NE(script.find("#pragma code_page(1252)"), std::string::npos);
    EXPECT_NE(script.find("d\xE9j\xE0"), std::string::npos);
    EXPECT_EQ(script.find("\xC3\xA9"), std::string::npos); // no UTF-8 anywhere
    for (int language = 0; language < 3; ++language) {
        char head[64];
        std::snprintf(head, sizeof head, "%d DIALOG 0, 0, %d, %d", DIALOG_TEMPLATE_IDS[language],
                      DIALOG_WIDTH, DIALOG_HEIGHT);
        size_t at = script.find(head);
        ASSERT_NE(at, std::string::npos) << head;
        EXPECT_NE(script.find(std::string("CAPTION \"") + DIALOG_CAPTIONS[language] + "\"", at),
                  std::string::npos);
        size_t line_at = at;
        for (const DialogControl &c : DIALOG_CONTROLS) {
            char line[512];
            std::string text = c.kind == DLG_PICTURE ? std::to_string(c.bitmap)
                                                     : "\"" + std::string(c.text[language]) + "\"";
            std::snprintf(line, sizeof line, "CONTROL %s, %s, \"%s\", 0x%08X, %d, %d, %d, %d",
                          text.c_str(), c.id == -1 ? "-1" : c.name, c.window_class,
                          c.style[language], c.x[language], c.y, c.width[language], c.height);
            size_t found = script.find(line, line_at);
            ASSERT_NE(found, std::string::npos) << line;
            line_at = found; // in table order
        }
    }
}

TEST(Pictures, CheckerboardOfTheProgressBar) {
    Bitmap checker = read_bitmap("checker.bmp");
    ASSERT_EQ(checker.width, 4);
    ASSERT_EQ(checker.height, 4); // positive: stored bottom-up
    EXPECT_EQ(checker.bits, 4);
    ASSERT_EQ(checker.palette.size(), 16u);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(checker.colour(x, y), (x + y) % 2 == 0 ? 0x808080u : 0xC0C0C0u) << x << y;
}

TEST(Pictures, TerminalPicturesAndIcon) {
    Bitmap large = read_bitmap("terminal_large.bmp");
    EXPECT_EQ(large.width, 230);
    EXPECT_EQ(large.height, 210);
    EXPECT_EQ(large.bits, 4);
    Bitmap small = read_bitmap("terminal_small.bmp");
    EXPECT_EQ(small.width, 200);
    EXPECT_EQ(small.height, 180);
    // The corners are the dialog's light grey, so the pictures sit on it without a seam.
    EXPECT_EQ(large.colour(0, 0), 0xC0C0C0u);
    EXPECT_EQ(small.colour(199, 0), 0xC0C0C0u);
    std::string icon = resource_file("setup.ico");
    ASSERT_GE(icon.size(), 6u + 2 * 16);
    EXPECT_EQ(le16(icon, 2), 1); // an icon
    EXPECT_EQ(le16(icon, 4), 2); // two images
    EXPECT_EQ(icon[6], 32);      // 32 x 32
    EXPECT_EQ(icon[6 + 16], 16); // 16 x 16
}
