// The real recogniser against an independent model of it (reference_recognizer.h), frame by
// frame, on skeleton streams from the simulated performer, the csv recordings and synthetic
// troublesome skeletons: extracted poses and the rewritten torso joints, the history records
// (mean pose, speed, marked flag, frame number), the marks, every candidate the worker
// classifies, the queued texts and the console lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/gesture/gesture_recognizer.h"
#include "common/sensor/csv_source.h"
#include "common/sensor/simulated_performer.h"
#include "gesture_test_helpers.h"
#include "reference_recognizer.h"

namespace {

constexpr uint32_t FRAME_MS = 33;

std::string poseText(const ArmPose& p) {
    std::ostringstream s;
    for (int i = 0; i < ARM_POSE_SIZE; ++i) s << (i ? " " : "") << p[i];
    return s.str();
}

bool near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance * std::max(1.0, std::fabs(b)); }

// Console texts line by line; the points printed after "points: " may differ in the last digits
// (the model sums scores in double precision).
bool sameConsole(const std::string& a, const std::string& b) {
    std::istringstream sa(a), sb(b);
    std::string la, lb;
    while (true) {
        const bool ga = static_cast<bool>(std::getline(sa, la));
        const bool gb = static_cast<bool>(std::getline(sb, lb));
        if (ga != gb) return false;
        if (!ga) return true;
        if (la == lb) continue;
        const size_t pa = la.find("points: "), pb = lb.find("points: ");
        if (pa == std::string::npos || pa != pb || la.compare(0, pa, lb, 0, pb) != 0) return false;
        if (!near(std::stod(la.substr(pa + 8)), std::stod(lb.substr(pb + 8)), 1e-4)) return false;
    }
}

// Runs the real recogniser and the model side by side and collects every disagreement.
struct Comparison {
    GestureRecognizer real;
    std::ostringstream realConsole;
    reference::RefExtractor refExtractor;
    reference::Recognizer ref;
    uint32_t now = 1000;
    int frames = 0;
    int candidatesCompared = 0;
    int resultsQueued = 0;
    int classesQueued = 0;  // results naming a trained class
    int valuesCompared = 0;  // extracted pose values compared with the model
    int valuesSkipped = 0;   // ... and left out as too sensitive to rounding
    bool compareExtraction = true;
    std::vector<std::string> problems;
    std::vector<std::string> trainingTexts;

    Comparison() {
        real.console = &realConsole;
        ref.sets = &real.TrainedGestureSets;
    }

    void problem(const std::string& what) {
        if (problems.size() < 40) problems.push_back("frame " + std::to_string(frames) + ": " + what);
    }

    void copySettings() {
        reference::Settings& s = ref.settings;
        s.velocityLowThreshold = real.velocityLowThreshold;
        s.velocityHighThreshold = real.velocityHighThreshold;
        s.maxMovingWindowSize = real.maxMovingWindowSize;
        s.minRecognitionIntervalLength = real.minRecognitionIntervalLength;
        s.poseRecognitionThreshold = real.poseRecognitionThreshold;
        s.measure = real.similarityMeasure;
        s.gestureRecognitionThreshold = real.gestureRecognitionThreshold;
        s.numberOfNeighbours = real.numberOfNeighbours;
    }

    void step(const SkeletonRecord& input, bool recognise) {
        copySettings();
        SkeletonRecord record = input;
        const bool pendingBefore = real.trainingPending;
        const ArmPose pose = real.processFrame(record, recognise, now);
        real.waitForWorker();
        const reference::RefPose refPose = refExtractor.extract(input);
        if (compareExtraction) compareExtracted(pose, record, refPose);
        // Segmentation is compared on the real poses, so that rounding in the extraction cannot
        // move a speed across a threshold.
        ref.frame(pose, recognise, now, pendingBefore, real.trainingPending);
        finishFrame();
    }

    // A frame given as a pose, without extraction.
    void stepPose(const ArmPose& pose, bool recognise) {
        copySettings();
        const bool pendingBefore = real.trainingPending;
        real.processPose(SkeletonRecord{}, pose, recognise, now);
        real.waitForWorker();
        ref.frame(pose, recognise, now, pendingBefore, real.trainingPending);
        finishFrame();
    }

    void requestTraining(bool newSet, bool replace) {
        real.requestTraining(newSet, replace);
        ref.requestTraining();
    }

    void finishFrame() {
        compareFrame();
        // The mean pose and the speed are floats whose last bits depend on the order of the
        // additions. Once compared, the model carries on with the real values, so that a
        // rounding difference cannot tip a later threshold or a Pearson variance.
        const FrameRecord newest = real.historyRecord(HISTORY_LENGTH - 1);
        if (newest.frameNumber == ref.history.back().frameNumber) {
            ref.history.back().pose = newest.pose;
            ref.history.back().speed = newest.speed;
            ref.previousMean = newest.pose;
        }
        ++frames;
        now += FRAME_MS;
    }

    void compareExtracted(const ArmPose& pose, const SkeletonRecord& record, const reference::RefPose& r) {
        for (int i = 0; i < ARM_POSE_SIZE; ++i) {
            if (!r.confidence.value[static_cast<size_t>(i)]) {
                ++valuesSkipped;
                continue;
            }
            ++valuesCompared;
            const double tolerance = i < 10 ? 0.1 : 1e-4;  // degrees, metres
            if (std::fabs(pose[static_cast<size_t>(i)] - r.v[static_cast<size_t>(i)]) > tolerance) {
                problem("pose value " + std::to_string(i) + " is " + std::to_string(pose[static_cast<size_t>(i)]) +
                        ", model " + std::to_string(r.v[static_cast<size_t>(i)]));
            }
        }
        const SkeletonRecord stored = real.historyRecord(HISTORY_LENGTH - 1).skeleton;
        if (std::memcmp(&stored, &record, sizeof(SkeletonRecord)) != 0) problem("history keeps another skeleton record");
        for (int j = 0; j < JOINT_COUNT; ++j) {
            const Vector4& p = record.joints[j];
            const reference::D3& q = r.torso[j];
            if (std::fabs(p.x - q.x) > 1e-5 || std::fabs(p.y - q.y) > 1e-5 || std::fabs(p.z - q.z) > 1e-5)
                problem("record joint " + std::to_string(j) + " differs after extraction");
        }
    }

    void compareRecord(int index, const FrameRecord& a, const reference::Record& b) {
        const std::string at = "history " + std::to_string(index) + ": ";
        if (a.frameNumber != b.frameNumber)
            problem(at + "frame number " + std::to_string(a.frameNumber) + ", model " + std::to_string(b.frameNumber));
        if (a.marked != b.marked)
            problem(at + "marked " + std::to_string(a.marked) + ", model " + std::to_string(b.marked) + " (speed " +
                    std::to_string(a.speed) + ", before " + std::to_string(index > 0 ? real.historyRecord(index - 1).speed : 0.0f) + ")");
        // Mean poses are floats: a speed carries rounding of about an ulp of the angles.
        if (std::fabs(a.speed - b.speed) > 1e-4) problem(at + "speed " + std::to_string(a.speed) + ", model " + std::to_string(b.speed));
        for (int i = 0; i < ARM_POSE_SIZE; ++i) {
            if (!near(a.pose[static_cast<size_t>(i)], b.pose[static_cast<size_t>(i)], 1e-5)) {
                problem(at + "mean pose " + poseText(a.pose) + ", model " + poseText(b.pose));
                break;
            }
        }
    }

    void compareFrame() {
        // The newest record every frame, the whole history now and then.
        if (frames % 50 == 49) {
            for (int i = 0; i < HISTORY_LENGTH; ++i) compareRecord(i, real.historyRecord(i), ref.history[static_cast<size_t>(i)]);
        } else {
            compareRecord(HISTORY_LENGTH - 1, real.historyRecord(HISTORY_LENGTH - 1), ref.history.back());
        }
        if (std::fabs(real.currentVelocity - ref.history.back().speed) > 1e-4) problem("current velocity");
        const std::vector<int32_t> marks = real.marksSnapshot();
        if (marks != std::vector<int32_t>(ref.marks.begin(), ref.marks.end())) {
            std::string text = "marks";
            for (int32_t m : marks) text += " " + std::to_string(m);
            text += ", model";
            for (int32_t m : ref.marks) text += " " + std::to_string(m);
            problem(text);
        }
        if (real.currentWindowSize != ref.windowSize)
            problem("current window size " + std::to_string(real.currentWindowSize) + ", model " + std::to_string(ref.windowSize));
        // Every candidate the model's worker classified, through the real classification of
        // the same interval of the same history: on every third frame, and whenever the model
        // found something, to keep the runs short.
        const bool checkCandidates = frames % 3 == 0 || ref.run.winner >= 0;
        for (size_t i = 0; checkCandidates && i < ref.run.candidates.size(); ++i) {
            RecognitionInterval interval;
            interval.start = ref.run.candidates[i].start;
            interval.end = ref.run.candidates[i].end;
            interval.length = ref.run.candidates[i].length;
            const RecognitionResult a = real.classifyInterval(interval);
            const reference::Result& b = ref.run.results[i];
            ++candidatesCompared;
            if (a.classIndex != b.classIndex || !near(a.points, b.points, 1e-3) || a.start != interval.start ||
                a.end != interval.end || a.length != interval.length) {
                problem("candidate " + std::to_string(interval.start) + ".." + std::to_string(interval.end) + " (" +
                        std::to_string(interval.length) + "): class " + std::to_string(a.classIndex) + " points " +
                        std::to_string(a.points) + ", model class " + std::to_string(b.classIndex) + " points " +
                        std::to_string(b.points));
            }
            compareResampling(ref.run.candidates[i]);
        }
        std::vector<std::string> texts;
        while (real.hasResults()) {
            texts.push_back(real.popResult());
            // Training outcomes come from the capture, which the model leaves to the real code.
            if (texts.back() == "NEW_GESTURE_SET" || texts.back() == "GESTURE_TRAINED" ||
                texts.back() == "GESTURE_NOT_TRAINED") {
                trainingTexts.push_back(texts.back());
                texts.pop_back();
            }
        }
        std::vector<std::string> refTexts(ref.results.begin(), ref.results.end());
        ref.results.clear();
        resultsQueued += static_cast<int>(refTexts.size());
        for (const std::string& t : refTexts)
            if (t != "DEFAULT_GESTURE") ++classesQueued;
        if (texts != refTexts) {
            std::string text = "queued";
            for (const std::string& t : texts) text += " '" + t + "'";
            text += ", model";
            for (const std::string& t : refTexts) text += " '" + t + "'";
            problem(text);
        }
        std::string realText = realConsole.str();
        for (const char* line : {"Successfully created a new LEFT gesture set!\n", "Successfully created a new RIGHT gesture set!\n",
                                 "Successfully created a new BOTH gesture set!\n", "Successfully trained a gesture!\n",
                                 "Successfully replaced a gesture!\n", "Resampling error!\n"}) {
            for (size_t at = realText.find(line); at != std::string::npos; at = realText.find(line))
                realText.erase(at, std::string(line).size());
        }
        if (!sameConsole(realText, ref.console.str())) {
            problem("console:\n" + realText + "model:\n" + ref.console.str());
        }
        realConsole.str("");
        ref.console.str("");
    }

    // Candidates longer than the resampling length: the real resampling of the cut poses
    // against the model's.
    void compareResampling(const reference::Interval& in) {
        if (in.length <= RESAMPLE_LENGTH) return;
        const int s = ref.indexOf(in.start);
        Gesture g;
        for (int i = s; i < s + in.length; ++i) g.poses.push_back(ref.history[static_cast<size_t>(i)].pose);
        const std::vector<ArmPose> expected = reference::resample(g.poses, RESAMPLE_LENGTH);
        resampleGesture(g, RESAMPLE_LENGTH);
        if (g.poses.size() != expected.size()) {
            problem("resampled to " + std::to_string(g.poses.size()) + " poses, model " + std::to_string(expected.size()));
            return;
        }
        // An interpolation parameter carries rounding of the accumulated path: allow for it in
        // proportion to how far each value moves within the candidate.
        std::array<float, ARM_POSE_SIZE> low{}, high{};
        low.fill(1e30f);
        high.fill(-1e30f);
        for (int k = s; k < s + in.length; ++k) {
            for (size_t i = 0; i < ARM_POSE_SIZE; ++i) {
                low[i] = std::min(low[i], ref.history[static_cast<size_t>(k)].pose[i]);
                high[i] = std::max(high[i], ref.history[static_cast<size_t>(k)].pose[i]);
            }
        }
        for (size_t k = 0; k < expected.size(); ++k) {
            for (size_t i = 0; i < ARM_POSE_SIZE; ++i) {
                if (std::fabs(g.poses[k][i] - expected[k][i]) > 1e-4 * (high[i] - low[i]) + 1e-4) {
                    problem("resampled pose " + std::to_string(k) + " value " + std::to_string(i) + ": " +
                            poseText(g.poses[k]) + ", model " + poseText(expected[k]) + "; input " +
                            std::to_string(in.length) + " poses");
                    return;
                }
            }
        }
    }

    std::string report() const {
        std::string text;
        for (const std::string& p : problems) text += p + "\n";
        return text;
    }
};

// ---------------------------------------------------------------------------------------------
// Skeleton sources

struct PerformerStream {
    SimulatedPerformer performer;
    SkeletonFrame frame;
    uint32_t now = 0;

    explicit PerformerStream(uint32_t seed) : performer(seed) {}
    SkeletonRecord next() {
        performer.advance(now);
        performer.nextSkeletonFrame(frame);
        now += FRAME_MS;
        return frame.slots[0];
    }
};

std::vector<SkeletonRecord> csvStream(const std::string& name) {
    std::ifstream in(std::string(SOURCE_DIR) + "/tests/data/gestures/" + name);
    std::vector<SkeletonRecord> records;
    std::string line, reason;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        CsvFrame csv;
        if (!parseCsvFrame(line, csv, reason)) continue;
        SkeletonFrame frame;
        csvSkeletonFrame(csv, frame);
        records.push_back(frame.slots[0]);
    }
    return records;
}

// A person standing 2.2 m away with the arms hanging (the csv recordings' rest skeleton).
SkeletonRecord standingPerson() {
    static const float rest[JOINT_COUNT][2] = {
        {0.000f, 0.000f}, {0.000f, 0.250f}, {0.000f, 0.500f}, {0.000f, 0.700f}, {-0.180f, 0.450f},
        {-0.200f, 0.170f}, {-0.210f, -0.080f}, {-0.210f, -0.160f}, {0.180f, 0.450f}, {0.200f, 0.170f},
        {0.210f, -0.080f}, {0.210f, -0.160f}, {-0.100f, -0.050f}, {-0.110f, -0.500f}, {-0.110f, -0.900f},
        {-0.110f, -0.950f}, {0.100f, -0.050f}, {0.110f, -0.500f}, {0.110f, -0.900f}, {0.110f, -0.950f}};
    SkeletonRecord r;
    r.trackingState = SKELETON_TRACKED;
    for (int j = 0; j < JOINT_COUNT; ++j) r.joints[j] = {rest[j][0], rest[j][1], 2.2f, 1.0f};
    return r;
}

void moveJoint(SkeletonRecord& r, int joint, float dx, float dy, float dz) {
    r.joints[joint].x += dx;
    r.joints[joint].y += dy;
    r.joints[joint].z += dz;
}

// Arms placed by two angles per arm around the shoulders, as a stand-in for arbitrary motion.
void placeArm(SkeletonRecord& r, int side, float raise, float swing, float bend) {
    const int shoulder = side == 0 ? JOINT_SHOULDER_LEFT : JOINT_SHOULDER_RIGHT;
    const float out = side == 0 ? -1.0f : 1.0f;
    const Vector4 s = r.joints[shoulder];
    const float ux = out * std::sin(raise) * std::cos(swing), uy = -std::cos(raise), uz = -std::sin(raise) * std::sin(swing);
    const Vector4 e{s.x + 0.28f * ux, s.y + 0.28f * uy, s.z + 0.28f * uz, 1.0f};
    const float fx = ux * std::cos(bend) + out * 0.0f, fy = uy * std::cos(bend) + std::sin(bend), fz = uz * std::cos(bend);
    const Vector4 w{e.x + 0.25f * fx, e.y + 0.25f * fy, e.z + 0.25f * fz, 1.0f};
    r.joints[shoulder + 1] = e;
    r.joints[shoulder + 2] = w;
    r.joints[shoulder + 3] = {w.x + 0.08f * fx, w.y + 0.08f * fy, w.z + 0.08f * fz, 1.0f};
}

// ---------------------------------------------------------------------------------------------
// Trained sets, through the real training capture

struct TrainingSession {
    PerformerStream stream{3};
    GestureRecognizer recognizer;
    std::ostringstream console;

    TrainingSession() { recognizer.console = &console; }
    std::vector<std::string> step(bool recognise) {
        SkeletonRecord record = stream.next();
        recognizer.processFrame(record, recognise, stream.now);
        recognizer.waitForWorker();
        std::vector<std::string> texts;
        while (recognizer.hasResults()) texts.push_back(recognizer.popResult());
        return texts;
    }
    void idle(uint32_t ms, bool recognise) {
        for (uint32_t t = 0; t < ms; t += FRAME_MS) step(recognise);
    }
};

// Three examples each of a few performer gestures, trained under `measure`.
const GestureSetList& performerSets(SimilarityMeasure measure) {
    static std::map<int, GestureSetList> cache;
    auto found = cache.find(static_cast<int>(measure));
    if (found != cache.end()) return found->second;
    TrainingSession s;
    s.recognizer.setSimilarityMeasure(measure);
    s.idle(1500, false);
    uint32_t seed = 500;
    for (const char* name : {"right_raise", "wave", "both_y", "left_swipe"}) {
        int stored = 0;
        for (int attempt = 0; attempt < 6 && stored < 3; ++attempt) {
            s.recognizer.requestTraining(stored == 0, false);
            s.idle(600, false);
            s.stream.performer.performGesture(name, seed++);
            std::string answer;
            for (int f = 0; f < 300 && answer.empty(); ++f) {
                for (const std::string& t : s.step(true)) {
                    if (t == "GESTURE_TRAINED" || t == "GESTURE_NOT_TRAINED") answer = t;
                }
            }
            if (answer == "GESTURE_TRAINED") ++stored;
            s.idle(500, false);
        }
    }
    return cache[static_cast<int>(measure)] = s.recognizer.TrainedGestureSets;
}

// ---------------------------------------------------------------------------------------------
// Scenarios

void performerScenario(Comparison& c, uint32_t seed, bool withFaults, bool shortRun = false) {
    PerformerStream stream(seed);
    auto run = [&](int frames, bool recognise) {
        for (int i = 0; i < frames; ++i) c.step(stream.next(), recognise);
    };
    run(60, false);  // settling; the rest check reports the default gesture
    uint32_t variation = 900 + seed;
    std::vector<const char*> names = {"right_raise", "both_y", "right_circle", "left_swipe", "wave", "clap"};
    if (shortRun) names = {"wave", "both_y", "left_swipe"};
    for (const char* name : names) {
        stream.performer.performGesture(name, variation++);
        run(130, true);
        run(25, true);
    }
    if (withFaults) {
        stream.performer.injectFault(PerformerFault::LOSE_PERSON, 700);
        run(60, true);
        stream.performer.performGesture("right_raise", variation++);
        run(120, true);
        run(40, false);  // recognition held off mid-stream
        run(40, true);
    }
}

void expectAgreement(const Comparison& c, int minCandidates) {
    EXPECT_TRUE(c.problems.empty()) << c.report();
    EXPECT_GE(c.candidatesCompared, minCandidates);
    std::printf("  %d frames, %d candidates, %d results queued (%d classes), %d pose values compared, %d skipped\n",
                c.frames, c.candidatesCompared, c.resultsQueued, c.classesQueued, c.valuesCompared, c.valuesSkipped);
}

}  // namespace

TEST(ReferenceComparison, PerformerUnderTheDefaultMeasure) {
    Comparison c;
    c.real.TrainedGestureSets = performerSets(SimilarityMeasure::DTW);
    ASSERT_GE(c.real.setCount(), 3);
    performerScenario(c, 11, true);
    expectAgreement(c, 100);
    EXPECT_GE(c.resultsQueued, 3);
}

TEST(ReferenceComparison, PerformerUnderEveryMeasure) {
    for (int m = 0; m < SIMILARITY_MEASURE_COUNT; ++m) {
        const SimilarityMeasure measure = static_cast<SimilarityMeasure>(m);
        if (measure == SimilarityMeasure::DTW) continue;
        SCOPED_TRACE(similarityMeasureName(measure));
        Comparison c;
        c.compareExtraction = false;  // compared in the other cases
        const GestureSetList& sets =
            performerSets(measureNeedsResampling(measure) ? SimilarityMeasure::EUCLIDEAN : SimilarityMeasure::DTW);
        c.real.setSimilarityMeasure(measure);
        if (measure == SimilarityMeasure::MODIFIED_PEARSON) {
            // Through a gesture-set file: loading computes the class variances this measure reads.
            GestureRecognizer writer;
            std::ostringstream quiet;
            writer.console = &quiet;
            writer.TrainedGestureSets = sets;
            // Sanitizer builds may run this test at the same time on one machine.
            const std::string path =
                testing::TempDir() + "reference_comparison_sets_" + std::to_string(getpid()) + ".bin";
            ASSERT_TRUE(writer.saveGestureSets(path));
            c.real.console = &quiet;
            const bool loaded = c.real.loadGestureSets(path);
            std::remove(path.c_str());
            ASSERT_TRUE(loaded);
            c.real.console = &c.realConsole;
            ASSERT_EQ(c.real.setCount(), static_cast<int>(sets.size()));
            EXPECT_EQ(c.real.TrainedGestureSets[0].classVariances.size(), 8u);
        } else {
            c.real.TrainedGestureSets = sets;
        }
        if (m % 2 == 0) c.real.numberOfNeighbours = 2;
        performerScenario(c, 20 + static_cast<uint32_t>(m), false, true);
        expectAgreement(c, 50);
    }
}

TEST(ReferenceComparison, CsvRecordings) {
    // Sets trained from the clean recordings, then every recording played through.
    GestureSetList sets;
    {
        GestureRecognizer trainer;
        std::ostringstream console;
        trainer.console = &console;
        uint32_t now = 0;
        for (const char* name : {"right_side_swing.csv", "right_forward_swing.csv"}) {
            for (int example = 0; example < 2; ++example) {
                trainer.requestTraining(example == 0, false);
                for (SkeletonRecord r : csvStream(name)) {
                    trainer.processFrame(r, true, now += FRAME_MS);
                    trainer.waitForWorker();
                }
                while (trainer.hasResults()) trainer.popResult();
            }
        }
        sets = trainer.TrainedGestureSets;
    }
    ASSERT_EQ(sets.size(), 2u);
    for (SimilarityMeasure measure : {SimilarityMeasure::DTW, SimilarityMeasure::MODIFIED_DTW, SimilarityMeasure::FM}) {
        SCOPED_TRACE(similarityMeasureName(measure));
        Comparison c;
        c.real.TrainedGestureSets = sets;
        c.real.setSimilarityMeasure(measure);
        c.real.numberOfNeighbours = 1;
        std::vector<const char*> names = {"both_swings_noisy.csv"};
        if (measure == SimilarityMeasure::DTW) names = {"rest_only.csv", "both_swings_noisy.csv", "always_moving.csv", "right_side_swing.csv"};
        for (const char* name : names) {
            for (const SkeletonRecord& r : csvStream(name)) c.step(r, true);
        }
        expectAgreement(c, 50);
        EXPECT_GE(c.classesQueued, 2);  // both swings of the noisy recording
    }
}

TEST(ReferenceComparison, TroublesomeSkeletons) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    Comparison c;
    // Two classes keep the many candidates of noisy streams quick to classify.
    const GestureSetList& trained = performerSets(SimilarityMeasure::DTW);
    c.real.TrainedGestureSets.assign(trained.begin(), trained.begin() + 2);
    c.real.maxMovingWindowSize = 10;
    auto jittered = [&](SkeletonRecord r, float amount) {
        for (int j = 0; j < JOINT_COUNT; ++j) moveJoint(r, j, amount * unit(rng), amount * unit(rng), amount * unit(rng));
        return r;
    };
    const SkeletonRecord base = standingPerson();
    // Jitter on a standing person.
    for (int i = 0; i < 100; ++i) c.step(jittered(base, 0.004f), true);
    // Joints jumping now and then.
    for (int i = 0; i < 100; ++i) {
        SkeletonRecord r = jittered(base, 0.002f);
        if (i % 17 == 3) moveJoint(r, static_cast<int>(rng() % JOINT_COUNT), 0.3f * unit(rng), 0.3f * unit(rng), 0.3f * unit(rng));
        c.step(r, true);
    }
    // The person lost (an empty record) and back.
    for (int i = 0; i < 40; ++i) c.step(SkeletonRecord{}, true);
    for (int i = 0; i < 60; ++i) c.step(jittered(base, 0.001f), true);
    // Held still for long, exactly.
    for (int i = 0; i < 160; ++i) c.step(base, true);
    // Coincident joints: wrists on the elbows, then both wrists at one point.
    for (int i = 0; i < 40; ++i) {
        SkeletonRecord r = base;
        r.joints[JOINT_WRIST_LEFT] = r.joints[JOINT_ELBOW_LEFT];
        r.joints[JOINT_WRIST_RIGHT] = r.joints[JOINT_ELBOW_RIGHT];
        if (i >= 20) r.joints[JOINT_WRIST_LEFT] = r.joints[JOINT_WRIST_RIGHT] = Vector4{0.0f, 0.1f, 2.0f, 1.0f};
        c.step(r, true);
    }
    // Very fast motion: arms anywhere every frame.
    for (int i = 0; i < 80; ++i) {
        SkeletonRecord r = base;
        placeArm(r, 0, 1.6f * (unit(rng) + 1.0f), 1.5f * unit(rng), 1.5f * (unit(rng) + 1.0f));
        placeArm(r, 1, 1.6f * (unit(rng) + 1.0f), 1.5f * unit(rng), 1.5f * (unit(rng) + 1.0f));
        c.step(jittered(r, 0.01f), true);
    }
    // Slow sweeps of one arm and then the other, a person turned and stepping sideways.
    for (int i = 0; i < 240; ++i) {
        SkeletonRecord r = base;
        const float t = static_cast<float>(i) / 240.0f;
        placeArm(r, i < 120 ? 1 : 0, 1.5f * std::sin(6.2831853f * t * 2.0f) + 1.5f, 0.3f, 0.4f);
        for (int j = 0; j < JOINT_COUNT; ++j) {
            const float x = r.joints[j].x, z = r.joints[j].z - 2.2f;
            r.joints[j].x = x * std::cos(0.4f * t) - z * std::sin(0.4f * t) + 0.3f * t;
            r.joints[j].z = 2.2f + x * std::sin(0.4f * t) + z * std::cos(0.4f * t);
        }
        c.step(jittered(r, 0.002f), i % 100 < 80);
    }
    // The whole body in arbitrary orientations (lying, upside down, turned away), each held for
    // a while, with the arms anywhere: the fitted body frame must follow.
    for (int turn = 0; turn < 6; ++turn) {
        float q[4] = {unit(rng), unit(rng), unit(rng), unit(rng)};
        const float norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (float& v : q) v /= norm;
        const float w = q[0], x = q[1], y = q[2], z = q[3];
        const float m[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                               {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                               {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
        SkeletonRecord posed = base;
        placeArm(posed, 0, 1.6f * (unit(rng) + 1.0f), 1.5f * unit(rng), 1.5f * (unit(rng) + 1.0f));
        placeArm(posed, 1, 1.6f * (unit(rng) + 1.0f), 1.5f * unit(rng), 1.5f * (unit(rng) + 1.0f));
        for (int j = 0; j < JOINT_COUNT; ++j) {
            const float px = posed.joints[j].x, py = posed.joints[j].y, pz = posed.joints[j].z - 2.2f;
            posed.joints[j].x = m[0][0] * px + m[0][1] * py + m[0][2] * pz;
            posed.joints[j].y = m[1][0] * px + m[1][1] * py + m[1][2] * pz;
            posed.joints[j].z = 2.2f + m[2][0] * px + m[2][1] * py + m[2][2] * pz;
        }
        for (int i = 0; i < 25; ++i) c.step(jittered(posed, 0.003f), true);
    }
    expectAgreement(c, 100);
}

TEST(ReferenceComparison, OtherThresholdsExerciseThePoseCheckAndTheWindow) {
    // Low below high: speeds between them are marked only near a trained start or end pose.
    struct Variant {
        float low, high;
        int window, interval;
        int neighbours;
    };
    // A window larger than the history holds: marks leave the history before the window is full.
    for (const Variant& v : {Variant{1.0f, 4.0f, 12, 8, 3}, Variant{2.0f, 6.0f, 6, 4, 1}, Variant{6.0f, 0.5f, 10, 12, 2},
                             Variant{3.0f, 3.0f, 8, 3, 2}, Variant{4.0f, 1.0f, 25, 8, 1}}) {
        SCOPED_TRACE(v.low);
        Comparison c;
        c.compareExtraction = false;
        c.real.TrainedGestureSets = performerSets(SimilarityMeasure::DTW);
        c.real.velocityLowThreshold = v.low;
        c.real.velocityHighThreshold = v.high;
        c.real.maxMovingWindowSize = v.window;
        c.real.minRecognitionIntervalLength = v.interval;
        c.real.numberOfNeighbours = v.neighbours;
        performerScenario(c, 40, false, true);
        expectAgreement(c, v.window > 20 ? 0 : 10);  // 25 marks never fit into the history
    }
}

TEST(ReferenceComparison, HeldPosesTrainingAndRecognitionHeldOff) {
    using namespace gesture_test;
    for (SimilarityMeasure measure : {SimilarityMeasure::DTW, SimilarityMeasure::MODIFIED_FM}) {
        SCOPED_TRACE(similarityMeasureName(measure));
        Comparison c;
        c.now = 0xFFFFF000u;  // the program clock wraps during the run
        c.real.setSimilarityMeasure(measure);
        c.real.numberOfNeighbours = 1;
        Jitter jitter;
        jitter.amplitude = 0.3f;  // quiet enough for the capture to find rest
        const ArmPose rest = restPose();
        const ArmPose raisedRight = anglePose({155, 90, 15, 100, 0, 30, 0, 0});
        const ArmPose bothOut = anglePose({120, 120, 80, 80, 20, 20, 40, 40});
        auto hold = [&](const ArmPose& p, int frames, bool recognise, bool noisy) {
            for (int i = 0; i < frames; ++i) c.stepPose(noisy ? jitter(p) : p, recognise);
        };
        auto perform = [&](const Gesture& g, bool recognise) {
            for (const ArmPose& p : g.poses) c.stepPose(jitter(p), recognise);
        };
        // Standing exactly still, then with recognition held off (the rest check).
        hold(rest, 130, true, false);
        hold(rest, 40, false, false);
        hold(rest, 30, false, true);
        // A pose class: the user holds the raised arm through the whole capture.
        c.requestTraining(true, false);
        hold(raisedRight, 160, true, true);
        // A movement class, twice, then a second movement class.
        for (int example = 0; example < 2; ++example) {
            c.requestTraining(example == 0, false);
            hold(rest, 40, true, true);
            perform(swingGesture(45, 70.0f, POSE_ELEVATION_RIGHT), true);
            hold(rest, 60, true, true);
        }
        c.requestTraining(true, false);
        hold(rest, 40, true, true);
        perform(swingGesture(40, 60.0f, POSE_ELBOW_LEFT), true);
        hold(rest, 60, true, true);
        std::string trained;
        for (const std::string& t : c.trainingTexts) trained += t + " ";
        EXPECT_EQ(c.real.setCount(), 3) << trained;
        // Recognition: held poses (one trained, one not), movements, exact stillness.
        hold(rest, 60, true, true);
        hold(raisedRight, 100, true, true);
        hold(rest, 40, true, true);
        perform(swingGesture(48, 68.0f, POSE_ELEVATION_RIGHT), true);
        hold(rest, 50, true, true);
        hold(bothOut, 90, true, false);
        perform(swingGesture(40, 60.0f, POSE_ELBOW_LEFT), true);
        hold(rest, 100, true, false);
        hold(rest, 30, false, false);
        perform(swingGesture(45, 70.0f, POSE_ELEVATION_RIGHT), true);
        hold(rest, 40, true, true);
        // Settings edited live: a smaller window trims several marks at once, a larger one
        // fills again; recognition held off long enough for every mark to leave the history.
        c.real.maxMovingWindowSize = 4;
        perform(swingGesture(45, 70.0f, POSE_ELEVATION_RIGHT), true);
        c.real.maxMovingWindowSize = 16;
        c.real.minRecognitionIntervalLength = 5;
        hold(rest, 60, true, true);
        perform(swingGesture(40, 60.0f, POSE_ELBOW_LEFT), true);
        hold(rest, 170, false, true);
        hold(rest, 30, true, true);
        // Recognition switched on and off from frame to frame around a movement.
        uint32_t coin = 99;
        const Gesture swing = swingGesture(45, 70.0f, POSE_ELEVATION_RIGHT);
        for (int i = 0; i < 120; ++i) {
            coin = coin * 1103515245u + 12345u;
            const ArmPose p = i >= 40 && i < 85 ? swing.poses[static_cast<size_t>(i - 40)] : rest;
            c.stepPose(jitter(p), (coin >> 16) % 3 != 0);
        }
        expectAgreement(c, 100);
    }
}
