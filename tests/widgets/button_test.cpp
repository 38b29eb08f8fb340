#include "common/widgets/button.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

Button idleButton(const std::string& name = "BUTTON_TEST", float x = 100.0f, float y = 50.0f,
                  float size = 10.0f) {
    Button b = makeButton(name, x, y, size, 0, 210, 255);
    b.visible = true;
    b.state = ButtonIdle;
    return b;
}

// Hovers from `from` and keeps the pointer inside until it presses; returns the press time.
uint32_t pressAt(Button& b, ButtonEvents& events, uint32_t from) {
    updateButton(b, b.x, b.y, from, events);
    updateButton(b, b.x, b.y, from + 1001, events);
    return from + 1001;
}

}  // namespace

TEST(ButtonTest, PointerExactlyOnTheCircleIsOutside) {
    Button b = idleButton("B", 0.0f, 0.0f, 10.0f);
    EXPECT_FALSE(buttonContains(b, 10.0f, 0.0f));
    EXPECT_FALSE(buttonContains(b, 6.0f, 8.0f));  // 36 + 64 = 100 = size squared
    EXPECT_TRUE(buttonContains(b, 9.99f, 0.0f));
    EXPECT_TRUE(buttonContains(b, -5.0f, 5.0f));

    ButtonEvents events;
    updateButton(b, 6.0f, 8.0f, 1000, events);
    EXPECT_EQ(b.state, ButtonIdle);
}

TEST(ButtonTest, DwellPressesOnceOnlyAfterMoreThanOneSecond) {
    Button b = idleButton();
    ButtonEvents events;
    updateButton(b, 101.0f, 51.0f, 5000, events);
    EXPECT_EQ(b.state, ButtonHovered);
    EXPECT_EQ(b.hoverStart, 5000u);

    updateButton(b, 101.0f, 51.0f, 6000, events);  // exactly 1000 ms: not yet
    EXPECT_EQ(b.state, ButtonHovered);
    EXPECT_TRUE(events.empty());

    updateButton(b, 101.0f, 51.0f, 6001, events);
    EXPECT_EQ(b.state, ButtonPressed);
    EXPECT_EQ(b.pressTime, 6001u);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events.front(), "BUTTON_TEST");

    // Staying inside queues nothing more, however long.
    for (uint32_t t = 6100; t < 12000; t += 700) updateButton(b, 100.0f, 50.0f, t, events);
    EXPECT_EQ(b.state, ButtonPressed);
    EXPECT_EQ(events.size(), 1u);

    // Leaving and hovering again presses a second time after another full second.
    updateButton(b, 0.0f, 0.0f, 12000, events);
    EXPECT_EQ(b.state, ButtonIdle);
    pressAt(b, events, 12100);
    EXPECT_EQ(events.size(), 2u);
}

TEST(ButtonTest, LeavingDuringTheDwellRestartsIt) {
    Button b = idleButton();
    ButtonEvents events;
    updateButton(b, 100.0f, 50.0f, 1000, events);
    updateButton(b, 100.0f, 50.0f, 1900, events);
    updateButton(b, 200.0f, 50.0f, 1950, events);
    EXPECT_EQ(b.state, ButtonIdle);
    updateButton(b, 100.0f, 50.0f, 2000, events);
    updateButton(b, 100.0f, 50.0f, 2900, events);  // 1900 ms since the first hover
    EXPECT_TRUE(events.empty());
    updateButton(b, 100.0f, 50.0f, 3001, events);
    EXPECT_EQ(events.size(), 1u);
}

TEST(ButtonTest, ACancelledDwellStartsOverAndLeavesPressedButtonsAlone) {
    ButtonList buttons = {idleButton("BUTTON_A"), idleButton("BUTTON_B", 300.0f)};
    ButtonEvents events;
    updateButtons(buttons, 100.0f, 50.0f, 1000, events);  // A hovered
    pressAt(buttons[1], events, 500);                      // B pressed, pointer still on it
    events.clear();
    cancelDwell(buttons);
    EXPECT_EQ(buttons[0].state, ButtonIdle);
    EXPECT_EQ(buttons[1].state, ButtonPressed);
    // 5 s later the pointer is still on A: the dwell begins now, not at 1000.
    updateButton(buttons[0], 100.0f, 50.0f, 6000, events);
    updateButton(buttons[0], 100.0f, 50.0f, 6900, events);
    EXPECT_TRUE(events.empty());
    updateButton(buttons[0], 100.0f, 50.0f, 7001, events);
    EXPECT_EQ(events.size(), 1u);
}

TEST(ButtonTest, DisableAfterPressGreysOut1200MsAfterThePressEvenWhileHovered) {
    Button b = idleButton();
    ButtonEvents events;
    const uint32_t pressed = pressAt(b, events, 4000);
    b.disableAfterPress = true;
    updateButton(b, b.x, b.y, pressed + 1200, events);
    EXPECT_EQ(b.state, ButtonPressed);
    updateButton(b, b.x, b.y, pressed + 1201, events);
    EXPECT_EQ(b.state, ButtonDisabled);
    EXPECT_FALSE(b.disableAfterPress);

    // Disabled ignores the pointer until the program enables it again.
    updateButton(b, b.x, b.y, pressed + 5000, events);
    updateButton(b, b.x, b.y, pressed + 7000, events);
    EXPECT_EQ(b.state, ButtonDisabled);
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(buttonAlpha(b), 255);
}

TEST(ButtonTest, InvisibleButtonsStillDwellAndOnlyIdleIsTranslucent) {
    Button b = idleButton();
    EXPECT_EQ(buttonAlpha(b), 128);
    b.visible = false;
    ButtonEvents events;
    pressAt(b, events, 100);
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(buttonAlpha(b), 255);
}

TEST(ButtonTest, DwellSurvivesTheClockWrap) {
    Button b = idleButton();
    ButtonEvents events;
    const uint32_t start = 0xFFFFFF00u;
    updateButton(b, b.x, b.y, start, events);
    updateButton(b, b.x, b.y, start + 1000u, events);  // wrapped past zero
    EXPECT_TRUE(events.empty());
    updateButton(b, b.x, b.y, start + 1001u, events);
    EXPECT_EQ(events.size(), 1u);
}

TEST(ButtonTest, ListUpdatesInOrderAndFindsByExactName) {
    ButtonList list = {idleButton("BUTTON_A"), idleButton("BUTTON_B"), idleButton("BUTTON_A")};
    ButtonEvents events;
    updateButtons(list, 100.0f, 50.0f, 0, events);
    updateButtons(list, 100.0f, 50.0f, 1001, events);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], "BUTTON_A");
    EXPECT_EQ(events[1], "BUTTON_B");

    EXPECT_EQ(findButton(list, "BUTTON_B"), 1);
    EXPECT_EQ(findButton(list, "BUTTON_A"), 0);
    EXPECT_EQ(findButton(list, "BUTTON_"), -1);
    EXPECT_EQ(findButton(list, "BUTTON_BB"), -1);
    EXPECT_EQ(findButton(list, ""), -1);
}

TEST(CountdownTest, ThreeSecondsShowTwoThenOneThenNothing) {
    const Countdown c{10000, 3000};
    EXPECT_EQ(countdownSecondsLeft(c, 10000), 3);  // only at the very first millisecond
    EXPECT_EQ(countdownSecondsLeft(c, 10001), 2);
    EXPECT_EQ(countdownSecondsLeft(c, 11000), 2);
    EXPECT_EQ(countdownSecondsLeft(c, 11001), 1);
    EXPECT_EQ(countdownSecondsLeft(c, 12000), 1);
    EXPECT_EQ(countdownSecondsLeft(c, 12001), 0);
    EXPECT_EQ(countdownSecondsLeft(c, 13000), 0);
    // Run out: nothing, never a negative or wrapped number.
    EXPECT_EQ(countdownSecondsLeft(c, 13001), 0);
    EXPECT_EQ(countdownSecondsLeft(c, 90000), 0);

    EXPECT_TRUE(countdownRunning(c, 13000));
    EXPECT_FALSE(countdownRunning(c, 13001));
    EXPECT_FALSE(countdownRunning(Countdown{0, 3000}, 100));
}
