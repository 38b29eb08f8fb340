#pragma once
// GestureRecognizer: finds trained arm gestures in the continuous stream of skeleton frames.
//
// Each frame the frame loop calls processFrame: it extracts and averages the arm pose, measures
// the arm speed, keeps a 150-frame history, places segmentation marks where movement starts,
// stops or has gone on unmarked for a while, and, while recognition is allowed, starts one
// background worker that classifies every stretch between two marks by k nearest neighbours
// against TrainedGestureSets. Results and training outcomes are texts in a queue that the frame
// loop drains with popResult at the start of the next frame.
//
// Threads: everything public is called from the frame loop's thread only. The worker shares the
// history, the marks, the result queue, the busy flag and the last-report fields under one mutex,
// and reads TrainedGestureSets without it; every operation that changes the sets (training,
// removal, loading) first waits for the worker. The worker classifies with a copy of the settings
// taken when it starts, so the settings may be edited live between frames.
#include <array>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "common/gesture/arm_pose.h"
#include "common/gesture/frame_history.h"
#include "common/gesture/gesture.h"
#include "common/gesture/similarity.h"

constexpr int POSE_WINDOW_LENGTH = 3;
constexpr int MIN_CANDIDATE_LENGTH = 20;           // candidates must be longer than this
constexpr float STATIC_ARM_VARIANCE = 20.0f;       // an arm is static at or below this per feature
constexpr int32_t FRAME_NUMBER_WRAP = 10000000;
constexpr uint32_t REPEAT_SUPPRESSION_MS = 2000;   // a repeated class is reported once per 2 s
constexpr uint32_t DEFAULT_REPEAT_SUPPRESSION_MS = 500;
constexpr int TRAINING_REST_LENGTH = 10;

// Result class values besides set indices.
constexpr int NO_CLASS = -1;
constexpr int DEFAULT_GESTURE_CLASS = -2;

// A stretch of history: frame numbers of its first and last marks and its length in records.
struct RecognitionInterval {
    int32_t start = 0;
    int32_t end = 0;
    int length = 0;
};

struct RecognitionResult {
    int classIndex = NO_CLASS;  // set index, -1 none, -2 the default (rest) gesture
    float points = -1.0f;       // confidence score; -1 when nothing was classified
    int32_t start = 0;
    int32_t end = 0;
    int length = 0;
};

// The settings a classification uses; the worker gets its own copy.
struct ClassifierSettings {
    SimilarityMeasure measure = SimilarityMeasure::DTW;
    float gestureRecognitionThreshold = 35.0f;
    float poseRecognitionThreshold = 20.0f;
    int numberOfNeighbours = 3;
    int maxMovingWindowSize = 12;
};

// One point of the speed graph.
struct SpeedSample {
    float speed = 0.0f;
    bool marked = false;
};

class GestureRecognizer {
public:
    GestureRecognizer();
    ~GestureRecognizer();  // waits for a running worker
    GestureRecognizer(const GestureRecognizer&) = delete;
    GestureRecognizer& operator=(const GestureRecognizer&) = delete;

    // --- Settings: edited live by the settings panel between frames. ---
    float velocityLowThreshold = 4.0f;    // degrees per frame
    float velocityHighThreshold = 1.0f;
    int maxMovingWindowSize = 12;         // marks kept; the worker runs once this many exist
    int minRecognitionIntervalLength = 8; // frames between rhythm marks, minus one
    float poseRecognitionThreshold = 20.0f;
    float defaultGestureThreshold = 28.0f;  // shown only; the logic does not consult it
    SimilarityMeasure similarityMeasure = SimilarityMeasure::DTW;  // change with setSimilarityMeasure
    float gestureRecognitionThreshold = 35.0f;
    int numberOfNeighbours = 3;

    // --- Read-outs (frame loop thread). ---
    float currentVelocity = 0.0f;  // newest smoothed speed
    int currentWindowSize = 0;     // number of marks

    // --- Training state, read by the training screen. ---
    GestureSetList TrainedGestureSets;  // index = class number; change only through the members
    int currentSetIndex = 0;
    int currentGestureIndex = 0;
    bool trainingPending = false;

    // Where console lines go (standard output by default). Lines are written under the lock;
    // change the pointer only while no worker runs.
    std::ostream* console;

    // One frame: `record` is the followed person's skeleton, rewritten in place by pose
    // extraction; `recognise` is false while the frame loop holds recognition off; nowMs is the
    // program clock. Returns the frame's ArmPose (a pose with a non-finite value, from a corrupt
    // record, is replaced by the previous frame's pose, here and in the recogniser's state).
    ArmPose processFrame(SkeletonRecord& record, bool recognise, uint32_t nowMs);
    // processFrame after pose extraction: `extracted` is the frame's ArmPose and `record` the
    // skeleton as extraction left it. Offline tools and tests feed poses through here.
    void processPose(const SkeletonRecord& record, const ArmPose& extracted, bool recognise, uint32_t nowMs);

    // The oldest result text, removed from the queue; "" when the queue is empty.
    std::string popResult();
    bool hasResults() const;

    // Stores the measure and its default threshold; threshold >= 0 overrides it. A measure
    // outside the table is stored and only an explicit threshold changes the threshold.
    void setSimilarityMeasure(SimilarityMeasure measure, float threshold = -1.0f);

    // Cuts the interval out of the history and types it; trains it while trainingPending,
    // classifies it otherwise.
    RecognitionResult classifyInterval(const RecognitionInterval& interval);
    // k nearest neighbours against the sets of the gesture's type (class and points only).
    RecognitionResult classifyGesture(const Gesture& gesture) const;

    // Arms a capture: newSet founds a new set, replace replaces the current gesture, neither adds
    // to the current set. Waits for a running worker first.
    void requestTraining(bool newSet, bool replace);
    // Disarms a capture that requestTraining armed; nothing is stored. Waits for a running
    // worker first.
    void cancelTraining();
    // New currentSetIndex, or -1 when no set remains.
    int removeCurrentSet();
    // New currentGestureIndex, removeCurrentSet's result when the set became empty, -1 when the
    // current set has no gestures.
    int removeCurrentGesture();
    void previousSet();
    void nextSet();
    void previousGesture();
    void nextGesture();
    int setCount() const { return static_cast<int>(TrainedGestureSets.size()); }
    int gestureCount() const;          // gestures in the current set, 0 without sets
    GestureType currentSetType() const;  // UNDEFINED without sets

    // Gesture-set files. Loading replaces the sets only when the whole file is valid.
    bool saveGestureSets(const std::string& path);
    bool loadGestureSets(const std::string& path);

    // Blocks until no worker runs (used before changing the sets, and by offline tools and tests
    // that want deterministic runs).
    void waitForWorker();
    bool workerBusy() const;

    // Copies for drawing and inspection, taken under the lock.
    void speedGraph(std::array<SpeedSample, HISTORY_LENGTH>& out) const;
    FrameRecord historyRecord(int index) const;
    std::vector<int32_t> marksSnapshot() const;

    // The worker's body, public so that tests can run it on the calling thread. nowMs is the
    // clock at the frame that started it and framesAtStart is framesSeen() then: when frames
    // have started since, the report is timed by the newest of them.
    static constexpr uint64_t FRAMES_SO_FAR = UINT64_MAX;
    void recognizeFromMarks(std::deque<int32_t> marksCopy, ClassifierSettings settings, uint32_t nowMs,
                            uint64_t framesAtStart = FRAMES_SO_FAR);
    // How many frames processPose has started so far.
    uint64_t framesSeen() const;

private:
    ClassifierSettings currentSettings() const;
    RecognitionResult classifyIntervalWith(const RecognitionInterval& interval,
                                           const ClassifierSettings& settings, bool train,
                                           SimilarityScratch& scratch);
    RecognitionResult classifyGestureWith(const Gesture& gesture, const ClassifierSettings& settings,
                                          SimilarityScratch& scratch) const;
    void trainGesture(Gesture&& gesture);
    void runTrainingCapture();
    bool poseCheck(const ArmPose& mean) const;
    void queueResults(const char* first, const char* second = nullptr);  // takes the lock
    void say(const std::string& line);  // console line under the lock

    ArmPoseExtractor armPoseExtractor;
    std::array<ArmPose, POSE_WINDOW_LENGTH> poseWindow{};
    int poseWindowNext = 0;
    ArmPose previousMean{};
    int32_t frameCounter = 0;
    ArmPose restPose{};
    bool requestNewSet = false;
    bool requestReplace = false;

    // Guarded by `mutex`.
    mutable boost::mutex mutex;
    FrameHistory frameHistory;
    std::deque<int32_t> marks;
    std::deque<std::string> results;
    bool busy = false;
    int lastReportedClass = NO_CLASS;
    uint32_t lastReportMs = 0;
    uint32_t latestFrameMs = 0;  // the clock at the newest frame
    uint64_t frameCount = 0;

    boost::thread worker;
    SimilarityScratch frameScratch;  // frame-loop thread only
};
