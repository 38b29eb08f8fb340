#pragma once
// An independent model of the arm-pose extractor and of the recogniser's frame processing
// (pose window, speed, segmentation marks, the worker's candidates, typing, k nearest
// neighbours, reporting), kept deliberately plain and in double precision where the stored
// values allow, so that the real GestureRecognizer can be compared with it frame by frame.
//
// The similarity measures themselves (gestureDistance, modifiedFmScore) are taken from the
// real code: they are compared with their own models in similarity_test.cpp. Everything that
// decides which candidates reach them, and what happens with the answers, is modelled here.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/gesture/arm_pose.h"
#include "common/gesture/gesture.h"
#include "common/gesture/similarity.h"
#include "common/sensor/skeleton_record.h"

namespace reference {

// ---------------------------------------------------------------------------------------------
// Arm-pose extraction

struct D3 {
    double x = 0.0, y = 0.0, z = 0.0;
};
inline D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline D3 operator*(double s, D3 a) { return {s * a.x, s * a.y, s * a.z}; }
inline double dotD(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline D3 crossD(D3 a, D3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double lengthD(D3 a) { return std::sqrt(dotD(a, a)); }
inline D3 unitD(D3 a) {
    const double l = lengthD(a);
    return l > 0.0 ? (1.0 / l) * a : a;
}
inline double clampD(double x) { return std::max(-1.0, std::min(1.0, x)); }
inline double degD(double c) { return std::acos(c) * 180.0 / 3.1415927; }

// A vector of coincident joints: its angles are exact (a dot product of 0, 90 degrees).
inline bool exactlyZero(D3 a) { return a.x == 0.0 && a.y == 0.0 && a.z == 0.0; }

inline D3 jointD(const SkeletonRecord& r, int j) { return {r.joints[j].x, r.joints[j].y, r.joints[j].z}; }

// How trustworthy each reference value is for a comparison: values that sit on a sign flip or
// on a clamp edge, or a body frame whose principal axes are nearly degenerate, are skipped.
struct PoseConfidence {
    bool bodyFrame = true;           // the first two principal axes are well separated
    std::array<bool, ARM_POSE_SIZE> value{};
};

struct RefPose {
    std::array<double, ARM_POSE_SIZE> v{};
    PoseConfidence confidence;
    D3 torso[JOINT_COUNT];  // the joints as extraction leaves them in the record
};

// Eigenvectors of a symmetric 3 x 3 matrix (cyclic Jacobi), sorted by descending eigenvalue.
inline void symmetricEigen(double a[3][3], double values[3], D3 vectors[3]) {
    double v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int sweep = 0; sweep < 100; ++sweep) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        if (off < 1e-30) break;
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (std::fabs(a[p][q]) < 1e-300) continue;
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < 3; ++k) {  // A = J^T A J
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int i, int j) { return a[i][i] > a[j][j]; });
    for (int i = 0; i < 3; ++i) {
        values[i] = a[order[i]][order[i]];
        vectors[i] = {v[0][order[i]], v[1][order[i]], v[2][order[i]]};
    }
}

struct RefExtractor {
    D3 previous[JOINT_COUNT];  // the previous record's joints, zero at start
    double offsets[3][6] = {};

    RefPose extract(const SkeletonRecord& input) {
        RefPose out;
        D3 j[JOINT_COUNT];
        for (int i = 0; i < JOINT_COUNT; ++i) j[i] = jointD(input, i);

        // Temporal smoothing of the torso, then the record becomes the previous one.
        for (int i : {JOINT_HIP_CENTER, JOINT_SHOULDER_CENTER, JOINT_SHOULDER_LEFT, JOINT_SHOULDER_RIGHT,
                      JOINT_HIP_LEFT, JOINT_HIP_RIGHT}) {
            j[i] = 0.4 * previous[i] + 0.6 * j[i];
        }
        j[JOINT_SPINE] = 0.9 * previous[JOINT_SPINE] + 0.1 * j[JOINT_SPINE];
        for (int i = 0; i < JOINT_COUNT; ++i) previous[i] = j[i];

        const D3 SP = j[JOINT_SPINE], SC = j[JOINT_SHOULDER_CENTER];
        const D3 SL = j[JOINT_SHOULDER_LEFT], SR = j[JOINT_SHOULDER_RIGHT];
        const D3 EL = j[JOINT_ELBOW_LEFT], ER = j[JOINT_ELBOW_RIGHT];
        const D3 WL = j[JOINT_WRIST_LEFT], WR = j[JOINT_WRIST_RIGHT];
        const D3 uL = EL - SL, uR = ER - SR, fL = WL - EL, fR = WR - ER;
        const D3 d = SP - SC, sL = SL - SC, sR = SR - SC;

        // Offset smoothing of the torso around the spine.
        const int torsoJoints[6] = {JOINT_HIP_CENTER, JOINT_SHOULDER_CENTER, JOINT_SHOULDER_LEFT,
                                    JOINT_SHOULDER_RIGHT, JOINT_HIP_LEFT, JOINT_HIP_RIGHT};
        for (int c = 0; c < 6; ++c) {
            const D3 col = j[torsoJoints[c]] - SP;
            offsets[0][c] = 0.9 * offsets[0][c] + 0.1 * col.x;
            offsets[1][c] = 0.9 * offsets[1][c] + 0.1 * col.y;
            offsets[2][c] = 0.9 * offsets[2][c] + 0.1 * col.z;
            j[torsoJoints[c]] = SP + D3{offsets[0][c], offsets[1][c], offsets[2][c]};
        }
        for (int i = 0; i < JOINT_COUNT; ++i) out.torso[i] = j[i];

        // Body frame: principal axes of the seven centred torso points.
        const D3 pts[7] = {j[JOINT_HIP_CENTER], SP, j[JOINT_SHOULDER_CENTER], j[JOINT_SHOULDER_LEFT],
                           j[JOINT_SHOULDER_RIGHT], j[JOINT_HIP_LEFT], j[JOINT_HIP_RIGHT]};
        D3 mean;
        for (const D3& p : pts) mean = mean + (1.0 / 7.0) * p;
        double cov[3][3] = {};
        double spread = 0.0;
        for (const D3& p : pts) {
            const D3 c = p - mean;
            const double cv[3] = {c.x, c.y, c.z};
            for (int r = 0; r < 3; ++r)
                for (int s = 0; s < 3; ++s) cov[r][s] += cv[r] * cv[s];
            spread += dotD(c, c);
        }
        double values[3];
        D3 axes[3];
        symmetricEigen(cov, values, axes);
        D3 up = unitD(axes[0]);
        if (dotD(up, unitD(j[JOINT_HEAD] - j[JOINT_HIP_CENTER])) < 0) up = -1.0 * up;
        D3 right = unitD(axes[1]);
        if (dotD(right, unitD(j[JOINT_HIP_RIGHT] - j[JOINT_HIP_LEFT])) < 0) right = -1.0 * right;
        const D3 normal = crossD(up, right);
        // Singular values are square roots of these; a float decomposition resolves axes whose
        // squared singular values differ by a few per cent of the total spread.
        const double scale = std::max(spread, 1e-12);
        out.confidence.bodyFrame = (values[0] - values[1]) / scale > 0.02 && (values[1] - values[2]) / scale > 0.02 &&
                                   std::fabs(dotD(up, unitD(j[JOINT_HEAD] - j[JOINT_HIP_CENTER]))) > 0.05 &&
                                   std::fabs(dotD(right, unitD(j[JOINT_HIP_RIGHT] - j[JOINT_HIP_LEFT]))) > 0.05;

        auto& v = out.v;
        auto& ok = out.confidence.value;
        ok.fill(true);
        // A value computed from a near-zero vector, or an acos argument at +-1, is sensitive to
        // rounding; such values are marked unreliable rather than compared.
        const double tiny = 1e-4;
        // Near a cosine of +-1 the angle is steep in the cosine; the comparison's tolerance (a
        // tenth of a degree) covers float rounding there, so only exact clamps are left out.
        auto angleOk = [](double c) { return std::fabs(c) < 1.0 || std::fabs(c) == 1.0; };

        v[15] = WR.x;
        v[16] = WR.y;
        v[17] = dotD(normal, WR - SP);
        v[12] = WL.x;
        v[13] = WL.y;
        v[14] = dotD(normal, WL - SP);
        ok[14] = ok[17] = out.confidence.bodyFrame;

        const D3 dh = unitD(d);
        {  // horizontal adduction left
            const D3 k = unitD(crossD(sL, dh));
            const D3 p = unitD(uL - dotD(uL, dh) * dh);
            const D3 a = unitD(crossD(dh, k));
            const double c = clampD(dotD(a, p));
            const double pk = dotD(p, k);
            v[4] = (pk > 0 ? -1.0 : 1.0) * degD(c);
            ok[4] = exactlyZero(uL - dotD(uL, dh) * dh) ||
                    (std::fabs(pk) > tiny && lengthD(uL - dotD(uL, dh) * dh) > tiny && angleOk(c));
        }
        {  // horizontal adduction right
            const D3 k = unitD(crossD(dh, sR));
            const D3 p = unitD(uR - dotD(uR, dh) * dh);
            const D3 a = unitD(crossD(k, dh));
            const double c = clampD(dotD(a, p));
            const double pk = dotD(p, k);
            v[5] = (pk > 0 ? -1.0 : 1.0) * degD(c);
            ok[5] = exactlyZero(uR - dotD(uR, dh) * dh) ||
                    (std::fabs(pk) > tiny && lengthD(uR - dotD(uR, dh) * dh) > tiny && angleOk(c));
        }
        {  // rotation left
            const D3 c = crossD(uL, dh);
            const D3 r = unitD(crossD(uL, c));
            const D3 uh = unitD(uL);
            const D3 qRaw = fL - dotD(fL, uh) * uh;
            const D3 q = unitD(qRaw);
            const double cc = clampD(dotD(r, q));
            v[6] = degD(cc);
            ok[6] = exactlyZero(fL) || (lengthD(qRaw) > tiny && lengthD(c) > tiny && angleOk(cc));
        }
        {  // rotation right
            const D3 c = crossD(dh, uR);
            const D3 r = unitD(crossD(c, uR));
            const D3 uh = unitD(uR);
            const D3 qRaw = fR - dotD(fR, uh) * uh;
            const D3 q = unitD(qRaw);
            const double cc = clampD(dotD(r, q));
            v[7] = degD(cc);
            ok[7] = exactlyZero(fR) || (lengthD(qRaw) > tiny && lengthD(c) > tiny && angleOk(cc));
        }
        const double e2 = clampD(dotD(unitD(uL), dh)), e3 = clampD(dotD(unitD(uR), dh));
        v[2] = degD(e2);
        v[3] = degD(e3);
        ok[2] = angleOk(e2);
        ok[3] = angleOk(e3);
        const double c0 = clampD(-dotD(unitD(uL), unitD(fL))), c1 = clampD(-dotD(unitD(uR), unitD(fR)));
        v[0] = degD(c0);
        v[1] = degD(c1);
        ok[0] = angleOk(c0);
        ok[1] = angleOk(c1);
        if (v[0] > 150) v[6] = 0;
        if (v[1] > 150) v[7] = 0;
        if (std::fabs(v[0] - 150) < 0.05) ok[6] = false;
        if (std::fabs(v[1] - 150) < 0.05) ok[7] = false;

        const D3 w = WR - WL;
        v[10] = lengthD(w);
        {
            const D3 pRaw = w - dotD(w, normal) * normal;
            const D3 p = unitD(pRaw);
            const double c = clampD(dotD(right, p));
            const double pu = dotD(p, up);
            v[8] = (pu > 0 ? -1.0 : 1.0) * degD(c);
            ok[8] = exactlyZero(w) || (out.confidence.bodyFrame && std::fabs(pu) > tiny && lengthD(pRaw) > tiny && angleOk(c));
        }
        {
            const D3 pRaw = w - dotD(w, up) * up;
            const D3 p = unitD(pRaw);
            const double c = clampD(dotD(right, p));
            const double pn = dotD(p, normal);
            v[9] = (pn < 0 ? -1.0 : 1.0) * degD(c);
            ok[9] = exactlyZero(w) || (out.confidence.bodyFrame && std::fabs(pn) > tiny && lengthD(pRaw) > tiny && angleOk(c));
        }
        v[11] = dotD(normal, 0.5 * (WL + WR) - SP);
        ok[11] = out.confidence.bodyFrame;
        return out;
    }
};

// ---------------------------------------------------------------------------------------------
// Segmentation and classification

constexpr int HISTORY = 150;

struct Settings {
    float velocityLowThreshold = 4.0f;
    float velocityHighThreshold = 1.0f;
    int maxMovingWindowSize = 12;
    int minRecognitionIntervalLength = 8;
    float poseRecognitionThreshold = 20.0f;
    SimilarityMeasure measure = SimilarityMeasure::DTW;
    float gestureRecognitionThreshold = 35.0f;
    int numberOfNeighbours = 3;
};

struct Record {
    ArmPose pose{};
    bool marked = false;
    int32_t frameNumber = 0;
    float speed = 0.0f;
};

struct Interval {
    int32_t start = 0, end = 0;
    int length = 0;
};

struct Result {
    int classIndex = -1;
    float points = -1.0f;
    Interval interval;
};

// What one worker run did, for the comparison.
struct WorkerRun {
    std::vector<int32_t> marksCopy;
    std::vector<Interval> candidates;  // longer than 20 frames, in classification order
    std::vector<Result> results;       // one per candidate
    int winner = -1;                   // index into results
    bool reported = false;
};

inline float poseDist(const ArmPose& a, const ArmPose& b, GestureType type) {
    int first = 0, step = 1;
    if (type == GestureType::LEFT) step = 2;
    else if (type == GestureType::RIGHT) first = 1, step = 2;
    else if (type != GestureType::BOTH) return 1e9f;
    double s = 0.0;
    for (int i = first; i < ARM_ANGLE_COUNT; i += step) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        s += d * d;
    }
    return static_cast<float>(std::sqrt(s));
}

// Resampling to n poses evenly spaced along the path (BOTH distances), as the text describes.
inline std::vector<ArmPose> resample(const std::vector<ArmPose>& in, int n) {
    if (in.empty()) return in;
    if (in.size() == 1) return std::vector<ArmPose>(static_cast<size_t>(n), in[0]);
    double path = 0.0;
    for (size_t i = 1; i < in.size(); ++i) path += poseDist(in[i - 1], in[i], GestureType::BOTH);
    const double step = path / (n - 1);
    std::vector<ArmPose> out{in[0]};
    std::vector<ArmPose> work = in;
    double D = 0.0;
    for (size_t i = 1; i < work.size(); ++i) {
        const ArmPose& p = work[i - 1];
        const ArmPose q = work[i];
        const double w = poseDist(p, q, GestureType::BOTH);
        if (step < D + w) {
            ArmPose r{};
            const double t = (step - D) / w;
            for (int k = 0; k < ARM_POSE_SIZE; ++k) r[k] = static_cast<float>(p[k] + t * (q[k] - p[k]));
            out.push_back(r);
            work.insert(work.begin() + static_cast<long>(i), r);
            D = 0.0;
            if (out.size() > 10000) return {in[0]};
        } else {
            D += w;
        }
    }
    if (static_cast<int>(out.size()) == n) out.pop_back();
    out.push_back(in.back());
    return out;
}

inline ArmPose restReference() {
    ArmPose p{};
    p[0] = p[1] = 155.0f;
    p[2] = p[3] = 15.0f;
    return p;
}

struct Recognizer {
    Settings settings;
    const GestureSetList* sets = nullptr;
    std::array<ArmPose, 3> window{};
    ArmPose previousMean{};
    int32_t counter = 0;
    std::deque<Record> history = std::deque<Record>(HISTORY);
    std::deque<int32_t> marks;
    std::deque<std::string> results;
    std::ostringstream console;
    int lastClass = -1;
    uint32_t lastMs = 0;
    // Per frame: the worker run of this frame, when one was started.
    bool workerStarted = false;
    int windowSize = 0;  // the number of marks before the worker ran
    WorkerRun run;
    mutable SimilarityScratch scratch;

    int indexOf(int32_t frame) const {
        for (int i = HISTORY - 1; i >= 0; --i)
            if (history[static_cast<size_t>(i)].frameNumber == frame) return i;
        return -1;
    }

    // A training request: nothing recorded so far may be captured.
    void requestTraining() {
        marks.clear();
        for (Record& r : history) r.marked = true;
    }

    // `pendingBefore`: a training capture was armed when the frame began; `pendingAfter`: it
    // still is after the capture step (which the model leaves to the real code).
    void frame(const ArmPose& pose, bool recognise, uint32_t nowMs, bool pendingBefore = false,
               bool pendingAfter = false) {
        workerStarted = false;
        run = WorkerRun{};
        window[0] = window[1];
        window[1] = window[2];
        window[2] = pose;
        ArmPose M{};
        for (int i = 0; i < ARM_POSE_SIZE; ++i)
            M[i] = static_cast<float>((static_cast<double>(window[0][i]) + window[1][i] + window[2][i]) / 3.0);
        const double raw = poseDist(M, previousMean, GestureType::BOTH);
        const float prev = history.back().speed;
        const float v = static_cast<float>(0.5 * raw + 0.5 * prev);
        previousMean = M;
        Record rec;
        rec.pose = M;
        counter = (counter + 1) % 10000000;
        rec.frameNumber = counter;
        rec.speed = v;

        if (recognise && !pendingBefore) {
            const float low = settings.velocityLowThreshold, high = settings.velocityHighThreshold;
            bool marked = false;
            if ((v < low && low < prev) || (prev < high && high < v)) {
                marked = true;
            } else {
                // The newest k records (a mark every k + 1 frames of unbroken history).
                bool quiet = true;
                for (int i = 0; i < settings.minRecognitionIntervalLength && i < HISTORY; ++i)
                    if (history[static_cast<size_t>(HISTORY - 1 - i)].marked) quiet = false;
                if (v < low || v > high) marked = quiet;
                else marked = quiet && poseCheck(M);
            }
            if (marked) {
                rec.marked = true;
                marks.push_back(rec.frameNumber);
            }
        }
        if (!recognise) {
            history.back().marked = true;
            if (!pendingBefore && poseDist(M, restReference(), GestureType::BOTH) < settings.poseRecognitionThreshold &&
                (lastClass != -2 || nowMs - lastMs >= 500u)) {
                results.push_back("DEFAULT_GESTURE");
                console << "gesture recognized as: DEFAULT_GESTURE \n";
                lastClass = -2;
                lastMs = nowMs;
            }
        }
        history.push_back(rec);
        history.pop_front();
        if (!marks.empty() && indexOf(marks.front()) < 0) marks.pop_front();
        while (static_cast<int>(marks.size()) > settings.maxMovingWindowSize) {
            const int i = indexOf(marks.front());
            if (i >= 0) history[static_cast<size_t>(i)].marked = false;
            marks.pop_front();
        }
        windowSize = static_cast<int>(marks.size());
        if (recognise && !pendingAfter) {
            workerStarted = true;
            worker(std::vector<int32_t>(marks.begin(), marks.end()), nowMs);
        }
    }

    bool poseCheck(const ArmPose& M) const {
        for (const GestureSet& set : *sets) {
            if (set.gestures.empty() || set.gestures[0].poses.empty()) continue;
            const Gesture& g = set.gestures[0];
            return poseDist(M, g.poses.front(), set.type) < settings.poseRecognitionThreshold ||
                   poseDist(M, g.poses.back(), set.type) < settings.poseRecognitionThreshold;
        }
        return false;
    }

    void worker(const std::vector<int32_t>& marksCopy, uint32_t nowMs) {
        run.marksCopy = marksCopy;
        if (static_cast<int>(marksCopy.size()) < settings.maxMovingWindowSize) return;
        for (size_t a = 0; a < marksCopy.size(); ++a) {
            for (size_t b = a + 1; b < marksCopy.size(); ++b) {
                const int ia = indexOf(marksCopy[a]), ib = indexOf(marksCopy[b]);
                if (ia < 0 || ib < 0) continue;
                Interval in{marksCopy[a], marksCopy[b], ib - ia + 1};
                if (in.length > 20) run.candidates.push_back(in);
            }
        }
        for (const Interval& in : run.candidates) run.results.push_back(classifyInterval(in));
        int best = -1;
        for (size_t i = 0; i < run.results.size(); ++i) {
            if (run.results[i].classIndex == -1) continue;
            if (best < 0 || run.results[i].interval.length > run.results[static_cast<size_t>(best)].interval.length)
                best = static_cast<int>(i);
        }
        run.winner = best;
        if (best < 0) return;
        const Result& r = run.results[static_cast<size_t>(best)];
        if (r.classIndex != lastClass || nowMs - lastMs >= 2000u) {
            results.push_back(r.classIndex == -2 ? std::string("DEFAULT_GESTURE") : std::to_string(r.classIndex));
            console << "gesture recognized as: " << r.classIndex << ", points: " << r.points << "\n"
                    << (nowMs - lastMs) << "\n";
            lastClass = r.classIndex;
            lastMs = nowMs;
            run.reported = true;
        }
        int endAt = -1;
        for (size_t i = 0; i < marks.size(); ++i)
            if (marks[i] == r.interval.end) endAt = static_cast<int>(i);
        for (int i = 0; i < endAt; ++i) {
            const int h = indexOf(marks.front());
            if (h >= 0) history[static_cast<size_t>(h)].marked = false;
            marks.pop_front();
        }
    }

    // The candidate as classification sees it: cut, resampled, typed. `single` poses for a held
    // pose. Returns false with `result` set when it is decided without classification.
    bool candidate(const Interval& in, Gesture& g, Result& result) const {
        result.interval = in;
        const int s = indexOf(in.start);
        if (s < 0) return false;
        for (int i = s; i < s + in.length && i < HISTORY; ++i) g.poses.push_back(history[static_cast<size_t>(i)].pose);
        // A stretch of equal poses resamples to its two ends and is decided without a class.
        if (g.poses.size() > 64) {
#ifdef REF_USE_REAL_RESAMPLE
            resampleGesture(g, 64);
#else
            g.poses = resample(g.poses, 64);
#endif
            if (g.poses.size() != 64) return false;
        }
        bool staticArm[2] = {true, true};
        for (int f = 0; f < ARM_ANGLE_COUNT; ++f) {
            double sum = 0.0, sq = 0.0;
            for (const ArmPose& p : g.poses) {
                sum += p[f];
                sq += static_cast<double>(p[f]) * p[f];
            }
            const double n = static_cast<double>(g.poses.size());
            const double var = sq / n - (sum / n) * (sum / n);
            if (var > 20.0) staticArm[f % 2] = false;
        }
        if (staticArm[0] && staticArm[1]) {
            ArmPose mean{};
            for (int k = 0; k < ARM_POSE_SIZE; ++k) {
                double sum = 0.0;
                for (const ArmPose& p : g.poses) sum += p[k];
                mean[k] = static_cast<float>(sum / static_cast<double>(g.poses.size()));
            }
            g.poses.assign(1, mean);
            const bool nearL = poseDist(mean, restReference(), GestureType::LEFT) < settings.poseRecognitionThreshold;
            const bool nearR = poseDist(mean, restReference(), GestureType::RIGHT) < settings.poseRecognitionThreshold;
            if (nearL && nearR) {
                result.classIndex = -2;
                result.points = 1e7f;
                return false;
            }
            g.type = nearL ? GestureType::RIGHT : nearR ? GestureType::LEFT : GestureType::BOTH;
            clearArm(g, nearL ? 0 : nearR ? 1 : -1);
            return true;
        }
        g.type = GestureType::BOTH;
        if (staticArm[0]) {
            clearArm(g, 0);
            g.type = GestureType::RIGHT;
        }
        if (staticArm[1]) {
            clearArm(g, 1);
            g.type = GestureType::LEFT;
        }
        return true;
    }

    static void clearArm(Gesture& g, int arm) {
        if (arm < 0) return;
        for (ArmPose& p : g.poses)
            for (int i = arm; i < ARM_ANGLE_COUNT; i += 2) p[i] = 0.0f;
    }

    Result classifyInterval(const Interval& in) const {
        Gesture g;
        Result r;
        if (!candidate(in, g, r)) return r;
        const Result c = classify(g);
        r.classIndex = c.classIndex;
        r.points = c.points;
        return r;
    }

    Result classify(const Gesture& g) const {
        Result r;
        const bool single = g.poses.size() == 1;
        const float factor = g.type == GestureType::BOTH ? 1.5f : 1.0f;
        const GestureSetList& list = *sets;
        if (settings.measure == SimilarityMeasure::MODIFIED_FM) {
            // No neighbours: each set of the candidate's type scores the candidate, and the last
            // set that accepts it is the class. The measure's own single-pose rules decide with
            // the set's first example: a pose against a movement (or the reverse) is 1e7, two
            // poses are compared as poses; only two movements take the density ratio.
            int last = -1;
            for (size_t s = 0; s < list.size(); ++s) {
                if (list[s].type != g.type || list[s].gestures.empty()) continue;
                const Gesture& example = list[s].gestures.front();
                const bool exampleSingle = example.poses.size() == 1;
                float d = 1e7f;
                if (single && exampleSingle) {
                    d = poseDistance(g.poses[0], example.poses[0], example.type);
                } else if (!single && !exampleSingle) {
                    d = modifiedFmScore(g, static_cast<int>(s), list);
                }
                const bool accepted =
                    d < 1e7f && (!single || d < factor * settings.poseRecognitionThreshold);
                if (accepted) last = static_cast<int>(s);
            }
            if (last >= 0) {
                r.classIndex = last;
                r.points = 1e-7f;
            }
            return r;
        }
        const float T = factor * (single ? settings.poseRecognitionThreshold : settings.gestureRecognitionThreshold);
        std::vector<std::pair<int, float>> pairs;
        for (size_t s = 0; s < list.size(); ++s) {
            if (list[s].type != g.type) continue;
            for (const Gesture& t : list[s].gestures) {
                const float d = gestureDistance(g, t, static_cast<int>(s), settings.measure, list, scratch);
                if (d < T) pairs.emplace_back(static_cast<int>(s), d);
            }
        }
        if (static_cast<int>(pairs.size()) < settings.numberOfNeighbours) return r;
        std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        std::vector<std::pair<int, double>> scores;
        for (int i = 0; i < settings.numberOfNeighbours; ++i) {
            auto it = std::find_if(scores.begin(), scores.end(), [&](const auto& s) { return s.first == pairs[static_cast<size_t>(i)].first; });
            if (it == scores.end()) {
                scores.emplace_back(pairs[static_cast<size_t>(i)].first, 0.0);
                it = scores.end() - 1;
            }
            it->second += 1.0 / pairs[static_cast<size_t>(i)].second;
        }
        if (scores.empty()) return r;
        size_t best = 0;
        for (size_t i = 1; i < scores.size(); ++i)
            if (scores[i].second > scores[best].second) best = i;
        r.classIndex = scores[best].first;
        r.points = static_cast<float>(scores[best].second);
        return r;
    }
};

}  // namespace reference
