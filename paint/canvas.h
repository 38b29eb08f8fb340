#pragma once
// The painting: an ordered list of strokes, each a polyline in canvas coordinates with one colour
// and one width, drawn again every frame under the canvas view transform. Strokes keep a numeric
// id across edits, which is how the tools' undo records find them again. Main thread only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/sensor/hand_pointer.h"
#include "common/sensor/window_info.h"

class Tool;

struct CanvasPoint {
    float x = 0.0f;
    float y = 0.0f;
};

struct Stroke {
    std::vector<CanvasPoint> points;              // canvas coordinates, in drawing order
    std::array<float, 3> colour{{0.0f, 0.0f, 0.0f}};  // r, g, b in 0..1
    float width = 0.0f;                           // window pixels: GL line width and point size
    int32_t id = 0;                               // unique among the strokes made so far
};

// Ids run 1, 2, ... and wrap to 0 after 999999999.
constexpr int32_t STROKE_ID_MODULUS = 1000000000;

// The tool painting a stroke it has not recorded yet (the brush): records it as its own edit
// at once, as it is before another tool changes it.
class UnrecordedStrokeOwner {
public:
    virtual void recordUnrecordedStroke(const Stroke& stroke) = 0;

protected:
    ~UnrecordedStrokeOwner() = default;
};

// The painter of a canvas's stroke in progress. A copy of the canvas has none: the painter
// works on the original, and would otherwise be called from (or outlived by) the copy.
struct StrokeInProgress {
    int32_t id = -1;
    UnrecordedStrokeOwner* owner = nullptr;
    StrokeInProgress() = default;
    StrokeInProgress(const StrokeInProgress&) {}
    StrokeInProgress& operator=(const StrokeInProgress&) {
        id = -1;
        owner = nullptr;
        return *this;
    }
};

struct Canvas {
    // Drawing order: later strokes are drawn over earlier ones and win the picking pass.
    std::vector<Stroke> strokes;
    int32_t idCounter = 0;  // the last id handed out

    // A fresh id: counter = (counter + 1) mod 1000000000, the first id is 1.
    int32_t newStrokeId();

    // The first stroke with that id scanning from the start, or null.
    Stroke* findStrokeById(int32_t id);
    // Its index, or -1.
    int findStrokeIndex(int32_t id) const;
    void appendStroke(const Stroke& stroke);
    // Inserts before `position` (clamped to the end), keeping the order of `pieces`.
    void insertStrokes(size_t position, const std::vector<Stroke>& pieces);
    // Removes the stroke at `position`; the following strokes move up one place. Out of range
    // does nothing.
    void eraseStroke(size_t position);
    // Removes the first stroke with that id; false when there is none.
    bool eraseStrokeById(int32_t id);

    // The open stroke is the empty stroke the brush and line tools paint into. Appends a new empty
    // stroke (no points, black, width 0, fresh id) when the canvas is empty or its last stroke
    // has points.
    void appendOpenStrokeIfNeeded();
    // The open stroke, created first when missing, so that new points never land in a finished
    // stroke (another tool may have removed the open stroke since the last finish).
    Stroke& openStroke();

    // The stroke the brush is painting and has not recorded yet (id -1: none), and the tool
    // painting it. One brush per canvas: a second one starting a stroke takes the place over.
    StrokeInProgress strokeInProgress;
    // Called by a tool about to store `stroke` in an undo record of its own (the rubber and the
    // stroke eraser keep the strokes they act on), before it records its edit. A stroke still
    // being painted is then recorded by its painter first: undo takes the other tool's change
    // back before the stroke itself, so the stroke is never put back twice, nor left with no
    // record that undo can reach.
    void noteStrokeRecorded(const Stroke& stroke) {
        if (stroke.id == strokeInProgress.id && strokeInProgress.owner != nullptr) {
            strokeInProgress.owner->recordUnrecordedStroke(stroke);
        }
    }
};

// Undo and redo of the tools whose records are whole strokes (the brush and the line add one,
// the stroke eraser removes one). Moves the newest record of `from` onto `to`, and puts its
// stroke on the canvas (`onCanvas`) or takes it off. An empty `from` does nothing. The stroke
// may have been removed by another tool meanwhile; the record moves regardless.
void moveStrokeRecord(Canvas& canvas, std::vector<Stroke>& from, std::vector<Stroke>& to, bool onCanvas);

// 4 x 4 float matrix in OpenGL column-major order: element (row r, column c) is m[c * 4 + r].
using Matrix4 = std::array<float, 16>;

Matrix4 identityMatrix();
Matrix4 multiplyMatrix(const Matrix4& a, const Matrix4& b);  // a · b
Matrix4 translationMatrix(float tx, float ty, float tz);
Matrix4 rotationZMatrix(float radians);  // counter-clockwise for positive angles with y up
Matrix4 scaleMatrix(float s);            // uniform in x, y and z
// Inverts in place; a nearly singular matrix (determinant below 0.00001 of the cube of its
// longest first-three column, times its last row's length) is left unchanged and false is
// returned.
bool invertMatrix(Matrix4& m);

// Maps a window-pixel point (origin bottom-left, y up) to canvas coordinates with the inverse of
// `view` (canvas -> window). A view that cannot be inverted is used as it is.
CanvasPoint windowToCanvas(const Matrix4& view, float x, float y);

// How far apart, in window pixels, two neighbouring float canvas points are drawn through `view`
// anywhere in a width x height window: about the most by which paint can miss the pointer
// because canvas points are floats. It grows with the zoom and with the distance of the shown
// paint from the canvas origin. Infinity for a view that cannot be inverted.
float canvasSpacingInPixels(const Matrix4& view, float width, float height);

// The list index a pixel of the picking pass encodes (red bits 16..23, green 8..15, blue 0..7),
// or -1 for the white background or an index outside the list. White is also index 16777215, so
// at most 16777215 strokes can be told apart.
int pickedStrokeIndex(uint8_t red, uint8_t green, uint8_t blue, size_t strokeCount);

// The picking pass: draws every stroke in a colour that encodes its list index (red bits 16..23,
// green 8..15, blue 0..7) on white, reads back the pixel under `pointer` and returns the id of the
// stroke there, or -1 for the background or an index outside the list. Needs a current GL
// context and the window-pixel orthographic projection (a window of fewer than 8 bits a colour
// channel is picked off screen); clears the colour and depth buffers before and after, and
// loads `view` on the modelview matrix itself.
int32_t pickStroke(const Canvas& canvas, const Matrix4& view, ScreenPoint pointer);

// The visible strokes under `view`, in list order.
void drawStrokes(const Canvas& canvas, const Matrix4& view);
// Strokes [begin, end) of the list (end clamped to its size) the same way.
void drawStrokes(const Canvas& canvas, const Matrix4& view, size_t begin, size_t end);

class CanvasImageCache;

// Everything the painting screen shows below the tool's overlay, in window pixels: the picking
// pass (sets pickedStrokeId), the strokes, the current tool's icon in the top-right corner
// (nothing when the tool has no icon) and the colour swatch (frameTexture tinted with
// currentColor) in the bottom-right corner. Called once per painting frame after the tools'
// input, with the orthographic window projection current and depth test off. The strokes come
// through `keptPicture` when one is given (the same pixels, fewer drawn), else are all drawn.
void drawCanvas(const Canvas& canvas, const Matrix4& view, ScreenPoint rightPointer,
                int32_t& pickedStrokeId, Tool* currentTool, uint32_t frameTexture,
                const std::array<float, 3>& currentColor, const WindowInfo& window,
                CanvasImageCache* keptPicture = nullptr);
