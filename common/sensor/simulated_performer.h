#pragma once
// The default "synthetic" sensor: a procedurally animated person (see performer_body.h)
// who stands in front of the camera and is driven by scenario scripts, the built-in demo
// or the mouse. Renders depth and colour frames like a live camera: every fetch after an
// advance succeeds unless a fault is injected.
//
// Time: every driving call takes effect at the next advance(nowMs); durations run on the
// program clock's milliseconds (wrap-safe). Nothing here reads the wall clock or sleeps.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/sensor/frame_source.h"
#include "common/sensor/hand_pointer.h"
#include "common/sensor/performer_body.h"
#include "common/sensor/performer_gestures.h"
#include "common/sensor/performer_renderer.h"

// Faults a script can inject for a while, to exercise the program's fallbacks.
enum class PerformerFault {
    DROP_SKELETON,   // skeleton fetches fail
    DROP_COLOUR,     // colour fetches fail
    DROP_DEPTH,      // depth fetches fail
    LOSE_PERSON,     // the person is not tracked (slot 0 state 0, no player index)
    SECOND_PERSON,   // a second person stands behind to the left, tracked in slot 3, player 2
    HAND_OUT,        // the person steps aside with the right arm stretched out of the image
    FAULT_COUNT
};

// Reads "drop_skeleton", "drop_colour", "drop_depth", "lose_person", "second_person" or "hand_out".
bool parsePerformerFault(const std::string& name, PerformerFault& fault);

// Reach the mouse mode gives the right hand so its pointer engages (> 0.2 m).
constexpr float MOUSE_DEFAULT_REACH = 0.3f;

class SimulatedPerformer : public FrameSource {
public:
    explicit SimulatedPerformer(uint32_t seed = 1);

    // FrameSource
    void advance(uint32_t nowMs) override;
    bool nextSkeletonFrame(SkeletonFrame& frame) override;
    bool nextColourFrame(uint8_t* bgrx) override;
    bool nextDepthFrame(uint16_t* packedDepth) override;
    int tiltAngle() const override { return tilt; }
    void setTiltAngle(int degrees) override;  // clamped to +-TILT_LIMIT_DEGREES

    // Driving (times in ms of the program clock; actions start at the next advance).
    // hand: 0 left, 1 right. x, y: sensor-space metres in the frontal plane.
    void moveWrist(int hand, float x, float y, uint32_t durationMs);
    // Wrist offset from the spine toward the camera, metres (rest is about 0.02).
    void setReach(int hand, float reachMetres, uint32_t durationMs);
    void setHandShape(int hand, HandShape shape);
    // Starts a named gesture from where the arms are (their offset from rest fades out over its
    // first quarter); false for an unknown name. The seed picks this
    // performance's variation. With endReady the gesture's arms do not settle at rest but rise,
    // over its last fifth, to the ready pose (arms held out and up), as a user who goes on to
    // paint does.
    bool performGesture(const std::string& name, uint32_t variationSeed, bool endReady = false);
    void rest(uint32_t durationMs);  // arms back to rest
    bool busy() const;               // a timed action still runs (or waits for its advance)
    static std::vector<std::string> gestureNames();
    const SkeletonRecord& currentSkeleton() const { return skeleton; }

    // Mouse: window coordinates normalised to 0..1 (x right, y up); buttons; wheel steps.
    // The first mouse call enters mouse mode: the right hand is held forward at
    // MOUSE_DEFAULT_REACH so its pointer engages. The pointer moves relative to the wrist, with
    // acceleration, so no fixed wrist position keeps it under the mouse: until the right
    // pointer engages, mouseMove puts the wrist where the mouse lies in the pointer's box
    // (x 0..0.5, y -0.1..0.4 metres), so the pointer starts under the mouse; after that,
    // followPointer steers the wrist every frame. mouseButton's `hand` is the hand the button
    // works: HAND_RIGHT for the left button (closes the right hand once its pointer has come
    // to rest where the button went down, dropping and coming back there first if the wrist
    // has wandered far from where the mouse lies in the box; then retraces the mouse's path
    // meanwhile; a grip lasts long enough for the hand detector, and presses made meanwhile
    // follow in turn), HAND_LEFT for
    // the right button (holds the left hand forward while down, closed once its pointer has
    // engaged). While the left hand is held, the mouse moves it instead of the right hand (a
    // whole area's width is 0.5 m), so a drag with the right button changes what the left
    // hand's grip changes; the right hand stays where it is. The wheel changes the right hand's reach by 5 cm a step
    // (0..0.45 m).
    void mouseMove(float nx, float ny);
    void mouseButton(int hand, bool down);
    // The mouse left the drawing area: both arms drop to rest and both hands open, so the
    // pointers disengage and the person stands still. The next mouseMove brings the right
    // hand forward again.
    void mouseAway();
    bool mouseIsAway() const { return mouseMode && mouseAwayNow; }
    // Once per frame after `pointer` (the right hand's) was updated from this frame's pose:
    // moves the right wrist so that the pointer converges on the mouse. It predicts how far
    // the movement already under way will carry the pointer through its filter and gain, and
    // asks the wrist for the rest. The wrist stays within the arm's reach: where that cannot
    // carry the pointer to the mouse, the pointer stops at the nearest point it can reach; held
    // there for a while with the hand open, the hand drops and comes forward again, and the
    // pointer engages afresh under the mouse.
    // Does nothing outside mouse mode, while the mouse is away, or for a left pointer.
    void followPointer(const HandPointer& pointer);
    void mouseWheel(int steps);
    // A key asks for named gesture `index` (in gestureNames() order) while the mouse drives:
    // both hands open, the arms drop to rest and the gesture runs from there (arms that were
    // not hanging still first drop to rest over 0.4 s, and the gesture starts a second after the
    // key, from a still rest, as a person lowers the arm before performing, so that a gesture
    // starts from rest however it was asked for). The mouse does
    // not move the arms until it has ended; the person then stands still until the mouse moves
    // again. Where the gesture ends depends on where the mouse is when its last fifth begins:
    //   mouse off the drawing area   -> the arms settle at rest (the pose to teach in);
    //   mouse over the drawing area  -> the gesture's arms rise to the ready pose instead, as a
    //                                   person who goes on painting would, so that the rest pose
    //                                   does not put away the tool the gesture just picked.
    // False for an index out of range.
    bool mouseGesture(int index, uint32_t variationSeed);
    bool gestureRunning() const { return gestureRun.gesture != nullptr || keyedRequest.index >= 0; }

    // Faults last durationMs from the next advance.
    void injectFault(PerformerFault fault, uint32_t durationMs);
    bool faultActive(PerformerFault fault) const;

    // Tests switch the natural sway and tracker jitter off to compare exact positions.
    void setNaturalMotion(bool sway, bool jitter);
    // The shape the driver asked for (scripts, the mouse's buttons).
    HandShape handShape(int hand) const { return hands[hand & 1]; }
    // The shape the camera sees: the right button's left hand closes only once it has come
    // forward and its pointer has engaged and settled.
    HandShape shownHandShape(int hand) const;
    uint32_t nowMs() const { return now; }
    const PerformerBody& body() const { return bodyModel; }
    // The wrist target (world frame, before sway and tilt) of hand 0 or 1 at the current time.
    Vec3 wristTarget(int hand) const;
    // Where a gesture performed with endReady leaves the wrist of hand 0 or 1.
    Vec3 readyWristPosition(int hand) const;

private:
    // One scalar moving from `from` to `to` over durationMs, eased at both ends.
    struct Tween {
        float from = 0.0f;
        float to = 0.0f;
        uint32_t startMs = 0;
        uint32_t durationMs = 0;
        bool pending = false;  // starts at the next advance
    };
    struct ArmMotion {
        Tween x, y, reach;
        bool inGesture = false;
        Vec3 gestureStartOffset;  // wrist minus rest at the gesture's start, faded out early
    };
    struct GestureRun {
        const PerformerGesture* gesture = nullptr;
        GestureVariation variation;
        uint32_t startMs = 0;
        uint32_t durationMs = 0;
        bool pending = false;
        bool endReady = false;
        bool keyed = false;  // asked for by a key while the mouse drives
    };
    // A keyed gesture waiting for the arms to drop and settle.
    struct KeyedRequest {
        int index = -1;  // -1: none waiting
        uint32_t variationSeed = 0;
        uint32_t askedMs = 0;
        bool endReady = false;
    };
    struct FaultRun {
        uint32_t startMs = 0;
        uint32_t durationMs = 0;
        bool pending = false;
        bool active = false;
    };

    float tweenValue(const Tween& t, uint32_t atMs) const;
    bool tweenRunning(const Tween& t) const;
    void startTween(Tween& t, float to, uint32_t durationMs);
    void cancelGesture(int hand);
    // A keyed gesture's ending follows the mouse until its last fifth, where the rise to the
    // ready pose would begin; after that it is kept, so the arms never jump.
    void keyedEndingFollowsMouse(bool overArea);
    bool armsHangStill() const;
    // Both arms drop to rest and both hands open; the arms stay until the mouse moves again.
    void dropArmsForMouse();
    Vec3 tweenWrist(int hand, uint32_t atMs) const;
    void updateSkeletons();
    // How far from the shoulder, across the body, the mouse-driven right wrist may go.
    float mouseWristRadius() const;
    // The highest a steered wrist `z` metres from the camera may go with the open hand still
    // whole in the image (world y, for the current tilt).
    float highestWholeHandWrist(float z) const;
    void moveRightWristUnderMouse(uint32_t durationMs);
    // Where the mouse at (nx, ny) lies in the right pointer's box, as far as the arm reaches
    // (world frame; z is the shoulder's).
    Vec3 rightWristUnder(float nx, float ny) const;
    // The mouse button that works the right hand (the left one) went down or up.
    void rightHandButtonEvent(bool down);
    // The left button's grip closed or opened the right hand now.
    void markGripChange();
    // The right hand has shown its last grip change for at least `ms` and for long enough for
    // the hand detector to see it, however slowly the program draws its frames.
    bool gripShownFor(uint32_t ms) const;
    // The left button went down with the mouse at (nx, ny): the right hand closes there.
    void startRightGrip(float nx, float ny);
    void ensureRendered();

    uint32_t seed;
    uint32_t now = 0;
    int tilt = 0;
    bool sway = true;
    bool jitter = true;
    PerformerBody bodyModel;
    ArmMotion arms[2];
    GestureRun gestureRun;
    KeyedRequest keyedRequest;
    HandShape hands[2] = {HandShape::OPEN, HandShape::OPEN};
    FaultRun faults[static_cast<int>(PerformerFault::FAULT_COUNT)];
    bool mouseMode = false;
    bool mouseAwayNow = false;      // the arms hang until the mouse comes back
    bool mouseOverArea = false;     // the mouse's last place was over the drawing area
    bool mouseFollowing = false;    // the right pointer is engaged and steered
    bool mouseDropping = false;     // the stuck right hand drops so its pointer can start afresh
    uint32_t framesAdvanced = 0;    // frames so far (advance calls)
    uint32_t gripChangedMs = 0;     // when the left button last closed or opened the right hand
    uint32_t gripChangedFrame = 0;  // and in which frame
    bool gripApproaching = false;   // the left button is down; the right hand, still open, goes
                                    // to where it went down (dropping first if it wandered)
    bool approachStarted = false;   // its pointer is engaged and on its way
    uint32_t approachStartMs = 0;   // since when
    float approachLastX = 0.0f, approachLastY = 0.0f;  // its pointer the frame before (metres)
    bool clickReleased = false;     // the button came up early: open once seen closed
    float releaseMouseX = 0.0f, releaseMouseY = 0.0f;  // where the mouse was then
    struct QueuedPress {
        float x = 0.0f, y = 0.0f;   // the mouse then
        bool released = false;      // its button already came up
        float releaseX = 0.0f, releaseY = 0.0f;  // there
    };
    std::array<QueuedPress, 4> pressQueue{};  // presses made while a click was under way
    int queuedPresses = 0;
    struct PathPoint {
        float x = 0.0f, y = 0.0f;
    };
    std::array<PathPoint, 256> gripPath{};  // the mouse's moves since the grip began, until the
    int pathCount = 0;                      // closed hand has caught up with them
    int pathNext = 0;                       // the next one it aims at
    bool pathRecording = false;
    uint32_t pathLastMs = 0;                // when its last point was recorded
    float gripMouseX = 0.5f, gripMouseY = 0.5f;  // and where the mouse was then
    uint32_t pinnedSinceMs = 0;     // the steered pointer last made progress toward the mouse
    float progressX = 0.0f, progressY = 0.0f, progressGap = 0.0f;  // the pointer and its gap to
                                                                   // the mouse then (metres)
    float mouseX = 0.5f, mouseY = 0.5f;  // where the right hand aims: the mouse, normalised
    float cursorX = 0.5f, cursorY = 0.5f;  // where the mouse is, whichever hand it drives
    bool leftHeldByMouse = false;        // the right button holds the left hand forward
    float leftAnchorX = 0.0f, leftAnchorY = 0.0f;  // mouse position when it was taken
    bool gripButtonDown = false;    // the left button, which closes the right hand, is down
    // Added to the mouse position while the right hand still grips after a drag of the left
    // hand, so that it goes on from where it waited.
    float heldGripOffsetX = 0.0f, heldGripOffsetY = 0.0f;
    bool leftGripPending = false;        // the left hand was taken; its approach starts next advance
    uint32_t leftGripStartMs = 0;        // when it started
    float mouseReach = MOUSE_DEFAULT_REACH;

    SkeletonRecord skeleton;       // slot 0, camera frame
    SkeletonRecord secondPerson;   // slot 3 while SECOND_PERSON runs
    RenderTarget scene;            // reused every frame
    bool sceneRendered = false;    // for the current advance
};

// Registers the performer as the "synthetic" --sensor backend (seeded) and the performer's
// renderer as the image renderer of skeleton-only streams (csv:, replay:).
void registerSimulatedPerformer(uint32_t seed);
// The performer the last "synthetic" open created (owned by its SensorInput), so the program
// can drive it from scripts and the mouse; nullptr before one was opened.
SimulatedPerformer* activeSimulatedPerformer();
