#pragma once
// An independent double-precision model of the pose-sequence operations, the nine similarity
// measures and the storing of trained examples, written from the recogniser's documented rules
// without looking at the production code. Tests compare the real single-precision code with it.
//
// Deliberate choices where the rules leave a gap or would misbehave (the production code makes
// the same sound choices, see the test file):
//   - resampling to fewer than two poses leaves the gesture unchanged;
//   - a motionless interval longer than 64 poses fails the resampling to 64 (no result), as
//     any interval does that cannot be resampled;
//   - a speed-weighted measure whose slower gesture does not move at all is not comparable (1e7);
//   - MODIFIED_PEARSON pools the set's variances on the fly when they were never computed;
//   - MODIFIED_FM with no other set counts the out-of-class density as 0.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace similarity_reference {

constexpr int POSE_VALUES = 18;
constexpr int FEATURES = 8;
constexpr int LEFT = 0, RIGHT = 1, BOTH = 2, UNDEFINED = 3;

enum Measure {
    EUCLIDEAN = 0,
    PEARSON_CORRELATION = 1,
    PEARSON_CORRELATION_SQUARED = 2,
    MODIFIED_EUCLIDEAN = 3,
    MODIFIED_PEARSON = 4,
    DTW = 5,
    MODIFIED_DTW = 6,
    FM = 7,
    MODIFIED_FM = 8
};

using Pose = std::array<double, POSE_VALUES>;
using Features = std::array<double, FEATURES>;

struct RefGesture {
    std::vector<Pose> poses;
    int type = UNDEFINED;
};

struct RefSet {
    std::vector<RefGesture> gestures;
    std::vector<double> classVariances;  // empty until computed
    int type = UNDEFINED;
};

// The feature vector takes the left arm's four angles first, then the right arm's.
constexpr std::array<int, FEATURES> FEATURE_INDEX = {0, 2, 4, 6, 1, 3, 5, 7};

inline double poseDistance(const Pose& a, const Pose& b, int type) {
    static const int left[] = {0, 2, 4, 6}, right[] = {1, 3, 5, 7}, both[] = {0, 1, 2, 3, 4, 5, 6, 7};
    const int* used = nullptr;
    int count = 0;
    if (type == LEFT) {
        used = left;
        count = 4;
    } else if (type == RIGHT) {
        used = right;
        count = 4;
    } else if (type == BOTH) {
        used = both;
        count = 8;
    } else {
        return 1e9;
    }
    double sum = 0.0;
    for (int i = 0; i < count; ++i) sum += (a[used[i]] - b[used[i]]) * (a[used[i]] - b[used[i]]);
    return std::sqrt(sum);
}

inline double pathLength(const RefGesture& g) {
    double length = 0.0;
    for (std::size_t i = 1; i < g.poses.size(); ++i) length += poseDistance(g.poses[i - 1], g.poses[i], BOTH);
    return length;
}

inline Pose meanPose(const RefGesture& g) {
    Pose mean{};
    if (g.poses.empty()) return mean;
    for (const Pose& p : g.poses)
        for (int v = 0; v < POSE_VALUES; ++v) mean[v] += p[v];
    for (double& v : mean) v /= static_cast<double>(g.poses.size());
    return mean;
}

// Population variance, (sum of squares) / N - mean^2, evaluated as the mean squared deviation
// so that a held feature comes out exactly 0 in double precision.
inline Features variance(const RefGesture& g) {
    Features var{};
    if (g.poses.empty()) return var;
    const double n = static_cast<double>(g.poses.size());
    for (int f = 0; f < FEATURES; ++f) {
        double sum = 0.0;
        for (const Pose& p : g.poses) sum += p[FEATURE_INDEX[f]];
        const double mean = sum / n;
        double squares = 0.0;
        for (const Pose& p : g.poses) squares += (p[FEATURE_INDEX[f]] - mean) * (p[FEATURE_INDEX[f]] - mean);
        var[f] = squares / n;
    }
    return var;
}

inline Features fmVector(const RefGesture& g) {
    Features fm{};
    if (g.poses.empty()) return fm;
    const double n = static_cast<double>(g.poses.size());
    for (int f = 0; f < FEATURES; ++f) {
        double s = 0.0;
        for (std::size_t i = 1; i < g.poses.size(); ++i) {
            const double step = g.poses[i][FEATURE_INDEX[f]] - g.poses[i - 1][FEATURE_INDEX[f]];
            s += step * step;
        }
        fm[f] = std::log(1.0 + s / n);
    }
    return fm;
}

inline Pose interpolate(const Pose& p, const Pose& q, double t) {
    Pose r{};
    for (int v = 0; v < POSE_VALUES; ++v) r[v] = p[v] + t * (q[v] - p[v]);
    return r;
}

// The walk along the path: a new pose every `step` of BOTH-distance, each new pose starting the
// next segment; the gesture's own last pose always closes the result.
inline void resample(RefGesture& g, int n) {
    if (g.poses.empty() || n < 2) return;
    if (g.poses.size() == 1) {
        g.poses.assign(static_cast<std::size_t>(n), g.poses[0]);
        return;
    }
    const double step = pathLength(g) / static_cast<double>(n - 1);
    std::vector<Pose> out{g.poses.front()};
    std::vector<Pose> work = g.poses;
    double walked = 0.0;
    for (std::size_t i = 1; i < work.size(); ++i) {
        const Pose p = work[i - 1];
        const Pose q = work[i];
        const double w = poseDistance(p, q, BOTH);
        if (step < walked + w) {
            const Pose r = interpolate(p, q, (step - walked) / w);
            out.push_back(r);
            work.insert(work.begin() + static_cast<std::ptrdiff_t>(i), r);
            walked = 0.0;
            if (out.size() > 10000) {
                g.poses.resize(1);
                return;
            }
        } else {
            walked += w;
        }
    }
    if (out.size() == static_cast<std::size_t>(n)) out.pop_back();
    out.push_back(g.poses.back());
    g.poses = out;
}

// Variances with the all-poses-of-the-set pooling used as class variances.
inline Features pooledVariance(const RefSet& set) {
    RefGesture all;
    for (const RefGesture& g : set.gestures) all.poses.insert(all.poses.end(), g.poses.begin(), g.poses.end());
    return variance(all);
}

inline void computeClassVariances(RefSet& set) {
    const Features v = pooledVariance(set);
    set.classVariances.assign(v.begin(), v.end());
}

inline double euclidean(const RefGesture& a, const RefGesture& b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.poses.size(); ++i) {
        const double d = poseDistance(a.poses[i], b.poses[i], BOTH);
        sum += d * d;
    }
    return std::sqrt(sum) / static_cast<double>(a.poses.size());
}

inline double dtw(const RefGesture& a, const RefGesture& b) {
    const int n = static_cast<int>(a.poses.size()) - 1;
    const int m = static_cast<int>(b.poses.size()) - 1;
    const int band = std::max(n, m) / 10;
    std::vector<std::vector<double>> cost(static_cast<std::size_t>(n + 1),
                                          std::vector<double>(static_cast<std::size_t>(m + 1), 1e7));
    cost[0][0] = 0.0;
    for (int i = 1; i <= n; ++i) {
        for (int k = std::max(1, i - band); k <= std::min(m, i + band); ++k) {
            const double best = std::min({cost[i - 1][k], cost[i][k - 1], cost[i - 1][k - 1]});
            cost[i][k] = best + poseDistance(a.poses[i], b.poses[k], BOTH);
        }
    }
    return cost[n][m] / static_cast<double>(std::min(a.poses.size(), b.poses.size()));
}

// max/min of the mean step lengths; 0 when the slower one does not move (not comparable).
inline double speedRatio(const RefGesture& a, const RefGesture& b) {
    const double ma = pathLength(a) / static_cast<double>(a.poses.size());
    const double mb = pathLength(b) / static_cast<double>(b.poses.size());
    if (std::min(ma, mb) <= 0.0) return 0.0;
    return std::max(ma, mb) / std::min(ma, mb);
}

inline double fmDistance(const RefGesture& a, const RefGesture& b) {
    const Features fa = fmVector(a), fb = fmVector(b);
    double sum = 0.0;
    for (int f = 0; f < FEATURES; ++f) sum += (fa[f] - fb[f]) * (fa[f] - fb[f]);
    return std::sqrt(sum);
}

inline double orFloor(double v) { return v == 0.0 ? 0.0001 : v; }

// Pearson family; classVar non-null selects MODIFIED_PEARSON.
inline double pearson(const RefGesture& a, const RefGesture& b, int measure, const Features* classVar) {
    const Pose meanA = meanPose(a), meanB = meanPose(b);
    const Features varA = variance(a), varB = variance(b);
    double sum = 0.0;
    for (int f = 0; f < FEATURES; ++f) {
        const int v = FEATURE_INDEX[f];
        double cov = 0.0;
        for (std::size_t i = 0; i < a.poses.size(); ++i)
            cov += (a.poses[i][v] - meanA[v]) * (b.poses[i][v] - meanB[v]);
        const double r = classVar != nullptr ? cov / std::sqrt(orFloor((*classVar)[f]) * orFloor(varA[f]))
                                             : cov / std::sqrt(orFloor(varA[f]) * orFloor(varB[f]));
        sum += measure == PEARSON_CORRELATION_SQUARED ? (1.0 - r) * (1.0 - r) : (1.0 - r);
    }
    return sum / static_cast<double>(a.poses.size());
}

// The gesture threshold each measure brings when it is selected; -1 outside the table.
inline double defaultThreshold(int measure) {
    static const double table[] = {25, 0.5, 0.5, 2.4, 0.5, 35, 30, 1, 1e7};
    return measure >= 0 && measure <= 8 ? table[measure] : -1.0;
}

// Cauchy kernel density of x under `sample`, bandwidth n^(-1/4).
inline double cauchyDensity(double x, const std::vector<double>& sample) {
    if (sample.empty()) return 0.0;
    const double n = static_cast<double>(sample.size());
    const double h = std::pow(n, -0.25);
    const double pi = 3.1415925;
    double sum = 0.0;
    for (double xi : sample) {
        const double u = (x - xi) / h;
        sum += 1.0 / (pi * (1.0 + u * u));
    }
    return sum / (n * h);
}

inline double modifiedFm(const RefGesture& candidate, int setIndex, const std::vector<RefSet>& sets) {
    const RefSet& own = sets[static_cast<std::size_t>(setIndex)];
    Features mean{};
    for (const RefGesture& g : own.gestures) {
        const Features fm = fmVector(g);
        for (int f = 0; f < FEATURES; ++f) mean[f] += fm[f];
    }
    for (double& v : mean) v /= static_cast<double>(own.gestures.size());
    const Features fa = fmVector(candidate);
    std::vector<Features> withinFm, outsideFm;
    for (std::size_t s = 0; s < sets.size(); ++s)
        for (const RefGesture& g : sets[s].gestures)
            (static_cast<int>(s) == setIndex ? withinFm : outsideFm).push_back(fmVector(g));
    double sum = 0.0;
    for (int f = 0; f < FEATURES; ++f) {
        std::vector<double> within, outside;
        for (const Features& v : withinFm) within.push_back(v[f] - mean[f]);
        for (const Features& v : outsideFm) outside.push_back(v[f] - mean[f]);
        const double diff = fa[f] - mean[f];
        const double p = cauchyDensity(diff, within);
        const double q = cauchyDensity(diff, outside);
        sum += 2.0 * std::log(p + 1.0) - std::log(q + 1.0);
    }
    return 1.0 / sum;
}

inline double gestureDistance(const RefGesture& a, const RefGesture& b, int setIndex, int measure,
                              const std::vector<RefSet>& sets) {
    const bool singleA = a.poses.size() == 1, singleB = b.poses.size() == 1;
    if (singleA && singleB) return poseDistance(a.poses[0], b.poses[0], b.type);
    if (singleA != singleB) return 1e7;
    if (measure > 8) return 1e7;
    RefGesture candidate = a;
    if (measure <= MODIFIED_PEARSON && candidate.poses.size() != b.poses.size()) {
        resample(candidate, static_cast<int>(b.poses.size()));
        if (candidate.poses.size() != b.poses.size()) return 1e7;
    }
    switch (measure) {
        case EUCLIDEAN:
            return euclidean(candidate, b);
        case MODIFIED_EUCLIDEAN: {
            const double ratio = speedRatio(a, b);
            return ratio == 0.0 ? 1e7 : euclidean(candidate, b) * ratio;
        }
        case PEARSON_CORRELATION:
        case PEARSON_CORRELATION_SQUARED:
            return pearson(candidate, b, measure, nullptr);
        case MODIFIED_PEARSON: {
            const RefSet& set = sets[static_cast<std::size_t>(setIndex)];
            Features classVar{};
            if (set.classVariances.size() == FEATURES) {
                std::copy(set.classVariances.begin(), set.classVariances.end(), classVar.begin());
            } else {
                classVar = pooledVariance(set);
            }
            return pearson(candidate, b, measure, &classVar);
        }
        case DTW:
            return dtw(a, b);
        case MODIFIED_DTW: {
            const double ratio = speedRatio(a, b);
            return ratio == 0.0 ? 1e7 : dtw(a, b) * ratio;
        }
        case FM:
            return fmDistance(a, b);
        default:
            return modifiedFm(a, setIndex, sets);
    }
}

// ---- Typing a cut interval and storing it as a trained example. ----

constexpr int RESAMPLE_LENGTH = 64;

inline Pose restReference() {
    Pose p{};
    p[0] = p[1] = 155.0;
    p[2] = p[3] = 15.0;
    return p;
}

// What cutting and typing made of an interval: `defaultGesture` when both arms held still at
// rest, `failed` when resampling a long interval did not give 64 poses.
struct Typed {
    RefGesture gesture;
    bool defaultGesture = false;
    bool failed = false;
};

inline void clearArm(RefGesture& g, int firstValue) {
    for (Pose& p : g.poses)
        for (int v = firstValue; v < FEATURES; v += 2) p[v] = 0.0;
}

inline Typed typeInterval(std::vector<Pose> poses, double poseThreshold) {
    Typed out;
    out.gesture.poses = std::move(poses);
    // A stretch of equal poses resamples to its two ends only, so it fails here like any other
    // stretch that does not reach 64 poses.
    if (out.gesture.poses.size() > RESAMPLE_LENGTH) {
        resample(out.gesture, RESAMPLE_LENGTH);
        if (out.gesture.poses.size() != RESAMPLE_LENGTH) {
            out.failed = true;
            return out;
        }
    }
    const Features var = variance(out.gesture);
    const bool leftStatic = var[0] <= 20 && var[1] <= 20 && var[2] <= 20 && var[3] <= 20;
    const bool rightStatic = var[4] <= 20 && var[5] <= 20 && var[6] <= 20 && var[7] <= 20;
    if (leftStatic && rightStatic) {
        const Pose mean = meanPose(out.gesture);
        out.gesture.poses = {mean};
        const bool nearL = poseDistance(mean, restReference(), LEFT) < poseThreshold;
        const bool nearR = poseDistance(mean, restReference(), RIGHT) < poseThreshold;
        if (nearL && nearR) {
            out.defaultGesture = true;
        } else if (nearL) {
            out.gesture.type = RIGHT;
            clearArm(out.gesture, 0);
        } else if (nearR) {
            out.gesture.type = LEFT;
            clearArm(out.gesture, 1);
        } else {
            out.gesture.type = BOTH;
        }
        return out;
    }
    out.gesture.type = BOTH;
    if (leftStatic) {
        clearArm(out.gesture, 0);
        out.gesture.type = RIGHT;
    }
    if (rightStatic) {
        clearArm(out.gesture, 1);
        out.gesture.type = LEFT;
    }
    return out;
}

inline const char* typeName(int type) {
    switch (type) {
        case LEFT: return "LEFT";
        case RIGHT: return "RIGHT";
        case BOTH: return "BOTH";
        case UNDEFINED: return "UNDEFINED";
        default: return "NO GESTURE TYPE";
    }
}

struct Trainer {
    std::vector<RefSet> sets;
    int currentSet = 0;
    int currentGesture = 0;
    bool pending = false;
    bool newSet = false;
    bool replace = false;
    int measure = DTW;
    double poseThreshold = 20.0;
    std::deque<std::string> results;
    std::string console;

    void request(bool wantNewSet, bool wantReplace) {
        pending = true;
        newSet = wantNewSet;
        replace = wantReplace;
    }

    // The cut interval's mean poses, trained as the armed request says.
    void train(const std::vector<Pose>& cut) {
        Typed typed = typeInterval(cut, poseThreshold);
        if (typed.failed || typed.defaultGesture) return;
        RefGesture g = std::move(typed.gesture);
        bool resampledWell = true;
        // A held pose stays one pose, as the held-pose candidates it must match are.
        if (measure <= MODIFIED_PEARSON && g.poses.size() != 1) {
            resample(g, RESAMPLE_LENGTH);
            if (g.poses.size() != RESAMPLE_LENGTH) {
                console += "Resampling error!\n";
                resampledWell = false;
            }
        }
        if (newSet) {
            RefSet set;
            set.type = g.type;
            set.gestures.push_back(g);
            sets.push_back(set);
            currentSet = static_cast<int>(sets.size()) - 1;
            currentGesture = 0;
            results.push_back("NEW_GESTURE_SET");
            results.push_back("GESTURE_TRAINED");
            console += std::string("Successfully created a new ") + typeName(g.type) + " gesture set!\n";
        } else {
            RefSet& set = sets.at(static_cast<std::size_t>(currentSet));
            if (g.type != set.type) {
                results.push_back("GESTURE_NOT_TRAINED");
                pending = false;
                return;
            }
            if (replace) {
                set.gestures.at(static_cast<std::size_t>(currentGesture)) = g;
                console += "Successfully replaced a gesture!\n";
            } else {
                set.gestures.push_back(g);
                currentGesture = static_cast<int>(set.gestures.size()) - 1;
                console += "Successfully trained a gesture!\n";
            }
            results.push_back("GESTURE_TRAINED");
        }
        if (resampledWell && measure == MODIFIED_PEARSON) computeClassVariances(sets.at(static_cast<std::size_t>(currentSet)));
        pending = false;
    }
};

}  // namespace similarity_reference
