// The painting tools driven frame by frame with long random input (pointer paths inside and
// outside the window, engagement, grips starting, held and released, tool changes in the middle
// of a grip, undo and redo between any two frames) next to an independent model of what each
// frame must do (reference_tools.h). After every frame the whole canvas, every tool's state and
// records, the edit history and the tool choice must agree; at the end everything is undone and
// redone again step by step. Floats agree up to rounding, and each frame starts from the
// program's numbers so that rounding cannot pile up; a frame whose outcome hung on a
// rounding-level tie may go either way, and the model then takes over the program's state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/sensor/hand_state_detector.h"
#include "common/tools/colorpicker.h"
#include "common/tools/edit_history.h"
#include "common/tools/null_tool.h"
#include "common/tools/tool_dispatch.h"
#include "paint/brush_2d.h"
#include "paint/canvas.h"
#include "paint/ink_2d.h"
#include "paint/manipulator_2d.h"
#include "paint/rubber_2d.h"
#include "paint/straight_line_2d.h"
#include "paint/stroke_eraser_2d.h"
#include "reference_tools.h"

namespace {

// The program's painting state with all eight tools, as the application builds it, on a
// 1600 x 1000 window.
struct RealPaint {
    WindowInfo window{"reference", 1.6f, 1000, 1600};
    HandPointer left{0, &window};
    HandPointer right{1, &window};
    Canvas canvas;
    Rgb color = INITIAL_COLOR;
    int32_t picked = -1;
    EditHistory history;
    Manipulator2D manipulator{left, right};
    NullTool nullTool;
    Colorpicker picker{color, window};
    Brush2D brush{right, canvas, manipulator, color, history};
    StraightLine2D line{right, canvas, manipulator, color, history};
    Ink2D ink{canvas, picked, color, history};
    Rubber2D rubber{right, manipulator, canvas, picked, history};
    StrokeEraser2D trash{canvas, picked, history};
    HandStateDetector leftDetector;
    HandStateDetector rightDetector;
    ToolSelection selection;

    RealPaint() {
        selection.tools = {&nullTool, &manipulator, &picker, &brush, &line, &ink, &rubber, &trash};
        selection.currentTool = &brush;
    }

    int indexOf(const Tool* tool) const {
        for (size_t i = 0; i < selection.tools.size(); ++i) {
            if (selection.tools[i] == tool) return static_cast<int>(i);
        }
        return -1;
    }
};

// ---- comparison -----------------------------------------------------------------------------

// Equal up to rounding. `scale` is the size of the largest term the value was computed from (a
// canvas point far from the window's origin, a matrix's translation): float results carry an
// error relative to it, not to themselves.
bool near(float a, float b, float scale = 0.0f) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::fabs(a - b) <= 1e-3f + 2e-4f * std::max(std::fabs(a), std::fabs(b)) + 1e-5f * scale;
}

// The size of the terms windowToCanvas adds up under `view`, for the tolerance of canvas points.
float canvasScale(const ref::Mat& view) {
    ref::Mat inverse = view;
    ref::invertInPlace(inverse);
    return std::max({std::fabs(inverse[12]), std::fabs(inverse[13]),
                     (std::fabs(inverse[0]) + std::fabs(inverse[4]) + std::fabs(inverse[1]) + std::fabs(inverse[5])) * 1600.0f});
}

// The largest element of either matrix.
float matrixScale(const Matrix4& a, const ref::Mat& b) {
    float m = 0.0f;
    for (size_t i = 0; i < 16; ++i) m = std::max({m, std::fabs(a[i]), std::fabs(b[i])});
    return m;
}

// Tolerance context for canvas points: the largest canvasScale of the run so far, since points
// keep the rounding of the view they were made under.
float gPointScale = 0.0f;

struct Diff {
    std::ostringstream out;
    bool any = false;
    std::ostream& note() {
        any = true;
        return out;
    }
};

void compareFloat(Diff& d, const std::string& what, float real, float model, float scale = 0.0f) {
    if (!near(real, model, scale)) d.note() << what << ": real " << real << " model " << model << "\n";
}

void comparePose(Diff& d, const std::string& what, const ArmPose& real, const ref::Pose& model) {
    for (size_t i = 0; i < real.size(); ++i) {
        if (real[i] != model[i]) {
            d.note() << what << " value " << i << ": real " << real[i] << " model " << model[i] << "\n";
            return;
        }
    }
}

// `what` names the list, `index` the stroke in it (negative: a single stroke).
void compareStroke(Diff& d, const std::string& list, long index, const Stroke& real, const ref::Stroke& model) {
    const auto what = [&]() { return index < 0 ? list : list + "[" + std::to_string(index) + "]"; };
    if (real.id != model.id) {
        d.note() << what() << " id: real " << real.id << " model " << model.id << "\n";
        return;
    }
    if (real.points.size() != model.points.size()) {
         d.note() << what() << " (id " << real.id << ") points: real " << real.points.size() << " model "
                 << model.points.size() << "\n";
        return;
    }
    for (size_t i = 0; i < real.points.size(); ++i) {
        if (!near(real.points[i].x, model.points[i].x, gPointScale) ||
            !near(real.points[i].y, model.points[i].y, gPointScale)) {
             d.note() << what() << " (id " << real.id << ") point " << i << ": real (" << real.points[i].x << ", "
                     << real.points[i].y << ") model (" << model.points[i].x << ", " << model.points[i].y << ")\n";
            return;
        }
    }
    for (size_t k = 0; k < 3; ++k) {
        if (!near(real.colour[k], model.colour[k])) {
             d.note() << what() << " (id " << real.id << ") colour " << k << ": real " << real.colour[k] << " model "
                     << model.colour[k] << "\n";
        }
    }
    if (!near(real.width, model.width)) {
         d.note() << what() << " (id " << real.id << ") width: real " << real.width << " model " << model.width << "\n";
    }
}

// The records a comparison looks at: all of them, or only the newest few of a stack (the older
// ones were compared when they were on top and stacks change only at the top).
size_t firstCompared(size_t size, size_t depth) { return depth == 0 || size <= depth ? 0 : size - depth; }

void compareStrokes(Diff& d, const std::string& what, const std::vector<Stroke>& real,
                    const std::vector<ref::Stroke>& model, size_t depth = 0) {
    if (real.size() != model.size()) {
        d.note() << what << " count: real " << real.size() << " model " << model.size() << "\n";
        return;
    }
    for (size_t i = firstCompared(real.size(), depth); i < real.size(); ++i) {
        compareStroke(d, what, static_cast<long>(i), real[i], model[i]);
    }
}

void compareColourRecords(Diff& d, const std::string& what, const std::vector<ColorRecord>& real,
                          const std::vector<ref::ColourRecord>& model, size_t depth) {
    if (real.size() != model.size()) {
        d.note() << what << " count: real " << real.size() << " model " << model.size() << "\n";
        return;
    }
    for (size_t i = firstCompared(real.size(), depth); i < real.size(); ++i) {
        if (real[i].id != model[i].id) d.note() << what << "[" << i << "] id " << real[i].id << " vs " << model[i].id << "\n";
        for (size_t k = 0; k < 3; ++k) {
            if (!near(real[i].colour[k], model[i].colour[k])) d.note() << what << "[" << i << "] colour differs\n";
        }
    }
}

void compareEraseRecords(Diff& d, const std::string& what, const std::vector<EraseRecord>& real,
                         const std::vector<ref::EraseRecord>& model, size_t depth) {
    if (real.size() != model.size()) {
        d.note() << what << " count: real " << real.size() << " model " << model.size() << "\n";
        return;
    }
    for (size_t i = firstCompared(real.size(), depth); i < real.size(); ++i) {
        compareStroke(d, what + " before", static_cast<long>(i), real[i].before, model[i].before);
        compareStrokes(d, what + " pieces of " + std::to_string(i), real[i].pieces, model[i].pieces);
    }
}

void compareMatrix(Diff& d, const std::string& what, const Matrix4& real, const ref::Mat& model) {
    const float scale = matrixScale(real, model);
    for (size_t i = 0; i < 16; ++i) {
        if (!near(real[i], model[i], scale)) d.note() << what << "[" << i << "]: real " << real[i] << " model " << model[i] << "\n";
    }
}

// `full`: every record of every stack; otherwise the newest two of each.
std::string compareAll(const RealPaint& real, const ref::World& model, bool full = true) {
    const size_t depth = full ? 0 : 2;
    gPointScale = std::max(gPointScale, canvasScale(model.manipulator.view));
    Diff d;
    compareStrokes(d, "canvas", real.canvas.strokes, model.canvas.strokes);
    if (real.canvas.idCounter != model.canvas.counter) {
        d.note() << "id counter: real " << real.canvas.idCounter << " model " << model.canvas.counter << "\n";
    }
    for (size_t k = 0; k < 3; ++k) compareFloat(d, "current colour", real.color[k], model.colour[k]);

    std::vector<int> done, undone;
    for (const Tool* t : real.history.done) done.push_back(real.indexOf(t));
    for (const Tool* t : real.history.undone) undone.push_back(real.indexOf(t));
    if (done != model.done) d.note() << "history done list differs (" << done.size() << " vs " << model.done.size() << ")\n";
    if (undone != model.undone) d.note() << "history undone list differs (" << undone.size() << " vs " << model.undone.size() << ")\n";
    if (real.indexOf(real.selection.currentTool) != model.current) {
        d.note() << "current tool: real " << real.indexOf(real.selection.currentTool) << " model " << model.current << "\n";
    }
    if (real.selection.gestureArmed != model.armed) d.note() << "gestureArmed differs\n";

    const Brush2D& b = real.brush;
    compareFloat(d, "brush width", b.width, model.brush.width);
    comparePose(d, "brush last pose", b.lastPose, model.brush.last);
    compareFloat(d, "brush last point x", b.lastPoint.x, model.brush.lastPoint.x);
    compareFloat(d, "brush last point y", b.lastPoint.y, model.brush.lastPoint.y);
    if (b.strokeActive != model.brush.active) d.note() << "brush strokeActive: real " << b.strokeActive << "\n";
    compareStrokes(d, "brush undo", b.undoStack, model.brush.undo, depth);
    compareStrokes(d, "brush redo", b.redoStack, model.brush.redo, depth);

    const StraightLine2D& l = real.line;
    compareFloat(d, "line width", l.width, model.line.width);
    comparePose(d, "line last pose", l.lastPose, model.line.last);
    compareFloat(d, "line start x", l.start.x, model.line.start.x);
    compareFloat(d, "line start y", l.start.y, model.line.start.y);
    compareFloat(d, "line end x", l.end.x, model.line.end.x, gPointScale);
    compareFloat(d, "line end y", l.end.y, model.line.end.y, gPointScale);
    if (l.lineActive != model.line.active) d.note() << "line active: real " << l.lineActive << "\n";
    if (l.startKnown != model.line.startKnown) d.note() << "line startKnown: real " << l.startKnown << "\n";
    compareStrokes(d, "line undo", l.undoStack, model.line.undo, depth);
    compareStrokes(d, "line redo", l.redoStack, model.line.redo, depth);

    compareColourRecords(d, "ink undo", real.ink.undoStack, model.ink.undo, depth);
    compareColourRecords(d, "ink redo", real.ink.redoStack, model.ink.redo, depth);

    compareFloat(d, "rubber width", real.rubber.width, model.rubber.width);
    comparePose(d, "rubber last pose", real.rubber.lastPose, model.rubber.last);
    compareEraseRecords(d, "rubber undo", real.rubber.undoStack, model.rubber.undo, depth);
    compareEraseRecords(d, "rubber redo", real.rubber.redoStack, model.rubber.redo, depth);

    compareStrokes(d, "trash undo", real.trash.undoStack, model.trash.undo, depth);
    compareStrokes(d, "trash redo", real.trash.redoStack, model.trash.redo, depth);

    compareFloat(d, "picker hue", real.picker.hue, model.picker.hue);
    compareFloat(d, "picker saturation", real.picker.saturation, model.picker.saturation);
    compareFloat(d, "picker value", real.picker.value, model.picker.value);
    comparePose(d, "picker last pose", real.picker.lastPose, model.picker.last);

    const Manipulator2D& m = real.manipulator;
    compareMatrix(d, "view", m.view, model.manipulator.view);
    compareMatrix(d, "start view", m.startView, model.manipulator.startView);
    compareFloat(d, "start angle", m.startAngle, model.manipulator.startAngle);
    compareFloat(d, "start distance", m.startDistance, model.manipulator.startDistance);
    compareFloat(d, "start midpoint x", m.startMidpoint.x, model.manipulator.startMidpoint.x);
    compareFloat(d, "start midpoint y", m.startMidpoint.y, model.manipulator.startMidpoint.y);
    return d.out.str();
}

// ---- taking over the program's state ---------------------------------------------------------

// After a frame whose outcome hung on a rounding-level tie, the model continues from the
// program's state, so that one tie broken differently does not end the comparison.
ref::Stroke toModel(const Stroke& s) {
    ref::Stroke out;
    for (const CanvasPoint& p : s.points) out.points.push_back(ref::Pt{p.x, p.y});
    out.colour = s.colour;
    out.width = s.width;
    out.id = s.id;
    return out;
}

std::vector<ref::Stroke> toModel(const std::vector<Stroke>& strokes) {
    std::vector<ref::Stroke> out;
    for (const Stroke& s : strokes) out.push_back(toModel(s));
    return out;
}

// The numbers only, after a frame that agreed within rounding: the next frame then starts from
// the same floats on both sides, so rounding differences cannot pile up over a long run (far
// zooms turn them into differences of whole segments for the rubber).
void adoptNumbers(ref::World& m, const RealPaint& r) {
    for (size_t i = 0; i < m.canvas.strokes.size(); ++i) {
        ref::Stroke& ms = m.canvas.strokes[i];
        const Stroke& rs = r.canvas.strokes[i];
        for (size_t k = 0; k < ms.points.size(); ++k) ms.points[k] = ref::Pt{rs.points[k].x, rs.points[k].y};
        ms.colour = rs.colour;
        ms.width = rs.width;
    }
    m.colour = r.color;
    m.brush.width = r.brush.width;
    m.line.width = r.line.width;
    m.line.end = ref::Pt{r.line.end.x, r.line.end.y};
    m.rubber.width = r.rubber.width;
    m.picker.hue = r.picker.hue;
    m.picker.saturation = r.picker.saturation;
    m.picker.value = r.picker.value;
    const Manipulator2D& rm = r.manipulator;
    std::copy(rm.view.begin(), rm.view.end(), m.manipulator.view.begin());
    std::copy(rm.startView.begin(), rm.startView.end(), m.manipulator.startView.begin());
    m.manipulator.startAngle = rm.startAngle;
    m.manipulator.startDistance = rm.startDistance;
    m.manipulator.startMidpoint = ref::Pt{rm.startMidpoint.x, rm.startMidpoint.y};
}

// Everything, after a frame whose outcome hung on a tie.
void adopt(ref::World& m, const RealPaint& r) {
    m.canvas.strokes = toModel(r.canvas.strokes);
    m.canvas.counter = r.canvas.idCounter;
    m.colour = r.color;
    m.brush.width = r.brush.width;
    m.brush.lastPoint = ref::Pt{r.brush.lastPoint.x, r.brush.lastPoint.y};
    m.brush.active = r.brush.strokeActive;
    m.brush.activeId = r.brush.activeStrokeId;
    m.brush.undo = toModel(r.brush.undoStack);
    m.brush.redo = toModel(r.brush.redoStack);
    m.line.width = r.line.width;
    m.line.start = ref::Pt{r.line.start.x, r.line.start.y};
    m.line.end = ref::Pt{r.line.end.x, r.line.end.y};
    m.line.active = r.line.lineActive;
    m.picker.hue = r.picker.hue;
    m.picker.saturation = r.picker.saturation;
    m.picker.value = r.picker.value;
    adoptNumbers(m, r);
    m.line.undo = toModel(r.line.undoStack);
    m.line.redo = toModel(r.line.redoStack);
    m.rubber.width = r.rubber.width;
    auto records = [](const std::vector<EraseRecord>& in) {
        std::vector<ref::EraseRecord> out;
        for (const EraseRecord& e : in) out.push_back(ref::EraseRecord{toModel(e.before), toModel(e.pieces)});
        return out;
    };
    m.rubber.undo = records(r.rubber.undoStack);
    m.rubber.redo = records(r.rubber.redoStack);
    auto colours = [](const std::vector<ColorRecord>& in) {
        std::vector<ref::ColourRecord> out;
        for (const ColorRecord& c : in) out.push_back(ref::ColourRecord{c.id, c.colour});
        return out;
    };
    m.ink.undo = colours(r.ink.undoStack);
    m.ink.redo = colours(r.ink.redoStack);
    m.trash.undo = toModel(r.trash.undoStack);
    m.trash.redo = toModel(r.trash.redoStack);
    m.done.clear();
    for (const Tool* t : r.history.done) m.done.push_back(r.indexOf(t));
    m.undone.clear();
    for (const Tool* t : r.history.undone) m.undone.push_back(r.indexOf(t));
}

// ---- random input -----------------------------------------------------------------------------

// What a run leans on: which tools are chosen how often, and how the hands behave.
struct Mix {
    std::vector<double> toolWeights;  // by tool index 0..7
    double toolChange = 0.03;         // per frame, by key
    double undo = 0.03;
    double redo = 0.025;
    double gesture = 0.012;
    double gripToggle = 0.12;
    double leaveOutside = 0.03;  // the pointer jumps somewhere, perhaps off the window
    double resize = 0.002;
    // Tools change only while no brush stroke is in progress, so that no other tool edits a
    // stroke that has not been recorded yet.
    bool switchOnlyWhenBrushIdle = false;
    int32_t firstIdCounter = 0;
    // Zooms of any size, down to views too flat to invert (the tools then map through the view
    // as it is).
    bool farZoom = false;
};

class Session {
public:
    Session(unsigned seed, Mix mix) : rng_(seed), mix_(std::move(mix)) {
        pointer_[0] = {400.0f, 500.0f};
        pointer_[1] = {1100.0f, 500.0f};
        engaged_[0] = engaged_[1] = true;
        pose_.fill(0.0f);
        gPointScale = 0.0f;
        real_.canvas.idCounter = mix_.firstIdCounter;
        model_.canvas.counter = mix_.firstIdCounter;
    }

    // Runs `frames` frames and then undoes and redoes everything; returns the first difference.
    std::string run(int frames) {
        std::string diff = runFrames(frames);
        if (diff.empty()) diff = unwind();
        if (diff.empty()) diff = rewind();
        return diff;
    }

    std::string runFrames(int frames) {
        for (frame_ = 0; frame_ < frames; ++frame_) {
            model_.ties = 0;
            step();
            const std::string diff = compareAll(real_, model_, frame_ % 25 == 0 || frame_ + 1 == frames);
            if (!diff.empty()) {
                if (model_.ties == 0) return report(diff);
                adopt(model_, real_);
                ++adoptions;
            } else {
                adoptNumbers(model_, real_);
            }
        }
        return "";
    }

    // Undoes every edit, one by one.
    std::string unwind() {
        int steps = 0;
        while (!model_.done.empty() || !real_.history.done.empty()) {
            log("undoLast (unwinding)");
            real_.history.undoLast();
            model_.undoLast();
            const std::string diff = compareAll(real_, model_, ++steps % 25 == 0 || model_.done.empty());
            if (!diff.empty()) return report(diff);
        }
        return "";
    }

    // Redoes every undone edit, one by one.
    std::string rewind() {
        int steps = 0;
        while (!model_.undone.empty() || !real_.history.undone.empty()) {
            log("redoLast (rewinding)");
            real_.history.redoLast();
            model_.redoLast();
            const std::string diff = compareAll(real_, model_, ++steps % 25 == 0 || model_.undone.empty());
            if (!diff.empty()) return report(diff);
        }
        return "";
    }

    // One idle frame with the brush, which finishes a stroke left in progress.
    void finishWithBrush() {
        selectBoth(ref::BRUSH);
        dispatchToolInput(real_.selection.currentTool, ArmPose{}, false, false);
        model_.input(ref::NO_GRIP, ref::Pose{});
    }

    RealPaint& realPaint() { return real_; }
    const RealPaint& real() const { return real_; }
    const ref::World& model() const { return model_; }
    int edits = 0;      // history entries seen, for the coverage checks
    int adoptions = 0;  // frames whose rounding-level ties went the other way in the program

private:
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }
    int pickWeighted(const std::vector<double>& w) {
        return std::discrete_distribution<int>(w.begin(), w.end())(rng_);
    }

    void log(const std::string& line) {
        history_.push_back("frame " + std::to_string(frame_) + ": " + line);
        if (history_.size() > 14) history_.pop_front();
    }

    std::string report(const std::string& diff) {
        std::ostringstream out;
        out << "difference after frame " << frame_ << ":\n" << diff << "recent input:\n";
        for (const std::string& h : history_) out << "  " << h << "\n";
        out << "real view:";
        for (float v : real_.manipulator.view) out << " " << v;
        out << "\nmodel view:";
        for (float v : model_.manipulator.view) out << " " << v;
        out << "\nreal start view:";
        for (float v : real_.manipulator.startView) out << " " << v;
        out << "\nmodel start view:";
        for (float v : model_.manipulator.startView) out << " " << v;
        out << "\nstart distance " << real_.manipulator.startDistance << " / " << model_.manipulator.startDistance;
        out << "\nreal canvas: ";
        for (const Stroke& s : real_.canvas.strokes) out << s.id << "(" << s.points.size() << ") ";
        out << "\nmodel canvas: ";
        for (const ref::Stroke& s : model_.canvas.strokes) out << s.id << "(" << s.points.size() << ") ";
        out << "\n";
        return out.str();
    }

    void selectBoth(int index) {
        selectTool(real_.selection, index);
        model_.select(index);
    }

    // Keys and recognised gestures arrive between frames.
    void betweenFrames() {
        const bool maySwitch = !mix_.switchOnlyWhenBrushIdle || !model_.brush.active;
        if (chance(mix_.toolChange) && maySwitch) {
            const int index = pickWeighted(mix_.toolWeights);
            log("select tool " + std::to_string(index));
            selectBoth(index);
        }
        // Mostly one key at a time, now and then a burst of them.
        const int undos = chance(mix_.undo) ? (chance(0.15) ? std::uniform_int_distribution<int>(2, 6)(rng_) : 1) : 0;
        for (int i = 0; i < undos; ++i) {
            log("undoLast");
            real_.history.undoLast();
            model_.undoLast();
        }
        const int redos = chance(mix_.redo) ? (chance(0.15) ? std::uniform_int_distribution<int>(2, 6)(rng_) : 1) : 0;
        for (int i = 0; i < redos; ++i) {
            log("redoLast");
            real_.history.redoLast();
            model_.redoLast();
        }
        const bool tiny = real_.window.width < 2 || real_.window.height < 2;
        if (chance(tiny ? 0.05 : mix_.resize)) {
            // The window changes size; now and then, briefly, it is minimised to nothing.
            static const uint32_t sizes[][2] = {{1600, 1000}, {800, 600}, {1920, 1200}, {333, 777},
                                                {1600, 1000}, {1280, 720}, {1, 1}, {0, 0}};
            const auto& size = sizes[std::uniform_int_distribution<int>(0, 7)(rng_)];
            log("window " + std::to_string(size[0]) + " x " + std::to_string(size[1]));
            real_.window.width = size[0];
            real_.window.height = size[1];
            model_.windowW = static_cast<float>(size[0]);
            model_.windowH = static_cast<float>(size[1]);
        }
        if (chance(mix_.gesture) && maySwitch) {
            static const char* names[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                                          "DEFAULT_GESTURE", "DEFAULT_GESTURE", "GESTURE_TRAINED",
                                          "", "03", "-1", "10", "3 ", "default_gesture"};
            const std::string name = names[std::uniform_int_distribution<int>(0, 18)(rng_)];
            log("gesture " + name + (painting_ ? "" : " (not painting)"));
            handleToolGesture(real_.selection, real_.history, name, painting_);
            model_.gesture(name, painting_);
        }
        if (painting_ ? chance(0.01) : chance(0.25)) painting_ = !painting_;
    }

    void placeBoth(int hand, ref::Pt px) {
        HandPointer& p = hand == 0 ? real_.left : real_.right;
        ref::Pointer& m = hand == 0 ? model_.left : model_.right;
        const float w = static_cast<float>(std::max(real_.window.width, 1u));
        const float h = static_cast<float>(std::max(real_.window.height, 1u));
        const float x = p.xMin + px.x / w * (p.xMax - p.xMin);
        const float y = p.yMin + px.y / h * (p.yMax - p.yMin);
        p.x = m.x = x;
        p.y = m.y = y;
    }

    // A point of the picked stroke in window pixels, when there is one.
    bool pickedPointOnScreen(ref::Pt& out) {
        const int i = model_.canvas.indexOf(model_.picked);
        if (i < 0) return false;
        const ref::Stroke& s = model_.canvas.strokes[static_cast<size_t>(i)];
        if (s.points.empty()) return false;
        const size_t n = s.points.size();
        const size_t k = std::uniform_int_distribution<size_t>(0, n - 1)(rng_);
        ref::Pt p = s.points[k];
        if (k + 1 < n && chance(0.6)) {
            const float t = uniform(0.0f, 1.0f);
            p = ref::Pt{p.x + t * (s.points[k + 1].x - p.x), p.y + t * (s.points[k + 1].y - p.y)};
        }
        out = ref::canvasToWindow(model_.manipulator.view, p);
        return true;
    }

    void movePointers() {
        const float w = static_cast<float>(real_.window.width);
        const float h = static_cast<float>(real_.window.height);
        for (int hand = 0; hand < 2; ++hand) {
            ref::Pt& p = pointer_[hand];
            if (chance(mix_.leaveOutside)) {
                p = {uniform(-250.0f, w + 250.0f), uniform(-250.0f, h + 250.0f)};
            } else {
                const float step = chance(0.2) ? 80.0f : 25.0f;
                p.x += uniform(-step, step);
                p.y += uniform(-step, step);
            }
            if (chance(0.02)) p = {uniform(0.0f, w), uniform(0.0f, h)};
        }
        // Two-hand manipulations from the same pixel make the zoom undefined; keep the hands apart
        // most of the time so that the views stay usable.
        if (model_.current == ref::MANIPULATOR && ref::dist(pointer_[0], pointer_[1]) < 40.0f && !chance(0.05)) {
            pointer_[1].x = pointer_[0].x + 120.0f;
        }
        // Far zooms: for a while the hands spread while both grip and come together between
        // grips, so that the zoom climbs to where it stops; then the other way round.
        if (mix_.farZoom && chance(0.01)) zoomingIn_ = !zoomingIn_;
        if (mix_.farZoom && model_.current == ref::MANIPULATOR && chance(0.3)) {
            const bool gripping = closed_[0] && closed_[1];
            const float spread = zoomingIn_ ? (gripping ? 1.6f : 0.4f) : (gripping ? 0.6f : 2.5f);
            pointer_[1] = {pointer_[0].x + (pointer_[1].x - pointer_[0].x) * spread,
                           pointer_[0].y + (pointer_[1].y - pointer_[0].y) * spread};
        }
        // The rubber is useful where the picked stroke is: aim at it most of the time.
        ref::Pt target;
        if (model_.current == ref::RUBBER && chance(0.7) && pickedPointOnScreen(target)) {
            const float r = model_.rubber.width * 1.6f;
            pointer_[1] = {target.x + uniform(-r, r), target.y + uniform(-r, r)};
        }
        placeBoth(0, pointer_[0]);
        placeBoth(1, pointer_[1]);
        keepZoomModerate();
    }

    // Far in or far out, canvas coordinates keep only a few significant digits, and the two
    // sides' different rounding decides the rubber's inside tests. Two-hand moves that would take
    // the zoom beyond 1:10 either way keep the hands' starting distance instead.
    void keepZoomModerate() {
        if (mix_.farZoom || model_.current != ref::MANIPULATOR || !(closed_[0] && closed_[1] && engaged_[0] && engaged_[1])) return;
        const ref::Manipulator& m = model_.manipulator;
        const float startZoom = std::sqrt(std::fabs(m.startView[0] * m.startView[5] - m.startView[1] * m.startView[4]));
        const ref::Pt l = model_.leftScreen();
        const ref::Pt r = model_.rightScreen();
        const float d = ref::dist(l, r);
        if (d <= 0.0f || m.startDistance <= 0.0f) return;
        const float zoom = startZoom * d / m.startDistance;
        if (zoom > 0.1f && zoom < 10.0f) return;
        pointer_[1] = {l.x + (r.x - l.x) / d * m.startDistance, l.y + (r.y - l.y) / d * m.startDistance};
        placeBoth(1, pointer_[1]);
    }

    void moveHands() {
        for (int hand = 0; hand < 2; ++hand) {
            if (chance(mix_.gripToggle)) closed_[hand] = !closed_[hand];
            if (chance(engaged_[hand] ? 0.015 : 0.15)) engaged_[hand] = !engaged_[hand];
            HandPointer& p = hand == 0 ? real_.left : real_.right;
            p.state = engaged_[hand] ? POINTER_ENGAGED : (chance(0.5) ? POINTER_ARMING : POINTER_IDLE);
            (hand == 0 ? model_.left : model_.right).engaged = engaged_[hand];
        }
    }

    void movePose() {
        for (size_t i = 0; i < pose_.size(); ++i) {
            if (i != ref::LEFT_WRIST_Y && i != ref::RIGHT_WRIST_X && i != ref::RIGHT_WRIST_Y) {
                pose_[i] = uniform(-2.0f, 2.0f);  // values no tool may read
            }
        }
        pose_[ref::LEFT_WRIST_Y] += chance(0.03) ? uniform(-0.4f, 0.4f) : uniform(-0.02f, 0.02f);
        pose_[ref::RIGHT_WRIST_X] += chance(0.05) ? uniform(-0.06f, 0.06f) : uniform(-0.012f, 0.012f);
        pose_[ref::RIGHT_WRIST_Y] += chance(0.05) ? uniform(-0.3f, 0.3f) : uniform(-0.012f, 0.012f);
        // Keep the wrists in reach of the body so that the widths stay in a useful range.
        pose_[ref::LEFT_WRIST_Y] = std::max(-0.6f, std::min(0.8f, pose_[ref::LEFT_WRIST_Y]));
    }

    // The stroke under the pointer from the previous frame's pick: mostly a painted stroke, now
    // and then the background, an id no longer on the canvas, or the same as before.
    void choosePick() {
        std::vector<int32_t> painted;
        for (const ref::Stroke& s : model_.canvas.strokes) {
            if (!s.points.empty()) painted.push_back(s.id);
        }
        int32_t pick = model_.picked;
        const double r = uniform(0.0f, 1.0f);
        if (r < 0.15 || painted.empty()) {
            pick = -1;
        } else if (r < 0.22) {
            pick = std::uniform_int_distribution<int32_t>(1, model_.canvas.counter + 2)(rng_);
        } else if (r < 0.55 && pick != -1) {
            // keep
        } else {
            pick = painted[std::uniform_int_distribution<size_t>(0, painted.size() - 1)(rng_)];
        }
        // An empty stroke never shows in the picking pass.
        const int i = model_.canvas.indexOf(pick);
        if (i >= 0 && model_.canvas.strokes[static_cast<size_t>(i)].points.empty()) pick = -1;
        real_.picked = model_.picked = pick;
    }

    void step() {
        betweenFrames();
        moveHands();
        movePose();
        choosePick();
        movePointers();
        if (!painting_) {
            log("not painting");
            return;
        }
        real_.leftDetector.state = closed_[0] ? 1 : 0;
        real_.rightDetector.state = closed_[1] ? 1 : 0;
        ArmPose pose{};
        ref::Pose modelPose{};
        for (size_t i = 0; i < pose.size(); ++i) pose[i] = modelPose[i] = pose_[i];
        dispatchToolInput(real_.selection, pose, real_.left, real_.leftDetector, real_.right,
                          real_.rightDetector);
        const ref::Input in = ref::inputFor(model_.left.engaged && closed_[0], model_.right.engaged && closed_[1]);
        model_.input(in, modelPose);
        static const char* inputNames[] = {"left grip", "right grip", "both grip", "no grip"};
        std::ostringstream line;
        const ref::Pt r = model_.rightScreen();
        line << "tool " << model_.current << " " << inputNames[in] << " right at (" << r.x << ", " << r.y
             << ") picked " << model_.picked;
        log(line.str());
        if (!model_.done.empty() && model_.done.size() != lastDone_) ++edits;
        lastDone_ = model_.done.size();
    }

    std::mt19937 rng_;
    Mix mix_;
    RealPaint real_;
    ref::World model_;
    ref::Pt pointer_[2];
    bool closed_[2] = {false, false};
    bool engaged_[2] = {true, true};
    bool zoomingIn_ = true;  // far zooms: which way the hands are driving the zoom
    bool painting_ = true;
    std::array<float, 18> pose_{};
    int frame_ = 0;
    size_t lastDone_ = 0;
    std::deque<std::string> history_;
};

Mix allTools() {
    Mix mix;
    //                 null  manip picker brush line  ink   rubber trash
    mix.toolWeights = {0.03, 0.08, 0.07, 0.30, 0.15, 0.09, 0.20, 0.08};
    return mix;
}

// Mostly painting and rubbing, with few tool changes, so that strokes get long and are cut often.
Mix paintAndRub() {
    Mix mix;
    mix.toolWeights = {0.0, 0.05, 0.03, 0.45, 0.1, 0.02, 0.35, 0.0};
    mix.toolChange = 0.02;
    mix.undo = 0.01;
    mix.redo = 0.008;
    mix.gripToggle = 0.06;
    return mix;
}

// The view turned, zoomed and panned often, so that every tool works through a changing view.
Mix underAMovingView() {
    Mix mix;
    mix.toolWeights = {0.0, 0.35, 0.02, 0.25, 0.15, 0.03, 0.17, 0.03};
    mix.toolChange = 0.05;
    return mix;
}

// The colour changed often and strokes filled again and again.
Mix coloursAndFills() {
    Mix mix;
    mix.toolWeights = {0.0, 0.02, 0.3, 0.25, 0.08, 0.3, 0.0, 0.05};
    mix.toolChange = 0.08;
    return mix;
}

// Zooms of any size, down to views too flat to invert.
Mix farZoom() {
    Mix mix = underAMovingView();
    mix.farZoom = true;
    return mix;
}

// What the runs of one test reached, summed over its seeds.
struct Reached {
    ref::Coverage seen;
    int hueWraps = 0, limits = 0, adoptions = 0, edits = 0;

    void add(const Session& session) {
        const ref::Coverage& c = session.model().seen;
        for (int i = 0; i < 6; ++i) seen.rubberCase[i] += c.rubberCase[i];
        seen.rubberDots += c.rubberDots;
        seen.rubberOpenRemoved += c.rubberOpenRemoved;
        seen.brushRecords += c.brushRecords;
        seen.lineRecords += c.lineRecords;
        seen.inkRecords += c.inkRecords;
        seen.trashRecords += c.trashRecords;
        seen.rubberRecords += c.rubberRecords;
        seen.inkRepeats += c.inkRepeats;
        seen.brushTaken += c.brushTaken;
        seen.moves += c.moves;
        seen.undefinedMoves += c.undefinedMoves;
        seen.flatViews += c.flatViews;
        seen.zoomStops += c.zoomStops;
        hueWraps += session.model().picker.hueWraps;
        limits += session.model().picker.limits;
        adoptions += session.adoptions;
        edits += session.edits;
    }

    std::string text() const {
        std::ostringstream out;
        out << "rubber cases";
        for (int i = 1; i <= 5; ++i) out << " " << seen.rubberCase[i];
        out << ", dots " << seen.rubberDots << ", open strokes removed " << seen.rubberOpenRemoved
            << ", records: brush " << seen.brushRecords << " line " << seen.lineRecords << " ink "
            << seen.inkRecords << " trash " << seen.trashRecords << " rubber " << seen.rubberRecords
            << ", fill repeats " << seen.inkRepeats << ", brush strokes taken " << seen.brushTaken << ", moves "
            << seen.moves << " (undefined " << seen.undefinedMoves << ", flat " << seen.flatViews
            << ", zoom stops " << seen.zoomStops << "), hue wraps " << hueWraps << ", limits " << limits << ", ties taken over " << adoptions;
        return out.str();
    }
};

// The strokes with points, by id; a second stroke with the same id is a fault of its own.
std::map<int32_t, Stroke> paintedStrokes(const Canvas& canvas, std::string& problem) {
    std::map<int32_t, Stroke> out;
    for (const Stroke& s : canvas.strokes) {
        if (s.points.empty()) continue;
        if (!out.emplace(s.id, s).second) problem += "two strokes with id " + std::to_string(s.id) + "; ";
    }
    return out;
}

}  // namespace

// Runs `seeds` sessions of `frames` frames each; fails at the first difference.
Reached runSessions(unsigned firstSeed, unsigned seeds, int frames, const Mix& mix) {
    Reached reached;
    for (unsigned seed = firstSeed; seed < firstSeed + seeds; ++seed) {
        Session session(seed, mix);
        const std::string diff = session.run(frames);
        EXPECT_TRUE(diff.empty()) << "seed " << seed << ", " << diff;
        if (!diff.empty()) break;
        reached.add(session);
    }
    return reached;
}

TEST(ToolsAgainstModel, AllToolsWithUndoAndRedoAnywhere) {
    const Reached r = runSessions(1, 12, 2500, allTools());
    SCOPED_TRACE(r.text());
    EXPECT_GT(r.edits, 1000);
    for (int i = 1; i <= 5; ++i) EXPECT_GT(r.seen.rubberCase[i], 0) << "rubber case " << i;
    EXPECT_GT(r.seen.rubberDots, 0);
    EXPECT_GT(r.seen.rubberOpenRemoved, 0);
    EXPECT_GT(r.seen.brushRecords, 0);
    EXPECT_GT(r.seen.lineRecords, 0);
    EXPECT_GT(r.seen.inkRecords, 0);
    EXPECT_GT(r.seen.trashRecords, 0);
    EXPECT_GT(r.seen.brushTaken, 0);
    EXPECT_GT(r.seen.moves, 0);
    EXPECT_LT(r.adoptions, 5);  // ties are rare; a difference without one fails at once
}

TEST(ToolsAgainstModel, LongStrokesCutByTheRubber) {
    const Reached r = runSessions(101, 8, 3000, paintAndRub());
    SCOPED_TRACE(r.text());
    for (int i = 1; i <= 5; ++i) EXPECT_GT(r.seen.rubberCase[i], 20) << "rubber case " << i;
    EXPECT_GT(r.seen.rubberRecords, 1000);
    EXPECT_LT(r.adoptions, 5);
}

TEST(ToolsAgainstModel, EveryToolThroughAMovingView) {
    const Reached r = runSessions(201, 8, 2500, underAMovingView());
    SCOPED_TRACE(r.text());
    EXPECT_GT(r.seen.moves, 500);
    EXPECT_GT(r.seen.rubberRecords, 100);
    EXPECT_GT(r.seen.brushRecords + r.seen.lineRecords, 100);
    EXPECT_LT(r.adoptions, 5);
}

TEST(ToolsAgainstModel, ColoursPickedAndFilled) {
    const Reached r = runSessions(301, 8, 2500, coloursAndFills());
    SCOPED_TRACE(r.text());
    EXPECT_GT(r.seen.inkRecords, 100);
    EXPECT_GT(r.seen.inkRepeats, 0);
    EXPECT_GT(r.hueWraps, 0);
    EXPECT_GT(r.limits, 0);
    EXPECT_LT(r.adoptions, 5);  // as above: a taken-over tie must not hide a difference
}

// Far in, up to where the zoom stops, and far out, down to scales below 1/46 (determinants under
// 0.00001), and hands on one pixel.
TEST(ToolsAgainstModel, ExtremeZoomsAndHandsTogether) {
    const Reached r = runSessions(601, 8, 2500, farZoom());
    SCOPED_TRACE(r.text());
    EXPECT_GT(r.seen.flatViews, 0);
    EXPECT_GT(r.seen.undefinedMoves, 0);
    EXPECT_GT(r.seen.zoomStops, 0);
    EXPECT_LT(r.adoptions, 10);
}

// When no tool touches a stroke that is still being painted, the edit history holds every change
// of paint: undoing everything leaves only empty strokes, and redoing everything brings back
// every painted stroke as it was.
// One session in which tools change only while no brush stroke is in progress; then everything
// is undone and redone. Returns what went wrong, empty when nothing did; counts the painted
// strokes in `painted`.
std::string fullUndoAndRedo(unsigned seed, const Mix& base, int frames, size_t& painted) {
    Mix mix = base;
    mix.switchOnlyWhenBrushIdle = true;
    Session session(seed, mix);
    std::string diff = session.runFrames(frames);
    if (diff.empty()) {
        session.finishWithBrush();
        diff = session.rewind();  // edits undone near the end count as done
    }
    if (!diff.empty()) return diff;

    std::string problem;
    const std::map<int32_t, Stroke> before = paintedStrokes(session.real().canvas, problem);
    painted += before.size();
    diff = session.unwind();
    if (!diff.empty()) return diff;
    for (const Stroke& s : session.real().canvas.strokes) {
        if (!s.points.empty()) problem += "stroke " + std::to_string(s.id) + " survives a full undo; ";
    }
    diff = session.rewind();
    if (!diff.empty()) return diff;
    const std::map<int32_t, Stroke> after = paintedStrokes(session.real().canvas, problem);
    for (const auto& entry : before) {
        const auto found = after.find(entry.first);
        if (found == after.end()) {
            problem += "stroke " + std::to_string(entry.first) + " not redone; ";
            continue;
        }
        const Stroke& a = entry.second;
        const Stroke& b = found->second;
        bool same = a.points.size() == b.points.size() && a.colour == b.colour && a.width == b.width;
        for (size_t i = 0; same && i < a.points.size(); ++i) {
            same = a.points[i].x == b.points[i].x && a.points[i].y == b.points[i].y;
        }
        if (!same) problem += "stroke " + std::to_string(a.id) + " redone differently; ";
    }
    if (after.size() != before.size()) {
        problem += std::to_string(after.size()) + " painted strokes after redoing, " + std::to_string(before.size()) + " before; ";
    }
    // Ties are rare; many taken over would hide differences in the frames that had them.
    if (session.adoptions >= 5) problem += std::to_string(session.adoptions) + " ties taken over; ";
    return problem;
}

TEST(ToolsAgainstModel, UndoingEverythingClearsThePaintAndRedoingBringsItBack) {
    size_t painted = 0;
    for (unsigned seed = 401; seed <= 406; ++seed) {
        EXPECT_EQ(fullUndoAndRedo(seed, allTools(), 1500, painted), "") << "seed " << seed;
    }
    EXPECT_GT(painted, 30u);  // there was paint to take away and bring back
}

// Stroke ids wrap from 999999999 to 0 in the middle of painting, cutting and undoing.
TEST(ToolsAgainstModel, StrokeIdsWrapAround) {
    for (unsigned seed = 501; seed <= 503; ++seed) {
        Mix mix = paintAndRub();
        mix.firstIdCounter = 999999990;
        Session session(seed, mix);
        const std::string diff = session.run(1200);
        ASSERT_TRUE(diff.empty()) << "seed " << seed << ", " << diff;
        EXPECT_LT(session.adoptions, 5) << "seed " << seed;
        EXPECT_LT(session.model().canvas.counter, 999999990) << "seed " << seed << ": the ids did not wrap";
    }
}
