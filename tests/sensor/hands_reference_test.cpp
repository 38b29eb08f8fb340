// Frame-by-frame comparison of both hand pointers and both hand detectors with the independent
// reference models in reference_hands.h: the simulated performer on long fixed-seed runs, the
// csv streams, and hostile skeletons, depth images, poses and settings.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <iterator>
#include <fstream>
#include <deque>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/gesture/arm_pose.h"
#include "common/sensor/hand_pointer.h"
#include "common/sensor/hand_state_detector.h"
#include "common/sensor/performer_renderer.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/simulated_performer.h"
#include "common/sensor/stream_source.h"
#include "reference_hands.h"

namespace {

using refhands::RefDetector;
using refhands::RefPointer;

// Same value, NaN equal to NaN.
bool sameFloat(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool sameFloats(const std::vector<float>& a, const std::vector<float>& b, size_t& at) {
    if (a.size() != b.size()) {
        at = std::min(a.size(), b.size());
        return false;
    }
    for (size_t q = 0; q < a.size(); ++q) {
        if (!sameFloat(a[q], b[q])) {
            at = q;
            return false;
        }
    }
    return true;
}

::testing::AssertionResult samePointer(const HandPointer& p, const RefPointer& r) {
    std::ostringstream why;
    if (p.state != r.state) why << " state " << p.state << " vs " << r.state;
    if (!sameFloat(p.x, r.x) || !sameFloat(p.y, r.y)) {
        why << " position (" << p.x << ", " << p.y << ") vs (" << r.x << ", " << r.y << ")";
    }
    if (!sameFloat(p.lastX, r.lastX) || !sameFloat(p.lastY, r.lastY)) {
        why << " filtered (" << p.lastX << ", " << p.lastY << ") vs (" << r.lastX << ", " << r.lastY << ")";
    }
    if (r.state != 0 && p.armStart != r.armStart) why << " armStart " << p.armStart << " vs " << r.armStart;
    if (p.window != nullptr) {
        const ScreenPoint s = p.screenPosition();
        float sx = 0.0f, sy = 0.0f;
        r.screen(static_cast<float>(p.window->width), static_cast<float>(p.window->height), sx, sy);
        if (!sameFloat(s.x, sx) || !sameFloat(s.y, sy)) {
            why << " screen (" << s.x << ", " << s.y << ") vs (" << sx << ", " << sy << ")";
        }
    }
    if (p.engaged() != (r.state == 2)) why << " engaged";
    if (why.str().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "hand " << r.hand << ":" << why.str();
}

::testing::AssertionResult sameDetector(const HandStateDetector& d, HandMeasurement outcome, const RefDetector& r,
                                        refhands::RefOutcome refOutcome) {
    std::ostringstream why;
    if (static_cast<int>(outcome) != static_cast<int>(refOutcome)) {
        why << " outcome " << outcome << " vs " << refOutcome;
    }
    if (d.lastMeasurement != static_cast<int>(outcome)) why << " lastMeasurement " << d.lastMeasurement;
    // The wrist's diagnostics are kept from an earlier frame when the torso check stops.
    if (refOutcome != refhands::REF_BEHIND_BODY &&
        (d.wristU != r.wristU || d.wristV != r.wristV || d.wristDepth != r.wristDepth)) {
        why << " wrist (" << d.wristU << ", " << d.wristV << ", " << d.wristDepth << ") vs (" << r.wristU << ", "
            << r.wristV << ", " << r.wristDepth << ")";
    }
    if (refOutcome != refhands::REF_BEHIND_BODY) {
        if (!sameFloat(d.forearmAngle, r.angle)) why << " angle " << d.forearmAngle << " vs " << r.angle;
        if (d.extentA != r.A || d.extentB != r.B || d.extentC != r.C) {
            why << " extent " << d.extentA << " " << d.extentB << " " << d.extentC << " vs " << r.A << " " << r.B
                << " " << r.C;
        }
    }
    size_t at = 0;
    if (!sameFloats(d.profile, r.profile, at)) {
        why << " profile (sizes " << d.profile.size() << " vs " << r.profile.size() << ") differs at " << at;
        if (at < d.profile.size() && at < r.profile.size()) why << ": " << d.profile[at] << " vs " << r.profile[at];
    }
    if (!sameFloat(d.meanRadius, r.meanRadius)) why << " meanRadius " << d.meanRadius << " vs " << r.meanRadius;
    if (d.peaks != r.peaks) why << " peaks " << d.peaks.size() << " vs " << r.peaks.size();
    for (int q = 0; q < 3; ++q) {
        if (d.history[q] != r.history[q]) why << " history[" << q << "]";
    }
    if (d.state != r.state) why << " state " << d.state << " vs " << r.state;
    if (d.closed() != (r.state == 1)) why << " closed()";
    if (d.imageWidth != r.imageWidth || d.imageHeight != r.imageHeight) {
        why << " image " << d.imageWidth << "x" << d.imageHeight << " vs " << r.imageWidth << "x" << r.imageHeight;
    } else if (d.image != r.image) {
        why << " image pixels";
    }
    if (why.str().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "hand " << r.hand << ":" << why.str();
}

// Both pointers, both detectors and their models, fed the same inputs frame after frame.
struct HandsUnderTest {
    WindowInfo window;
    HandPointer pointers[2] = {HandPointer(0, &window), HandPointer(1, &window)};
    RefPointer refPointers[2] = {RefPointer(0), RefPointer(1)};
    HandStateDetector detectors[2] = {HandStateDetector(0, nullptr), HandStateDetector(1, nullptr)};
    RefDetector refDetectors[2] = {RefDetector(0), RefDetector(1)};
    std::deque<std::string> events, refEvents;
    // Counters that show the runs reached the interesting states.
    int engagedFrames[2] = {0, 0};
    int closedFrames[2] = {0, 0};
    int measuredFrames = 0;
    int outcomes[5] = {0, 0, 0, 0, 0};
    int eventCount = 0;

    void setDetectorSettings(int hand, int depthThreshold, int neighbourhood, int filterSize, float gradient) {
        detectors[hand].depthThreshold = refDetectors[hand].depthThreshold = depthThreshold;
        detectors[hand].neighbourhood = refDetectors[hand].neighbourhood = neighbourhood;
        detectors[hand].filterSize = refDetectors[hand].filterSize = filterSize;
        detectors[hand].gradient = refDetectors[hand].gradient = gradient;
    }

    // With `sensor`, the detectors read the sensor's own skeleton and depth image, as the
    // programs' frame loops have them do.
    ::testing::AssertionResult detect(const SkeletonRecord& skeleton, const uint16_t* millimetres,
                                      const SensorInput* sensor = nullptr) {
        for (int h = 0; h < 2; ++h) {
            detectors[h].sensor = sensor;
            const HandMeasurement got =
                sensor != nullptr ? detectors[h].update(events) : detectors[h].update(skeleton, millimetres, events);
            const refhands::RefOutcome want = refDetectors[h].update(skeleton, millimetres, refEvents);
            ::testing::AssertionResult same = sameDetector(detectors[h], got, refDetectors[h], want);
            if (!same) return same;
            ++outcomes[want];
            if (want == refhands::REF_MEASURED) ++measuredFrames;
            if (refDetectors[h].state == 1) ++closedFrames[h];
        }
        if (events != refEvents) {
            return ::testing::AssertionFailure() << "events differ: " << events.size() << " vs " << refEvents.size();
        }
        eventCount += static_cast<int>(events.size());
        events.clear();
        refEvents.clear();
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult point(const ArmPose& pose, uint32_t nowMs) {
        for (int h = 0; h < 2; ++h) {
            pointers[h].update(pose, nowMs);
            refPointers[h].update(pose, nowMs);
            ::testing::AssertionResult same = samePointer(pointers[h], refPointers[h]);
            if (!same) return same;
            if (refPointers[h].state == 2) ++engagedFrames[h];
        }
        return ::testing::AssertionSuccess();
    }
};

std::vector<uint16_t> millimetresOf(const std::vector<uint16_t>& packed) {
    std::vector<uint16_t> mm(packed.size());
    for (size_t q = 0; q < packed.size(); ++q) mm[q] = static_cast<uint16_t>(packed[q] >> 3);
    return mm;
}

// One random driving action for the performer.
void drivePerformer(SimulatedPerformer& p, std::mt19937& rng, SensorInput& sensor) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int hand = static_cast<int>(rng() % 2);
    const uint32_t duration = rng() % 900;
    switch (rng() % 10) {
    case 0:
    case 1:
        p.moveWrist(hand, hand == 0 ? -0.7f + 0.8f * unit(rng) : -0.1f + 0.8f * unit(rng), -0.6f + 1.4f * unit(rng),
                    duration);
        break;
    case 2:
    case 3: {
        const float reaches[] = {0.0f, 0.1f, 0.19f, 0.25f, 0.3f, 0.4f, 0.5f};
        p.setReach(hand, reaches[rng() % 7], duration);
        break;
    }
    case 4:
        p.setHandShape(hand, rng() % 2 ? HandShape::CLOSED : HandShape::OPEN);
        break;
    case 5: {
        const std::vector<std::string> names = SimulatedPerformer::gestureNames();
        p.performGesture(names[rng() % names.size()], rng(), rng() % 2 == 0);
        break;
    }
    case 6:
        p.rest(duration);
        break;
    case 7:
        p.injectFault(static_cast<PerformerFault>(rng() % static_cast<int>(PerformerFault::FAULT_COUNT)),
                      100 + rng() % 700);
        break;
    case 8:
        sensor.setTiltAngle(static_cast<int>(rng() % 21) - 10);
        break;
    default:
        break;  // hold still
    }
}

struct PerformerRun {
    uint32_t seed;
    uint32_t startMs;
    bool naturalMotion;
    int frames;
};

void runPerformer(const PerformerRun& run, HandsUnderTest& hands) {
    auto owned = std::make_unique<SimulatedPerformer>(run.seed);
    SimulatedPerformer& performer = *owned;
    performer.setNaturalMotion(run.naturalMotion, run.naturalMotion);
    SensorInput sensor(std::move(owned));
    sensor.diagnostics = nullptr;
    ArmPoseExtractor extractor;
    std::mt19937 rng(run.seed);
    uint32_t now = run.startMs;
    // Start with both hands forward so the pointers engage and grip early in every run.
    performer.setReach(0, 0.35f, 300);
    performer.setReach(1, 0.35f, 300);
    performer.moveWrist(0, -0.25f, 0.15f, 300);
    performer.moveWrist(1, 0.25f, 0.15f, 300);
    for (int frame = 0; frame < run.frames; ++frame) {
        if (frame > 30 && rng() % 4 == 0) drivePerformer(performer, rng, sensor);
        if (frame == 40) performer.setHandShape(1, HandShape::CLOSED);
        if (frame == 70) performer.setHandShape(1, HandShape::OPEN);
        now += 33;
        sensor.advance(now);
        sensor.fetchSkeleton();
        sensor.fetchDepth();
        ASSERT_TRUE(hands.detect(sensor.skeleton, sensor.depthMillimetres.data(), &sensor))
            << "seed " << run.seed << " frame " << frame;
        SkeletonRecord record = sensor.skeleton;
        ArmPose pose{};
        extractArmPose(extractor, record, pose);
        ASSERT_TRUE(hands.point(pose, now)) << "seed " << run.seed << " frame " << frame;
    }
}

// Each run starts fresh pointers and detectors: each has its own clock.
void checkPerformerRun(const PerformerRun& run) {
    HandsUnderTest hands;
    ASSERT_NO_FATAL_FAILURE(runPerformer(run, hands));
    // The run must have reached what it claims to test.
    EXPECT_GT(hands.engagedFrames[0] + hands.engagedFrames[1], 40);
    EXPECT_GT(hands.closedFrames[1], 5);
    EXPECT_GT(hands.eventCount, 2);
    EXPECT_GT(hands.outcomes[refhands::REF_MEASURED], 100);
}

TEST(HandsReference, PerformerWithNaturalMotionMatchesTheModelsEveryFrame) {
    checkPerformerRun({11u, 1000u, true, 200});
}

TEST(HandsReference, PerformerAcrossTheClockWrapMatchesTheModelsEveryFrame) {
    // Natural sway and jitter off: the body holds exactly still between actions.
    checkPerformerRun({12u, 0xFFFFFFFFu - 3000u, false, 200});
}

TEST(HandsReference, CsvStreamsMatchTheModelsEveryFrame) {
    // The detectors read only the depth image: the colour image is left blank.
    setSkeletonImageRenderer([](const SkeletonRecord& person, uint16_t* depth, uint8_t*) {
        renderPerformerDepth(person, HandShape::OPEN, HandShape::OPEN, 0, depth);
    });
    HandsUnderTest hands;
    int frames = 0;
    uint32_t now = 5000;  // one clock for all streams: the pointers carry on from one to the next
    for (const char* name : {"arms_down.csv", "right_arm_forward.csv", "right_arm_sideways.csv", "malformed.csv"}) {
        std::string error;
        std::unique_ptr<StreamSource> owned =
            openStream("csv:" + std::string(SOURCE_DIR) + "/tests/data/streams/" + name, error);
        ASSERT_TRUE(owned) << error;
        StreamSource& stream = *owned;
        SensorInput sensor(std::move(owned));
        sensor.diagnostics = nullptr;
        ArmPoseExtractor extractor;
        // The streams hold one pose each: 40 frames see the pointers engage and settle.
        for (int inStream = 0; inStream < 40 && stepSensorFrame(sensor, stream); ++inStream) {
            now += 33;
            ASSERT_TRUE(hands.detect(sensor.skeleton, sensor.depthMillimetres.data(), &sensor))
                << name << " frame " << frames;
            SkeletonRecord record = sensor.skeleton;
            ArmPose pose{};
            extractArmPose(extractor, record, pose);
            ASSERT_TRUE(hands.point(pose, now)) << name << " frame " << frames;
            ++frames;
        }
    }
    setSkeletonImageRenderer(nullptr);
    EXPECT_GT(frames, 100);
    EXPECT_GT(hands.engagedFrames[1], 5) << "the forward arm engages the right pointer";
    EXPECT_GT(hands.outcomes[refhands::REF_MEASURED], 50);
}

// A stream whose tracker never reported some joints (written 0 0 0 from the first frame on):
// the hip centre in one, the whole left forearm in the other. At the camera itself the hip would
// stand in front of the hands, so that the detector found every hand "behind the body", and the
// left wrist would reach two metres forward and engage its pointer with nobody's hand.
TEST(HandsFromCsv, JointsNeverTrackedNeitherHideTheHandsNorEngageAPointer) {
    setSkeletonImageRenderer([](const SkeletonRecord& person, uint16_t* depth, uint8_t*) {
        renderPerformerDepth(person, HandShape::OPEN, HandShape::OPEN, 0, depth);
    });
    std::ifstream in(std::string(SOURCE_DIR) + "/tests/data/streams/right_arm_forward.csv");
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        lines.emplace_back(std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>());
        ASSERT_EQ(lines.back().size(), 81u);
    }
    ASSERT_GE(lines.size(), 80u);
    // The first run hides nothing: the arm pose the others must keep.
    const std::vector<int> hidden[] = {
        {}, {JOINT_HIP_CENTER}, {JOINT_HIP_CENTER, JOINT_SPINE}, {JOINT_WRIST_LEFT, JOINT_HAND_LEFT}};
    ArmPose asRecorded{};
    for (const std::vector<int>& joints : hidden) {
        const std::string path =
            std::string(BINARY_DIR) + "/hands_never_tracked_" + std::to_string(joints.size()) + "_" +
            std::to_string(getpid()) + ".csv";
        {
            std::ofstream out(path);
            for (std::vector<std::string> fields : lines) {
                for (int j : joints) fields[1 + 4 * j] = fields[2 + 4 * j] = fields[3 + 4 * j] = "0";
                for (const std::string& f : fields) out << f << ' ';
                out << '\n';
            }
        }
        std::string error;
        std::unique_ptr<StreamSource> owned = openStream("csv:" + path, error);
        std::remove(path.c_str());  // read whole at opening
        ASSERT_TRUE(owned) << error;
        StreamSource& stream = *owned;
        SensorInput sensor(std::move(owned));
        sensor.diagnostics = nullptr;
        HandStateDetector right(1, &sensor);
        HandPointer left(0, nullptr);
        ArmPoseExtractor extractor;
        std::deque<std::string> events;
        int measured = 0, leftEngaged = 0;
        ArmPose pose{};
        uint32_t now = 1000;
        // 80 frames: the arm pose settles within a second, and a pointer engages half a second
        // after its reach.
        for (int frame = 0; frame < 80 && stepSensorFrame(sensor, stream); ++frame) {
            if (right.update(events) == HAND_MEASURED) ++measured;
            SkeletonRecord record = sensor.skeleton;
            extractArmPose(extractor, record, pose);
            left.update(pose, now += 33);
            if (left.engaged()) ++leftEngaged;
        }
        SCOPED_TRACE(testing::Message() << "never tracked: " << joints.size() << " joints");
        EXPECT_GT(measured, 60) << "the forward right hand is measured";
        EXPECT_EQ(leftEngaged, 0) << "the hanging left arm engages nothing";
        if (joints.empty()) asRecorded = pose;
        // A torso placed where the body is keeps the arms' angles (degrees) as recorded.
        for (int value : {POSE_ELEVATION_LEFT, POSE_ELEVATION_RIGHT, POSE_ADDUCTION_LEFT, POSE_ADDUCTION_RIGHT}) {
            EXPECT_NEAR(pose[value], asRecorded[value], 10.0f) << "pose value " << value;
        }
    }
    setSkeletonImageRenderer(nullptr);
}

// --- Hostile detector inputs ----------------------------------------------------------------

Vector4 atImage(float u, float v, float z) {
    Vector4 p;
    p.x = (u - 320.0f) * z / (2.0f * 285.63f);
    p.y = (240.0f - v) * z / (2.0f * 285.63f);
    p.z = z;
    p.w = 1.0f;
    return p;
}

// A performer pose with both hands forward, its depth image in millimetres.
struct Scene {
    SkeletonRecord skeleton;
    std::vector<uint16_t> millimetres;
};

std::vector<Scene> performerScenes(uint32_t seed, int count) {
    SimulatedPerformer performer(seed);
    performer.setNaturalMotion(true, true);
    std::mt19937 rng(seed);
    std::vector<Scene> scenes;
    std::vector<uint16_t> packed(FRAME_PIXELS);
    SkeletonFrame frame;
    uint32_t now = 0;
    for (int q = 0; q < count; ++q) {
        const int hand = q % 2;
        performer.setReach(hand, 0.2f + 0.3f * static_cast<float>(rng() % 100) / 100.0f, 200);
        performer.moveWrist(hand, (hand == 0 ? -0.45f : 0.05f) + 0.4f * static_cast<float>(rng() % 100) / 100.0f,
                            -0.3f + 0.9f * static_cast<float>(rng() % 100) / 100.0f, 200);
        performer.setHandShape(rng() % 2, rng() % 2 ? HandShape::CLOSED : HandShape::OPEN);
        for (int step = 0; step < 8; ++step) {
            now += 33;
            performer.advance(now);
        }
        performer.nextSkeletonFrame(frame);
        performer.nextDepthFrame(packed.data());
        scenes.push_back({frame.slots[0], millimetresOf(packed)});
    }
    return scenes;
}

// Rewrites the skeleton or the depth image of a scene in one hostile way.
void spoil(Scene& s, std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int wrist = rng() % 2 ? JOINT_WRIST_RIGHT : JOINT_WRIST_LEFT;
    const int elbow = wrist == JOINT_WRIST_RIGHT ? JOINT_ELBOW_RIGHT : JOINT_ELBOW_LEFT;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float z = s.skeleton.joints[wrist].z;
    switch (rng() % 15) {
    case 0:  // jumping joints
        s.skeleton.joints[wrist] = atImage(-50.0f + 740.0f * unit(rng), -50.0f + 580.0f * unit(rng), 0.3f + 4.5f * unit(rng));
        s.skeleton.joints[elbow] = atImage(640.0f * unit(rng), 480.0f * unit(rng), 0.3f + 4.5f * unit(rng));
        break;
    case 1: {  // joints at z = 0
        const int joints[] = {wrist, elbow, JOINT_HEAD, JOINT_SHOULDER_LEFT, JOINT_HIP_CENTER};
        const int j = joints[rng() % 5];
        s.skeleton.joints[j].z = 0.0f;
        if (rng() % 2) s.skeleton.joints[j].x = s.skeleton.joints[j].y = 0.0f;
        break;
    }
    case 2: {  // wrist at the image edge and beyond
        const float us[] = {-3.0f, 0.0f, 0.6f, 1.0f, 1.5f, 2.0f, 320.0f, 638.0f, 639.0f, 639.6f, 640.0f, 700.0f};
        const float vs[] = {-3.0f, 0.0f, 1.0f, 1.5f, 2.0f, 240.0f, 478.0f, 479.0f, 479.6f, 480.0f, 600.0f};
        s.skeleton.joints[wrist] = atImage(us[rng() % 12], vs[rng() % 11], z);
        break;
    }
    case 3: {  // NaN, infinite and huge coordinates
        const float bad[] = {nan, inf, -inf, 1e30f, -1e30f, 1e-30f, 3e9f};
        float& c = rng() % 3 == 0 ? s.skeleton.joints[wrist].x
                   : rng() % 2    ? s.skeleton.joints[elbow].y
                                  : s.skeleton.joints[wrist].z;
        c = bad[rng() % 7];
        break;
    }
    case 4: {  // depth holes around the wrist
        const int cu = static_cast<int>(320.0f + s.skeleton.joints[wrist].x * 571.26f / std::max(z, 0.1f));
        const int cv = static_cast<int>(240.0f - s.skeleton.joints[wrist].y * 571.26f / std::max(z, 0.1f));
        for (int hole = 0; hole < 40; ++hole) {
            const int u = cu - 60 + static_cast<int>(rng() % 120), v = cv - 60 + static_cast<int>(rng() % 120);
            const int r = 1 + static_cast<int>(rng() % 6);
            for (int y = v - r; y <= v + r; ++y) {
                for (int x = u - r; x <= u + r; ++x) {
                    if (x >= 0 && x < 640 && y >= 0 && y < 480) s.millimetres[y * 640 + x] = 0;
                }
            }
        }
        break;
    }
    case 5: {  // a noisy band around the wrist's depth: ragged outlines, many peaks
        const int dw = static_cast<int>(z * 1000.0f);
        const int cu = static_cast<int>(320.0f + s.skeleton.joints[wrist].x * 571.26f / std::max(z, 0.1f));
        const int cv = static_cast<int>(240.0f - s.skeleton.joints[wrist].y * 571.26f / std::max(z, 0.1f));
        for (int y = std::max(cv - 90, 0); y < std::min(cv + 90, 480); ++y) {
            for (int x = std::max(cu - 90, 0); x < std::min(cu + 90, 640); ++x) {
                if (rng() % 3 == 0) s.millimetres[y * 640 + x] = static_cast<uint16_t>(std::max(0, dw - 160 + static_cast<int>(rng() % 320)));
            }
        }
        break;
    }
    case 6:  // the whole image at the wrist's depth
        std::fill(s.millimetres.begin(), s.millimetres.end(), static_cast<uint16_t>(z * 1000.0f));
        break;
    case 7:  // no readings at all
        std::fill(s.millimetres.begin(), s.millimetres.end(), uint16_t(0));
        break;
    case 8:  // lost person: an all-zero record
        s.skeleton = SkeletonRecord();
        break;
    case 9:  // depths at the very edge of the band
        for (uint16_t& d : s.millimetres) {
            if (d != 0 && rng() % 2) d = static_cast<uint16_t>(std::min(8191, d + 1));
        }
        break;
    case 10:  // elbow on the wrist (no forearm direction), or straight above or beside it
        s.skeleton.joints[elbow] = s.skeleton.joints[wrist];
        if (rng() % 2) s.skeleton.joints[elbow].y += 0.2f;
        else if (rng() % 2) s.skeleton.joints[elbow].x -= 0.2f;
        break;
    case 12: {  // half the hand cut off along a line near the wrist: one-sided extents, short profiles
        const int cu = static_cast<int>(320.0f + s.skeleton.joints[wrist].x * 571.26f / std::max(z, 0.1f));
        const int cv = static_cast<int>(240.0f - s.skeleton.joints[wrist].y * 571.26f / std::max(z, 0.1f));
        const float theta = 6.2831853f * unit(rng);
        const float offset = -4.0f + 8.0f * unit(rng);
        for (int y = std::max(cv - 150, 0); y < std::min(cv + 150, 480); ++y) {
            for (int x = std::max(cu - 150, 0); x < std::min(cu + 150, 640); ++x) {
                if ((x - cu) * std::cos(theta) + (y - cv) * std::sin(theta) < offset) s.millimetres[y * 640 + x] = 0;
            }
        }
        break;
    }
    case 11:  // far beyond the sensor's range: depth modulo 8192
        for (int j = 0; j < JOINT_COUNT; ++j) s.skeleton.joints[j].z += 8.0f;
        break;
    default: {  // the whole scene moved back by 2.5 m or 4 m, every joint on the same pixel
        const float back = rng() % 2 ? 2.5f : 4.0f;
        for (int j = 0; j < JOINT_COUNT; ++j) {
            Vector4& p = s.skeleton.joints[j];
            const float scale = (p.z + back) / p.z;
            p.x *= scale;
            p.y *= scale;
            p.z += back;
        }
        for (uint16_t& d : s.millimetres) {
            if (d != 0) d = static_cast<uint16_t>(std::min(8191, d + static_cast<int>(back * 1000.0f)));
        }
        break;
    }
    }
}

TEST(HandsReference, HostileDetectorInputsMatchTheModel) {
    HandsUnderTest hands;
    const std::vector<Scene> scenes = performerScenes(21u, 24);
    std::mt19937 rng(77);
    // The settings panel puts no limits on these.
    const int big = std::numeric_limits<int>::max();
    const int thresholds[] = {110, 110, 0, 1, 40, 300, big, -5};
    const int neighbourhoods[] = {8, 8, 0, 1, 2, 4, 30, big, -1};
    const int filters[] = {6, 6, 0, 1, 3, 12, big, -2};
    const float gradients[] = {0.6f, 0.6f, -1.0f, 0.0f, 0.2f, 3.0f};
    int frames = 0;
    for (int round = 0; round < 3; ++round) {
        for (size_t q = 0; q < scenes.size(); ++q) {
            Scene s = scenes[q];
            const bool spoilIt = (q + round) % 3 != 0;
            if (spoilIt) spoil(s, rng);
            for (int h = 0; h < 2; ++h) {
                if (rng() % 3 == 0) {
                    hands.setDetectorSettings(h, thresholds[rng() % 8], neighbourhoods[rng() % 9], filters[rng() % 8],
                                              gradients[rng() % 6]);
                } else {
                    hands.setDetectorSettings(h, 110, 8, 6, 0.6f);
                }
            }
            // Exact stillness: the same input several frames running, so the debounce settles.
            const int repeats = 2 + static_cast<int>(rng() % 3);
            for (int r = 0; r < repeats; ++r) {
                ASSERT_TRUE(hands.detect(s.skeleton, s.millimetres.data()))
                    << "round " << round << " scene " << q << " repeat " << r;
                ++frames;
                // The same input again with a neighbourhood of half the profile, or just over:
                // the shortest profile the peak test takes, and one entry too short.
                for (int h = 0; h < 2; ++h) {
                    const int n = static_cast<int>(hands.refDetectors[h].profile.size());
                    if (n > 0 && rng() % 3 == 0) {
                        const int k = (n + static_cast<int>(rng() % 2)) / 2;
                        hands.detectors[h].neighbourhood = hands.refDetectors[h].neighbourhood = k;
                    }
                }
            }
        }
    }
    EXPECT_GT(frames, 100);
    EXPECT_GT(hands.outcomes[refhands::REF_MEASURED], 40);
    EXPECT_GT(hands.outcomes[refhands::REF_NOT_FOUND], 10);
    EXPECT_GT(hands.outcomes[refhands::REF_BEHIND_BODY], 5);
    EXPECT_GT(hands.eventCount, 4);
}

// A hand that is one thin bar of pixels across the forearm gives short profiles of every
// length; the neighbourhood is then set to half the length (the shortest profile the peak test
// takes) and just over it.
TEST(HandsReference, ThinHandsAtTheProfileLengthLimitMatchTheModel) {
    HandsUnderTest hands;
    std::mt19937 rng(31);
    std::vector<uint16_t> depth(FRAME_PIXELS);
    int boundaryMeasured = 0, boundaryShort = 0;
    for (int q = 0; q < 120; ++q) {
        const int uw = 40 + static_cast<int>(rng() % 560), vw = 40 + static_cast<int>(rng() % 400);
        const float z = 1.5f + static_cast<float>(rng() % 100) / 100.0f;
        SkeletonRecord skeleton;
        skeleton.trackingState = SKELETON_TRACKED;
        for (int j = 0; j < JOINT_COUNT; ++j) skeleton.joints[j] = atImage(320.0f, 200.0f, z + 0.4f);
        // Elbow straight below, above, left or right of the wrist.
        const int du[] = {0, 0, 30, -30}, dv[] = {30, -30, 0, 0};
        const int dir = static_cast<int>(rng() % 4);
        for (int hand = 0; hand < 2; ++hand) {
            skeleton.joints[hand == 1 ? JOINT_WRIST_RIGHT : JOINT_WRIST_LEFT] = atImage(float(uw), float(vw), z);
            skeleton.joints[hand == 1 ? JOINT_ELBOW_RIGHT : JOINT_ELBOW_LEFT] =
                atImage(float(uw + du[dir]), float(vw + dv[dir]), z);
        }
        // The bar: across the forearm through the wrist, a random part of it on each side.
        std::fill(depth.begin(), depth.end(), uint16_t(3500));
        const int handMm = static_cast<int>(z * 1000.0f);
        const int left = static_cast<int>(rng() % 25), right = static_cast<int>(rng() % 25);
        const int thick = 1 + static_cast<int>(rng() % 2);
        for (int t = -left; t <= right; ++t) {
            for (int w = 0; w < thick; ++w) {
                const int x = dir < 2 ? uw + t : uw - w * (du[dir] > 0 ? 1 : -1);
                const int y = dir < 2 ? vw - w * (dv[dir] > 0 ? 1 : -1) : vw + t;
                if (x >= 0 && x < 640 && y >= 0 && y < 480) depth[y * 640 + x] = static_cast<uint16_t>(handMm);
            }
        }
        for (int h = 0; h < 2; ++h) hands.setDetectorSettings(h, 110, 8, static_cast<int>(rng() % 3), 0.6f);
        ASSERT_TRUE(hands.detect(skeleton, depth.data())) << "case " << q;
        for (int extra = 0; extra < 2; ++extra) {
            for (int h = 0; h < 2; ++h) {
                const int n = static_cast<int>(hands.refDetectors[h].profile.size());
                const int k = (n + 1) / 2 + extra;  // even n: n = 2k, then one too short
                hands.detectors[h].neighbourhood = hands.refDetectors[h].neighbourhood = k;
                if (n % 2 == 0 && n > 0) ++(extra == 0 ? boundaryMeasured : boundaryShort);
            }
            ASSERT_TRUE(hands.detect(skeleton, depth.data())) << "case " << q << " extra " << extra;
        }
    }
    EXPECT_GT(boundaryMeasured, 20);
    EXPECT_GT(boundaryShort, 20);
}

// --- Hostile pointer inputs -----------------------------------------------------------------

TEST(HandsReference, HostilePointerInputsMatchTheModel) {
    HandsUnderTest hands;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.2f, 0.2f, std::nextafter(0.2f, 1.0f), std::nextafter(0.2f, 0.0f), 1e30f, -1e30f,
                              1e-30f, 0.0f, -0.0f, 3.4e38f, -3.4e38f};
    const uint32_t windows[][2] = {{1600, 1000}, {640, 480}, {1, 1}, {0, 0}, {1920, 1200}};
    uint32_t now = 0xFFFFFFFFu - 20000u;  // crosses the clock's wrap
    ArmPose pose{};
    int frame = 0;
    auto step = [&](const char* what) {
        ::testing::AssertionResult same = hands.point(pose, now);
        ++frame;
        return same << " (" << what << ", frame " << frame << ")";
    };
    for (int q = 0; q < 3000; ++q) {
        const int hand = static_cast<int>(rng() % 2);
        const int base = hand == 1 ? 15 : 12;
        switch (rng() % 10) {
        case 0:  // jump anywhere
            pose[base] = -2.0f + 4.0f * unit(rng);
            pose[base + 1] = -2.0f + 4.0f * unit(rng);
            break;
        case 1:  // small moves, inside the gain's clamps or close to them
            pose[base] += (unit(rng) - 0.5f) * 0.1f;
            pose[base + 1] += (unit(rng) - 0.5f) * 0.1f;
            break;
        case 2:  // reach on and around the threshold
            pose[base + 2] = specials[rng() % 4];
            break;
        case 3:
            pose[base + 2] = unit(rng) * 0.5f;
            break;
        case 4:  // huge, tiny and signed-zero values (finite)
            pose[base + static_cast<int>(rng() % 3)] = specials[4 + rng() % 7];
            break;
        case 5: {  // the window changes size
            const uint32_t* wh = windows[rng() % 5];
            hands.window.width = wh[0];
            hands.window.height = wh[1];
            break;
        }
        case 6:  // the arming delay is changed
            hands.pointers[hand].armDelay = hands.refPointers[hand].armDelay = static_cast<int>(rng() % 3) * 250;
            break;
        default:
            break;  // exact stillness
        }
        // Steps that land exactly on the arming delay as well as around it.
        const uint32_t steps[] = {33u, 33u, 33u, 100u, 250u, 500u, 499u, 501u, 1200u};
        now += rng() % 7 == 0 ? static_cast<uint32_t>(rng() % 1200) : steps[rng() % 9];
        ASSERT_TRUE(step("random"));
    }
    // Infinite coordinates last: a few frames of each, then a normal pose again.
    for (float bad : {inf, -inf, std::numeric_limits<float>::quiet_NaN()}) {
        for (int h = 0; h < 2; ++h) {
            pose[h == 1 ? 15 : 12] = bad;
            for (int r = 0; r < 3; ++r) {
                now += 33;
                ASSERT_TRUE(step("infinite"));
            }
            pose[h == 1 ? 15 : 12] = 0.1f;
            for (int r = 0; r < 3; ++r) {
                now += 33;
                ASSERT_TRUE(step("back from infinite"));
            }
        }
    }
    EXPECT_GT(hands.engagedFrames[0], 100);
    EXPECT_GT(hands.engagedFrames[1], 100);
}

// --- The profile's smoothing and peak test on their own -------------------------------------

// Profiles of small whole numbers give plateaus, values equal to the mean and slopes equal to
// the gradient exactly, where a test that is strict in the wrong place shows.
TEST(HandsReference, ProfileSmoothingAndPeaksMatchTheModel) {
    std::mt19937 rng(99);
    std::vector<float> scratch;
    int peaksFound = 0;
    int smoothed = 0;
    for (int q = 0; q < 3000; ++q) {
        const int n = static_cast<int>(rng() % 40);
        std::vector<float> profile(static_cast<size_t>(n));
        const int shape = static_cast<int>(rng() % 3);
        for (int e = 0; e < n; ++e) {
            if (shape == 0) profile[e] = static_cast<float>(rng() % 5);
            else if (shape == 1) profile[e] = 3.0f;
            else profile[e] = static_cast<float>(rng() % 1000) / 37.0f;
        }
        const int filters[] = {-1, 0, 1, 2, 6, (n - 1) / 2, n / 2, n};
        const int f = filters[rng() % 8];
        std::vector<float> got = profile, want = profile;
        smoothProfile(got, f, scratch);
        refhands::refSmooth(want, f);
        size_t at = 0;
        ASSERT_TRUE(sameFloats(got, want, at)) << "case " << q << " n " << n << " f " << f << " at " << at;
        if (got != profile) ++smoothed;

        const int ks[] = {-1, 0, 1, 1, 2, 2, 4, 8, n / 2};
        const int k = ks[rng() % 9];
        const float gradients[] = {-1.0f, 0.0f, 0.5f, 1.0f, 2.0f, 0.6f};
        const float g = gradients[rng() % 6];
        float mean = 0.0f;
        if (n > 0 && rng() % 2) mean = profile[rng() % n];  // a value the profile holds exactly
        else if (n > 0) mean = static_cast<float>(rng() % 4);
        std::vector<int> gotPeaks{-7}, wantPeaks;
        findProfilePeaks(profile, mean, k, g, gotPeaks);
        refhands::refPeaks(profile, mean, k, g, wantPeaks);
        ASSERT_EQ(gotPeaks, wantPeaks) << "case " << q << " n " << n << " k " << k << " gradient " << g << " mean "
                                       << mean;
        peaksFound += static_cast<int>(wantPeaks.size());
    }
    EXPECT_GT(smoothed, 500);
    EXPECT_GT(peaksFound, 300);
}

}  // namespace
