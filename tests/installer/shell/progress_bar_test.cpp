// The progress bar: its arithmetic, what one paint draws, and that paints leave nothing behind.
#include "tests/installer/installer_fixture.h"

using namespace qeltest;

TEST(ProgressLayout, CellsSegmentsAndLitCount) {
    ProgressLayout layout = progress_layout(591, 0);
    EXPECT_EQ(layout.cell_width, 58);
    EXPECT_EQ(layout.segment_width, 28); // a 2-pixel gap between cells
    EXPECT_EQ(layout.lit_segments, 0);
    struct Case {
        uint32_t position;
        int lit;
    };
    for (Case c : {Case{1, 0}, Case{4, 0}, Case{5, 1}, Case{50, 10}, Case{99, 19}, Case{100, 20},
                   Case{101, 20}, Case{0xFFFFFFFFu, 20}})
        EXPECT_EQ(progress_layout(591, c.position).lit_segments, c.lit) << c.position;
    EXPECT_EQ(progress_layout(106, 0).cell_width, 10);
    EXPECT_EQ(progress_layout(106, 0).segment_width, 4);
}

#ifndef _WIN32

namespace {

class ProgressBar : public InstallerTest {
  protected:
    OsWindow bar = nullptr;
    void SetUp() override {
        InstallerTest::SetUp();
        ASSERT_NE(register_installer_class("ProgressBar", progress_bar_proc, 0, 0), 0);
        OsWindow dialog = headless_new_window();
        bar = plat_create_window("ProgressBar", "", WS_CHILD | WS_VISIBLE, 0, 0, 591, 16, dialog,
                                 CTRL_PROGRESS);
        ASSERT_NE(bar, nullptr);
        headless_set_sys_value(OS_SYS_HIGHLIGHT_COLOUR, 0x00C08000);
    }
    std::vector<RecordedFill> paint() {
        headless_clear_fills();
        headless_paint(bar);
        return headless_fills();
    }
};

} // namespace

TEST_F(ProgressBar, SetPosStoresAndRepaintsEveryTime) {
    EXPECT_EQ(plat_send_message(bar, PROGRESS_SETPOS, 40, 0), 0);
    EXPECT_EQ(headless_window(bar).extra, 40);
    EXPECT_EQ(headless_window(bar).invalidations, 1);
    plat_send_message(bar, PROGRESS_SETPOS, 40, 0); // the same value repaints as well
    EXPECT_EQ(headless_window(bar).invalidations, 2);
    // The range message changes nothing.
    EXPECT_EQ(plat_send_message(bar, PROGRESS_SETRANGE, 7, 0x320000), 0);
    EXPECT_EQ(headless_window(bar).extra, 40);
    EXPECT_EQ(headless_window(bar).invalidations, 2);
}

TEST_F(ProgressBar, OnePaintDrawsTwentySegmentsInsideTheFrame) {
    plat_send_message(bar, PROGRESS_SETPOS, 50, 0);
    std::vector<RecordedFill> fills = paint();
    ASSERT_EQ(fills.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        const RecordedFill &fill = fills[static_cast<size_t>(i)];
        int x = 3 + (i / 2) * 58 + (i % 2) * 28;
        EXPECT_EQ(fill.rectangle.left, x) << i;
        EXPECT_EQ(fill.rectangle.right, x + 28) << i;
        EXPECT_EQ(fill.rectangle.top, 3) << i;
        EXPECT_EQ(fill.rectangle.bottom, 13) << i;
        if (i < 10) {
            EXPECT_EQ(fill.brush, BrushKind::solid) << i;
            EXPECT_EQ(fill.colour, 0x00C08000u) << i;
        } else {
            EXPECT_EQ(fill.brush, BrushKind::pattern) << i;
            EXPECT_EQ(fill.pattern_bitmap, BITMAP_CHECKER) << i;
        }
    }
    // Position 0 lights nothing; above 100 lights all, still inside the bar.
    plat_send_message(bar, PROGRESS_SETPOS, 0, 0);
    for (const RecordedFill &fill : paint()) EXPECT_EQ(fill.brush, BrushKind::pattern);
    plat_send_message(bar, PROGRESS_SETPOS, 250, 0);
    for (const RecordedFill &fill : paint()) {
        EXPECT_EQ(fill.brush, BrushKind::solid);
        EXPECT_GE(fill.rectangle.left, 3);
        EXPECT_LE(fill.rectangle.right, 591 - 3);
    }
}

TEST_F(ProgressBar, ThousandsOfPaintsLeaveNoDrawingObjects) {
    for (uint32_t i = 0; i < 5000; ++i) {
        plat_send_message(bar, PROGRESS_SETPOS, i % 101, 0);
        headless_paint(bar);
    }
    GdiCounts counts = headless_gdi_counts();
    EXPECT_EQ(counts.live, 0);
    EXPECT_EQ(counts.created, 3 * 5000); // a brush, the checker bitmap and its brush per paint
    EXPECT_EQ(counts.deleted, counts.created);
}

TEST_F(ProgressBar, OtherMessagesGoToTheDefault) {
    EXPECT_EQ(plat_send_message(bar, WM_SETTEXT, 0, 0), 0);
    headless_close(bar); // the default closes the window
    EXPECT_TRUE(headless_destroyed(bar));
}

#endif
