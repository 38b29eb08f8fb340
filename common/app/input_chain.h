#pragma once
// The input chain both programs build the same way at start-up: the sensor over the frame
// source, the recogniser (with the gesture-set file, when one is named), a hand detector per
// hand reading the sensor's depth image, and a pointer per hand (left blue, right red) with its
// textures; and the per-frame update of the hands. `App` is an application record with the
// fields window, sensor, recognizer, leftDetector, rightDetector, leftPointer, rightPointer,
// pose and handEvents.
#include <memory>
#include <optional>
#include <string>

#include "common/gesture/gesture_recognizer.h"
#include "common/sensor/hand_pointer.h"
#include "common/sensor/hand_state_detector.h"
#include "common/sensor/sensor_input.h"
#include "common/widgets/hand_pointer_draw.h"

template <class App>
void createInputChain(App& app, std::unique_ptr<FrameSource> source,
                      const std::optional<std::string>& gestureSetFile) {
    app.sensor = std::make_unique<SensorInput>(std::move(source));
    app.recognizer = std::make_unique<GestureRecognizer>();
    app.leftDetector = std::make_unique<HandStateDetector>(HAND_LEFT, app.sensor.get());
    app.rightDetector = std::make_unique<HandStateDetector>(HAND_RIGHT, app.sensor.get());
    app.leftPointer = std::make_unique<HandPointer>(HAND_LEFT, &app.window);
    app.leftPointer->colour = {{0, 0, 255, 255}};
    loadHandPointerTextures(*app.leftPointer);
    app.rightPointer = std::make_unique<HandPointer>(HAND_RIGHT, &app.window);
    app.rightPointer->colour = {{255, 0, 0, 255}};
    loadHandPointerTextures(*app.rightPointer);
    if (gestureSetFile) app.recognizer->loadGestureSets(*gestureSetFile);
}

// With nobody in front of the sensor the skeleton record stays as the person left it, reach
// included, so the pointers would stay engaged: a hand closed at that moment would go on
// gripping (a brush raising the terrain for as long as the room is empty) and a pointer left
// over a button would press it. A tracker that loses the person for a frame or two mid-stroke
// should not break the stroke, though. So while nobody is tracked the hand detectors and the
// pointers are left as they are (no grip can begin or end, no pointer can engage, on a frozen
// record); an engaged pointer lets go once nobody has been tracked for PERSON_LOST_RELEASE_MS,
// and a pointer that was not engaged goes back to idle at once. Pointers engage anew, after
// their usual half second, once someone is tracked and reaches forward.
constexpr uint32_t PERSON_LOST_RELEASE_MS = 500;

// Measures both hands and moves both pointers for this frame (the detectors first: the
// pointers and tools read their state). Returns whether nobody is tracked, in which case the
// caller stops the buttons' dwell timers: nothing is pressed with nobody there.
template <class App>
bool updateHands(App& app, uint32_t nowMs) {
    const SensorInput& sensor = *app.sensor;
    if (sensor.personTracked) {
        app.leftDetector->update(app.handEvents);
        app.rightDetector->update(app.handEvents);
        app.rightPointer->update(app.pose, nowMs);
        app.leftPointer->update(app.pose, nowMs);
        return false;
    }
    const bool waitedLongEnough = nowMs - sensor.personLostSinceMs > PERSON_LOST_RELEASE_MS;
    for (HandPointer* pointer : {app.leftPointer.get(), app.rightPointer.get()}) {
        if (pointer->state != POINTER_ENGAGED || waitedLongEnough) pointer->state = POINTER_IDLE;
    }
    return true;
}
