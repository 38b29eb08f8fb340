// SensorInput and the stream sources compared frame by frame with the independent model in
// reference_sensor.h: the simulated performer with its faults, a seeded random source that
// brings people in and out of every slot with broken joints and dropped fetches, csv streams
// and recordings played back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/sensor/csv_source.h"
#include "common/sensor/recording.h"
#include "common/sensor/replay_source.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/simulated_performer.h"
#include "common/sensor/stream_source.h"
#include "sensor/reference_sensor.h"

namespace {

// Passes every call to the real source and keeps a copy of what each fetch delivered, so the
// model sees exactly what SensorInput saw.
class TapSource : public FrameSource {
public:
    explicit TapSource(FrameSource& inner) : inner(inner) {}

    FrameSource& inner;
    bool skeletonOk = false, colourOk = false, depthOk = false;
    bool endedAfterColour = false, endedAfterDepth = false;  // what the source said right then
    SkeletonFrame skeleton;
    std::vector<uint8_t> colour = std::vector<uint8_t>(COLOUR_FRAME_BYTES);
    std::vector<uint16_t> depth = std::vector<uint16_t>(FRAME_PIXELS);

    void advance(uint32_t nowMs) override { inner.advance(nowMs); }
    bool nextSkeletonFrame(SkeletonFrame& frame) override {
        skeletonOk = inner.nextSkeletonFrame(skeleton);
        if (skeletonOk) frame = skeleton;
        return skeletonOk;
    }
    bool nextColourFrame(uint8_t* bgrx) override {
        colourOk = inner.nextColourFrame(colour.data());
        endedAfterColour = inner.ended();
        if (colourOk) std::memcpy(bgrx, colour.data(), COLOUR_FRAME_BYTES);
        return colourOk;
    }
    bool nextDepthFrame(uint16_t* packedDepth) override {
        depthOk = inner.nextDepthFrame(depth.data());
        endedAfterDepth = inner.ended();
        if (depthOk) std::memcpy(packedDepth, depth.data(), DEPTH_FRAME_BYTES);
        return depthOk;
    }
    bool ended() const override { return inner.ended(); }
    int tiltAngle() const override { return inner.tiltAngle(); }
    void setTiltAngle(int degrees) override { inner.setTiltAngle(degrees); }
};

bool sameFloat(float actual, float expected, float tolerance) {
    if (std::isnan(expected)) return std::isnan(actual);
    if (std::isinf(expected)) return actual == expected;
    return std::fabs(actual - expected) <= tolerance;
}

// Identifiers, states and flags must match byte for byte; joint positions within float
// rounding of the smoothing (the model works in double).
::testing::AssertionResult sameRecord(const SkeletonRecord& actual, const SkeletonRecord& expected) {
    const auto* a = reinterpret_cast<const uint8_t*>(&actual);
    const auto* e = reinterpret_cast<const uint8_t*>(&expected);
    if (std::memcmp(a, e, 32) != 0) {
        return ::testing::AssertionFailure()
               << "header differs: state " << actual.trackingState << " vs " << expected.trackingState
               << ", id " << actual.trackingId << " vs " << expected.trackingId;
    }
    if (std::memcmp(a + 352, e + 352, 436 - 352) != 0) {
        return ::testing::AssertionFailure() << "joint states or quality flags differ";
    }
    for (int j = 0; j < JOINT_COUNT; ++j) {
        const Vector4& p = actual.joints[j];
        const Vector4& q = expected.joints[j];
        const float tolerance = 2e-5f;
        if (!sameFloat(p.x, q.x, tolerance) || !sameFloat(p.y, q.y, tolerance) ||
            !sameFloat(p.z, q.z, tolerance) || std::memcmp(&p.w, &q.w, 4) != 0) {
            return ::testing::AssertionFailure()
                   << "joint " << j << " is (" << p.x << ", " << p.y << ", " << p.z << ", " << p.w
                   << "), model (" << q.x << ", " << q.y << ", " << q.z << ", " << q.w << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

bool sameImageCoordinate(float actual, double expected) {
    if (std::isnan(expected)) return std::isnan(actual);
    if (std::isinf(expected)) return double(actual) == expected;
    return std::fabs(double(actual) - expected) <= 1e-3 + 2e-6 * std::fabs(expected);
}

::testing::AssertionResult sameProjections(const SkeletonRecord& record) {
    for (int j = 0; j < JOINT_COUNT; ++j) {
        const Vector4& p = record.joints[j];
        float u = -1.0f, v = -1.0f;
        projectToImage(p.x, p.y, p.z, u, v);
        const refsensor::ImagePoint expected = refsensor::project(p.x, p.y, p.z);
        if (!sameImageCoordinate(u, expected.u) || !sameImageCoordinate(v, expected.v)) {
            return ::testing::AssertionFailure()
                   << "joint " << j << " at (" << p.x << ", " << p.y << ", " << p.z << ") projects to (" << u
                   << ", " << v << "), model (" << expected.u << ", " << expected.v << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// One SensorInput over a tapped source, and the model fed with what the tap saw.
struct Comparison {
    explicit Comparison(FrameSource& inner) : sensor(std::make_unique<TapSource>(inner)) {
        tap = static_cast<TapSource*>(&sensor.source());
        console = std::tmpfile();
        sensor.diagnostics = console;
    }
    ~Comparison() {
        if (console) std::fclose(console);
    }
    Comparison(const Comparison&) = delete;
    Comparison& operator=(const Comparison&) = delete;

    SensorInput sensor;
    TapSource* tap = nullptr;
    refsensor::Sensor model;
    std::FILE* console = nullptr;
    size_t linesCompared = 0;
    long frames = 0;
    long consoleLines = 0;

    std::vector<std::string> consoleSoFar() {
        std::fflush(console);
        const long size = std::ftell(console);
        std::string text(static_cast<size_t>(size), '\0');
        std::rewind(console);
        if (size > 0 && std::fread(&text[0], 1, text.size(), console) != text.size()) text.clear();
        std::fseek(console, 0, SEEK_END);
        return splitLines(text);
    }

    // One program frame: advance, then the three fetches in the program's order.
    ::testing::AssertionResult frame(uint32_t nowMs, bool withImages = true) {
        sensor.advance(nowMs);
        const SkeletonRecord* record = sensor.fetchSkeleton();
        const uint8_t* colour = withImages ? sensor.fetchColour() : nullptr;
        const uint8_t* view = withImages ? sensor.fetchDepth() : nullptr;
        if (record != &sensor.skeleton) return fail("fetchSkeleton does not return the current record");
        if (withImages && colour != sensor.colourImage.data()) return fail("fetchColour does not return colourImage");
        if (withImages && view != sensor.depthView.data()) return fail("fetchDepth does not return depthView");
        return afterFetches(withImages);
    }

    // Feeds the model what the tap saw in this frame's fetches and compares everything.
    ::testing::AssertionResult afterFetches(bool withImages) {
        ++frames;
        model.skeletonFetched(tap->skeletonOk, tap->skeleton);
        if (sensor.trackedSlot != model.trackedSlot) {
            return fail("tracked slot ") << sensor.trackedSlot << ", model " << model.trackedSlot;
        }
        ::testing::AssertionResult same = sameRecord(sensor.skeleton, model.skeleton);
        if (!same) return fail("skeleton: ") << same.message();
        ::testing::AssertionResult projections = sameProjections(sensor.skeleton);
        if (!projections) return fail("projection: ") << projections.message();
        if (withImages) {
            model.colourFetched(tap->colourOk, tap->colour.data(), tap->endedAfterColour);
            if (sensor.colourImage != model.colour) return fail("colour image differs");
            model.depthFetched(tap->depthOk, tap->depth.data(), tap->endedAfterDepth);
            const bool sameDepth = sensor.depthMillimetres == model.millimetres && sensor.depthView == model.depthView;
            for (int i = 0; !sameDepth && i < FRAME_PIXELS; ++i) {
                if (sensor.depthMillimetres[i] != model.millimetres[i] ||
                    std::memcmp(&sensor.depthView[4 * i], &model.depthView[4 * i], 4) != 0) {
                    const uint8_t* p = &sensor.depthView[4 * i];
                    return fail("depth pixel ")
                           << i << " raw " << tap->depth[i] << ": " << sensor.depthMillimetres[i] << " mm B" << int(p[0])
                           << " G" << int(p[1]) << " R" << int(p[2]) << " A" << int(p[3]) << ", model "
                           << model.millimetres[i] << " mm B" << int(model.depthView[4 * i]) << " G"
                           << int(model.depthView[4 * i + 1]) << " R" << int(model.depthView[4 * i + 2]) << " A"
                           << int(model.depthView[4 * i + 3]);
                }
            }
        }
        const std::vector<std::string> printed = consoleSoFar();
        consoleLines = long(printed.size());
        if (printed != model.lines) {
            std::string said;
            for (size_t i = linesCompared; i < printed.size(); ++i) said += "[" + printed[i] + "]";
            std::string expected;
            for (size_t i = linesCompared; i < model.lines.size(); ++i) expected += "[" + model.lines[i] + "]";
            return fail("console printed ") << said << ", model " << expected;
        }
        linesCompared = printed.size();
        if (sensor.endNoticeGiven != model.endNoticeGiven) return fail("end notice flag differs");
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult fail(const char* what) {
        return ::testing::AssertionFailure() << "frame " << frames << ": " << what;
    }
};

// ---------------------------------------------------------------------------------------------
// A seeded source that brings people in and out of all six slots, swaps the person in a slot,
// reports slots as position-only, and breaks joints: untracked and inferred joints, z = 0,
// joints on the image edge, jumps, nan and infinities. Fetches fail at random and in bursts.
class RandomSource : public FrameSource {
public:
    explicit RandomSource(uint32_t seed) : state(seed * 2654435761u + 1u) {
        for (auto& person : people) person = Person{};
    }

    void advance(uint32_t) override {
        ++frameNumber;
        const auto chance = [&](float p) { return unit() < p; };
        const auto uniform = [&](float lo, float hi) { return lo + (hi - lo) * unit(); };
        if (dropBurst > 0) {
            --dropBurst;
        } else if (chance(0.01)) {
            dropBurst = 3 + int(next() % 60);  // the skeleton stream stalls for a while
        }
        dropSkeleton = dropBurst > 0 || chance(0.05);
        dropColour = chance(0.12);
        dropDepth = chance(0.12);
        if (nobodyFor > 0) {
            --nobodyFor;
        } else if (chance(0.006)) {
            nobodyFor = 30 + int(next() % 120);  // everyone out of sight for seconds
        }
        for (Person& person : people) {
            if (!person.present) {
                if (chance(0.02)) {
                    person = Person{};
                    person.present = true;
                    person.id = ++lastId;
                    person.centre = {uniform(-1.0f, 1.0f), uniform(-0.3f, 0.3f), uniform(1.0f, 4.0f)};
                    for (int j = 0; j < JOINT_COUNT; ++j) {
                        person.joints[j] = {person.centre.x + uniform(-0.4f, 0.4f),
                                            person.centre.y + uniform(-0.9f, 0.8f),
                                            person.centre.z + uniform(-0.3f, 0.3f), 1.0f};
                    }
                }
                continue;
            }
            if (chance(0.015)) {
                person.present = false;
                continue;
            }
            if (chance(0.005)) person.id = ++lastId;  // another person takes the slot
            person.positionOnly = chance(0.05);
            for (int j = 0; j < JOINT_COUNT; ++j) {
                Vector4& p = person.joints[j];
                if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) || p.z <= 0.0f) {
                    p = {person.centre.x, person.centre.y, person.centre.z, 1.0f};
                }
                // Tracker shake of a few millimetres, and now and then a real movement.
                const float step = chance(0.05) ? 0.08f : 0.004f;
                p.x += uniform(-step, step);
                p.y += uniform(-step, step);
                p.z += uniform(-step, step);
                // At most one fault per joint and frame, drawn with one number.
                const float fault = unit();
                person.states[j] = fault < 0.03f ? 1 : (fault < 0.05f ? 0 : 2);  // inferred, not tracked
                if (fault >= 0.05f && fault < 0.054f) p.z = 0.0f;                 // on the camera plane
                if (fault >= 0.054f && fault < 0.058f) p.z = -0.5f;               // behind the camera
                if (fault >= 0.058f && fault < 0.062f) p.x = 320.0f / (2.0f * 285.63f) * p.z;   // right edge
                if (fault >= 0.062f && fault < 0.066f) p.x = -320.0f / (2.0f * 285.63f) * p.z;  // left edge
                if (fault >= 0.066f && fault < 0.070f) p.y = 240.0f / (2.0f * 285.63f) * p.z;   // top edge
                if (fault >= 0.070f && fault < 0.073f) p.x = std::nanf("");
                if (fault >= 0.073f && fault < 0.075f) p.y = INFINITY;
                if (fault >= 0.075f && fault < 0.077f) p.z = -INFINITY;
                if (fault >= 0.077f && fault < 0.079f) p.x += 2.0f;  // far beyond the jitter radius
                p.w = chance(0.01) ? 0.0f : 1.0f;
            }
        }
        frameSkeleton = SkeletonFrame{};
        for (int slot = 0; slot < SKELETON_SLOT_COUNT; ++slot) {
            const Person& person = people[slot];
            SkeletonRecord& record = frameSkeleton.slots[slot];
            record.trackingId = person.present ? person.id : 0;
            record.enrollmentIndex = next();
            record.userIndex = uint32_t(slot + 1);
            record.position = {person.centre.x, person.centre.y, person.centre.z, float(frameNumber)};
            record.qualityFlags = next() & 0xF;
            if (!person.present || nobodyFor > 0) {
                record.trackingState = SKELETON_NOT_TRACKED;
                // Untracked slots still carry stale numbers, which must never be taken.
                for (int j = 0; j < JOINT_COUNT; ++j) record.joints[j] = {9.0f, 9.0f, 9.0f, 9.0f};
                continue;
            }
            record.trackingState = person.positionOnly ? SKELETON_POSITION_ONLY : SKELETON_TRACKED;
            for (int j = 0; j < JOINT_COUNT; ++j) {
                record.joints[j] = person.joints[j];
                record.jointTrackingStates[j] = person.states[j];
            }
        }
    }

    bool nextSkeletonFrame(SkeletonFrame& frame) override {
        if (dropSkeleton) return false;
        frame = frameSkeleton;
        return true;
    }
    bool nextColourFrame(uint8_t* bgrx) override {
        if (dropColour) return false;
        // A block of varied bytes, shifted by the frame number, repeated over the image.
        uint8_t block[4096 + 256];
        for (int i = 0; i < int(sizeof block); ++i) block[i] = uint8_t((uint32_t(i) * 131u) >> 3 ^ uint32_t(i) >> 5);
        const int shift = int(frameNumber % 256);
        for (int at = 0; at < COLOUR_FRAME_BYTES; at += 4096) std::memcpy(bgrx + at, block + shift, 4096);
        return true;
    }
    // Every 16-bit value appears in each frame: millimetres from 0 to 8191 with every player
    // index, so the whole coding table is compared.
    bool nextDepthFrame(uint16_t* packedDepth) override {
        if (dropDepth) return false;
        const uint32_t offset = frameNumber * 40503u;
        for (int i = 0; i < FRAME_PIXELS; ++i) packedDepth[i] = uint16_t(uint32_t(i) * 7u + offset);
        return true;
    }
    int tiltAngle() const override { return tilt; }
    void setTiltAngle(int degrees) override { tilt = degrees; }

private:
    struct Person {
        bool present = false;
        bool positionOnly = false;
        uint32_t id = 0;
        Vector4 centre;
        Vector4 joints[JOINT_COUNT];
        uint32_t states[JOINT_COUNT] = {};
    };
    // xorshift32: cheap enough for thousands of draws per frame in a sanitizer build.
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    float unit() { return float(next() >> 8) * (1.0f / 16777216.0f); }
    Person people[SKELETON_SLOT_COUNT];
    uint32_t lastId = 100;
    uint32_t frameNumber = 0;
    int dropBurst = 0;
    int nobodyFor = 0;
    bool dropSkeleton = false, dropColour = false, dropDepth = false;
    SkeletonFrame frameSkeleton;
    int tilt = 0;
};

uint64_t fnv1a(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// Unique per process: several builds may run this test at the same time.
std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "sensor_reference_" + std::to_string(getpid()) + "_" + name;
}

// What one frame of a source delivered, kept to compare a replay with the original.
struct Delivered {
    bool skeletonOk = false, colourOk = false, depthOk = false;
    bool endedAfterColour = false, endedAfterDepth = false;  // what the source said right then
    SkeletonFrame skeleton;
    uint64_t colourHash = 0, depthHash = 0;
};

Delivered delivered(const TapSource& tap, bool withImages) {
    Delivered d;
    d.skeletonOk = tap.skeletonOk;
    if (d.skeletonOk) d.skeleton = tap.skeleton;
    if (withImages) {
        d.colourOk = tap.colourOk;
        d.depthOk = tap.depthOk;
        if (d.colourOk) d.colourHash = fnv1a(tap.colour.data(), tap.colour.size());
        if (d.depthOk) d.depthHash = fnv1a(tap.depth.data(), tap.depth.size() * 2);
    }
    return d;
}

// Drives the performer through gestures, reaches, the image edge and every fault it has,
// overlapping, as a long session would: called once per frame with the frame's number.
void drivePerformer(SimulatedPerformer& performer, long frame) {
    switch (frame) {
    case 0: performer.performGesture("wave", 3); break;
    case 20: performer.injectFault(PerformerFault::DROP_COLOUR, 400); break;
    case 35:
        performer.injectFault(PerformerFault::DROP_SKELETON, 250);
        performer.injectFault(PerformerFault::DROP_DEPTH, 600);
        break;
    case 60: performer.injectFault(PerformerFault::SECOND_PERSON, 5000); break;
    case 75: performer.injectFault(PerformerFault::LOSE_PERSON, 3000); break;  // slot 3 is taken
    case 130: performer.performGesture("both_y", 9); break;                    // slot 0 is back
    case 230: performer.injectFault(PerformerFault::LOSE_PERSON, 2500); break;  // nobody at all
    case 320:
        performer.injectFault(PerformerFault::HAND_OUT, 2000);
        performer.setReach(HAND_LEFT, 0.35f, 300);
        break;
    case 345: performer.setTiltAngle(40); break;  // beyond the motor's reach
    case 380:
        performer.moveWrist(HAND_RIGHT, 0.6f, 0.5f, 500);
        performer.setHandShape(HAND_RIGHT, HandShape::CLOSED);
        performer.injectFault(PerformerFault::DROP_SKELETON, 100);
        break;
    case 400: performer.setTiltAngle(-12); break;
    case 410: performer.performGesture("push", 4); break;
    default: break;
    }
}

// Rendering and colour-coding whole images is nearly all of a frame's time: images on every
// sixtieth frame, and on every fourth while an image fault runs.
bool performerImagesAt(const SimulatedPerformer& performer, long frame) {
    const bool imageFault = performer.faultActive(PerformerFault::DROP_COLOUR) ||
                            performer.faultActive(PerformerFault::DROP_DEPTH);
    return frame % 60 == 0 || (imageFault && frame % 4 == 0);
}

}  // namespace

TEST(SensorReference, SimulatedPerformerWithEveryFaultMatchesTheModel) {
    SimulatedPerformer performer(7);
    Comparison run(performer);
    long framesOnSecondPerson = 0, framesBackOnFirst = 0, framesWithNobody = 0, bodyChecks = 0;
    bool sawSecond = false;
    for (long f = 0; f < 480; ++f) {
        drivePerformer(performer, f);
        const bool withImages = performerImagesAt(performer, f);
        ASSERT_TRUE(run.frame(1000 + uint32_t(f) * 33, withImages));
        if (f == 345) {
            EXPECT_EQ(run.sensor.tiltAngle(), TILT_LIMIT_DEGREES);
        }
        if (f == 400) {
            EXPECT_EQ(run.sensor.tiltAngle(), -12);
        }
        if (run.sensor.trackedSlot == 3) {
            ++framesOnSecondPerson;
            sawSecond = true;
        }
        if (sawSecond && run.sensor.trackedSlot == 0) ++framesBackOnFirst;
        const SkeletonFrame& raw = run.tap->skeleton;
        if (run.tap->skeletonOk && raw.slots[0].trackingState == 0 && raw.slots[3].trackingState == 0) {
            ++framesWithNobody;
        }
        // The depth image shows the followed person where the skeleton says: the projected
        // spine lies on (or within two pixels of) a pixel of that person at about its depth.
        if (withImages && run.tap->skeletonOk && run.tap->depthOk &&
            raw.slots[0].trackingState == SKELETON_TRACKED) {
            const Vector4& spine = raw.slots[0].joints[JOINT_SPINE];
            const refsensor::ImagePoint at = refsensor::project(spine.x, spine.y, spine.z);
            const int u = int(at.u), v = int(at.v);
            if (u >= 2 && u < FRAME_WIDTH - 2 && v >= 2 && v < FRAME_HEIGHT - 2) {
                bool found = false;
                for (int dv = -2; dv <= 2 && !found; ++dv) {
                    for (int du = -2; du <= 2 && !found; ++du) {
                        const uint16_t p = run.tap->depth[(v + dv) * FRAME_WIDTH + (u + du)];
                        found = (p & 7) == 1 && std::fabs(float(p >> 3) - spine.z * 1000.0f) < 250.0f;
                    }
                }
                EXPECT_TRUE(found) << "frame " << f << ": no body pixel at the spine (" << u << ", " << v << ")";
                ++bodyChecks;
            }
        }
    }
    // The run went through what it was written for.
    EXPECT_GT(framesOnSecondPerson, 30);
    EXPECT_GT(framesBackOnFirst, 30);
    EXPECT_GT(framesWithNobody, 30);
    EXPECT_GT(bodyChecks, 5);
    EXPECT_GT(run.consoleLines, 5);
}

TEST(SensorReference, RandomPeopleBrokenJointsAndDropsMatchTheModel) {
    for (uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        RandomSource source(seed);
        Comparison run(source);
        long switches = 0, lostFollowed = 0;
        int previous = -1;
        for (long f = 0; f < 1200; ++f) {
            // Images on a sparse subset of frames: each depth frame holds every packed value.
            ASSERT_TRUE(run.frame(uint32_t(f) * 33, f % 100 == 0 || f % 97 == 1));
            if (run.tap->skeletonOk) {
                for (int followed = -1; followed <= SKELETON_SLOT_COUNT; ++followed) {
                    ASSERT_EQ(chooseSkeletonSlot(run.tap->skeleton, followed),
                              refsensor::chooseSlot(run.tap->skeleton, followed))
                        << "followed " << followed;
                }
            }
            if (run.sensor.trackedSlot != previous) ++switches;
            if (run.tap->skeletonOk && previous >= 0 &&
                run.tap->skeleton.slots[previous].trackingState != SKELETON_TRACKED) {
                ++lostFollowed;
            }
            previous = run.sensor.trackedSlot;
            if (f % 200 == 0) {
                run.sensor.setTiltAngle(int(f / 100) - 5);
                EXPECT_EQ(run.sensor.tiltAngle(), int(f / 100) - 5);
            }
        }
        EXPECT_GT(switches, 5);
        EXPECT_GT(lostFollowed, 10);
    }
}

TEST(SensorReference, ModelGivesTheStatedDepthColours) {
    // The model is the yardstick for every frame above, so its own coding is pinned to the
    // stated examples: no reading red, 800 mm and nearer white, 4000 mm black, 4095 mm grey
    // 249 (the negative value wraps), a person at 2000 mm green.
    const auto coded = [](uint16_t millimetres, uint16_t player) {
        const refsensor::CodedPixel c = refsensor::codePixel(uint16_t(millimetres << 3 | player));
        EXPECT_EQ(c.millimetres, millimetres);
        EXPECT_EQ(c.a, 0);
        return std::vector<int>{c.b, c.g, c.r};
    };
    EXPECT_EQ(coded(0, 0), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(coded(500, 0), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(coded(800, 0), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(coded(4000, 0), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(coded(4095, 0), (std::vector<int>{249, 249, 249}));
    EXPECT_EQ(coded(2000, 1), (std::vector<int>{10, 159, 10}));
    EXPECT_EQ(coded(0, 3), (std::vector<int>{10, 0, 10}));
}

TEST(SensorReference, TwoPeopleFirstSeenTogetherFollowTheHigherSlot) {
    // The stated example: slots 1 and 4 appear together; 4 is followed while tracked, even
    // with 1 still there; then 1 alone is taken.
    class TwoPeople : public FrameSource {
    public:
        int frame = 0;
        void advance(uint32_t) override { ++frame; }
        bool nextSkeletonFrame(SkeletonFrame& out) override {
            out = SkeletonFrame{};
            for (int slot : {1, 4}) {
                out.slots[slot].trackingId = uint32_t(slot);
                out.slots[slot].joints[JOINT_HEAD] = {0.1f * float(slot), 0.5f, 2.0f + 0.01f * float(frame), 1.0f};
                out.slots[slot].jointTrackingStates[JOINT_HEAD] = 2;
            }
            out.slots[1].trackingState = SKELETON_TRACKED;
            out.slots[4].trackingState = frame < 10 ? SKELETON_TRACKED : SKELETON_NOT_TRACKED;
            return true;
        }
        bool nextColourFrame(uint8_t*) override { return false; }
        bool nextDepthFrame(uint16_t*) override { return false; }
        int tiltAngle() const override { return 0; }
        void setTiltAngle(int) override {}
    } source;
    Comparison run(source);
    for (int f = 0; f < 20; ++f) {
        ASSERT_TRUE(run.frame(uint32_t(f) * 33, false));
        EXPECT_EQ(run.sensor.trackedSlot, f < 9 ? 4 : 1) << f;
    }
}

// ---------------------------------------------------------------------------------------------
// csv streams: what the source delivers, when, and what SensorInput makes of it.

// A stream written by a tracker: random walks with shaking, frames in which nobody is seen,
// joints written 0 0 0 (lost), some from the first frame on, joints at the image edge and on
// the camera's plane, commas and tabs, fractional and irregular time stamps, and lines that
// the reader must skip (nan, inf, a short line).
std::string generatedCsv(uint32_t seed, std::vector<std::string>* skippedLines) {
    std::mt19937 rng(seed);
    const auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    std::ostringstream out;
    out << "# generated stream\n";
    float joints[JOINT_COUNT][3];
    for (int j = 0; j < JOINT_COUNT; ++j) {
        joints[j][0] = uniform(-0.4f, 0.4f);
        joints[j][1] = uniform(-0.8f, 0.8f);
        joints[j][2] = uniform(1.8f, 2.6f);
    }
    double timeUs = 5000000.0;
    for (int line = 0; line < 220; ++line) {
        timeUs += 33333.3 + uniform(-3000.0f, 3000.0f);
        char stamp[64];
        if (line % 3 == 0) {
            std::snprintf(stamp, sizeof stamp, "%.2f", timeUs);
        } else {
            std::snprintf(stamp, sizeof stamp, "%.0f", timeUs);
        }
        const bool nobody = (line >= 120 && line < 180) || line % 53 == 7;
        const char* separator = line % 4 == 1 ? ", " : (line % 4 == 2 ? "\t" : " ");
        std::ostringstream row;
        row << stamp;
        for (int j = 0; j < JOINT_COUNT; ++j) {
            for (int k = 0; k < 3; ++k) joints[j][k] += uniform(-0.006f, 0.006f);
            if (line % 61 == 30) joints[j][0] += 0.2f;  // a quick move
            float x = joints[j][0], y = joints[j][1], z = joints[j][2];
            const bool lost = (j == 7 && line < 40) || (j == 11 && line % 9 < 3) || (line % 37 == 5 && j % 5 == 0);
            if (nobody || lost) x = y = z = 0.0f;
            if (!nobody && j == 3 && line % 29 == 0) x = 320.0f / (2.0f * 285.63f) * z;  // image edge
            if (!nobody && j == 19 && line % 31 == 0) z = 0.0f, x = 0.1f;              // on the camera plane
            char value[96];
            std::snprintf(value, sizeof value, "%s%.4f%s%.4f%s%.4f%s%d", separator, double(x), separator,
                          double(y), separator, double(z), separator, nobody ? 0 : 1);
            row << value;
        }
        out << row.str() << "\n";
        if (line % 47 == 20) {
            // Lines the reader skips: the model never sees them.
            std::string bad = row.str();
            const size_t cut = bad.find(separator, bad.find(separator) + 1);
            std::string nanLine = bad.substr(0, cut) + separator + "nan" + bad.substr(bad.find(separator, cut + 1));
            out << nanLine << "\n";
            out << stamp << " 0.1 0.2 2.0 1\n";
            if (skippedLines) skippedLines->push_back(nanLine);
        }
        if (line == 200) out << "\n# a comment in the middle\n";
    }
    return out.str();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Plays a csv file with irregular clock steps (some 0 ms, some skipping frames) and compares
// every fetch with the models of the stream and of SensorInput.
void compareCsvPlayback(const std::string& path, uint32_t seed) {
    SCOPED_TRACE(path);
    std::string error;
    std::unique_ptr<CsvSource> source = openCsvSource(path, error);
    ASSERT_TRUE(source) << error;
    const std::vector<refsensor::CsvLine> lines = refsensor::readCsvLines(readFile(path));
    std::vector<refsensor::CsvLine> valid;
    for (const refsensor::CsvLine& line : lines) {
        bool finite = true;
        for (float v : line.values) finite = finite && std::isfinite(v);
        if (finite && line.valuesRead == 80) valid.push_back(line);
    }
    ASSERT_EQ(source->frameCount(), valid.size());
    refsensor::CsvStreamModel streamModel;
    std::vector<SkeletonFrame> expectedFrames;
    std::vector<uint64_t> times;
    for (const refsensor::CsvLine& line : valid) {
        expectedFrames.push_back(streamModel.frameFor(line));
        times.push_back(line.timeUs);
    }

    Comparison run(*source);
    std::mt19937 rng(seed);
    const uint32_t startMs = 4294960000u;  // the clock wraps during the stream
    uint32_t now = startMs;
    long shownSkeleton = -1, shownColour = -1, shownDepth = -1;
    long skipped = 0, repeats = 0;
    bool pastEnd = false;
    source->setTiltAngle(-30);
    EXPECT_EQ(run.sensor.tiltAngle(), -TILT_LIMIT_DEGREES);
    bool sameTimeAgain = false;  // a frame with no clock step: the fetches find nothing new
    for (int step = 0; now - startMs < uint32_t((times.back() - times.front()) / 1000 + 1500); ++step) {
        const bool withImages = step % 20 == 0 || sameTimeAgain;
        ASSERT_TRUE(run.frame(now, withImages)) << "at " << now - startMs << " ms";
        const long current = refsensor::currentStreamFrame(times, startMs, now);
        ASSERT_EQ(source->currentFrame(), current) << "at " << now - startMs << " ms";
        ASSERT_EQ(source->frameTimeUs(), times[size_t(current)] - times.front());
        // The stream has ended once a fetch finds nothing new on its last frame.
        const bool onLast = current == long(times.size()) - 1;
        pastEnd = pastEnd || (onLast && (current == shownSkeleton || (withImages && (current == shownColour ||
                                                                                      current == shownDepth))));
        ASSERT_EQ(run.tap->skeletonOk, current != shownSkeleton) << "at " << now - startMs << " ms";
        if (run.tap->skeletonOk) {
            const SkeletonFrame& got = run.tap->skeleton;
            const SkeletonFrame& want = expectedFrames[size_t(current)];
            for (int slot = 0; slot < SKELETON_SLOT_COUNT; ++slot) {
                ASSERT_EQ(got.slots[slot].trackingState, want.slots[slot].trackingState) << "frame " << current;
            }
            if (want.slots[0].trackingState == SKELETON_TRACKED) {
                const SkeletonRecord& g = got.slots[0];
                const SkeletonRecord& w = want.slots[0];
                ASSERT_EQ(g.trackingId, w.trackingId);
                ASSERT_EQ(std::memcmp(&g.position, &w.position, sizeof(Vector4)), 0) << "frame " << current;
                ASSERT_EQ(std::memcmp(g.joints, w.joints, sizeof g.joints), 0) << "frame " << current;
                ASSERT_EQ(std::memcmp(g.jointTrackingStates, w.jointTrackingStates, sizeof g.jointTrackingStates), 0)
                    << "frame " << current;
            }
            shownSkeleton = current;
        }
        if (withImages) {
            ASSERT_EQ(run.tap->colourOk, current != shownColour);
            ASSERT_EQ(run.tap->depthOk, current != shownDepth);
            if (run.tap->colourOk) shownColour = current;
            if (run.tap->depthOk) shownDepth = current;
        }
        ASSERT_EQ(source->ended(), pastEnd);
        const uint32_t advance = std::uniform_int_distribution<uint32_t>(0, 9)(rng) == 0
                                     ? 0u
                                     : std::uniform_int_distribution<uint32_t>(20, 90)(rng);
        if (advance == 0) ++repeats;
        if (advance > 40) ++skipped;
        sameTimeAgain = advance == 0;
        now += advance;
    }
    EXPECT_EQ(shownSkeleton, long(times.size()) - 1);
    EXPECT_GT(repeats, 0);
    EXPECT_GT(skipped, 0);
    // Past the end, a frame with images says once that the stream has ended.
    ASSERT_TRUE(run.frame(now, true));
    ASSERT_TRUE(run.frame(now + 33, true));
    EXPECT_TRUE(run.sensor.endNoticeGiven);
}

// Offline tools step through every frame of a stream regardless of time.
void compareCsvStepping(const std::string& path) {
    SCOPED_TRACE(path);
    std::string error;
    std::unique_ptr<CsvSource> source = openCsvSource(path, error);
    ASSERT_TRUE(source) << error;
    const std::vector<refsensor::CsvLine> lines = refsensor::readCsvLines(readFile(path));
    refsensor::CsvStreamModel streamModel;
    Comparison run(*source);
    size_t next = 0;
    for (const refsensor::CsvLine& line : lines) {
        bool finite = line.valuesRead == 80;
        for (float v : line.values) finite = finite && std::isfinite(v);
        if (!finite) continue;
        const SkeletonFrame want = streamModel.frameFor(line);
        const bool withImages = next % 30 == 0;
        ASSERT_TRUE(stepSensorFrame(run.sensor, *source, withImages)) << "frame " << next;
        ASSERT_TRUE(run.afterFetches(withImages));
        ASSERT_TRUE(run.tap->skeletonOk);
        ASSERT_EQ(source->currentFrame(), long(next));
        ASSERT_EQ(source->frameTimeUs(), line.timeUs - lines.front().timeUs);
        ASSERT_EQ(std::memcmp(run.tap->skeleton.slots[0].joints, want.slots[0].joints, sizeof want.slots[0].joints), 0)
            << "frame " << next;
        ASSERT_EQ(run.tap->skeleton.slots[0].trackingState, want.slots[0].trackingState) << "frame " << next;
        ++next;
    }
    EXPECT_EQ(next, source->frameCount());
    EXPECT_FALSE(stepSensorFrame(run.sensor, *source, true));
}

TEST(SensorReference, CsvStreamsPlayAtTheirTimeStampsAndMatchTheModel) {
    // Blank images: what is compared here is when images come, not what a renderer draws.
    const SkeletonImageRenderer before = skeletonImageRenderer();
    setSkeletonImageRenderer(nullptr);
    for (const char* name : {"arms_down.csv", "right_arm_forward.csv", "right_arm_sideways.csv"}) {
        compareCsvPlayback(std::string(SOURCE_DIR) + "/tests/data/streams/" + name, 5);
    }
    const std::string path = tempPath("generated.csv");
    std::vector<std::string> skippedLines;
    {
        std::ofstream out(path, std::ios::binary);
        out << generatedCsv(17, &skippedLines);
    }
    EXPECT_FALSE(skippedLines.empty());
    compareCsvPlayback(path, 9);
    compareCsvStepping(path);
    std::remove(path.c_str());
    setSkeletonImageRenderer(before);
}

// ---------------------------------------------------------------------------------------------
// Recordings: a performer session with faults, recorded by SensorInput and played back, gives
// the same deliveries and the same failures, and SensorInput on the replay matches the model.

void recordAndReplay(uint32_t contents, long frameCount, uint32_t stepMs, long leastFailures) {
    const uint32_t recordClockStart = 0u - uint32_t(frameCount / 2) * stepMs;
    const std::string path = tempPath(contents ? "images.rec" : "skeletons.rec");
    std::vector<Delivered> original;
    std::vector<uint32_t> clock;
    std::vector<bool> imageFrames;
    {
        SimulatedPerformer performer(11);
        Comparison run(performer);
        Recorder recorder;
        std::string error;
        ASSERT_TRUE(recorder.open(path, contents, error)) << error;
        run.sensor.recorder = &recorder;
        for (long f = 0; f < frameCount; ++f) {
            // The performer's script, squeezed into this run's length.
            for (long g = f * 480 / frameCount; g < (f + 1) * 480 / frameCount; ++g) drivePerformer(performer, g);
            const uint32_t now = recordClockStart + uint32_t(f) * stepMs;  // wraps midway
            const bool withImages = contents != 0 || performerImagesAt(performer, f);
            imageFrames.push_back(withImages);
            ASSERT_TRUE(run.frame(now, withImages));
            original.push_back(delivered(*run.tap, withImages));
            clock.push_back(now);
        }
        ASSERT_TRUE(recorder.finish(error)) << error;
        run.sensor.recorder = nullptr;
    }
    std::string error;
    std::unique_ptr<ReplaySource> replay = openReplaySource(path, error);
    ASSERT_TRUE(replay) << error;
    ASSERT_EQ(replay->frameCount(), size_t(frameCount));
    Comparison run(*replay);
    const uint32_t shift = 123456;  // the replay's clock starts elsewhere
    long failures = 0;
    for (long f = 0; f < frameCount; ++f) {
        const bool withImages = imageFrames[size_t(f)];
        ASSERT_TRUE(run.frame(clock[size_t(f)] + shift, withImages));
        const Delivered again = delivered(*run.tap, withImages);
        const Delivered& first = original[size_t(f)];
        ASSERT_EQ(again.skeletonOk, first.skeletonOk) << "frame " << f;
        if (first.skeletonOk) {
            ASSERT_EQ(std::memcmp(&again.skeleton, &first.skeleton, sizeof(SkeletonFrame)), 0) << "frame " << f;
        }
        ASSERT_EQ(again.colourOk, first.colourOk) << "frame " << f;
        ASSERT_EQ(again.depthOk, first.depthOk) << "frame " << f;
        ASSERT_FALSE(replay->ended()) << "frame " << f;
        if ((contents & RECORDING_STORES_COLOUR) && first.colourOk) {
            ASSERT_EQ(again.colourHash, first.colourHash) << "frame " << f;
        }
        if ((contents & RECORDING_STORES_DEPTH) && first.depthOk) {
            ASSERT_EQ(again.depthHash, first.depthHash) << "frame " << f;
        }
        failures += !first.skeletonOk + (withImages && !first.colourOk) + (withImages && !first.depthOk);
    }
    EXPECT_GE(failures, leastFailures);
    // Past the end: the last frame stays and the end is said once.
    const size_t linesBefore = run.model.lines.size();
    for (int extra = 1; extra <= 5; ++extra) {
        ASSERT_TRUE(run.frame(clock.back() + shift + uint32_t(extra) * stepMs, true));
        EXPECT_FALSE(run.tap->skeletonOk);
    }
    EXPECT_EQ(run.model.lines.size(), linesBefore + 1);
    EXPECT_TRUE(replay->ended());
    EXPECT_TRUE(run.sensor.endNoticeGiven);
    std::remove(path.c_str());
}

TEST(SensorReference, RecordedSessionReplaysFrameForFrame) {
    recordAndReplay(0, 180, 88, 5);                       // skeletons only, images rendered
    recordAndReplay(RECORDING_STORES_IMAGES, 8, 500, 3);  // images stored, slow frames
}
