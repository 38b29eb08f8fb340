// Brush2D, Ink2D and StraightLine2D driven by hand-made pointer positions and poses.
#include <gtest/gtest.h>

#include <cmath>

#include "paint/brush_2d.h"
#include "paint/ink_2d.h"
#include "paint/straight_line_2d.h"
#include "paint_rig.h"

namespace {

class BrushTest : public ::testing::Test {
protected:
    // Grips with the right hand at each pixel in turn, then lets go.
    void paint(std::initializer_list<ScreenPoint> path) {
        for (ScreenPoint p : path) {
            rig.place(rig.right, p.x, p.y);
            brush.onRightGrip(ArmPose{});
        }
        brush.onNoGrip(ArmPose{});
    }

    PaintRig rig;
    Brush2D brush{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
    Ink2D ink{rig.canvas, rig.picked, rig.color, rig.history};
};

}  // namespace

TEST_F(BrushTest, FirstStrokeIsPaintedThenAnOpenStrokeWaits) {
    rig.place(rig.right, 100.0f, 100.0f);
    brush.onNoGrip(ArmPose{});  // idle frame: makes the open stroke
    for (int i = 0; i <= 10; ++i) {
        rig.place(rig.right, 100.0f + 4.0f * static_cast<float>(i), 100.0f);
        brush.onRightGrip(ArmPose{});
    }
    brush.onNoGrip(ArmPose{});

    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    const Stroke& painted = rig.canvas.strokes[0];
    EXPECT_EQ(painted.id, 1);
    EXPECT_EQ(rig.canvas.strokes[1].id, 2);
    EXPECT_TRUE(rig.canvas.strokes[1].points.empty());
    // Points are spaced by more than one width (10 px); the first lands at once because the
    // last point starts at (0, 0), far away.
    ASSERT_GE(painted.points.size(), 2u);
    for (size_t i = 1; i < painted.points.size(); ++i) {
        EXPECT_GT(painted.points[i].x - painted.points[i - 1].x, 10.0f - 1e-3f);
    }
    EXPECT_NEAR(painted.points[0].x, 100.0f, 1e-3f);
    EXPECT_EQ(painted.colour, rig.color);
    EXPECT_FLOAT_EQ(painted.width, 10.0f);
    EXPECT_EQ(brush.undoStack.size(), 1u);
    EXPECT_EQ(rig.history.done.size(), 1u);
}

TEST_F(BrushTest, HoldingStillAddsNoPointAndTheLastPointCarriesOver) {
    paint({{200.0f, 200.0f}, {260.0f, 200.0f}});
    const size_t strokes = rig.canvas.strokes.size();
    // Start again exactly where the previous stroke ended: nothing until the pointer moves.
    paint({{260.0f, 200.0f}, {265.0f, 200.0f}});
    EXPECT_EQ(rig.canvas.strokes.size(), strokes);
    EXPECT_EQ(rig.history.done.size(), 1u);
    paint({{275.0f, 200.0f}});
    EXPECT_EQ(rig.history.done.size(), 2u);
}

TEST_F(BrushTest, FinishingWithoutPointsRecordsNothingAndAddsNoSecondOpenStroke) {
    brush.onNoGrip(ArmPose{});
    brush.onLeftGrip(ArmPose{});
    brush.onNoGrip(ArmPose{});
    EXPECT_EQ(rig.canvas.strokes.size(), 1u);
    EXPECT_TRUE(rig.history.done.empty());
    EXPECT_TRUE(brush.undoStack.empty());
}

TEST_F(BrushTest, WidthFollowsTheLeftWristAndNeverGoesBelowOne) {
    brush.onLeftGrip(leftWristAt(0.1f));  // +10 cm: +5 px
    EXPECT_NEAR(brush.width, 15.0f, 1e-4f);
    brush.onLeftGrip(leftWristAt(-1.0f));  // -1.1 m: far below zero
    EXPECT_FLOAT_EQ(brush.width, 1.0f);
    brush.onLeftGrip(leftWristAt(-1.0f));
    EXPECT_FLOAT_EQ(brush.width, 1.0f);
    brush.onLeftGrip(leftWristAt(-0.99f));  // +1 cm from there: 1.5
    EXPECT_NEAR(brush.width, 1.5f, 1e-4f);
}

TEST_F(BrushTest, BothHandsPaintAndResizeTheWholeStroke) {
    float y = 0.0f;
    for (int i = 0; i < 5; ++i) {
        y += 0.04f;  // +2 px per frame
        rig.place(rig.right, 300.0f + 30.0f * static_cast<float>(i), 300.0f);
        brush.onBothGrip(leftWristAt(y));
    }
    brush.onNoGrip(leftWristAt(y));
    EXPECT_NEAR(brush.width, 20.0f, 1e-3f);
    EXPECT_NEAR(rig.canvas.strokes[0].width, 20.0f, 1e-3f);
    EXPECT_EQ(rig.canvas.strokes[0].points.size(), 5u);
}

TEST_F(BrushTest, PointsGoIntoANewStrokeWhenTheOpenStrokeWasRemoved) {
    paint({{100.0f, 100.0f}, {150.0f, 100.0f}});
    rig.canvas.strokes.pop_back();  // what the rubber does when it inserts a piece
    const std::vector<CanvasPoint> finished = rig.canvas.strokes[0].points;
    rig.color = {{1.0f, 0.0f, 0.0f}};
    paint({{400.0f, 400.0f}, {450.0f, 400.0f}});
    EXPECT_EQ(rig.canvas.strokes[0].points.size(), finished.size());
    EXPECT_EQ(rig.canvas.strokes[0].colour, INITIAL_COLOR);
    ASSERT_EQ(rig.canvas.strokes.size(), 3u);
    EXPECT_EQ(rig.canvas.strokes[1].points.size(), 2u);
    EXPECT_EQ(rig.canvas.strokes[1].colour, rig.color);
}

TEST_F(BrushTest, AStrokeLeftOpenByAToolChangeIsRecordedWhenTheBrushFinishesIt) {
    StraightLine2D line{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
    rig.place(rig.right, 100.0f, 100.0f);
    brush.onNoGrip(ArmPose{});
    for (int i = 0; i < 4; ++i) {
        rig.place(rig.right, 100.0f + 50.0f * static_cast<float>(i), 100.0f);
        brush.onRightGrip(ArmPose{});
    }
    const int32_t first = rig.canvas.strokes[0].id;

    // The line tool becomes current and idles: the painted stroke stays, unrecorded.
    rig.place(rig.right, 700.0f, 700.0f);
    line.onNoGrip(ArmPose{});
    line.onNoGrip(ArmPose{});
    ASSERT_NE(rig.canvas.findStrokeById(first), nullptr);
    EXPECT_EQ(rig.canvas.findStrokeById(first)->points.size(), 4u);
    EXPECT_TRUE(rig.history.done.empty());
    EXPECT_TRUE(brush.undoStack.empty());

    // Back to the brush: its first idle frame records that stroke, whole.
    brush.onNoGrip(ArmPose{});
    ASSERT_EQ(brush.undoStack.size(), 1u);
    EXPECT_EQ(brush.undoStack.back().id, first);
    EXPECT_EQ(brush.undoStack.back().points.size(), 4u);
    EXPECT_EQ(rig.history.done.size(), 1u);

    // The same with a left-hand grip as the finishing frame.
    rig.place(rig.right, 400.0f, 400.0f);
    brush.onRightGrip(ArmPose{});
    rig.place(rig.right, 450.0f, 400.0f);
    brush.onRightGrip(ArmPose{});
    const int32_t second = rig.canvas.strokes.back().id;
    EXPECT_EQ(rig.canvas.strokes.back().points.size(), 2u);
    line.onNoGrip(ArmPose{});
    EXPECT_EQ(rig.history.done.size(), 1u);
    brush.onLeftGrip(ArmPose{});
    ASSERT_EQ(brush.undoStack.size(), 2u);
    EXPECT_EQ(brush.undoStack.back().id, second);
    EXPECT_EQ(brush.undoStack.back().points.size(), 2u);

    // Undo takes the painted strokes away, newest first.
    rig.history.undoLast();
    EXPECT_EQ(rig.canvas.findStrokeById(second), nullptr);
    EXPECT_NE(rig.canvas.findStrokeById(first), nullptr);
}

TEST_F(BrushTest, AStrokeStillGrippedAfterAnotherToolFinishedGoesOnWhole) {
    // The line tool idles while the brush's stroke is unfinished and leaves an open stroke
    // after it. Back on the brush with the hand still closed, the points go on into the same
    // stroke, so that one undo takes the whole of it and nothing is left that cannot be undone.
    StraightLine2D line{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
    brush.onNoGrip(ArmPose{});
    for (float x : {100.0f, 150.0f}) {
        rig.place(rig.right, x, 100.0f);
        brush.onRightGrip(ArmPose{});
    }
    const int32_t painted = rig.canvas.strokes[0].id;
    line.onNoGrip(ArmPose{});
    ASSERT_EQ(rig.canvas.strokes.size(), 2u) << "the line tool leaves an open stroke after the painted one";

    rig.place(rig.right, 300.0f, 100.0f);
    brush.onRightGrip(ArmPose{});
    brush.onNoGrip(ArmPose{});
    ASSERT_NE(rig.canvas.findStrokeById(painted), nullptr);
    EXPECT_EQ(rig.canvas.findStrokeById(painted)->points.size(), 3u);
    ASSERT_EQ(brush.undoStack.size(), 1u);
    EXPECT_EQ(brush.undoStack.back().id, painted);

    rig.history.undoLast();
    for (const Stroke& stroke : rig.canvas.strokes) EXPECT_TRUE(stroke.points.empty()) << "stroke " << stroke.id;
}

TEST_F(BrushTest, PointsAreStoredInCanvasCoordinatesUnderTheView) {
    // Canvas to window: doubled, then moved by (100, 50).
    rig.manipulator.view =
        multiplyMatrix(translationMatrix(100.0f, 50.0f, 0.0f), scaleMatrix(2.0f));
    paint({{300.0f, 250.0f}, {400.0f, 250.0f}});
    const Stroke& s = rig.canvas.strokes[0];
    ASSERT_EQ(s.points.size(), 2u);
    EXPECT_NEAR(s.points[0].x, 100.0f, 1e-3f);
    EXPECT_NEAR(s.points[0].y, 100.0f, 1e-3f);
    EXPECT_NEAR(s.points[1].x, 150.0f, 1e-3f);
    EXPECT_NEAR(s.points[1].y, 100.0f, 1e-3f);
    EXPECT_FLOAT_EQ(s.width, 10.0f);  // widths stay in window pixels
}

TEST_F(BrushTest, UndoRemovesTheStrokeAndRedoPutsItOnTop) {
    paint({{100.0f, 100.0f}, {150.0f, 100.0f}});
    paint({{500.0f, 500.0f}, {550.0f, 500.0f}});
    const int32_t firstId = rig.canvas.strokes[0].id;
    rig.history.undoLast();
    rig.history.undoLast();
    EXPECT_EQ(rig.canvas.findStrokeById(firstId), nullptr);
    EXPECT_EQ(rig.canvas.strokes.size(), 1u);  // only the open stroke is left
    rig.history.redoLast();
    EXPECT_EQ(rig.canvas.strokes.back().id, firstId);
    EXPECT_EQ(rig.canvas.strokes.back().points.size(), 2u);

    // A stroke deleted meanwhile: undo removes nothing but still moves the record.
    rig.canvas.eraseStrokeById(firstId);
    const size_t before = rig.canvas.strokes.size();
    rig.history.undoLast();
    EXPECT_EQ(rig.canvas.strokes.size(), before);
    EXPECT_EQ(brush.redoStack.size(), 2u);
}

TEST_F(BrushTest, FillHoldingRecordsOneEditAndUndoRestoresTheColour) {
    paint({{100.0f, 100.0f}, {150.0f, 100.0f}});
    const int32_t id = rig.canvas.strokes[0].id;
    ink.onRightGrip(ArmPose{});  // nothing picked
    EXPECT_EQ(rig.history.done.size(), 1u);

    rig.picked = id;
    ink.onRightGrip(ArmPose{});  // already the current colour: nothing recorded
    EXPECT_EQ(rig.history.done.size(), 1u);

    rig.color = {{1.0f, 0.0f, 0.0f}};
    for (int i = 0; i < 5; ++i) {
        ink.onRightGrip(ArmPose{});
    }
    rig.color = {{0.0f, 1.0f, 0.0f}};
    ink.onBothGrip(ArmPose{});  // same stroke again, nothing filled in between
    EXPECT_EQ(ink.undoStack.size(), 1u);
    EXPECT_EQ(rig.history.done.size(), 2u);
    EXPECT_EQ(rig.canvas.strokes[0].colour, rig.color);

    // Two undos revert the fill first, then the stroke.
    rig.history.undoLast();
    EXPECT_EQ(rig.canvas.strokes[0].colour, INITIAL_COLOR);
    rig.history.undoLast();
    EXPECT_EQ(rig.canvas.findStrokeById(id), nullptr);
    rig.history.redoLast();
    rig.history.redoLast();
    EXPECT_EQ(rig.canvas.findStrokeById(id)->colour, rig.color);
}

TEST_F(BrushTest, FillRecordsStayPairedWithTheirEditsWhenAStrokeIsGone) {
    // Two fills; the second stroke is then deleted. Undoing and redoing the second fill must
    // leave the first fill alone.
    paint({{100.0f, 100.0f}, {150.0f, 100.0f}});
    paint({{500.0f, 500.0f}, {550.0f, 500.0f}});
    const int32_t kept = rig.canvas.strokes[0].id;
    const int32_t gone = rig.canvas.strokes[1].id;
    const Rgb red{{1.0f, 0.0f, 0.0f}};
    rig.color = red;
    rig.picked = kept;
    ink.onRightGrip(ArmPose{});
    rig.color = {{0.0f, 1.0f, 0.0f}};
    rig.picked = gone;
    ink.onRightGrip(ArmPose{});
    ASSERT_EQ(ink.undoStack.size(), 2u);
    rig.canvas.eraseStrokeById(gone);

    ink.undo();
    EXPECT_EQ(rig.canvas.findStrokeById(kept)->colour, red) << "the first fill was not undone";
    EXPECT_EQ(ink.redoStack.size(), 1u);
    ink.redo();
    EXPECT_EQ(rig.canvas.findStrokeById(kept)->colour, red);
    ink.undo();
    ink.undo();
    EXPECT_EQ(rig.canvas.findStrokeById(kept)->colour, INITIAL_COLOR);
}

TEST_F(BrushTest, RedoAfterANewEditDoesNothing) {
    paint({{100.0f, 100.0f}, {150.0f, 100.0f}});
    rig.history.undoLast();
    paint({{600.0f, 600.0f}, {650.0f, 600.0f}});
    const size_t strokes = rig.canvas.strokes.size();
    rig.history.redoLast();
    EXPECT_EQ(rig.canvas.strokes.size(), strokes);
    EXPECT_TRUE(brush.redoStack.empty());
}

namespace {

class LineTest : public ::testing::Test {
protected:
    PaintRig rig;
    StraightLine2D line{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};

    // The first stroke is a committed line from `from` to `to`, followed by the open stroke.
    void expectOneLine(CanvasPoint from, CanvasPoint to) {
        ASSERT_EQ(rig.canvas.strokes.size(), 2u);
        const Stroke& s = rig.canvas.strokes[0];
        ASSERT_EQ(s.points.size(), 2u);
        EXPECT_NEAR(s.points[0].x, from.x, 1e-3f);
        EXPECT_NEAR(s.points[0].y, from.y, 1e-3f);
        EXPECT_NEAR(s.points[1].x, to.x, 1e-3f);
        EXPECT_NEAR(s.points[1].y, to.y, 1e-3f);
        EXPECT_TRUE(rig.canvas.strokes[1].points.empty());
    }
};

}  // namespace

TEST_F(LineTest, GripMoveAndReleaseGivesOneTwoPointStroke) {
    rig.place(rig.right, 200.0f, 300.0f);
    line.onNoGrip(ArmPose{});
    for (int i = 1; i <= 4; ++i) {
        rig.place(rig.right, 200.0f + 50.0f * static_cast<float>(i), 300.0f);
        line.onRightGrip(ArmPose{});
    }
    EXPECT_TRUE(line.lineActive);
    line.onNoGrip(ArmPose{});

    expectOneLine({200.0f, 300.0f}, {400.0f, 300.0f});
    EXPECT_EQ(rig.canvas.strokes[0].colour, rig.color);
    EXPECT_FLOAT_EQ(rig.canvas.strokes[0].width, 10.0f);
    EXPECT_EQ(rig.history.done.size(), 1u);

    rig.history.undoLast();
    EXPECT_EQ(rig.canvas.strokes.size(), 1u);
    rig.history.redoLast();
    EXPECT_EQ(rig.canvas.strokes.back().points.size(), 2u);
}

TEST_F(LineTest, AGripHeldWhenTheToolIsFirstUsedStartsWhereThePointerIs) {
    // Picked while the hand is already closed: no finish has placed the start yet.
    rig.place(rig.right, 600.0f, 500.0f);
    line.onRightGrip(ArmPose{});
    EXPECT_FALSE(line.lineActive);
    rig.place(rig.right, 700.0f, 500.0f);
    line.onRightGrip(ArmPose{});
    line.onNoGrip(ArmPose{});
    expectOneLine({600.0f, 500.0f}, {700.0f, 500.0f});
}

TEST_F(LineTest, GripWithoutMovingCommitsNothing) {
    rig.place(rig.right, 200.0f, 300.0f);
    line.onNoGrip(ArmPose{});
    rig.place(rig.right, 205.0f, 305.0f);  // within one width of the start
    line.onRightGrip(ArmPose{});
    line.onNoGrip(ArmPose{});
    EXPECT_EQ(rig.canvas.strokes.size(), 1u);
    EXPECT_TRUE(rig.canvas.strokes[0].points.empty());
    EXPECT_TRUE(rig.history.done.empty());
}

TEST_F(LineTest, LeftHandWidthChangeAppliesToTheCommittedLine) {
    rig.place(rig.right, 100.0f, 100.0f);
    line.onNoGrip(ArmPose{});
    rig.place(rig.right, 300.0f, 100.0f);
    line.onBothGrip(leftWristAt(0.2f));  // +10 px
    line.onNoGrip(leftWristAt(0.2f));
    EXPECT_FLOAT_EQ(rig.canvas.strokes[0].width, 20.0f);
}

TEST_F(LineTest, LineNeverLandsInAFinishedStroke) {
    rig.place(rig.right, 100.0f, 100.0f);
    line.onNoGrip(ArmPose{});
    rig.place(rig.right, 300.0f, 100.0f);
    line.onRightGrip(ArmPose{});
    line.onNoGrip(ArmPose{});
    rig.canvas.strokes.pop_back();  // the open stroke removed by the rubber
    rig.place(rig.right, 300.0f, 400.0f);
    line.onRightGrip(ArmPose{});
    line.onNoGrip(ArmPose{});
    EXPECT_EQ(rig.canvas.strokes[0].points.size(), 2u);
    ASSERT_GE(rig.canvas.strokes.size(), 2u);
    EXPECT_EQ(rig.canvas.strokes[1].points.size(), 2u);
}

TEST_F(LineTest, EndsAreStoredInCanvasCoordinatesUnderTheView) {
    rig.manipulator.view =
        multiplyMatrix(translationMatrix(100.0f, 50.0f, 0.0f), scaleMatrix(2.0f));
    rig.place(rig.right, 300.0f, 250.0f);
    line.onNoGrip(ArmPose{});
    rig.place(rig.right, 500.0f, 250.0f);
    line.onRightGrip(ArmPose{});
    line.onNoGrip(ArmPose{});
    const Stroke& s = rig.canvas.strokes[0];
    ASSERT_EQ(s.points.size(), 2u);
    EXPECT_NEAR(s.points[0].x, 100.0f, 1e-3f);
    EXPECT_NEAR(s.points[0].y, 100.0f, 1e-3f);
    EXPECT_NEAR(s.points[1].x, 200.0f, 1e-3f);
    EXPECT_NEAR(s.points[1].y, 100.0f, 1e-3f);
}
