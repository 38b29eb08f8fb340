#pragma once
// The input chain both programs build the same way at start-up: the sensor over the frame
// source, the recogniser (with the gesture-set file, when one is named), a hand detector per
// hand reading the sensor's depth image, and a pointer per hand (left blue, right red) with its
// textures. `App` is an application record with the fields window, sensor, recognizer,
// leftDetector, rightDetector, leftPointer and rightPointer.
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
// should not break the stroke, though. The frame loops therefore leave the hand detectors and
// the pointers as they are while nobody is tracked (no grip can begin or end, no pointer can
// engage, on a frozen record), and this lets an engaged pointer go once nobody has been tracked
// for PERSON_LOST_RELEASE_MS; a pointer that was not engaged goes back to idle at once. Pointers
// engage anew, after their usual half second, once someone is tracked and reaches forward. Call
// every frame the pointers would be updated; returns whether nobody is tracked, in which case
// the caller stops the buttons' dwell timers (nothing is pressed with nobody there).
constexpr uint32_t PERSON_LOST_RELEASE_MS = 500;

template <class App>
bool releasePointersWhileNobodyTracked(App& app, uint32_t nowMs) {
    const SensorInput& sensor = *app.sensor;
    if (sensor.personTracked) return false;
    const bool waitedLongEnough = nowMs - sensor.personLostSinceMs > PERSON_LOST_RELEASE_MS;
    for (HandPointer* pointer : {app.leftPointer.get(), app.rightPointer.get()}) {
        if (pointer->state != POINTER_ENGAGED || waitedLongEnough) pointer->state = POINTER_IDLE;
    }
    return true;
}
