// Rubber2D and StrokeEraser2D: the circle cut, its records, and undo and redo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include "paint/brush_2d.h"
#include "paint/rubber_2d.h"
#include "paint/stroke_eraser_2d.h"
#include "paint_rig.h"

namespace {

class EraserTest : public ::testing::Test {
protected:
    // A horizontal stroke at y = 500 through x = 100, 200, ..., lastX.
    int32_t horizontalStroke(float lastX) {
        Stroke s;
        for (float x = 100.0f; x <= lastX; x += 100.0f) {
            s.points.push_back(CanvasPoint{x, 500.0f});
        }
        s.width = 4.0f;
        s.id = rig.canvas.newStrokeId();
        rig.canvas.appendStroke(s);
        return s.id;
    }

    // One rubbing frame with the pointer on a pixel and `id` picked.
    void rub(int32_t id, float px, float py) {
        rig.picked = id;
        rig.place(rig.right, px, py);
        rubber.onRightGrip(ArmPose{});
    }

    std::vector<float> xs(const Stroke& s) {
        std::vector<float> out;
        for (const CanvasPoint& p : s.points) {
            out.push_back(std::round(p.x * 100.0f) / 100.0f);
        }
        return out;
    }

    PaintRig rig;
    Rubber2D rubber{rig.right, rig.manipulator, rig.canvas, rig.picked, rig.history};
    StrokeEraser2D trash{rig.canvas, rig.picked, rig.history};
};

}  // namespace

TEST_F(EraserTest, NothingPickedChangesNothing) {
    horizontalStroke(500.0f);
    const auto before = rig.canvas.strokes.size();
    rub(-1, 300.0f, 500.0f);
    rub(99, 300.0f, 500.0f);  // an id no longer on the canvas
    trash.onRightGrip(ArmPose{});
    EXPECT_EQ(rig.canvas.strokes.size(), before);
    EXPECT_TRUE(rig.history.done.empty());
}

TEST_F(EraserTest, RubbingThroughAPointSplitsTheStroke) {
    const int32_t id = horizontalStroke(900.0f);
    rub(id, 500.0f, 500.0f);
    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    // The part after the circle keeps the id; the part before is new and placed right after it.
    EXPECT_EQ(rig.canvas.strokes[0].id, id);
    EXPECT_EQ(xs(rig.canvas.strokes[0]), (std::vector<float>{510, 600, 700, 800, 900}));
    EXPECT_NE(rig.canvas.strokes[1].id, id);
    EXPECT_EQ(xs(rig.canvas.strokes[1]), (std::vector<float>{100, 200, 300, 400, 490}));
    EXPECT_EQ(rig.canvas.strokes[1].width, 4.0f);
    ASSERT_EQ(rubber.undoStack.size(), 1u);
    EXPECT_EQ(rubber.undoStack[0].pieces.size(), 2u);
}

TEST_F(EraserTest, RubbingBetweenTwoPointsCutsThatSegment) {
    const int32_t id = horizontalStroke(900.0f);
    rub(id, 550.0f, 500.0f);
    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    EXPECT_EQ(xs(rig.canvas.strokes[0]), (std::vector<float>{560, 600, 700, 800, 900}));
    EXPECT_EQ(xs(rig.canvas.strokes[1]), (std::vector<float>{100, 200, 300, 400, 500, 540}));
}

TEST_F(EraserTest, CutPointsAreMeasuredFromThePerpendicularFoot) {
    Stroke s;
    s.points = {{0.0f, 494.0f}, {1000.0f, 494.0f}};
    s.id = rig.canvas.newStrokeId();
    rig.canvas.appendStroke(s);
    rub(s.id, 500.0f, 500.0f);  // the segment passes 6 px below the centre
    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    const CanvasPoint eb = rig.canvas.strokes[0].points[0];
    const CanvasPoint ea = rig.canvas.strokes[1].points[1];
    EXPECT_NEAR(ea.x, 490.0f, 1e-2f);
    EXPECT_NEAR(eb.x, 510.0f, 1e-2f);
    EXPECT_NEAR(ea.y, 494.0f, 1e-3f);
    // Hence slightly outside the circle.
    EXPECT_GT(std::hypot(ea.x - 500.0f, ea.y - 500.0f), 10.0f);
}

TEST_F(EraserTest, RubbingTheLastOrFirstPoint) {
    const int32_t a = horizontalStroke(400.0f);
    rub(a, 400.0f, 500.0f);
    ASSERT_EQ(rig.canvas.strokes.size(), 1u);
    EXPECT_NE(rig.canvas.strokes[0].id, a);  // the old stroke is gone, the rest is a new one
    EXPECT_EQ(xs(rig.canvas.strokes[0]), (std::vector<float>{100, 200, 300, 390}));
    EXPECT_EQ(rubber.undoStack.back().pieces.size(), 1u);

    const int32_t b = rig.canvas.strokes[0].id;
    rub(b, 100.0f, 500.0f);
    ASSERT_EQ(rig.canvas.strokes.size(), 1u);
    EXPECT_EQ(rig.canvas.strokes[0].id, b);  // the start moved, the id stays
    EXPECT_EQ(xs(rig.canvas.strokes[0]), (std::vector<float>{110, 200, 300, 390}));
}

TEST_F(EraserTest, AStrokeInsideTheCircleIsRemovedAndUndoBringsItBack) {
    Stroke s;
    s.points = {{500.0f, 500.0f}, {505.0f, 502.0f}};
    s.id = rig.canvas.newStrokeId();
    rig.canvas.appendStroke(s);
    rub(s.id, 502.0f, 500.0f);
    EXPECT_TRUE(rig.canvas.strokes.empty());
    EXPECT_TRUE(rubber.undoStack.back().pieces.empty());
    rig.history.undoLast();
    ASSERT_EQ(rig.canvas.strokes.size(), 1u);
    EXPECT_EQ(rig.canvas.strokes[0].id, s.id);
    EXPECT_EQ(rig.canvas.strokes[0].points.size(), 2u);
}

TEST_F(EraserTest, ADotGoesWholeWhereverTheCircleIs) {
    const int32_t dot = rig.addStroke({{100.0f, 100.0f}});
    rub(dot, 900.0f, 900.0f);
    EXPECT_TRUE(rig.canvas.strokes.empty());
    EXPECT_EQ(rig.history.done.size(), 1u);
}

TEST_F(EraserTest, OneRecordPerFrameAlsoWhenNothingIsCut) {
    const int32_t id = horizontalStroke(900.0f);
    rub(id, 500.0f, 800.0f);  // picked, but the circle misses the stroke
    rub(id, 500.0f, 800.0f);
    EXPECT_EQ(rubber.undoStack.size(), 2u);
    EXPECT_EQ(rig.history.done.size(), 2u);
    EXPECT_EQ(rubber.undoStack[0].pieces.size(), 1u);
    EXPECT_EQ(rig.canvas.strokes[0].points.size(), 9u);
}

TEST_F(EraserTest, UndoAfterASplitRestoresTheStrokeAtTheEnd) {
    const int32_t other = rig.addStroke({{0.0f, 0.0f}, {50.0f, 50.0f}});
    const int32_t id = horizontalStroke(900.0f);
    std::swap(rig.canvas.strokes[0], rig.canvas.strokes[1]);  // the rubbed stroke first
    const Stroke original = rig.canvas.strokes[0];
    rub(id, 500.0f, 500.0f);
    EXPECT_EQ(rig.canvas.strokes.size(), 3u);
    rig.history.undoLast();
    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    EXPECT_EQ(rig.canvas.strokes[0].id, other);
    EXPECT_EQ(rig.canvas.strokes[1].id, id);
    EXPECT_EQ(xs(rig.canvas.strokes[1]), xs(original));
    rig.history.redoLast();
    EXPECT_EQ(rig.canvas.strokes.size(), 3u);
    EXPECT_EQ(xs(*rig.canvas.findStrokeById(id)), (std::vector<float>{510, 600, 700, 800, 900}));
}

TEST_F(EraserTest, InsertingAPieceRemovesTheOpenStrokeAndTheBrushMakesItAgain) {
    Brush2D brush{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
    const int32_t id = horizontalStroke(900.0f);
    rig.canvas.appendOpenStrokeIfNeeded();
    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    rub(id, 500.0f, 500.0f);
    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    EXPECT_FALSE(rig.canvas.strokes.back().points.empty());
    brush.onNoGrip(ArmPose{});
    EXPECT_TRUE(rig.canvas.strokes.back().points.empty());
}

// A tool key pressed while the hand still grips leaves the brush stroke unrecorded; the rubber
// then stores it in its own record, whether its circle cuts the stroke or only passes near it.
TEST_F(EraserTest, ABrushStrokeTheRubberRecordedIsNotRecordedTwice) {
    struct Case {
        ScreenPoint rubAt;
        std::vector<float> afterRub;
    };
    for (const Case& c : {Case{{200.0f, 500.0f}, {210, 300}}, Case{{150.0f, 507.0f}, {100, 200, 300}}}) {
        SCOPED_TRACE(testing::Message() << "rubbed at " << c.rubAt.x << ", " << c.rubAt.y);
        PaintRig fresh;
        rig.canvas = fresh.canvas;
        rig.history = fresh.history;
        rubber.undoStack.clear();
        rubber.redoStack.clear();
        Brush2D brush{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
        for (float x : {100.0f, 200.0f, 300.0f}) {
            rig.place(rig.right, x, 500.0f);
            brush.onRightGrip(ArmPose{});
        }
        const int32_t painted = rig.canvas.strokes.back().id;
        rub(painted, c.rubAt.x, c.rubAt.y);
        EXPECT_EQ(rubber.undoStack.size(), 1u);
        // Back to the brush, still gripping: the rest goes into a stroke of its own.
        rig.place(rig.right, 400.0f, 500.0f);
        brush.onRightGrip(ArmPose{});
        brush.onNoGrip(ArmPose{});
        EXPECT_EQ(xs(*rig.canvas.findStrokeById(painted)), c.afterRub);

        auto painting = [this] {
            std::multiset<std::pair<int32_t, std::vector<float>>> strokes;
            for (const Stroke& s : rig.canvas.strokes)
                if (!s.points.empty()) strokes.insert({s.id, xs(s)});
            return strokes;
        };
        const auto before = painting();
        for (int round = 0; round < 2; ++round) {
            while (!rig.history.done.empty()) rig.history.undoLast();
            while (!rig.history.undone.empty()) rig.history.redoLast();
            EXPECT_EQ(painting(), before) << "round " << round;
        }
    }
}

// The trash or the rubber taking the stroke the brush is still painting: the brush records it
// first, so that undoing everything removes all paint, redoing everything brings back the same
// painting, and no painted point is lost or doubled.
TEST_F(EraserTest, AStrokeTakenWhileBeingPaintedIsRecordedByTheBrushFirst) {
    enum Next { FINISH, PAINT_ON_THEN_UNDO, UNDO_PAINT_ON_REDO_UNDO };
    for (bool byRubber : {false, true}) {
        for (Next next : {FINISH, PAINT_ON_THEN_UNDO, UNDO_PAINT_ON_REDO_UNDO}) {
            SCOPED_TRACE(testing::Message() << (byRubber ? "rubber" : "trash") << ", case " << next);
            PaintRig fresh;
            rig.canvas = fresh.canvas;
            rig.history = fresh.history;
            rubber.undoStack.clear();
            rubber.redoStack.clear();
            trash.undoStack.clear();
            trash.redoStack.clear();
            Brush2D brush{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
            auto paint = [&](float y, std::initializer_list<float> xsToPaint) {
                for (float x : xsToPaint) {
                    rig.place(rig.right, x, y);
                    brush.onRightGrip(ArmPose{});
                }
            };
            paint(300.0f, {100.0f, 200.0f, 300.0f});
            brush.onNoGrip(ArmPose{});
            paint(500.0f, {100.0f, 200.0f, 300.0f});  // still gripping when the tool changes
            const int32_t painting = rig.canvas.strokes.back().id;
            if (byRubber) {
                rub(painting, 150.0f, 507.0f);  // touches the stroke, which keeps its id
            } else {
                rig.picked = painting;
                trash.onRightGrip(ArmPose{});
            }
            ASSERT_EQ(rig.history.done.size(), 3u) << "the first stroke, the taken one, the other tool's edit";
            EXPECT_EQ(rig.history.done[1], &brush);

            if (next == PAINT_ON_THEN_UNDO) {
                paint(500.0f, {400.0f, 500.0f});  // the brush again, still gripping
                rig.history.undoLast();
            } else if (next == UNDO_PAINT_ON_REDO_UNDO) {
                rig.history.undoLast();
                paint(500.0f, {400.0f, 500.0f, 600.0f});
                rig.history.redoLast();
                rig.history.undoLast();
            }
            brush.onNoGrip(ArmPose{});

            auto painted = [this] {
                std::multiset<std::pair<int32_t, std::vector<float>>> strokes;
                for (const Stroke& s : rig.canvas.strokes) {
                    if (!s.points.empty()) strokes.insert({s.id, xs(s)});
                }
                return strokes;
            };
            const auto before = painted();
            std::set<int32_t> ids;
            size_t points = 0;
            for (const auto& stroke : before) {
                EXPECT_TRUE(ids.insert(stroke.first).second) << "two strokes with id " << stroke.first;
                points += stroke.second.size();
            }
            if (next == UNDO_PAINT_ON_REDO_UNDO) {
                EXPECT_EQ(points, 9u) << "points painted were lost";
            }
            while (!rig.history.done.empty()) rig.history.undoLast();
            EXPECT_TRUE(painted().empty()) << "paint that no undo removes";
            while (!rig.history.undone.empty()) rig.history.redoLast();
            EXPECT_EQ(painted(), before);
        }
    }
}

// The brush paints on the original canvas: a copy must not call it, nor outlive it with a
// pointer to it.
TEST_F(EraserTest, ACopiedCanvasHasNoStrokeInProgress) {
    Brush2D brush{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
    for (float x : {100.0f, 200.0f, 300.0f}) {
        rig.place(rig.right, x, 500.0f);
        brush.onRightGrip(ArmPose{});
    }
    const int32_t painting = rig.canvas.strokes.back().id;
    Canvas copy = rig.canvas;
    EditHistory copyHistory;
    StrokeEraser2D copyTrash{copy, rig.picked, copyHistory};
    rig.picked = painting;
    copyTrash.onRightGrip(ArmPose{});
    EXPECT_EQ(copy.findStrokeById(painting), nullptr);
    EXPECT_TRUE(rig.history.done.empty()) << "the copy recorded the original's stroke";
    EXPECT_EQ(copyHistory.done.size(), 1u);
    brush.onNoGrip(ArmPose{});
    EXPECT_EQ(rig.history.done.size(), 1u) << "the brush still records its stroke at the finish";
}

TEST_F(EraserTest, WidthSetsTheCircleOnScreenUnderTheView) {
    rubber.onLeftGrip(leftWristAt(0.2f));  // 10 -> 20 px
    EXPECT_NEAR(rubber.width, 20.0f, 1e-4f);
    rig.manipulator.view = scaleMatrix(2.0f);  // 20 px on screen is 10 canvas units
    const int32_t id = horizontalStroke(900.0f);
    rub(id, 1000.0f, 999.0f);  // the pointer is clamped to 999: canvas (499.5, 499.5)
    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    EXPECT_NEAR(rig.canvas.strokes[0].points[0].x, 509.5f, 0.05f);
}

TEST_F(EraserTest, DegenerateSegmentsGiveNoNaN) {
    // A zoomed-in view makes the circle tiny in canvas units (10 px / 1000 = 0.01), so that the
    // centre can be "on" a zero-length segment and the perpendicular foot can fall on an end.
    rig.manipulator.view = scaleMatrix(1000.0f);
    const int32_t repeated = rig.addStroke({{0.0f, 0.5f}, {0.48f, 0.5f}, {0.48f, 0.5f}, {1.0f, 0.5f}});
    rub(repeated, 500.0f, 500.0f);
    const int32_t footOnEnd = rig.addStroke({{0.0f, 0.5f}, {0.48f, 0.5f}, {0.9f, 0.5f}});
    rub(footOnEnd, 480.0f, 520.0f);
    rig.manipulator.view = identityMatrix();
    const int32_t sameTwice = rig.addStroke({{300.0f, 300.0f}, {300.0f, 300.0f}, {320.0f, 300.0f}});
    rub(sameTwice, 300.0f, 300.0f);
    for (const Stroke& s : rig.canvas.strokes) {
        for (const CanvasPoint& p : s.points) {
            EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << "stroke " << s.id;
        }
    }
}

TEST_F(EraserTest, AFootOnASegmentsEndCutsAlongTheSegment) {
    // Zoomed 1000 times, the 10 px circle has radius K = 0.01 in canvas units. The pointer at
    // (480, 520) is c = (0.48, 0.52): 0.02 above the joint (0.48, 0.5), so no point is inside,
    // but both segments pass the "centre on the segment" test, whose tolerance is 0.1 in
    // absolute units: |0.48 - 0.4804 - 0.02| and |0.42 - 0.02 - 0.4205| are about 0.02.
    // On both segments the perpendicular foot F is the joint itself, so "toward" that end has
    // no direction: the segment's own direction stands in for it.
    rig.manipulator.view = scaleMatrix(1000.0f);
    const int32_t id = rig.addStroke({{0.0f, 0.5f}, {0.48f, 0.5f}, {0.9f, 0.5f}});
    rub(id, 480.0f, 520.0f);

    // First segment, F = its end b: the piece ends at Ea = F - K along a -> b, and the rest
    // starts at Eb = F + K. Second segment, F = its start a: Ea = F - K along a -> b.
    auto expectPoints = [](const Stroke& s, std::vector<CanvasPoint> expected, const char* what) {
        ASSERT_EQ(s.points.size(), expected.size()) << what;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(s.points[i].x, expected[i].x, 1e-5f) << what << " point " << i;
            EXPECT_NEAR(s.points[i].y, expected[i].y, 1e-5f) << what << " point " << i;
        }
    };
    ASSERT_EQ(rig.canvas.strokes.size(), 3u);
    // Each piece goes directly after the stroke, so the later cut comes first.
    const Stroke& rest = rig.canvas.strokes[0];
    const Stroke& second = rig.canvas.strokes[1];
    const Stroke& first = rig.canvas.strokes[2];
    EXPECT_EQ(rest.id, id);
    EXPECT_NE(first.id, id);
    EXPECT_NE(second.id, id);
    EXPECT_NE(first.id, second.id);
    expectPoints(first, {{0.0f, 0.5f}, {0.47f, 0.5f}}, "first piece");
    expectPoints(second, {{0.49f, 0.5f}, {0.48f, 0.5f}, {0.47f, 0.5f}}, "second piece");
    expectPoints(rest, {{0.49f, 0.5f}, {0.9f, 0.5f}}, "rest");

    // One record: the stroke before, and the pieces in the order they were made.
    ASSERT_EQ(rubber.undoStack.size(), 1u);
    const auto& record = rubber.undoStack.back();
    EXPECT_EQ(record.before.points.size(), 3u);
    ASSERT_EQ(record.pieces.size(), 3u);
    EXPECT_EQ(record.pieces[0].id, first.id);
    EXPECT_EQ(record.pieces[1].id, second.id);
    EXPECT_EQ(record.pieces[2].id, id);
    rig.history.undoLast();
    ASSERT_EQ(rig.canvas.strokes.size(), 1u);
    expectPoints(rig.canvas.strokes[0], {{0.0f, 0.5f}, {0.48f, 0.5f}, {0.9f, 0.5f}}, "restored");
}

TEST_F(EraserTest, TrashDeletesTheWholeStrokeWithUndoAndRedo) {
    const int32_t a = rig.addStroke({{0.0f, 0.0f}, {10.0f, 10.0f}});
    const int32_t b = rig.addStroke({{5.0f, 5.0f}});
    rig.picked = a;
    trash.onBothGrip(ArmPose{});
    trash.onLeftGrip(ArmPose{});  // the left hand alone does nothing
    ASSERT_EQ(rig.canvas.strokes.size(), 1u);
    EXPECT_EQ(rig.canvas.strokes[0].id, b);
    trash.onRightGrip(ArmPose{});  // the stroke is gone: nothing more to delete
    EXPECT_EQ(rig.history.done.size(), 1u);
    rig.history.undoLast();
    ASSERT_EQ(rig.canvas.strokes.size(), 2u);
    EXPECT_EQ(rig.canvas.strokes[1].id, a);  // back on top
    rig.history.redoLast();
    ASSERT_EQ(rig.canvas.strokes.size(), 1u);
    EXPECT_EQ(rig.canvas.strokes[0].id, b);
}

namespace {

std::vector<Stroke> paintedSortedById(const Canvas& canvas) {
    std::vector<Stroke> out;
    for (const Stroke& s : canvas.strokes) {
        if (!s.points.empty()) {
            out.push_back(s);
        }
    }
    std::sort(out.begin(), out.end(), [](const Stroke& a, const Stroke& b) { return a.id < b.id; });
    return out;
}

void expectSameStrokes(const std::vector<Stroke>& a, const std::vector<Stroke>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].id, b[i].id);
        EXPECT_EQ(a[i].colour, b[i].colour);
        EXPECT_EQ(a[i].width, b[i].width);
        ASSERT_EQ(a[i].points.size(), b[i].points.size()) << "stroke " << a[i].id;
        for (size_t k = 0; k < a[i].points.size(); ++k) {
            EXPECT_EQ(a[i].points[k].x, b[i].points[k].x);
            EXPECT_EQ(a[i].points[k].y, b[i].points[k].y);
        }
    }
}

}  // namespace

TEST_F(EraserTest, RandomRubbingKeepsInvariantsAndUndoesExactly) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> coord(100.0f, 900.0f);
    std::uniform_real_distribution<float> jitter(-15.0f, 15.0f);
    for (int s = 0; s < 12; ++s) {
        Stroke stroke;
        const int n = 1 + static_cast<int>(rng() % 12);
        CanvasPoint p{coord(rng), coord(rng)};
        for (int k = 0; k < n; ++k) {
            stroke.points.push_back(p);
            if (rng() % 5 != 0) {  // some repeated points
                p = CanvasPoint{p.x + jitter(rng) * 3.0f, p.y + jitter(rng) * 3.0f};
            }
        }
        stroke.width = 3.0f;
        stroke.id = rig.canvas.newStrokeId();
        rig.canvas.appendStroke(stroke);
    }
    rig.canvas.appendOpenStrokeIfNeeded();
    const std::vector<Stroke> original = paintedSortedById(rig.canvas);
    const int32_t lastOriginalId = rig.canvas.idCounter;
    std::set<int32_t> piecesSeen;  // painted strokes made by cutting (a split gives new ids)

    for (int step = 0; step < 300 && !rig.canvas.strokes.empty(); ++step) {
        const Stroke& target = rig.canvas.strokes[rng() % rig.canvas.strokes.size()];
        if (target.points.empty()) {
            continue;
        }
        const CanvasPoint near = target.points[rng() % target.points.size()];
        rubber.width = 2.0f + static_cast<float>(rng() % 30);
        if (rng() % 10 == 0) {
            rig.picked = target.id;
            trash.onRightGrip(ArmPose{});
        } else {
            rub(target.id, std::clamp(near.x + jitter(rng), 0.0f, 999.0f),
                std::clamp(near.y + jitter(rng), 0.0f, 999.0f));
        }
        if (step % 37 == 36) {  // some undo and redo along the way
            rig.history.undoLast();
            rig.history.undoLast();
            rig.history.redoLast();
        }
        std::set<int32_t> ids;
        for (const Stroke& s : rig.canvas.strokes) {
            if (s.id > lastOriginalId && !s.points.empty()) piecesSeen.insert(s.id);
            EXPECT_TRUE(ids.insert(s.id).second) << "duplicate id " << s.id << " at step " << step;
            for (const CanvasPoint& p : s.points) {
                ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << "step " << step;
            }
        }
    }
    // The run must have cut strokes, or the checks above and below would hold for a rubber that
    // does nothing.
    EXPECT_GT(piecesSeen.size(), 5u) << "the random rubbing cut almost nothing";
    const std::vector<Stroke> rubbed = paintedSortedById(rig.canvas);
    const size_t edits = rig.history.done.size();
    while (!rig.history.done.empty()) {
        rig.history.undoLast();
    }
    expectSameStrokes(paintedSortedById(rig.canvas), original);
    for (size_t i = 0; i < edits; ++i) {
        rig.history.redoLast();
    }
    expectSameStrokes(paintedSortedById(rig.canvas), rubbed);
}
