// The image projection shared by the pointer, the detectors and the joint marks, and slot
// following across a longer run of frames through SensorInput itself.
#include "common/sensor/sensor_input.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "common/sensor/frame_source.h"

namespace {

TEST(ImageProjection, KnownAnswersAndTheDegenerateDepth) {
    float u = -1.0f, v = -1.0f;
    // u = 320 + 0.5 * 571.26 / 2 = 462.815, v = 240 - 0.25 * 571.26 / 2 = 168.5925.
    projectToImage(0.5f, 0.25f, 2.0f, u, v);
    EXPECT_NEAR(u, 462.815f, 1e-3f);
    EXPECT_NEAR(v, 168.5925f, 1e-3f);
    // x to the camera's right is to the image's right, y up is toward the top row.
    projectToImage(-0.3f, -0.6f, 1.5f, u, v);
    EXPECT_NEAR(u, 320.0f - 0.3f * 571.26f / 1.5f, 1e-3f);
    EXPECT_NEAR(v, 240.0f + 0.6f * 571.26f / 1.5f, 1e-3f);
    // At or before the camera's plane: (0, 0).
    for (float z : {1.1920929e-7f, 0.0f, -2.0f}) {
        u = v = -1.0f;
        projectToImage(0.5f, 0.25f, z, u, v);
        EXPECT_EQ(u, 0.0f) << z;
        EXPECT_EQ(v, 0.0f) << z;
    }
    projectToImage(0.0f, 0.0f, 1.2e-7f, u, v);   // just beyond: the centre
    EXPECT_EQ(u, 320.0f);
    EXPECT_EQ(v, 240.0f);
}

class QueuedSkeletons : public FrameSource {
public:
    std::deque<SkeletonFrame> frames;
    void advance(uint32_t) override {}
    bool nextSkeletonFrame(SkeletonFrame& frame) override {
        if (frames.empty()) return false;
        frame = frames.front();
        frames.pop_front();
        return true;
    }
    bool nextColourFrame(uint8_t*) override { return false; }
    bool nextDepthFrame(uint16_t*) override { return false; }
    int tiltAngle() const override { return 0; }
    void setTiltAngle(int) override {}
};

SkeletonFrame frameWith(std::initializer_list<int> tracked, std::initializer_list<int> positionOnly = {}) {
    SkeletonFrame f;
    for (int s = 0; s < SKELETON_SLOT_COUNT; ++s) f.slots[s].trackingId = 10u + static_cast<uint32_t>(s);
    for (int s : tracked) f.slots[s].trackingState = SKELETON_TRACKED;
    for (int s : positionOnly) f.slots[s].trackingState = SKELETON_POSITION_ONLY;
    return f;
}

TEST(SensorInputSkeleton, FollowsOnePersonAcrossArrivalsAndLosses) {
    auto source = std::make_unique<QueuedSkeletons>();
    QueuedSkeletons& q = *source;
    SensorInput sensor(std::move(source));
    sensor.diagnostics = nullptr;
    // Frame by frame: which slots are tracked, and whose record (slot) the sensor holds after.
    struct Step {
        SkeletonFrame frame;
        int slot;
    };
    const Step steps[] = {
        {frameWith({1, 4}), 4},        // first seen together: the later slot
        {frameWith({1, 4}), 4},        // stays while tracked
        {frameWith({0, 1, 4, 5}), 4},  // newcomers, before and after, change nothing
        {frameWith({1, 5}, {4}), 5},   // position only is lost: the highest tracked slot
        {frameWith({1, 4, 5}), 5},     // the old person back: the followed one stays
        {frameWith({}, {5}), 5},       // nobody tracked: the record of slot 5 stays
        {frameWith({2}), 2},
    };
    int n = 0;
    for (const Step& step : steps) {
        q.frames.push_back(step.frame);
        const SkeletonRecord* r = sensor.fetchSkeleton();
        EXPECT_EQ(r->trackingId, 10u + static_cast<uint32_t>(step.slot)) << "step " << n;
        EXPECT_EQ(r->trackingState, SKELETON_TRACKED) << "step " << n;
        EXPECT_EQ(sensor.trackedSlot, step.slot) << "step " << n;
        ++n;
    }
}

}  // namespace
