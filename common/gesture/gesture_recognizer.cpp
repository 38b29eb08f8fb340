#include "common/gesture/gesture_recognizer.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <utility>

#include "common/files/replace_file.h"
#include "common/gesture/gesture_set_file.h"

namespace {

using Lock = boost::unique_lock<boost::mutex>;

constexpr const char* TEXT_DEFAULT_GESTURE = "DEFAULT_GESTURE";
constexpr const char* TEXT_NEW_SET = "NEW_GESTURE_SET";
constexpr const char* TEXT_TRAINED = "GESTURE_TRAINED";
constexpr const char* TEXT_NOT_TRAINED = "GESTURE_NOT_TRAINED";

// Arms hanging relaxed: elbows 155 degrees, elevations 15, everything else 0.
ArmPose makeRestPose() {
    ArmPose rest{};
    rest[POSE_ELBOW_LEFT] = 155.0f;
    rest[POSE_ELBOW_RIGHT] = 155.0f;
    rest[POSE_ELEVATION_LEFT] = 15.0f;
    rest[POSE_ELEVATION_RIGHT] = 15.0f;
    return rest;
}

// Zeroes one arm's four features (left: 0, 2, 4, 6; right: 1, 3, 5, 7) in every pose.
void clearArm(Gesture& g, int firstValue) {
    for (ArmPose& p : g.poses) {
        for (int i = firstValue; i < ARM_ANGLE_COUNT; i += 2) p[i] = 0.0f;
    }
}

// The line after a failed load or save: which file, and what was wrong with it.
std::string fileProblem(const std::string& path, const std::string& error) {
    return "gesture file '" + path + "': " + error + "\n";
}

}  // namespace

GestureRecognizer::GestureRecognizer() : console(&std::cout), restPose(makeRestPose()) {}

GestureRecognizer::~GestureRecognizer() { waitForWorker(); }

void GestureRecognizer::waitForWorker() {
    if (worker.joinable()) worker.join();
}

bool GestureRecognizer::workerBusy() const {
    Lock lock(mutex);
    return busy;
}

uint64_t GestureRecognizer::framesSeen() const {
    Lock lock(mutex);
    return frameCount;
}

ClassifierSettings GestureRecognizer::currentSettings() const {
    ClassifierSettings s;
    s.measure = similarityMeasure;
    s.gestureRecognitionThreshold = gestureRecognitionThreshold;
    s.poseRecognitionThreshold = poseRecognitionThreshold;
    s.numberOfNeighbours = numberOfNeighbours;
    s.maxMovingWindowSize = maxMovingWindowSize;
    return s;
}

void GestureRecognizer::say(const std::string& line) {
    Lock lock(mutex);
    *console << line;
}

void GestureRecognizer::queueResults(const char* first, const char* second) {
    Lock lock(mutex);
    results.emplace_back(first);
    if (second != nullptr) results.emplace_back(second);
}

ArmPose GestureRecognizer::processFrame(SkeletonRecord& record, bool recognise, uint32_t nowMs) {
    ArmPose pose{};
    extractArmPose(armPoseExtractor, record, pose);
    processPose(record, pose, recognise, nowMs);
    // The pose that entered the window, which stands in for a non-finite one.
    return poseWindow[static_cast<size_t>((poseWindowNext + POSE_WINDOW_LENGTH - 1) % POSE_WINDOW_LENGTH)];
}

void GestureRecognizer::processPose(const SkeletonRecord& record, const ArmPose& extracted, bool recognise,
                                    uint32_t nowMs) {
    // A corrupt frame (joints so far off that the arm vectors overflow) gives a non-finite pose.
    // The speed is smoothed over every earlier frame, so one such pose would stop segmentation
    // for the rest of the run; the previous pose stands in for it.
    const bool finite = std::all_of(extracted.begin(), extracted.end(), [](float v) { return std::isfinite(v); });
    const ArmPose pose =
        finite ? extracted
               : poseWindow[static_cast<size_t>((poseWindowNext + POSE_WINDOW_LENGTH - 1) % POSE_WINDOW_LENGTH)];
    poseWindow[static_cast<size_t>(poseWindowNext)] = pose;
    poseWindowNext = (poseWindowNext + 1) % POSE_WINDOW_LENGTH;
    // Summed oldest first (the slot after the newest), so the float sum does not depend on
    // where the ring happens to start.
    ArmPose mean{};
    for (int j = 0; j < POSE_WINDOW_LENGTH; ++j) {
        const ArmPose& p = poseWindow[static_cast<size_t>((poseWindowNext + j) % POSE_WINDOW_LENGTH)];
        for (int i = 0; i < ARM_POSE_SIZE; ++i) mean[i] += p[i];
    }
    for (float& v : mean) v /= static_cast<float>(POSE_WINDOW_LENGTH);

    FrameRecord frame;
    frame.skeleton = record;
    frame.pose = mean;
    frameCounter = (frameCounter + 1) % FRAME_NUMBER_WRAP;
    frame.frameNumber = frameCounter;

    std::deque<int32_t> marksCopy;
    {
        Lock lock(mutex);
        latestFrameMs = nowMs;
        ++frameCount;
        const float previousSpeed = frameHistory.newest().speed;
        const float raw = poseDistance(mean, previousMean, GestureType::BOTH);
        const float v = 0.5f * raw + 0.5f * previousSpeed;
        previousMean = mean;
        currentVelocity = v;
        frame.speed = v;

        if (recognise && !trainingPending) {
            const float low = velocityLowThreshold;
            const float high = velocityHighThreshold;
            bool marked = false;
            if ((v < low && low < previousSpeed) || (previousSpeed < high && high < v)) {
                marked = true;  // the speed crossed a threshold: movement stopped or started
            } else {
                // Otherwise mark at most every k + 1 frames, so long movements and long rests
                // are still cut into candidates.
                const int k = std::clamp(minRecognitionIntervalLength, 0, HISTORY_LENGTH);
                bool quiet = true;
                for (int i = HISTORY_LENGTH - 1; i >= HISTORY_LENGTH - k; --i) {
                    if (frameHistory[i].marked) {
                        quiet = false;
                        break;
                    }
                }
                marked = (v < low || v > high) ? quiet : quiet && poseCheck(mean);
            }
            if (marked) {
                frame.marked = true;
                marks.push_back(frame.frameNumber);
            }
        }

        if (!recognise) {
            frameHistory.newest().marked = true;
            if (!trainingPending &&
                poseDistance(mean, restPose, GestureType::BOTH) < poseRecognitionThreshold &&
                (lastReportedClass != DEFAULT_GESTURE_CLASS ||
                 nowMs - lastReportMs >= DEFAULT_REPEAT_SUPPRESSION_MS)) {
                results.emplace_back(TEXT_DEFAULT_GESTURE);
                *console << "gesture recognized as: DEFAULT_GESTURE \n";
                lastReportedClass = DEFAULT_GESTURE_CLASS;
                lastReportMs = nowMs;
            }
        }

        frameHistory.push(frame);

        if (!marks.empty() && frameHistory.indexOf(marks.front()) < 0) marks.pop_front();
        const size_t window = static_cast<size_t>(std::max(0, maxMovingWindowSize));
        while (marks.size() > window) {
            const int index = frameHistory.indexOf(marks.front());
            if (index >= 0) frameHistory[index].marked = false;
            marks.pop_front();
        }
        currentWindowSize = static_cast<int>(marks.size());
        if (recognise && !trainingPending) marksCopy = marks;
    }

    if (trainingPending) runTrainingCapture();

    if (recognise && !trainingPending) {
        uint64_t framesAtStart = 0;
        {
            Lock lock(mutex);
            if (busy) return;
            busy = true;
            framesAtStart = frameCount;
        }
        // The previous worker has cleared its flag, so it is finished or about to return.
        waitForWorker();
        try {
            worker = boost::thread(&GestureRecognizer::recognizeFromMarks, this, std::move(marksCopy),
                                   currentSettings(), nowMs, framesAtStart);
        } catch (const boost::thread_resource_error&) {
            // No thread this frame (the system is out of threads): skip recognition, retry next frame.
            Lock lock(mutex);
            busy = false;
        }
    }
}

bool GestureRecognizer::poseCheck(const ArmPose& mean) const {
    for (const GestureSet& set : TrainedGestureSets) {
        if (set.gestures.empty() || set.gestures.front().poses.empty()) continue;
        const Gesture& g = set.gestures.front();
        return poseDistance(mean, g.poses.front(), set.type) < poseRecognitionThreshold ||
               poseDistance(mean, g.poses.back(), set.type) < poseRecognitionThreshold;
    }
    return false;
}

std::string GestureRecognizer::popResult() {
    Lock lock(mutex);
    if (results.empty()) return std::string();
    std::string text = std::move(results.front());
    results.pop_front();
    return text;
}

bool GestureRecognizer::hasResults() const {
    Lock lock(mutex);
    return !results.empty();
}

void GestureRecognizer::setSimilarityMeasure(SimilarityMeasure measure, float threshold) {
    similarityMeasure = measure;
    const float standard = measureDefaultThreshold(measure);
    if (standard >= 0.0f) gestureRecognitionThreshold = standard;
    if (threshold >= 0.0f) gestureRecognitionThreshold = threshold;
}

RecognitionResult GestureRecognizer::classifyInterval(const RecognitionInterval& interval) {
    return classifyIntervalWith(interval, currentSettings(), trainingPending, frameScratch);
}

RecognitionResult GestureRecognizer::classifyGesture(const Gesture& gesture) const {
    SimilarityScratch scratch;
    return classifyGestureWith(gesture, currentSettings(), scratch);
}

RecognitionResult GestureRecognizer::classifyIntervalWith(const RecognitionInterval& interval,
                                                          const ClassifierSettings& settings,
                                                          bool train, SimilarityScratch& scratch) {
    RecognitionResult result;
    result.start = interval.start;
    result.end = interval.end;
    result.length = interval.length;

    Gesture g;
    {
        Lock lock(mutex);
        const int first = frameHistory.indexOf(interval.start);
        if (first >= 0) {
            const int last = std::min(HISTORY_LENGTH, first + std::max(0, interval.length));
            g.poses.reserve(static_cast<size_t>(last - first));
            g.skeletons.reserve(static_cast<size_t>(last - first));
            for (int i = first; i < last; ++i) {
                g.poses.push_back(frameHistory[i].pose);
                g.skeletons.push_back(frameHistory[i].skeleton);
            }
        }
    }
    if (g.poses.empty()) return result;

    // A stretch with no path at all (every pose equal, as from a frozen record) resamples to
    // its two ends and so gives no result: only a real stillness, with the sensor's own jitter,
    // counts as a held pose.
    if (g.poses.size() > static_cast<size_t>(RESAMPLE_LENGTH)) {
        resampleGesture(g, RESAMPLE_LENGTH);
        if (g.poses.size() != static_cast<size_t>(RESAMPLE_LENGTH)) return result;
    }

    const FeatureVector variance = featureVariance(g);
    bool leftStatic = true;
    bool rightStatic = true;
    for (int f = 0; f < 4; ++f) leftStatic = leftStatic && variance[f] <= STATIC_ARM_VARIANCE;
    for (int f = 4; f < 8; ++f) rightStatic = rightStatic && variance[f] <= STATIC_ARM_VARIANCE;

    if (leftStatic && rightStatic) {
        const ArmPose mean = meanPose(g);
        g.poses.assign(1, mean);
        const bool nearL = poseDistance(mean, restPose, GestureType::LEFT) < settings.poseRecognitionThreshold;
        const bool nearR = poseDistance(mean, restPose, GestureType::RIGHT) < settings.poseRecognitionThreshold;
        if (nearL && nearR) {
            result.classIndex = DEFAULT_GESTURE_CLASS;
            result.points = NOT_COMPARABLE_DISTANCE;
            return result;
        }
        if (nearL) {
            g.type = GestureType::RIGHT;
            clearArm(g, 0);
        } else if (nearR) {
            g.type = GestureType::LEFT;
            clearArm(g, 1);
        } else {
            g.type = GestureType::BOTH;
        }
    } else {
        g.type = GestureType::BOTH;
        if (leftStatic) {
            clearArm(g, 0);
            g.type = GestureType::RIGHT;
        }
        if (rightStatic) {
            clearArm(g, 1);
            g.type = GestureType::LEFT;
        }
    }

    if (train) {
        trainGesture(std::move(g));
        return result;
    }
    const RecognitionResult r = classifyGestureWith(g, settings, scratch);
    result.classIndex = r.classIndex;
    result.points = r.points;
    return result;
}

RecognitionResult GestureRecognizer::classifyGestureWith(const Gesture& gesture,
                                                         const ClassifierSettings& settings,
                                                         SimilarityScratch& scratch) const {
    RecognitionResult result;
    if (gesture.poses.empty()) return result;
    const float factor = gesture.type == GestureType::BOTH ? 1.5f : 1.0f;
    const bool single = gesture.poses.size() == 1;
    const GestureSetList& sets = TrainedGestureSets;

    if (settings.measure == SimilarityMeasure::MODIFIED_FM) {
        // Density ratio per class instead of neighbours; the last acceptable class wins. The
        // score goes through gestureDistance with the set's first example, so a held pose is
        // compared as a pose and a pose never matches a sequence class (1e7): the density ratio
        // of a single pose (no movement at all) would accept any class.
        for (size_t s = 0; s < sets.size(); ++s) {
            if (sets[s].type != gesture.type || sets[s].gestures.empty()) continue;
            const float d = gestureDistance(gesture, sets[s].gestures.front(), static_cast<int>(s),
                                            SimilarityMeasure::MODIFIED_FM, sets, scratch);
            if (d < NOT_COMPARABLE_DISTANCE && (!single || d < factor * settings.poseRecognitionThreshold)) {
                result.classIndex = static_cast<int>(s);
                result.points = 1e-7f;
            }
        }
        return result;
    }

    const float threshold =
        factor * (single ? settings.poseRecognitionThreshold : settings.gestureRecognitionThreshold);
    std::vector<std::pair<int, float>> neighbours;
    for (size_t s = 0; s < sets.size(); ++s) {
        if (sets[s].type != gesture.type) continue;
        for (const Gesture& trained : sets[s].gestures) {
            const float d = gestureDistance(gesture, trained, static_cast<int>(s), settings.measure,
                                            sets, scratch);
            if (d < threshold) neighbours.emplace_back(static_cast<int>(s), d);
        }
    }
    const int k = settings.numberOfNeighbours;
    if (k <= 0 || neighbours.size() < static_cast<size_t>(k)) return result;
    std::stable_sort(neighbours.begin(), neighbours.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    // Scores in the order the sets first appear among the k nearest.
    std::vector<std::pair<int, float>> scores;
    for (int i = 0; i < k; ++i) {
        const auto& [set, d] = neighbours[static_cast<size_t>(i)];
        auto it = std::find_if(scores.begin(), scores.end(), [set = set](const auto& e) { return e.first == set; });
        if (it == scores.end()) {
            scores.emplace_back(set, 1.0f / d);
        } else {
            it->second += 1.0f / d;
        }
    }
    auto best = scores.begin();
    for (auto it = scores.begin(); it != scores.end(); ++it) {
        if (it->second > best->second) best = it;
    }
    result.classIndex = best->first;
    result.points = best->second;
    return result;
}

void GestureRecognizer::recognizeFromMarks(std::deque<int32_t> marksCopy, ClassifierSettings settings,
                                           uint32_t nowMs, uint64_t framesAtStart) {
    {
        Lock lock(mutex);
        busy = true;
    }
    auto finish = [this] {
        Lock lock(mutex);
        busy = false;
    };
    if (marksCopy.size() < static_cast<size_t>(std::max(0, settings.maxMovingWindowSize))) {
        finish();
        return;
    }

    std::vector<RecognitionInterval> intervals;
    {
        Lock lock(mutex);
        for (size_t a = 0; a < marksCopy.size(); ++a) {
            const int ia = frameHistory.indexOf(marksCopy[a]);
            if (ia < 0) continue;
            for (size_t b = a + 1; b < marksCopy.size(); ++b) {
                const int ib = frameHistory.indexOf(marksCopy[b]);
                if (ib < 0) continue;
                const int length = ib - ia + 1;
                if (length > MIN_CANDIDATE_LENGTH) intervals.push_back({marksCopy[a], marksCopy[b], length});
            }
        }
    }
    if (intervals.empty()) {
        finish();
        return;
    }

    SimilarityScratch scratch;
    bool found = false;
    RecognitionResult best;
    for (const RecognitionInterval& interval : intervals) {
        const RecognitionResult r = classifyIntervalWith(interval, settings, false, scratch);
        if (r.classIndex == NO_CLASS) continue;
        if (!found || r.length > best.length) best = r;  // the first among equals stays
        found = true;
    }
    if (!found) {
        finish();
        return;
    }

    {
        Lock lock(mutex);
        // The report is timed by the program's clock now, which is that of the newest frame: a
        // worker can outlast several frames, and timing it by the frame that started it let a
        // repeat through after a long run. It keeps no clock of its own, so runs on a fixed step,
        // which wait for it within its frame, decide the same way every time. A report the frame
        // loop made meanwhile is no newer than the newest frame, so the difference cannot wrap.
        const bool framesSince = framesAtStart != FRAMES_SO_FAR && frameCount != framesAtStart;
        const uint32_t reportMs = framesSince ? latestFrameMs : nowMs;
        const uint32_t elapsedMs = reportMs - lastReportMs;
        if (best.classIndex != lastReportedClass || elapsedMs >= REPEAT_SUPPRESSION_MS) {
            results.push_back(best.classIndex == DEFAULT_GESTURE_CLASS ? std::string(TEXT_DEFAULT_GESTURE)
                                                                       : std::to_string(best.classIndex));
            *console << "gesture recognized as: " << best.classIndex << ", points: " << best.points << "\n"
                     << elapsedMs << "\n";
            lastReportedClass = best.classIndex;
            lastReportMs = reportMs;
        }
        // Consume the marks before the winner's end mark; the end mark may start the next gesture.
        size_t endMark = marks.size();
        for (size_t i = marks.size(); i-- > 0;) {
            if (marks[i] == best.end) {
                endMark = i;
                break;
            }
        }
        if (endMark < marks.size()) {
            for (size_t i = 0; i < endMark; ++i) {
                const int index = frameHistory.indexOf(marks[i]);
                if (index >= 0) frameHistory[index].marked = false;
            }
            marks.erase(marks.begin(), marks.begin() + static_cast<std::ptrdiff_t>(endMark));
        }
        busy = false;
    }
}

void GestureRecognizer::runTrainingCapture() {
    constexpr int n = HISTORY_LENGTH;
    RecognitionInterval interval;
    {
        Lock lock(mutex);
        const float low = velocityLowThreshold;
        const float high = velocityHighThreshold;
        if (frameHistory[n - 2].marked) return;
        // Rest after the gesture.
        for (int i = n - 2; i >= n - 1 - TRAINING_REST_LENGTH; --i) {
            if (frameHistory[i].speed > low) return;
        }
        int end = -1;
        for (int i = n - TRAINING_REST_LENGTH; i >= n / 3; --i) {
            if (frameHistory[i].marked) return;
            if (frameHistory[i].speed > low) {
                end = i;
                break;
            }
        }
        if (end < 0) {
            // Held still all along: the pose itself is the example.
            const int first = n / 3;
            const int last = n - TRAINING_REST_LENGTH;
            interval = {frameHistory[first].frameNumber, frameHistory[last].frameNumber, last - first + 1};
        } else {
            // Rest before the gesture: the newest record of a run of 10 slow records.
            int run = 0;
            int start = -1;
            for (int i = end - 1; i >= 0; --i) {
                if (frameHistory[i].speed <= high) {
                    if (++run == TRAINING_REST_LENGTH) {
                        start = i + TRAINING_REST_LENGTH - 1;
                        break;
                    }
                } else {
                    run = 0;
                }
            }
            if (start < 0 || end - start < MIN_CANDIDATE_LENGTH) return;
            interval = {frameHistory[start].frameNumber, frameHistory[end].frameNumber, end - start};
        }
    }
    classifyIntervalWith(interval, currentSettings(), true, frameScratch);
}

namespace {

// Under the equal-length measures examples are kept at 64 poses, except a held pose: the
// held-pose candidates it must match are single poses, and a single pose is never compared
// with a sequence.
bool storedResampled(SimilarityMeasure measure, const Gesture& example) {
    return measureNeedsResampling(measure) && example.poses.size() != 1;
}

}  // namespace

void GestureRecognizer::trainGesture(Gesture&& gesture) {
    bool statisticsValid = true;
    if (storedResampled(similarityMeasure, gesture)) {
        resampleGesture(gesture, RESAMPLE_LENGTH);
        if (gesture.poses.size() != static_cast<size_t>(RESAMPLE_LENGTH)) {
            say("Resampling error!\n");
            statisticsValid = false;
        }
    }
    GestureSet* set = nullptr;
    if (requestNewSet) {
        GestureSet created;
        created.type = gesture.type;
        const GestureType type = gesture.type;
        created.gestures.push_back(std::move(gesture));
        TrainedGestureSets.push_back(std::move(created));
        currentSetIndex = static_cast<int>(TrainedGestureSets.size()) - 1;
        currentGestureIndex = 0;
        set = &TrainedGestureSets.back();
        queueResults(TEXT_NEW_SET, TEXT_TRAINED);
        say(std::string("Successfully created a new ") + gestureTypeName(type) + " gesture set!\n");
    } else {
        // Adding or replacing needs a current set of the same type.
        const bool haveSet = currentSetIndex >= 0 && currentSetIndex < setCount();
        if (!haveSet || TrainedGestureSets[static_cast<size_t>(currentSetIndex)].type != gesture.type) {
            queueResults(TEXT_NOT_TRAINED);
            trainingPending = false;
            return;
        }
        set = &TrainedGestureSets[static_cast<size_t>(currentSetIndex)];
        const int count = static_cast<int>(set->gestures.size());
        if (requestReplace && currentGestureIndex >= 0 && currentGestureIndex < count) {
            set->gestures[static_cast<size_t>(currentGestureIndex)] = std::move(gesture);
            say("Successfully replaced a gesture!\n");
        } else if (requestReplace) {
            queueResults(TEXT_NOT_TRAINED);
            trainingPending = false;
            return;
        } else {
            set->gestures.push_back(std::move(gesture));
            currentGestureIndex = count;
            say("Successfully trained a gesture!\n");
        }
        queueResults(TEXT_TRAINED);
    }
    if (statisticsValid && similarityMeasure == SimilarityMeasure::MODIFIED_PEARSON) {
        computeClassVariances(*set);
    }
    trainingPending = false;
}

void GestureRecognizer::requestTraining(bool newSet, bool replace) {
    waitForWorker();
    requestNewSet = newSet;
    requestReplace = replace;
    trainingPending = true;
    Lock lock(mutex);
    marks.clear();
    currentWindowSize = 0;
    // The gesture's end must be a frame that arrives after the request: a movement finished
    // before it is never captured. (The rest before the gesture may lie further back, so a
    // movement already under way is captured whole.)
    for (int i = 0; i < HISTORY_LENGTH; ++i) frameHistory[i].marked = true;
}

void GestureRecognizer::cancelTraining() {
    waitForWorker();
    trainingPending = false;
    requestNewSet = requestReplace = false;
}

int GestureRecognizer::removeCurrentSet() {
    waitForWorker();
    const int count = setCount();
    if (count == 0 || currentSetIndex < 0 || currentSetIndex >= count) return -1;
    TrainedGestureSets.erase(TrainedGestureSets.begin() + currentSetIndex);
    const int remaining = count - 1;
    if (remaining == 0) return -1;
    currentGestureIndex = 0;
    currentSetIndex = (remaining + currentSetIndex - 1) % remaining;
    return currentSetIndex;
}

int GestureRecognizer::removeCurrentGesture() {
    waitForWorker();
    if (currentSetIndex < 0 || currentSetIndex >= setCount()) return -1;
    std::vector<Gesture>& gestures = TrainedGestureSets[static_cast<size_t>(currentSetIndex)].gestures;
    const int count = static_cast<int>(gestures.size());
    if (count == 0 || currentGestureIndex < 0 || currentGestureIndex >= count) return -1;
    gestures.erase(gestures.begin() + currentGestureIndex);
    const int remaining = count - 1;
    if (remaining > 0) {
        currentGestureIndex = (currentGestureIndex + remaining - 1) % remaining;
        return currentGestureIndex;
    }
    currentGestureIndex = 0;
    return removeCurrentSet();
}

// Navigation changes only the indices, which the worker never reads.
void GestureRecognizer::previousSet() {
    const int count = setCount();
    if (count == 0) return;
    currentGestureIndex = 0;
    currentSetIndex = ((count + currentSetIndex - 1) % count + count) % count;
}

void GestureRecognizer::nextSet() {
    const int count = setCount();
    if (count == 0) return;
    currentGestureIndex = 0;
    currentSetIndex = ((currentSetIndex + 1) % count + count) % count;
}

void GestureRecognizer::previousGesture() {
    const int count = gestureCount();
    if (count == 0) return;
    currentGestureIndex = ((count + currentGestureIndex - 1) % count + count) % count;
}

void GestureRecognizer::nextGesture() {
    const int count = gestureCount();
    if (count == 0) return;
    currentGestureIndex = ((currentGestureIndex + 1) % count + count) % count;
}

int GestureRecognizer::gestureCount() const {
    if (currentSetIndex < 0 || currentSetIndex >= setCount()) return 0;
    return static_cast<int>(TrainedGestureSets[static_cast<size_t>(currentSetIndex)].gestures.size());
}

GestureType GestureRecognizer::currentSetType() const {
    if (currentSetIndex < 0 || currentSetIndex >= setCount()) return GestureType::UNDEFINED;
    return TrainedGestureSets[static_cast<size_t>(currentSetIndex)].type;
}

void GestureRecognizer::speedGraph(std::array<SpeedSample, HISTORY_LENGTH>& out) const {
    Lock lock(mutex);
    for (int i = 0; i < HISTORY_LENGTH; ++i) {
        out[static_cast<size_t>(i)].speed = frameHistory[i].speed;
        out[static_cast<size_t>(i)].marked = frameHistory[i].marked;
    }
}

FrameRecord GestureRecognizer::historyRecord(int index) const {
    Lock lock(mutex);
    return frameHistory[std::clamp(index, 0, HISTORY_LENGTH - 1)];
}

std::vector<int32_t> GestureRecognizer::marksSnapshot() const {
    Lock lock(mutex);
    return std::vector<int32_t>(marks.begin(), marks.end());
}

bool GestureRecognizer::saveGestureSets(const std::string& path) {
    if (TrainedGestureSets.empty()) {
        say("Nothing to save!\n");
        return false;
    }
    // A file its own reader would refuse is not written over the one on disk.
    std::string error = unloadableGestureSets(TrainedGestureSets);
    if (!error.empty() || !replaceFileContents(path, encodeGestureSets(TrainedGestureSets), error)) {
        // The console line stays as users know it; the next one says which file and why (a
        // cancelled dialog gives no path, and nothing more to say).
        say("Cannot write to disk!\n" + (path.empty() ? std::string() : fileProblem(path, error)));
        return false;
    }
    size_t gestures = 0;
    for (const GestureSet& set : TrainedGestureSets) gestures += set.gestures.size();
    say("Saved " + std::to_string(gestures) + " gestures in " + std::to_string(TrainedGestureSets.size()) +
        " sets to disk!\n");
    return true;
}

bool GestureRecognizer::loadGestureSets(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readFileBytes(path, bytes, error)) {
        say("Cannot load from disk!\n" + (path.empty() ? std::string() : fileProblem(path, error)));
        return false;
    }
    GestureSetList loaded;
    if (!decodeGestureSets(bytes.data(), bytes.size(), loaded, error)) {
        say("Cannot load from disk!\n" + fileProblem(path, error));
        return false;
    }
    const bool resample = measureNeedsResampling(similarityMeasure);
    size_t gestures = 0;
    for (GestureSet& set : loaded) {
        for (Gesture& g : set.gestures) {
            if (storedResampled(similarityMeasure, g) && g.poses.size() != static_cast<size_t>(RESAMPLE_LENGTH)) {
                resampleGesture(g, RESAMPLE_LENGTH);
            }
        }
        gestures += set.gestures.size();
        if (resample) computeClassVariances(set);
    }
    // The worker reads the sets without the lock: replace them only while none runs.
    waitForWorker();
    TrainedGestureSets = std::move(loaded);
    currentSetIndex = 0;
    currentGestureIndex = 0;
    if (resample) {
        std::ostringstream text;
        text << "*** VARIANCES FOR ALL GESTURE CLASSES ***\n";
        for (size_t i = 0; i < TrainedGestureSets.size(); ++i) {
            const std::vector<float>& v = TrainedGestureSets[i].classVariances;
            text << "Set " << i << ": " << v[0] << "\t" << v[1] << "\t" << v[2] << "\t" << v[3] << "\n";
        }
        say(text.str());
    }
    say("Loaded " + std::to_string(gestures) + " gestures in " + std::to_string(TrainedGestureSets.size()) +
        " sets from disk!\n");
    return true;
}
