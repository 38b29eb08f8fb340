#pragma once
// Drives a GestureRecognizer with synthetic poses on a virtual 30 Hz clock.
#include <sstream>
#include <string>
#include <vector>

#include "common/gesture/gesture_recognizer.h"
#include "gesture_test_helpers.h"

namespace gesture_test {

struct Driver {
    GestureRecognizer recognizer;
    std::ostringstream console;
    uint32_t nowMs = 1000;
    bool deterministic = true;  // wait for each worker before the next frame

    Driver() { recognizer.console = &console; }

    void frame(const ArmPose& pose, bool recognise = true) {
        SkeletonRecord record;
        recognizer.processPose(record, pose, recognise, nowMs);
        if (deterministic) recognizer.waitForWorker();
        nowMs += 33;
    }
    void hold(const ArmPose& pose, int frames, bool recognise = true) {
        for (int i = 0; i < frames; ++i) frame(pose, recognise);
    }
    void perform(const Gesture& g, bool recognise = true) {
        for (const ArmPose& p : g.poses) frame(p, recognise);
    }
    std::vector<std::string> drain() {
        std::vector<std::string> texts;
        while (recognizer.hasResults()) texts.push_back(recognizer.popResult());
        return texts;
    }
    std::string output() {
        recognizer.waitForWorker();
        return console.str();
    }
};

// A right-arm raise and lower of `frames` frames on pose value `valueIndex`, left arm at rest.
inline Gesture rightSwing(int frames, float amplitude = 60.0f, int valueIndex = POSE_ELEVATION_RIGHT) {
    return swingGesture(frames, amplitude, valueIndex);
}

// The same swing as a trained RIGHT example: left-arm values cleared as typing does.
inline Gesture trainedRightSwing(int frames, float amplitude = 60.0f, int valueIndex = POSE_ELEVATION_RIGHT) {
    Gesture g = swingGesture(frames, amplitude, valueIndex);
    g.type = GestureType::RIGHT;
    for (ArmPose& p : g.poses) {
        for (int i = 0; i < ARM_ANGLE_COUNT; i += 2) p[i] = 0.0f;
    }
    return g;
}

inline GestureSet setOf(const Gesture& g, int copies) {
    GestureSet set;
    set.type = g.type;
    for (int i = 0; i < copies; ++i) set.gestures.push_back(g);
    return set;
}

}  // namespace gesture_test
