// The radial menu's show and hide rules for a button that is still flashing from its press,
// and names arriving in any state. Without GL.
#include <gtest/gtest.h>

#include "terrain/radial_menu.h"

namespace {

class RadialMenuEdges : public ::testing::Test {
protected:
    void SetUp() override {
        createRadialMenu(menu, false);
        layoutRadialMenu(menu, 800, 500);
    }
    RadialMenu menu;
};

TEST_F(RadialMenuEdges, APressedButtonFinishesItsFlashBeforeItIsDisabled) {
    // The dwell pressed the enter button; its name is handled in the next frame.
    menu.buttons[0].state = ButtonPressed;
    menu.buttons[4].disableAfterPress = true;  // left over from an earlier close
    EXPECT_EQ(pressMenuButton(menu, "BUTTON_ENTER_MENU"), -1);
    EXPECT_EQ(menu.state, MenuOpening);
    EXPECT_EQ(menu.buttons[0].state, ButtonPressed);
    EXPECT_TRUE(menu.buttons[0].disableAfterPress);
    EXPECT_TRUE(menu.buttons[0].visible);
    for (size_t i = 1; i < menu.buttons.size(); ++i) {
        EXPECT_TRUE(menu.buttons[i].visible) << i;
        EXPECT_EQ(menu.buttons[i].state, ButtonIdle) << i;
        EXPECT_FALSE(menu.buttons[i].disableAfterPress) << i;
    }

    // A tool button pressed in the ring: it flashes on, the others are disabled at once, and
    // hiding leaves them drawn (greyed) while the ring spins away.
    menu.buttons[2].state = ButtonPressed;
    EXPECT_EQ(pressMenuButton(menu, "BUTTON_TERRA_BRUSH"), 2);
    EXPECT_EQ(menu.state, MenuClosing);
    EXPECT_EQ(menu.buttons[2].state, ButtonPressed);
    EXPECT_TRUE(menu.buttons[2].disableAfterPress);
    for (size_t i = 1; i < menu.buttons.size(); ++i) {
        EXPECT_TRUE(menu.buttons[i].visible) << i;
        if (i != 2) {
            EXPECT_EQ(menu.buttons[i].state, ButtonDisabled) << i;
        }
    }
    EXPECT_EQ(menu.buttons[0].state, ButtonIdle);
    EXPECT_FALSE(menu.buttons[0].disableAfterPress);
}

TEST_F(RadialMenuEdges, NamesAreHandledTheSameInEveryState) {
    // Buttons 1..8 select their own index, the leave button and unknown names nothing; every
    // name but the enter button's starts the closing spin.
    for (int i = 1; i <= 8; ++i) {
        pressMenuButton(menu, "BUTTON_ENTER_MENU");
        EXPECT_EQ(pressMenuButton(menu, MENU_BUTTON_NAMES[i]), i);
        EXPECT_EQ(menu.state, MenuClosing);
    }
    pressMenuButton(menu, "BUTTON_ENTER_MENU");
    EXPECT_EQ(pressMenuButton(menu, "BUTTON_LEAVE_MENU"), -1);
    EXPECT_EQ(menu.state, MenuClosing);
    pressMenuButton(menu, "BUTTON_ENTER_MENU");
    EXPECT_EQ(pressMenuButton(menu, "BUTTON_SOMETHING_ELSE"), -1);
    EXPECT_EQ(menu.state, MenuClosing);

    // Entering again halfway through the closing spin turns it round from where it stands.
    menu.counter = 5;
    for (int k = 0; k < 10; ++k) advanceRadialMenu(menu);
    ASSERT_EQ(menu.counter, 15);
    pressMenuButton(menu, "BUTTON_ENTER_MENU");
    EXPECT_EQ(menu.state, MenuOpening);
    EXPECT_EQ(menu.counter, 15);
    for (int k = 0; k < 9; ++k) advanceRadialMenu(menu);
    EXPECT_EQ(menu.state, MenuOpening);
    advanceRadialMenu(menu);
    EXPECT_EQ(menu.state, MenuOpen);
    EXPECT_EQ(menu.counter, 5);
    advanceRadialMenu(menu);  // open: the counter rests
    EXPECT_EQ(menu.counter, 5);

    // A tool button while the menu is still closed (its name was queued before the close).
    menu.state = MenuClosed;
    menu.counter = 30;
    EXPECT_EQ(pressMenuButton(menu, "BUTTON_DUMP_BRUSH"), 6);
    EXPECT_EQ(menu.state, MenuClosing);
    EXPECT_EQ(menu.counter, 30);
    advanceRadialMenu(menu);
    EXPECT_EQ(menu.state, MenuClosed);
}

}  // namespace
