#pragma once
// The frame loop a program runs around the mouse-driven simulated performer, without images:
// performer -> SensorInput (joint smoothing) -> arm pose -> both hand pointers -> followPointer.
#include <cstdint>
#include <memory>
#include <utility>

#include "common/gesture/arm_pose.h"
#include "common/sensor/hand_pointer.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/simulated_performer.h"

struct MouseRig {
    MouseRig(uint32_t seed, int width, int height, uint32_t frameMs = 33) : stepMs(frameMs) {
        auto owned = std::make_unique<SimulatedPerformer>(seed);
        performer = owned.get();
        sensor = std::make_unique<SensorInput>(std::move(owned));
        sensor->diagnostics = nullptr;
        window.width = width;
        window.height = height;
        pointer = HandPointer(HAND_RIGHT, &window);
        leftPointer = HandPointer(HAND_LEFT, &window);
    }

    // Window pixels, x right, y up.
    void moveMouse(float x, float y) {
        mouseX = x;
        mouseY = y;
        performer->mouseMove(x / static_cast<float>(window.width), y / static_cast<float>(window.height));
    }

    void frame() {
        now += stepMs;
        sensor->advance(now);
        sensor->fetchSkeleton();
        extractArmPose(extractor, sensor->skeleton, pose);
        pointer.update(pose, now);
        leftPointer.update(pose, now);
        performer->followPointer(pointer);
    }

    void run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += stepMs) frame();
    }

    uint32_t stepMs;
    uint32_t now = 0;
    SimulatedPerformer* performer = nullptr;  // owned by sensor
    std::unique_ptr<SensorInput> sensor;
    ArmPoseExtractor extractor;
    ArmPose pose{};
    WindowInfo window;
    HandPointer pointer;      // the right hand's, which the mouse steers
    HandPointer leftPointer;
    float mouseX = 0.0f, mouseY = 0.0f;  // where the mouse was last moved
};
