#include "common/sensor/simulated_performer.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "common/sensor/frame_sources.h"
#include "common/sensor/stream_source.h"

namespace {

const char* const FAULT_NAMES[] = {"drop_skeleton", "drop_colour", "drop_depth",
                                   "lose_person",   "second_person", "hand_out"};

float ease(float s) { return s * s * (3.0f - 2.0f * s); }

// Where the second person of the SECOND_PERSON fault stands: behind, to the person's left.
const Vec3 SECOND_PERSON_SPINE = {-0.9f, 0.05f, 2.9f};
// How far the person steps aside for the HAND_OUT fault.
constexpr float HAND_OUT_STEP = 0.8f;
// A gesture that ends ready rises to the ready pose over its last fifth, from this phase on.
constexpr float READY_RISE_FROM = 0.8f;
// A keyed gesture asked for while the arms are up: they drop to rest over the first time, and
// the gesture starts after the second, from a still rest that the recogniser can see.
constexpr uint32_t KEYED_DROP_MS = 400;
constexpr uint32_t KEYED_SETTLE_MS = 1000;

// Mouse following. The wrist aims the pointer at this share of the gap to the mouse: the
// joint smoothing carries a fast movement a little further than the pointer's own filter
// predicts, and aiming at the whole gap overshoots.
constexpr float FOLLOW_SHARE = 0.85f;
// Metres of the pointer's box (about a pixel of a 1300-pixel-wide area): closer than this the
// wrist holds still, so the pointer does not chase the tracker's jitter.
constexpr float FOLLOW_DEADBAND = 0.0004f;
// The steered wrist keeps this fraction of the arm's length, short of the straight arm.
constexpr float FOLLOW_REACH_MARGIN = 0.97f;
// After this long held at the arm's limit this far from the mouse (metres of the box), the
// right hand drops so that its pointer can start again under the mouse.
constexpr uint32_t FOLLOW_PINNED_MS = 800;
constexpr float FOLLOW_PINNED_GAP = 0.005f;
// A pointer that moves less than this (metres of its box, about 8 pixels) over
// FOLLOW_PINNED_MS, and gets no closer to the mouse by as much, makes no progress.
constexpr float FOLLOW_PROGRESS_STEP = 0.003f;
// Where the right mouse button holds the left hand (the middle of its pointer's box), and
// how far it moves for a drag across the whole area.
constexpr float MOUSE_LEFT_HOLD_X = -0.25f;
constexpr float MOUSE_LEFT_HOLD_Y = 0.15f;
constexpr float MOUSE_LEFT_DRAG_METRES = 0.5f;
// For this long after its hand closes or opens, the right pointer aims where the mouse was then.
constexpr uint32_t MOUSE_GRIP_SETTLE_MS = 250;
// The right button's left hand comes forward open and closes once its pointer has engaged (it
// arms as the reach passes 0.2 m, about 150 ms into the approach, and engages after the
// pointer's arming delay) and settled. Closed on the way, its grip would start where the
// pointer was before engaging, and a two-handed tool would jump to where it engages.
constexpr uint32_t MOUSE_LEFT_APPROACH_MS = 250;
constexpr uint32_t MOUSE_LEFT_GRIP_DELAY_MS = MOUSE_LEFT_APPROACH_MS + 500 + 200;
// The right hand comes forward from rest over this long when the mouse comes back.
constexpr uint32_t MOUSE_RAISE_MS = 250;
// A person closes the hand once it is where they want to grip. So the left button's grip
// waits, with the hand open, until the right pointer has come to rest within this distance of
// where the button went down (metres of the box, about a dozen pixels; moving less than
// GRIP_STILL_STEP a frame), or for at most GRIP_APPROACH_LIMIT_MS from when it could start.
constexpr float GRIP_SETTLED_GAP = 0.005f;
constexpr float GRIP_STILL_STEP = 0.001f;
constexpr uint32_t GRIP_APPROACH_LIMIT_MS = 500;
// The pointer moves with acceleration, so quick moves take the wrist less far than slow ones
// take it back, and the steered wrist wanders from where the mouse lies in the pointer's box.
// A slow drag needs up to twice its length in wrist travel. When the left button goes down
// with the wrist further than this (metres) from that spot, the hand first drops and comes
// forward again there, as a user lifts a mouse that has run out of desk. Each such drop costs
// about a second (the pointer's arming delay), and quick strokes in a row fall behind the
// mouse by as much; a closed hand at its limit stops short on its line, so the margin is wide.
constexpr float MOUSE_REGRIP_DRIFT = 0.2f;
// The hand detector needs three frames to see a hand change: a grip stays closed at least this
// long, however quick the click, and a hand that opened stays open this long before the next
// press closes it, so that two clicks never merge into one grip. A slow program (a large
// painting, the terrain on a software renderer) draws fewer frames in that time, so each
// change also lasts GRIP_SEEN_FRAMES frames: the detector's three and one it may not measure.
constexpr uint32_t MOUSE_CLICK_MIN_MS = 250;
constexpr uint32_t MOUSE_REOPEN_MS = 150;
constexpr uint32_t GRIP_SEEN_FRAMES = 4;
// While a grip waits to close, the mouse may draw on. The closed hand then retraces the mouse's
// path, taking up to this many recorded moves a frame, so that it catches up along the stroke
// rather than in one leap (a tool applied once a frame would leave gaps along a leap).
constexpr int PATH_MOVES_PER_FRAME = 2;
// A grip whose button came up while it retraced opens at the latest after this long a point
// (frames of slow programs included) on top of the usual wait.
constexpr uint32_t PATH_MS_PER_POINT = 33;
// The steered open hand stays whole in the camera's image: its fingertips reach this far above
// the wrist, and stay this many pixels below the image's top edge. A hand cut by the edge shows
// no fingers, and the hand detector reads it closed: a grip the user never made.
constexpr float MOUSE_HAND_SPAN = 0.18f;
constexpr float MOUSE_HAND_EDGE_PIXELS = 12.0f;
// The mouse-driven forearms show at least this long in the image (pixels), well beyond the
// joint smoothing's lag (up to 4 cm, about 12 pixels), which would otherwise turn the hand's
// direction as the detector finds it away from the fingers.
constexpr float MOUSE_FOREARM_PIXELS = 35.0f;

// How far a pointer travels (metres of its box) when the wrist it follows stops `remainder`
// metres from its filtered target: the filter closes 0.4 of the gap each frame and the
// pointer adds every step times the gain for that step's length.
float pointerTravel(float remainder) {
    float travel = 0.0f;
    for (int frame = 0; frame < 64 && remainder > 1e-6f; ++frame) {
        float step = POINTER_FILTER_NEW * remainder;
        travel += std::clamp(POINTER_GAIN_FACTOR * step, POINTER_GAIN_MIN, POINTER_GAIN_MAX) * step;
        remainder -= step;
    }
    return travel;
}

// The remainder that carries the pointer `travel` metres (pointerTravel grows with it).
float remainderForTravel(float travel) {
    float low = 0.0f, high = 2.0f;  // 2 m carries a pointer far past its box
    for (int i = 0; i < 32; ++i) {
        float mid = 0.5f * (low + high);
        (pointerTravel(mid) < travel ? low : high) = mid;
    }
    return 0.5f * (low + high);
}

}  // namespace

bool parsePerformerFault(const std::string& name, PerformerFault& fault) {
    for (int i = 0; i < static_cast<int>(PerformerFault::FAULT_COUNT); ++i) {
        if (name == FAULT_NAMES[i]) {
            fault = static_cast<PerformerFault>(i);
            return true;
        }
    }
    return false;
}

SimulatedPerformer::SimulatedPerformer(uint32_t seedValue) : seed(seedValue) {
    for (int hand = 0; hand < 2; ++hand) {
        Vec3 rest = restWristPosition(bodyModel, hand);
        arms[hand].x.from = arms[hand].x.to = rest.x;
        arms[hand].y.from = arms[hand].y.to = rest.y;
        arms[hand].reach.from = arms[hand].reach.to = wristReach(bodyModel, rest);
    }
    updateSkeletons();
}

float SimulatedPerformer::tweenValue(const Tween& t, uint32_t atMs) const {
    if (t.pending) return t.from;
    uint32_t elapsed = atMs - t.startMs;  // unsigned: survives the clock's wrap
    if (t.durationMs == 0 || elapsed >= t.durationMs) return t.to;
    float s = static_cast<float>(elapsed) / static_cast<float>(t.durationMs);
    return t.from + (t.to - t.from) * ease(s);
}

bool SimulatedPerformer::tweenRunning(const Tween& t) const {
    return t.pending || (now - t.startMs) < t.durationMs;
}

void SimulatedPerformer::startTween(Tween& t, float to, uint32_t durationMs) {
    t.from = tweenValue(t, now);
    t.to = to;
    t.durationMs = durationMs;
    t.pending = true;
}

Vec3 SimulatedPerformer::tweenWrist(int hand, uint32_t atMs) const {
    const ArmMotion& arm = arms[hand];
    return {tweenValue(arm.x, atMs), tweenValue(arm.y, atMs), bodyModel.spine.z - tweenValue(arm.reach, atMs)};
}

Vec3 SimulatedPerformer::wristTarget(int hand) const {
    hand &= 1;
    const ArmMotion& arm = arms[hand];
    if (!arm.inGesture || gestureRun.gesture == nullptr) return tweenWrist(hand, now);
    float phase = 0.0f;
    if (!gestureRun.pending && gestureRun.durationMs > 0) {
        phase = std::min(1.0f, static_cast<float>(now - gestureRun.startMs) / static_cast<float>(gestureRun.durationMs));
    }
    Vec3 offset = gestureArmOffset(*gestureRun.gesture, gestureRun.variation, phase);
    float side = hand == HAND_RIGHT ? 1.0f : -1.0f;
    Vec3 wrist = shoulderPosition(bodyModel, hand, {}) + Vec3{side * offset.x, offset.y, -offset.z};
    // A gesture begun away from rest blends in from where the wrist was.
    float fade = 1.0f - ease(std::min(1.0f, phase / 0.25f));
    wrist = wrist + arm.gestureStartOffset * fade;
    if (gestureRun.endReady) {
        float rise = ease(std::clamp((phase - READY_RISE_FROM) / 0.2f, 0.0f, 1.0f));  // the last fifth
        wrist = wrist + (readyWristPosition(hand) - restWristPosition(bodyModel, hand)) * rise;
    }
    return wrist;
}

Vec3 SimulatedPerformer::readyWristPosition(int hand) const {
    // The straight arm raised out and a little forward, about 45 degrees from hanging: clear of
    // the rest pose, short of the pointers' engaging reach. The elbow stays straighter than
    // 150 degrees, where forearm rotation would start to count and jump the arm pose.
    const Vec3 offset = {0.38f, -0.38f, 0.14f};
    float side = hand == HAND_RIGHT ? 1.0f : -1.0f;
    return shoulderPosition(bodyModel, hand, {}) + Vec3{side * offset.x, offset.y, -offset.z};
}

void SimulatedPerformer::cancelGesture(int hand) {
    ArmMotion& arm = arms[hand];
    if (!arm.inGesture) return;
    Vec3 wrist = wristTarget(hand);
    arm.inGesture = false;
    arm.x = Tween{wrist.x, wrist.x};
    arm.y = Tween{wrist.y, wrist.y};
    float reach = wristReach(bodyModel, wrist);
    arm.reach = Tween{reach, reach};
    if (!arms[0].inGesture && !arms[1].inGesture) gestureRun = GestureRun{};
}

void SimulatedPerformer::advance(uint32_t nowMs) {
    now = nowMs;
    ++framesAdvanced;
    sceneRendered = false;
    for (ArmMotion& arm : arms) {
        for (Tween* t : {&arm.x, &arm.y, &arm.reach}) {
            if (t->pending) {
                t->pending = false;
                t->startMs = now;
            }
        }
    }
    if (keyedRequest.index >= 0 && now - keyedRequest.askedMs >= KEYED_SETTLE_MS) {
        const KeyedRequest request = keyedRequest;
        keyedRequest = KeyedRequest{};
        if (performGesture(performerGestures()[static_cast<size_t>(request.index)].name, request.variationSeed,
                           request.endReady)) {
            gestureRun.keyed = true;
        }
    }
    if (gestureRun.gesture != nullptr) {
        if (gestureRun.pending) {
            gestureRun.pending = false;
            gestureRun.startMs = now;
        } else if (now - gestureRun.startMs >= gestureRun.durationMs) {
            // The gesture ends at rest (or at the ready pose): the arms stay there.
            for (int hand = 0; hand < 2; ++hand) {
                if (!arms[hand].inGesture) continue;
                arms[hand].inGesture = false;
                Vec3 end = gestureRun.endReady ? readyWristPosition(hand) : restWristPosition(bodyModel, hand);
                float reach = wristReach(bodyModel, end);
                arms[hand].x = Tween{end.x, end.x};
                arms[hand].y = Tween{end.y, end.y};
                arms[hand].reach = Tween{reach, reach};
            }
            gestureRun = GestureRun{};
        }
    }
    if (leftGripPending) {
        leftGripPending = false;
        leftGripStartMs = now;
    }
    for (FaultRun& f : faults) {
        if (f.pending) {
            f.pending = false;
            f.startMs = now;
        }
        f.active = (now - f.startMs) < f.durationMs;
    }
    updateSkeletons();
}

void SimulatedPerformer::updateSkeletons() {
    Vec3 swayNow = sway ? swayOffset(seed, now) : Vec3{};
    // The arms move with the swaying body, as hanging or held-out arms do.
    Vec3 left = wristTarget(HAND_LEFT) + swayNow;
    Vec3 right = wristTarget(HAND_RIGHT) + swayNow;
    if (faultActive(PerformerFault::HAND_OUT)) {
        swayNow.x += HAND_OUT_STEP;
        left.x += HAND_OUT_STEP;
        right = shoulderPosition(bodyModel, HAND_RIGHT, swayNow) + Vec3{0.6f, 0.02f, 0.0f};
    }
    // The mouse-driven hands are the ones whose open or closed state the user means: their
    // forearms keep a length in the image, so the hand's direction there holds still.
    Vec3 poles[2] = {elbowPole(HAND_LEFT), elbowPole(HAND_RIGHT)};
    if (mouseMode && !mouseAwayNow) {
        poles[HAND_RIGHT] = visibleElbowPole(bodyModel, HAND_RIGHT, swayNow, right, tilt, MOUSE_FOREARM_PIXELS);
        if (leftHeldByMouse) {
            poles[HAND_LEFT] = visibleElbowPole(bodyModel, HAND_LEFT, swayNow, left, tilt, MOUSE_FOREARM_PIXELS);
        }
    }
    buildPerformerSkeleton(bodyModel, swayNow, left, right, skeleton, poles);
    if (jitter) addTrackerJitter(skeleton, seed, now);
    applyCameraTilt(skeleton, tilt);

    if (faultActive(PerformerFault::SECOND_PERSON)) {
        PerformerBody other = bodyModel;
        other.spine = SECOND_PERSON_SPINE;
        Vec3 otherSway = sway ? swayOffset(seed + 1, now) : Vec3{};
        buildPerformerSkeleton(other, otherSway, restWristPosition(other, HAND_LEFT),
                               restWristPosition(other, HAND_RIGHT), secondPerson);
        secondPerson.trackingId = 2;
        if (jitter) addTrackerJitter(secondPerson, seed + 1, now);
        applyCameraTilt(secondPerson, tilt);
    }
}

bool SimulatedPerformer::nextSkeletonFrame(SkeletonFrame& frame) {
    if (faultActive(PerformerFault::DROP_SKELETON)) return false;
    frame = SkeletonFrame{};
    if (!faultActive(PerformerFault::LOSE_PERSON)) frame.slots[0] = skeleton;
    if (faultActive(PerformerFault::SECOND_PERSON)) frame.slots[3] = secondPerson;
    return true;
}

void SimulatedPerformer::ensureRendered() {
    if (sceneRendered) return;
    RenderBody bodies[2];
    int count = 0;
    bodies[count].skeleton = &skeleton;
    bodies[count].left = shownHandShape(HAND_LEFT);
    bodies[count].right = shownHandShape(HAND_RIGHT);
    // An untracked person is still seen, but carries no player index.
    bodies[count].player = faultActive(PerformerFault::LOSE_PERSON) ? 0 : 1;
    ++count;
    if (faultActive(PerformerFault::SECOND_PERSON)) {
        bodies[count].skeleton = &secondPerson;
        bodies[count].player = 2;
        ++count;
    }
    renderScene(bodies, count, tilt, scene);
    sceneRendered = true;
}

bool SimulatedPerformer::nextColourFrame(uint8_t* bgrx) {
    if (faultActive(PerformerFault::DROP_COLOUR)) return false;
    ensureRendered();
    shadeColour(scene, bgrx);
    return true;
}

bool SimulatedPerformer::nextDepthFrame(uint16_t* packedDepth) {
    if (faultActive(PerformerFault::DROP_DEPTH)) return false;
    ensureRendered();
    packDepth(scene, packedDepth);
    return true;
}

void SimulatedPerformer::setTiltAngle(int degrees) {
    tilt = std::clamp(degrees, -TILT_LIMIT_DEGREES, TILT_LIMIT_DEGREES);
    sceneRendered = false;
    updateSkeletons();
}

void SimulatedPerformer::moveWrist(int hand, float x, float y, uint32_t durationMs) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    hand &= 1;
    cancelGesture(hand);
    startTween(arms[hand].x, std::clamp(x, -3.0f, 3.0f), durationMs);
    startTween(arms[hand].y, std::clamp(y, -3.0f, 3.0f), durationMs);
}

void SimulatedPerformer::setReach(int hand, float reachMetres, uint32_t durationMs) {
    if (!std::isfinite(reachMetres)) return;
    hand &= 1;
    cancelGesture(hand);
    startTween(arms[hand].reach, std::clamp(reachMetres, -0.3f, 0.6f), durationMs);
}

HandShape SimulatedPerformer::shownHandShape(int hand) const {
    hand &= 1;
    if (hand == HAND_RIGHT && gripApproaching) return HandShape::OPEN;  // not there yet
    if (hand == HAND_LEFT && leftHeldByMouse && hands[hand] == HandShape::CLOSED &&
        (leftGripPending || now - leftGripStartMs < MOUSE_LEFT_GRIP_DELAY_MS)) {
        return HandShape::OPEN;  // still coming forward
    }
    return hands[hand];
}

void SimulatedPerformer::setHandShape(int hand, HandShape shape) {
    hands[hand & 1] = shape;
    sceneRendered = false;
}

bool SimulatedPerformer::performGesture(const std::string& name, uint32_t variationSeed, bool endReady) {
    const PerformerGesture* gesture = findPerformerGesture(name);
    if (gesture == nullptr) return false;
    keyedRequest = KeyedRequest{};  // this gesture replaces one still waiting for the arms
    for (int hand = 0; hand < 2; ++hand) cancelGesture(hand);
    gestureRun.gesture = gesture;
    gestureRun.variation = gestureVariation(variationSeed);
    gestureRun.durationMs = gestureDurationMs(*gesture, gestureRun.variation);
    gestureRun.pending = true;
    gestureRun.endReady = endReady;
    for (int hand = 0; hand < 2; ++hand) {
        if (!gesture->usesArm[hand]) continue;
        ArmMotion& arm = arms[hand];
        Vec3 wrist = tweenWrist(hand, now);
        // Freeze the arm where it is; the gesture takes over from there.
        arm.x = Tween{wrist.x, wrist.x};
        arm.y = Tween{wrist.y, wrist.y};
        float reach = wristReach(bodyModel, wrist);
        arm.reach = Tween{reach, reach};
        arm.inGesture = true;
        arm.gestureStartOffset = wrist - restWristPosition(bodyModel, hand);
    }
    return true;
}

void SimulatedPerformer::rest(uint32_t durationMs) {
    for (int hand = 0; hand < 2; ++hand) {
        Vec3 rest = restWristPosition(bodyModel, hand);
        moveWrist(hand, rest.x, rest.y, durationMs);
        setReach(hand, wristReach(bodyModel, rest), durationMs);
    }
}

bool SimulatedPerformer::busy() const {
    if (gestureRun.gesture != nullptr || keyedRequest.index >= 0) return true;
    for (const ArmMotion& arm : arms) {
        if (tweenRunning(arm.x) || tweenRunning(arm.y) || tweenRunning(arm.reach)) return true;
    }
    return false;
}

std::vector<std::string> SimulatedPerformer::gestureNames() {
    std::vector<std::string> names;
    for (const PerformerGesture& g : performerGestures()) names.push_back(g.name);
    return names;
}

void SimulatedPerformer::mouseMove(float nx, float ny) {
    if (!std::isfinite(nx) || !std::isfinite(ny)) return;
    mouseOverArea = true;
    if (mouseMode && gestureRunning()) {
        keyedEndingFollowsMouse(true);
        return;
    }
    nx = std::clamp(nx, 0.0f, 1.0f);
    ny = std::clamp(ny, 0.0f, 1.0f);
    cursorX = nx;
    cursorY = ny;
    if (leftHeldByMouse && mouseMode && !mouseAwayNow) {
        // A drag with the right button moves the held left hand from where it was taken; the
        // right hand and its mouse target stay, so the right pointer holds still meanwhile.
        moveWrist(HAND_LEFT, MOUSE_LEFT_HOLD_X + MOUSE_LEFT_DRAG_METRES * (nx - leftAnchorX),
                  MOUSE_LEFT_HOLD_Y + MOUSE_LEFT_DRAG_METRES * (ny - leftAnchorY), 0);
        return;
    }
    nx = std::clamp(nx + heldGripOffsetX, 0.0f, 1.0f);
    ny = std::clamp(ny + heldGripOffsetY, 0.0f, 1.0f);
    mouseX = nx;
    mouseY = ny;
    if (pathRecording) {
        // One point a frame, however many motion events arrive; a full path keeps its end
        // current.
        const bool sameFrame = pathCount > pathNext && pathLastMs == now;
        if (!sameFrame && pathCount < static_cast<int>(gripPath.size())) ++pathCount;
        if (pathCount > pathNext) gripPath[static_cast<size_t>(pathCount - 1)] = {nx, ny};
        pathLastMs = now;
    }
    uint32_t moveMs = 0;
    if (!mouseMode || mouseAwayNow) {
        // From rest (or the first call): the hand comes forward rather than jumping there.
        moveMs = mouseMode ? MOUSE_RAISE_MS : 0;
        mouseMode = true;
        mouseAwayNow = false;
        mouseFollowing = false;
        mouseDropping = false;
        setReach(HAND_RIGHT, mouseReach, 300);
    }
    if (mouseFollowing) return;  // followPointer steers the wrist
    moveRightWristUnderMouse(moveMs);
}

namespace {
// The share t (0..1) of the step (dx, dy) from offset (x, y) that keeps x, y + t (dx, dy)
// within `radius` of the origin and at most `top` high. A start already outside a limit may
// move only back inside it.
float reachableShare(float x, float y, float dx, float dy, float radius, float top) {
    float share = 1.0f;
    const float a = dx * dx + dy * dy;
    if (a > 0.0f) {
        const float endX = x + dx, endY = y + dy;
        if (endX * endX + endY * endY > radius * radius) {
            // |p + t d|^2 = r^2: the larger root is where the step leaves the circle.
            const float b = x * dx + y * dy;
            const float c = x * x + y * y - radius * radius;
            const float disc = b * b - a * c;
            const float leave = disc > 0.0f ? (-b + std::sqrt(disc)) / a : 0.0f;
            share = std::clamp(leave, 0.0f, 1.0f);
        }
    }
    if (dy > 0.0f && y + share * dy > top) share = std::clamp((top - y) / dy, 0.0f, share);
    return share;
}
}  // namespace

void SimulatedPerformer::followPointer(const HandPointer& pointer) {
    if (!mouseMode || mouseAwayNow || pointer.hand != HAND_RIGHT) return;
    if (clickReleased && !gripApproaching && gripShownFor(MOUSE_CLICK_MIN_MS)) {
        // A grip whose button came up early has been seen closed long enough; it opens once
        // its pointer has gone where the button came up (at once for a click made in place).
        const float gapX = pointer.xMin + releaseMouseX * (pointer.xMax - pointer.xMin) - pointer.x;
        const float gapY = pointer.yMin + releaseMouseY * (pointer.yMax - pointer.yMin) - pointer.y;
        const bool retracing = pathNext < pathCount;
        if (!pointer.engaged() || !mouseFollowing ||
            (!retracing && std::hypot(gapX, gapY) < GRIP_SETTLED_GAP) ||
            now - gripChangedMs >= MOUSE_GRIP_SETTLE_MS + GRIP_APPROACH_LIMIT_MS +
                                       static_cast<uint32_t>(pathCount) * PATH_MS_PER_POINT) {
            clickReleased = false;
            setHandShape(HAND_RIGHT, HandShape::OPEN);
            markGripChange();
            gripMouseX = releaseMouseX;
            gripMouseY = releaseMouseY;
        }
    }
    if (queuedPresses > 0 && !gripApproaching && !clickReleased &&
        hands[HAND_RIGHT] == HandShape::OPEN && gripShownFor(MOUSE_REOPEN_MS)) {
        // The next press made while the last click was still under way, at its own spot.
        const QueuedPress next = pressQueue[0];
        for (int i = 1; i < queuedPresses; ++i) pressQueue[static_cast<size_t>(i - 1)] = pressQueue[static_cast<size_t>(i)];
        --queuedPresses;
        startRightGrip(next.x, next.y);
        clickReleased = next.released;
        if (next.released) pathRecording = false;
        releaseMouseX = next.releaseX;
        releaseMouseY = next.releaseY;
    }
    if (leftHeldByMouse && !gripApproaching && !mouseDropping) {
        pinnedSinceMs = now;  // the mouse drives the left hand; the right waits where it is
        return;
    }
    if (!pointer.engaged()) {
        // Lost (an arm stretched so far that its reach fell short, a fault): the wrist goes
        // where the mouse lies in the box, so the pointer engages again under the mouse.
        if (mouseFollowing || mouseDropping) {
            mouseFollowing = false;
            mouseDropping = false;
            moveRightWristUnderMouse(MOUSE_RAISE_MS);
            setReach(HAND_RIGHT, mouseReach, MOUSE_RAISE_MS);
        }
        return;
    }
    if (mouseDropping) return;  // the hand is on its way down; it comes back once disengaged
    // The hand detector needs a few frames to see a hand close or open; a person aims at the
    // spot meanwhile, so a stroke starts where the button went down and ends where it came up,
    // without a tail toward wherever the mouse went next. A grip on its way aims there too,
    // and a grip whose button already came up goes on to where it came up.
    const bool settling = gripApproaching || now - gripChangedMs < MOUSE_GRIP_SETTLE_MS;
    float aimX = settling ? gripMouseX : clickReleased ? releaseMouseX : mouseX;
    float aimY = settling ? gripMouseY : clickReleased ? releaseMouseY : mouseY;
    if (!settling && pathNext < pathCount && hands[HAND_RIGHT] == HandShape::CLOSED) {
        // Retrace the path the mouse drew meanwhile.
        // Twice as fast again while the next press waits its turn: the user has gone on.
        const int moves = queuedPresses > 0 ? 2 * PATH_MOVES_PER_FRAME : PATH_MOVES_PER_FRAME;
        pathNext = std::min(pathNext + moves, pathCount);
        if (pathNext < pathCount) {
            aimX = gripPath[static_cast<size_t>(pathNext)].x;
            aimY = gripPath[static_cast<size_t>(pathNext)].y;
        } else {
            pathRecording = false;  // caught up: the hand follows the mouse itself again
        }
    } else if (!settling) {
        pathRecording = false;
    }
    if (settling || clickReleased) pinnedSinceMs = now;
    const float targetX = pointer.xMin + aimX * (pointer.xMax - pointer.xMin);
    const float targetY = pointer.yMin + aimY * (pointer.yMax - pointer.yMin);
    const float gapX = targetX - pointer.x;
    const float gapY = targetY - pointer.y;
    const float gap = std::sqrt(gapX * gapX + gapY * gapY);
    if (gripApproaching) {
        // The hand closes once its pointer (which, after a drop, engages where the smoothed
        // wrist was) has come to rest on the spot, so the stroke does not begin with a hook.
        if (!approachStarted) {
            approachStarted = true;
            approachStartMs = now;
            approachLastX = pointer.x;
            approachLastY = pointer.y;
        }
        const float step = std::hypot(pointer.x - approachLastX, pointer.y - approachLastY);
        approachLastX = pointer.x;
        approachLastY = pointer.y;
        if ((gap < GRIP_SETTLED_GAP && step < GRIP_STILL_STEP) ||
            now - approachStartMs >= GRIP_APPROACH_LIMIT_MS) {
            gripApproaching = false;
            markGripChange();
            sceneRendered = false;
            if (leftHeldByMouse) return;  // both hands grip; the right waits where it is
        }
    }
    // Stuck: the mouse is away from the pointer and the pointer has not moved for a while (a
    // straight arm, or a wrist the arm cannot take where it is asked). As a user lifts a mouse,
    // the hand drops for a moment, unless it is closed (drawing), and the pointer engages again
    // under the mouse.
    const bool moved = std::hypot(pointer.x - progressX, pointer.y - progressY) > FOLLOW_PROGRESS_STEP;
    const bool closedIn = gap < progressGap - FOLLOW_PROGRESS_STEP;
    if (!mouseFollowing || gap <= FOLLOW_PINNED_GAP || moved || closedIn) {
        pinnedSinceMs = now;
        progressX = pointer.x;
        progressY = pointer.y;
        progressGap = gap;
    } else if (now - pinnedSinceMs > FOLLOW_PINNED_MS && hands[HAND_RIGHT] == HandShape::OPEN) {
        setReach(HAND_RIGHT, 0.0f, 150);
        mouseDropping = true;  // started once: restarting the tween every frame would hold it
        return;
    }
    mouseFollowing = true;
    if (!(gap >= FOLLOW_DEADBAND)) return;

    // Where the tracked wrist must stop, seen from the pointer's filtered target, so that the
    // pointer travels the gap; the wrist seen by the camera this frame says how far the
    // command must move to get it there (sway, jitter and tilt included).
    const float remainder = remainderForTravel(FOLLOW_SHARE * gap);
    const Vec3 seen = jointPosition(skeleton, JOINT_WRIST_RIGHT);
    const float wantX = pointer.lastX + gapX / gap * remainder;
    const float wantY = pointer.lastY + gapY / gap * remainder;
    Vec3 wrist = tweenWrist(HAND_RIGHT, now);
    wrist.x += wantX - seen.x;
    wrist.y += wantY - seen.y;

    // Keep the wrist on a circle the arm reaches at its reach: beyond it the tracked wrist
    // would stop while the command ran on. An open hand slides along the circle, which brings
    // its pointer as near the mouse as the arm allows. A closed hand is drawing: sliding would
    // bend the stroke off the line the mouse takes, so it goes only as far toward its aim as
    // the arm reaches, and the stroke stops short instead.
    const Vec3 shoulder = shoulderPosition(bodyModel, HAND_RIGHT, {});
    const float radius = mouseWristRadius();
    const float highest = std::max(highestWholeHandWrist(wrist.z), pointer.yMin);
    if (shownHandShape(HAND_RIGHT) == HandShape::CLOSED) {
        const Vec3 from = tweenWrist(HAND_RIGHT, now);
        const float share = reachableShare(from.x - shoulder.x, from.y - shoulder.y,
                                           wrist.x - from.x, wrist.y - from.y, radius,
                                           highest - shoulder.y);
        wrist.x = from.x + share * (wrist.x - from.x);
        wrist.y = from.y + share * (wrist.y - from.y);
    } else {
        const float offX = wrist.x - shoulder.x;
        const float offY = wrist.y - shoulder.y;
        const float off = std::sqrt(offX * offX + offY * offY);
        if (off > radius) {
            wrist.x = shoulder.x + offX / off * radius;
            wrist.y = shoulder.y + offY / off * radius;
        }
        wrist.y = std::min(wrist.y, highest);
    }
    startTween(arms[HAND_RIGHT].x, wrist.x, 0);
    startTween(arms[HAND_RIGHT].y, wrist.y, 0);
}

float SimulatedPerformer::highestWholeHandWrist(float z) const {
    // The fingertips' line of sight may rise k above the camera's axis; tilted up by a, a point
    // (y, z) of the room is seen at (y cos a - z sin a, y sin a + z cos a).
    const float k = (240.0f - MOUSE_HAND_EDGE_PIXELS) / DEPTH_FOCAL_LENGTH;
    const float a = static_cast<float>(tilt) * 3.14159265f / 180.0f;
    const float c = std::cos(a), s = std::sin(a);
    return z * (k * c + s) / (c - k * s) - MOUSE_HAND_SPAN;
}

float SimulatedPerformer::mouseWristRadius() const {
    const float armLength = bodyModel.upperArm + bodyModel.forearm;
    const float reach = std::min(mouseReach, armLength * FOLLOW_REACH_MARGIN);
    return FOLLOW_REACH_MARGIN * std::sqrt(armLength * armLength - reach * reach);
}

void SimulatedPerformer::moveRightWristUnderMouse(uint32_t durationMs) {
    // Where the mouse lies in the right pointer's box (x 0..0.5, y -0.1..0.4 metres), as far
    // as the arm reaches: an engaging pointer starts at the wrist.
    // A hand that comes back to grip comes back where the button went down.
    const Vec3 spot = rightWristUnder(gripApproaching ? gripMouseX : mouseX,
                                      gripApproaching ? gripMouseY : mouseY);
    cancelGesture(HAND_RIGHT);
    startTween(arms[HAND_RIGHT].x, spot.x, durationMs);
    startTween(arms[HAND_RIGHT].y, spot.y, durationMs);
}

Vec3 SimulatedPerformer::rightWristUnder(float nx, float ny) const {
    const Vec3 shoulder = shoulderPosition(bodyModel, HAND_RIGHT, {});
    float x = 0.5f * nx - shoulder.x;
    float y = -0.1f + 0.5f * ny - shoulder.y;
    const float off = std::sqrt(x * x + y * y);
    const float radius = mouseWristRadius();
    if (off > radius) {
        x *= radius / off;
        y *= radius / off;
    }
    return {shoulder.x + x, shoulder.y + y, shoulder.z};
}

bool SimulatedPerformer::mouseGesture(int index, uint32_t variationSeed) {
    const std::vector<PerformerGesture>& gestures = performerGestures();
    if (index < 0 || index >= static_cast<int>(gestures.size())) return false;
    // Where the mouse is, not whether the arm follows it: after a keyed gesture the arms stand
    // still while the mouse may still be over the area. See keyedEndingFollowsMouse.
    const bool overArea = mouseMode && mouseOverArea;
    const bool hanging = armsHangStill();
    if (!mouseMode) {
        mouseMode = true;
        mouseAwayNow = false;
    }
    dropArmsForMouse();
    if (!hanging) {
        // Dropped here too when the arms already counted as away: after a keyed gesture that
        // ended held out, or during one, they are not hanging.
        for (int hand = 0; hand < 2; ++hand) cancelGesture(hand);
        keyedRequest = KeyedRequest{};
        rest(KEYED_DROP_MS);
        keyedRequest.index = index;
        keyedRequest.variationSeed = variationSeed;
        keyedRequest.askedMs = now;
        keyedRequest.endReady = overArea;
        return true;
    }
    if (!performGesture(gestures[static_cast<size_t>(index)].name, variationSeed, overArea)) return false;
    gestureRun.keyed = true;
    return true;
}

bool SimulatedPerformer::armsHangStill() const {
    if (gestureRun.gesture != nullptr || keyedRequest.index >= 0) return false;
    for (int hand = 0; hand < 2; ++hand) {
        const ArmMotion& arm = arms[hand];
        if (tweenRunning(arm.x) || tweenRunning(arm.y) || tweenRunning(arm.reach)) return false;
        if (length(tweenWrist(hand, now) - restWristPosition(bodyModel, hand)) > 0.01f) return false;
    }
    return true;
}

void SimulatedPerformer::keyedEndingFollowsMouse(bool overArea) {
    if (keyedRequest.index >= 0) {
        keyedRequest.endReady = overArea;
        return;
    }
    if (!gestureRun.keyed) return;
    if (!gestureRun.pending && gestureRun.durationMs > 0 &&
        static_cast<float>(now - gestureRun.startMs) >= READY_RISE_FROM * static_cast<float>(gestureRun.durationMs)) {
        return;
    }
    gestureRun.endReady = overArea;
}

void SimulatedPerformer::mouseAway() {
    mouseOverArea = false;
    if (mouseMode && gestureRunning()) keyedEndingFollowsMouse(false);
    dropArmsForMouse();
}

void SimulatedPerformer::dropArmsForMouse() {
    if (!mouseMode || mouseAwayNow) return;
    mouseAwayNow = true;
    mouseFollowing = false;
    mouseDropping = false;
    gripApproaching = false;
    clickReleased = false;
    queuedPresses = 0;
    pathRecording = false;
    pathCount = pathNext = 0;
    leftHeldByMouse = false;
    heldGripOffsetX = heldGripOffsetY = 0.0f;
    for (int hand = 0; hand < 2; ++hand) setHandShape(hand, HandShape::OPEN);
    rest(400);
}

void SimulatedPerformer::mouseButton(int hand, bool down) {
    hand &= 1;
    if (mouseMode && gestureRunning()) return;  // the hands stay open through a keyed gesture
    if (!mouseMode) {
        mouseMode = true;
        setReach(HAND_RIGHT, mouseReach, 300);
    }
    if (hand == HAND_RIGHT) {
        rightHandButtonEvent(down);
        return;
    }
    setHandShape(hand, down ? HandShape::CLOSED : HandShape::OPEN);
    if (hand == HAND_LEFT) {
        // The left hand comes forward into the middle of its pointer box while held.
        leftHeldByMouse = down;
        if (down) {
            leftAnchorX = cursorX;
            leftAnchorY = cursorY;
            moveWrist(HAND_LEFT, MOUSE_LEFT_HOLD_X, MOUSE_LEFT_HOLD_Y, MOUSE_LEFT_APPROACH_MS);
            setReach(HAND_LEFT, MOUSE_DEFAULT_REACH, MOUSE_LEFT_APPROACH_MS);
            leftGripPending = true;
        } else {
            if (gripButtonDown) {
                // The right hand still grips: it goes on from where it waited, moved by the
                // mouse from here, rather than swinging the tool to wherever the drag left it.
                heldGripOffsetX = mouseX - cursorX;
                heldGripOffsetY = mouseY - cursorY;
            } else {
                // The right pointer goes on to wherever the drag left the mouse.
                mouseX = cursorX;
                mouseY = cursorY;
            }
            Vec3 rest = restWristPosition(bodyModel, HAND_LEFT);
            moveWrist(HAND_LEFT, rest.x, rest.y, 400);
            setReach(HAND_LEFT, wristReach(bodyModel, rest), 400);
        }
    }
}

void SimulatedPerformer::rightHandButtonEvent(bool down) {
    gripButtonDown = down;
    // Once the grip ends, the right hand follows the mouse itself again.
    if (!down) heldGripOffsetX = heldGripOffsetY = 0.0f;
    if (down) {
        // A click still under way (on its way, held closed for the detector, or just opened)
        // finishes first; this press follows at its own spot.
        const bool justOpened = hands[HAND_RIGHT] == HandShape::OPEN && !gripShownFor(MOUSE_REOPEN_MS) &&
                                mouseFollowing;
        if (gripApproaching || clickReleased || queuedPresses > 0 || justOpened) {
            if (queuedPresses < static_cast<int>(pressQueue.size())) {
                pressQueue[static_cast<size_t>(queuedPresses++)] = {mouseX, mouseY, false, mouseX, mouseY};
            }
            return;
        }
        startRightGrip(mouseX, mouseY);
        return;
    }
    if (queuedPresses > 0) {
        QueuedPress& last = pressQueue[static_cast<size_t>(queuedPresses - 1)];
        last.released = true;
        last.releaseX = mouseX;
        last.releaseY = mouseY;
        return;
    }
    if (hands[HAND_RIGHT] == HandShape::OPEN) return;
    // The hand opens once it has been seen closed and its pointer has reached where the button
    // came up (followPointer), so a quick stroke is not cut short where the pointer lagged.
    // The path it may still retrace ends here. Without a steered pointer a grip does nothing,
    // and the hand opens at once.
    pathRecording = false;
    if (!mouseFollowing && !gripApproaching) {
        setHandShape(HAND_RIGHT, HandShape::OPEN);
        markGripChange();
        gripMouseX = mouseX;
        gripMouseY = mouseY;
        return;
    }
    clickReleased = true;
    releaseMouseX = mouseX;
    releaseMouseY = mouseY;
}

void SimulatedPerformer::markGripChange() {
    gripChangedMs = now;
    gripChangedFrame = framesAdvanced;
}

bool SimulatedPerformer::gripShownFor(uint32_t ms) const {
    return now - gripChangedMs >= ms && framesAdvanced - gripChangedFrame >= GRIP_SEEN_FRAMES;
}

void SimulatedPerformer::startRightGrip(float nx, float ny) {
    pathRecording = true;
    pathCount = 0;
    pathNext = 0;
    setHandShape(HAND_RIGHT, HandShape::CLOSED);
    markGripChange();
    gripMouseX = nx;
    gripMouseY = ny;
    clickReleased = false;
    // Without a steered pointer (not yet engaged, dropping, or waiting while the left hand is
    // held) the hand closes where it is.
    if (!mouseFollowing || mouseDropping || leftHeldByMouse) return;
    gripApproaching = true;
    approachStarted = false;
    const Vec3 spot = rightWristUnder(nx, ny);
    const Vec3 wrist = tweenWrist(HAND_RIGHT, now);
    if (std::hypot(wrist.x - spot.x, wrist.y - spot.y) > MOUSE_REGRIP_DRIFT) {
        mouseDropping = true;
        setReach(HAND_RIGHT, 0.0f, 150);
    }
}

void SimulatedPerformer::mouseWheel(int steps) {
    if (mouseMode && gestureRunning()) return;
    steps = std::clamp(steps, -100, 100);
    mouseMode = true;
    mouseReach = std::clamp(mouseReach + 0.05f * static_cast<float>(steps), 0.0f, 0.45f);
    // Hanging arms stay down, and a dropping hand comes back at the new reach.
    if (!mouseAwayNow && !mouseDropping) setReach(HAND_RIGHT, mouseReach, 150);
}

void SimulatedPerformer::injectFault(PerformerFault fault, uint32_t durationMs) {
    int i = static_cast<int>(fault);
    if (i < 0 || i >= static_cast<int>(PerformerFault::FAULT_COUNT)) return;
    faults[i].pending = true;
    faults[i].durationMs = durationMs;
}

bool SimulatedPerformer::faultActive(PerformerFault fault) const {
    int i = static_cast<int>(fault);
    return i >= 0 && i < static_cast<int>(PerformerFault::FAULT_COUNT) && faults[i].active;
}

void SimulatedPerformer::setNaturalMotion(bool swayOn, bool jitterOn) {
    sway = swayOn;
    jitter = jitterOn;
    updateSkeletons();
    sceneRendered = false;
}

namespace {
SimulatedPerformer* lastPerformer = nullptr;
}

SimulatedPerformer* activeSimulatedPerformer() { return lastPerformer; }

void registerSimulatedPerformer(uint32_t seed) {
    registerSyntheticSource([seed]() -> std::unique_ptr<FrameSource> {
        auto performer = std::make_unique<SimulatedPerformer>(seed);
        lastPerformer = performer.get();
        return performer;
    });
    // Streams that carry only skeletons get their images from the same renderer.
    setSkeletonImageRenderer(&renderSkeletonImages);
}
