#pragma once
// CanvasImageCache: the painting's finished strokes kept off-screen as a picture, so that a frame
// copies them into the back buffer instead of drawing every stroke again. On a software renderer
// each wide, smoothed stroke costs a tenth of a millisecond or more, so a painting of some
// hundreds of strokes alone would outlast the sensor's frame period; the copy costs about the
// same whatever the painting holds.
//
// The picture kept is the white background with every stroke but the last drawn over it: the
// last stroke is the one the brush paints into, and it is drawn on top every frame. The cache
// compares the kept strokes (points, colour and width, bit for bit), the view, the projection,
// the viewport and the window's size with the frame's. While they match, the picture is copied
// and strokes added since are drawn over it and kept too; a frame that finds one changed (the
// view moving, a stroke filled, rubbed or taken away) draws all strokes, and the first frame
// after in which nothing changed draws them and keeps the picture again. So continuous change
// costs what drawing always cost, and no frame pays for more than one draw and two copies.
//
// The copy is exact: frames show the same pixels as drawing every stroke would. Falls back to
// drawing every frame where the context has no framebuffer objects or blits, or where the window's
// colour is not 8 bits per channel or multisampled.
#include <cstdint>
#include <vector>

#include "common/widgets/kept_picture.h"
#include "paint/canvas.h"

class CanvasImageCache {
public:
    CanvasImageCache() = default;
    CanvasImageCache(const CanvasImageCache&) = delete;
    CanvasImageCache& operator=(const CanvasImageCache&) = delete;

    // Draws the canvas's strokes through `view` as drawStrokes does, over a back buffer cleared
    // to white (as the picking pass leaves it), with the current projection and viewport.
    void draw(const Canvas& canvas, const Matrix4& view);

    int framesDrawn = 0;    // frames that drew every stroke
    int framesCopied = 0;   // frames that copied the kept picture
    // No exact copy possible here; every frame draws.
    bool disabled() const { return picture_.disabled; }

private:
    struct ViewState {
        float view[16];
        float projection[16];
        int viewport[4];
        unsigned int drawableSize[2];
        bool operator==(const ViewState& other) const;
    };
    // A stroke as the picture shows it, with where its points start in keptPoints_.
    struct KeptStroke {
        uint32_t colour[3];
        uint32_t width;
        size_t firstPoint;
        size_t pointCount;
    };

    // True when strokes [0, keptStrokes_.size()) are the kept ones, bit for bit.
    bool keptStrokesMatch(const Canvas& canvas) const;
    // Appends strokes [keptStrokes_.size(), end) to the kept list and grows keptRectangle_ by
    // the part of the window they can cover.
    void keepStrokes(const Canvas& canvas, size_t end);

    ViewState keptView_{};
    std::vector<KeptStroke> keptStrokes_;
    std::vector<CanvasPoint> keptPoints_;
    // Whether the off-screen picture holds the kept strokes (else they are only remembered, to
    // see whether the next frame repeats them).
    bool pictureKept_ = false;
    bool keptValid_ = false;                  // keptView_ and keptStrokes_ describe a frame
    int keptRectangle_[4] = {0, 0, 0, 0};    // window {left, bottom, right, top} the kept strokes can cover
    KeptPicture picture_{"painting", false};
};
