// Grip dispatch, tool choice by gesture and the cross-tool edit history.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/sensor/hand_pointer.h"
#include "common/sensor/hand_state_detector.h"
#include "common/tools/edit_history.h"
#include "common/tools/null_tool.h"
#include "common/tools/tool_dispatch.h"

namespace {

// Logs every call so that tests can check exactly which operations ran, and in which tool.
class LoggingTool : public Tool {
public:
    LoggingTool(std::string toolName, std::vector<std::string>& sharedLog)
        : name(std::move(toolName)), log(sharedLog) {}
    void onLeftGrip(const ArmPose&) override { log.push_back(name + ".left"); }
    void onRightGrip(const ArmPose&) override { log.push_back(name + ".right"); }
    void onBothGrip(const ArmPose&) override { log.push_back(name + ".both"); }
    void onNoGrip(const ArmPose&) override { log.push_back(name + ".none"); }
    void drawOverlay() override {}
    void undo() override { log.push_back(name + ".undo"); }
    void redo() override { log.push_back(name + ".redo"); }
    int32_t iconTexture() override { return 0; }

    std::string name;
    std::vector<std::string>& log;
};

HandPointer pointerIn(int state) {
    HandPointer p;
    p.state = state;
    return p;
}

}  // namespace

TEST(DispatchToolInput, CallsExactlyOneOperationForEachGripCombination) {
    struct Case {
        bool leftClosed, leftEngaged, rightClosed, rightEngaged;
        const char* expected;
    };
    const Case cases[] = {
        {false, true, false, true, "t.none"},
        {true, true, false, true, "t.left"},
        {false, true, true, true, "t.right"},
        {true, true, true, true, "t.both"},
        // A closed hand whose pointer is not engaged does not grip.
        {true, false, false, true, "t.none"},
        {false, true, true, false, "t.none"},
        {true, false, true, true, "t.right"},
        {true, true, true, false, "t.left"},
    };
    ArmPose pose{};
    for (const Case& c : cases) {
        std::vector<std::string> log;
        LoggingTool tool("t", log);
        const HandPointer left = pointerIn(c.leftEngaged ? POINTER_ENGAGED : POINTER_ARMING);
        const HandPointer right = pointerIn(c.rightEngaged ? POINTER_ENGAGED : POINTER_IDLE);
        dispatchToolInput(&tool, pose, handGrips(left, c.leftClosed),
                          handGrips(right, c.rightClosed));
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0], c.expected) << c.leftClosed << c.leftEngaged << c.rightClosed
                                      << c.rightEngaged;
    }
}

TEST(DispatchToolInput, ReadsTheDetectorsClosedState) {
    std::vector<std::string> log;
    LoggingTool tool("t", log);
    HandStateDetector leftDetector;
    HandStateDetector rightDetector;
    leftDetector.state = 1;
    rightDetector.state = 1;
    const HandPointer engaged = pointerIn(POINTER_ENGAGED);
    ToolSelection selection;
    selection.currentTool = &tool;
    dispatchToolInput(selection, ArmPose{}, engaged, leftDetector, engaged, rightDetector);
    rightDetector.state = 0;
    dispatchToolInput(selection, ArmPose{}, engaged, leftDetector, engaged, rightDetector);
    EXPECT_EQ(log, (std::vector<std::string>{"t.both", "t.left"}));
    dispatchToolInput(nullptr, ArmPose{}, true, true);  // no current tool: nothing to call
}

TEST(DispatchToolInput, APauseEndsTheGripAndGripsWaitUntilNoHandGrips) {
    std::vector<std::string> log;
    LoggingTool tool("t", log);
    ToolSelection selection;
    pauseToolInput(selection, nullptr, ArmPose{});  // no tool had input: nothing to end or wait for
    EXPECT_FALSE(selection.gripsWaitForOpenHands);
    pauseToolInput(selection, &tool, ArmPose{});
    EXPECT_EQ(log, std::vector<std::string>{"t.none"});
    struct Step {
        bool left, right;        // as the detectors report them
        bool leftAfter, rightAfter;
    };
    const Step steps[] = {
        {false, true, false, false},  // still the grip from before the pause
        {true, true, false, false},
        {false, false, false, false},  // both open: grips count again from the next frame
        {false, true, false, true},
        {true, true, true, true},
    };
    for (const Step& s : steps) {
        bool left = s.left, right = s.right;
        resumedGrips(selection, left, right);
        EXPECT_EQ(left, s.leftAfter) << s.left << s.right;
        EXPECT_EQ(right, s.rightAfter) << s.left << s.right;
    }
}

class ToolChoice : public ::testing::Test {
protected:
    void SetUp() override {
        selection.tools.push_back(&nullTool);
        for (int i = 1; i < 8; ++i) {
            owned.emplace_back(std::to_string(i), log);
        }
        for (LoggingTool& t : owned) {
            selection.tools.push_back(&t);
        }
        selectTool(selection, 3);
    }
    std::vector<std::string> log;
    NullTool nullTool;
    std::vector<LoggingTool> owned;
    ToolSelection selection;
    EditHistory history;
};

TEST_F(ToolChoice, ArmedGestureSelectsAndDisarmsOnlyWhilePainting) {
    EXPECT_TRUE(handleToolGesture(selection, history, "3", true));
    EXPECT_EQ(selection.currentTool, selection.tools[4]);
    EXPECT_FALSE(selection.gestureArmed);

    // Disarmed: a command gesture does nothing until the rest pose parks on NullTool.
    EXPECT_FALSE(handleToolGesture(selection, history, "0", true));
    EXPECT_EQ(selection.currentTool, selection.tools[4]);
    EXPECT_TRUE(handleToolGesture(selection, history, "DEFAULT_GESTURE", true));
    EXPECT_EQ(selection.currentTool, &nullTool);
    EXPECT_TRUE(selection.gestureArmed);

    // Outside the painting screen the choice is made but the flag stays set.
    EXPECT_TRUE(handleToolGesture(selection, history, "6", false));
    EXPECT_EQ(selection.currentTool, selection.tools[7]);
    EXPECT_TRUE(selection.gestureArmed);
    // While armed the rest pose is not a command.
    EXPECT_FALSE(handleToolGesture(selection, history, "DEFAULT_GESTURE", true));
    EXPECT_EQ(selection.currentTool, selection.tools[7]);
}

TEST_F(ToolChoice, UndoAndRedoGesturesWorkOnlyWhilePaintingAndKeepTheFlag) {
    history.recordEdit(selection.tools[3]);
    EXPECT_FALSE(handleToolGesture(selection, history, "7", false));
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(handleToolGesture(selection, history, "7", true));
    EXPECT_TRUE(handleToolGesture(selection, history, "8", true));
    EXPECT_EQ(log, (std::vector<std::string>{"3.undo", "3.redo"}));
    EXPECT_TRUE(selection.gestureArmed);
    EXPECT_EQ(selection.currentTool, selection.tools[3]);
}

TEST_F(ToolChoice, DisarmedThreeDoesNothingUntilTheRestPoseThenPicksTheLine) {
    selection.gestureArmed = false;
    EXPECT_FALSE(handleToolGesture(selection, history, "3", true));
    EXPECT_EQ(selection.currentTool, selection.tools[3]);
    EXPECT_FALSE(selection.gestureArmed);

    EXPECT_TRUE(handleToolGesture(selection, history, "DEFAULT_GESTURE", true));
    EXPECT_EQ(selection.currentTool, &nullTool);
    EXPECT_TRUE(handleToolGesture(selection, history, "3", true));
    EXPECT_EQ(selection.currentTool, selection.tools[4]);  // StraightLine2D
    EXPECT_FALSE(selection.gestureArmed);
}

TEST_F(ToolChoice, OutsidePaintingThreeSelectsButUndoAndRedoDoNothing) {
    history.recordEdit(selection.tools[5]);
    history.recordEdit(selection.tools[3]);
    history.undoLast();
    log.clear();
    EXPECT_TRUE(handleToolGesture(selection, history, "3", false));
    EXPECT_EQ(selection.currentTool, selection.tools[4]);
    EXPECT_TRUE(selection.gestureArmed);
    EXPECT_FALSE(handleToolGesture(selection, history, "7", false));
    EXPECT_FALSE(handleToolGesture(selection, history, "8", false));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(history.done.size(), 1u);
    EXPECT_EQ(history.undone.size(), 1u);
    EXPECT_TRUE(selection.gestureArmed);
}

TEST_F(ToolChoice, UnknownNamesAndIndicesAreIgnored) {
    for (const char* name : {"9", "10", "", "GESTURE_TRAINED", "-1"}) {
        EXPECT_FALSE(handleToolGesture(selection, history, name, true)) << name;
    }
    EXPECT_EQ(selection.currentTool, selection.tools[3]);
    EXPECT_TRUE(selection.gestureArmed);
    EXPECT_FALSE(selectTool(selection, 8));
    EXPECT_FALSE(selectTool(selection, -1));
    EXPECT_EQ(selection.currentTool, selection.tools[3]);
    EXPECT_EQ(nullTool.iconTexture(), -1);
}

TEST(EditHistory, UndoesAndRedoesAcrossToolsInEditOrder) {
    std::vector<std::string> log;
    LoggingTool a("a", log);
    LoggingTool b("b", log);
    EditHistory history;
    history.recordEdit(&a);
    history.recordEdit(&b);
    history.recordEdit(&a);
    history.undoLast();
    history.undoLast();
    history.redoLast();
    history.undoLast();
    history.undoLast();
    history.undoLast();  // empty: nothing
    EXPECT_EQ(log, (std::vector<std::string>{"a.undo", "b.undo", "b.redo", "b.undo", "a.undo"}));
    EXPECT_TRUE(history.done.empty());
    EXPECT_EQ(history.undone.size(), 3u);
}

TEST(EditHistory, ANewEditDropsWhatWasUndone) {
    std::vector<std::string> log;
    LoggingTool a("a", log);
    LoggingTool b("b", log);
    EditHistory history;
    history.recordEdit(&a);
    history.undoLast();
    history.recordEdit(&b);
    history.redoLast();  // nothing left to redo
    EXPECT_EQ(log, (std::vector<std::string>{"a.undo"}));
    EXPECT_EQ(history.done, (std::vector<Tool*>{&b}));
    history.redoLast();
    history.recordEdit(nullptr);
    EXPECT_EQ(history.done.size(), 1u);
}
