// Gesture-set files against an independent byte-level model of the format: the program's
// encoder and save must produce the model's bytes, files the model writes must load to the same
// sets, and damaged files must be refused exactly when the model refuses them, leaving the sets
// in memory alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/gesture/gesture_recognizer.h"
#include "common/gesture/gesture_set_file.h"
#include "recognizer_test_helpers.h"
#include "reference_set_file.h"

using set_file_ref::RefGesture;
using set_file_ref::RefSet;

namespace {

// Deterministic draws from raw generator output, so the cases do not depend on how the
// standard library shapes its distributions.
struct Draw {
    std::mt19937 engine;
    explicit Draw(uint32_t seed) : engine(seed) {}
    uint32_t bits() { return static_cast<uint32_t>(engine()); }
    int upTo(int n) { return static_cast<int>(bits() % static_cast<uint32_t>(n + 1)); }  // 0..n
    bool chance(int percent) { return upTo(99) < percent; }
    float unit() { return static_cast<float>(bits() >> 8) / 16777216.0f; }  // [0, 1)

    // Mostly plausible angles and metres, sometimes the far corners of the finite floats.
    float value() {
        static const float extremes[] = {FLT_MAX, -FLT_MAX, FLT_MIN, -FLT_MIN, 0.0f, -0.0f,
                                         1e-45f /* smallest subnormal */, -1e-45f, 1e38f, -3.5e-40f,
                                         16777217.0f, 1.0f};
        if (chance(8)) return extremes[upTo(static_cast<int>(std::size(extremes)) - 1)];
        if (chance(10)) {
            // Any finite bit pattern.
            for (;;) {
                const float f = set_file_ref::bitsFloat(bits());
                if (std::isfinite(f)) return f;
            }
        }
        return (unit() - 0.5f) * 360.0f;
    }
};

RefGesture randomGesture(Draw& draw, int maxPoses) {
    RefGesture g;
    const int poses = draw.chance(15) ? 64 : 1 + draw.upTo(maxPoses - 1);
    g.poses.resize(static_cast<size_t>(poses));
    for (auto& pose : g.poses)
        for (float& v : pose) v = draw.value();
    // Usually one skeleton per pose, but the counts are independent in the format.
    const int skeletons = draw.chance(70) ? poses : draw.upTo(maxPoses);
    g.skeletons.resize(static_cast<size_t>(skeletons));
    for (auto& skeleton : g.skeletons)
        for (float& v : skeleton) v = draw.value();
    g.type = draw.upTo(3);
    return g;
}

std::vector<RefSet> randomSets(Draw& draw, int maxSets, int maxGestures, int maxPoses) {
    std::vector<RefSet> sets(static_cast<size_t>(1 + draw.upTo(maxSets - 1)));
    for (RefSet& set : sets) {
        const int gestures = 1 + draw.upTo(maxGestures - 1);
        for (int k = 0; k < gestures; ++k) set.gestures.push_back(randomGesture(draw, maxPoses));
        set.type = set.gestures.front().type;
    }
    return sets;
}

// The program's records for the model's sets. Everything the file does not keep (joint w,
// the record's other fields, the set's own type, class variances) is filled with noise so that
// any of it leaking into the file shows.
GestureSetList toProgram(const std::vector<RefSet>& sets, Draw& draw) {
    GestureSetList out;
    for (const RefSet& rs : sets) {
        GestureSet set;
        set.type = static_cast<GestureType>(draw.upTo(3));
        for (int f = 0; f < 8; ++f) set.classVariances.push_back(draw.value());
        for (const RefGesture& rg : rs.gestures) {
            Gesture g;
            g.type = static_cast<GestureType>(rg.type);
            g.replayCounter = draw.bits();
            for (const auto& p : rg.poses) {
                ArmPose pose{};
                for (int i = 0; i < ARM_POSE_SIZE; ++i) pose[i] = p[static_cast<size_t>(i)];
                g.poses.push_back(pose);
            }
            for (const auto& s : rg.skeletons) {
                SkeletonRecord record;
                record.trackingState = draw.bits();
                record.trackingId = draw.bits();
                record.enrollmentIndex = draw.bits();
                record.userIndex = draw.bits();
                record.position = {draw.value(), draw.value(), draw.value(), draw.value()};
                record.qualityFlags = draw.bits();
                for (int j = 0; j < JOINT_COUNT; ++j) {
                    record.joints[j].x = s[static_cast<size_t>(3 * j)];
                    record.joints[j].y = s[static_cast<size_t>(3 * j + 1)];
                    record.joints[j].z = s[static_cast<size_t>(3 * j + 2)];
                    record.joints[j].w = draw.value();
                    record.jointTrackingStates[j] = draw.bits();
                }
                g.skeletons.push_back(record);
            }
            set.gestures.push_back(std::move(g));
        }
        out.push_back(std::move(set));
    }
    return out;
}

// Bit-exact comparison (so -0 and 0 differ) of what the file keeps.
::testing::AssertionResult sameContent(const GestureSetList& got, const std::vector<RefSet>& want) {
    using set_file_ref::floatBits;
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " sets, expected " << want.size();
    for (size_t s = 0; s < want.size(); ++s) {
        const GestureSet& gs = got[s];
        if (static_cast<int32_t>(gs.type) != want[s].gestures.front().type)
            return ::testing::AssertionFailure() << "set " << s << " type " << static_cast<int>(gs.type);
        if (gs.gestures.size() != want[s].gestures.size())
            return ::testing::AssertionFailure() << "set " << s << " has " << gs.gestures.size() << " gestures";
        for (size_t k = 0; k < gs.gestures.size(); ++k) {
            const Gesture& g = gs.gestures[k];
            const RefGesture& r = want[s].gestures[k];
            if (static_cast<int32_t>(g.type) != r.type)
                return ::testing::AssertionFailure() << "set " << s << " gesture " << k << " type";
            if (g.poses.size() != r.poses.size())
                return ::testing::AssertionFailure() << "set " << s << " gesture " << k << " poses "
                                                     << g.poses.size() << " vs " << r.poses.size();
            for (size_t p = 0; p < r.poses.size(); ++p)
                for (int i = 0; i < ARM_POSE_SIZE; ++i)
                    if (floatBits(g.poses[p][i]) != floatBits(r.poses[p][static_cast<size_t>(i)]))
                        return ::testing::AssertionFailure() << "set " << s << " gesture " << k << " pose "
                                                             << p << " value " << i;
            if (g.skeletons.size() != r.skeletons.size())
                return ::testing::AssertionFailure() << "set " << s << " gesture " << k << " skeletons";
            for (size_t p = 0; p < r.skeletons.size(); ++p)
                for (int j = 0; j < JOINT_COUNT; ++j) {
                    const Vector4& joint = g.skeletons[p].joints[j];
                    const float xyz[3] = {joint.x, joint.y, joint.z};
                    for (int c = 0; c < 3; ++c)
                        if (floatBits(xyz[c]) != floatBits(r.skeletons[p][static_cast<size_t>(3 * j + c)]))
                            return ::testing::AssertionFailure() << "set " << s << " gesture " << k
                                                                 << " skeleton " << p << " joint " << j;
                }
        }
    }
    return ::testing::AssertionSuccess();
}

std::string tempPath(const std::string& name) {
    return std::string(BINARY_DIR) + "/set_file_reference_" + name;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct QuietRecognizer {
    GestureRecognizer recognizer;
    std::ostringstream console;
    QuietRecognizer() { recognizer.console = &console; }
};

// A damaged copy of `bytes`. All fields are 4-byte words, so word-aligned edits hit counts,
// types and values; unaligned ones shift everything after them.
std::vector<uint8_t> mutate(const std::vector<uint8_t>& bytes, Draw& draw) {
    std::vector<uint8_t> out = bytes;
    const size_t words = out.size() / 4;
    switch (draw.upTo(6)) {
    case 0:  // ends early
        out.resize(static_cast<size_t>(draw.bits() % out.size()));
        break;
    case 1:  // goes on after the last set
        for (int n = 1 + draw.upTo(7); n > 0; --n) out.push_back(static_cast<uint8_t>(draw.bits()));
        break;
    case 2: {  // one corrupted byte
        const size_t at = draw.bits() % out.size();
        out[at] = static_cast<uint8_t>(out[at] ^ (1 + draw.upTo(254)));
        break;
    }
    case 3: {  // one word replaced by a value that matters to a count, a type or a float
        static const uint32_t specials[] = {0xFFFFFFFFu, 0u, 1u, 2u, 3u, 4u, 0x7FFFFFFFu, 0x80000000u,
                                            0x7FC00000u /* NaN */, 0x7F800000u /* +inf */,
                                            0xFF800000u /* -inf */, 64u, 65u, 0x00010000u};
        const size_t word = draw.bits() % words;
        uint32_t v = specials[draw.upTo(static_cast<int>(std::size(specials)) - 1)];
        if (draw.chance(25)) {
            // The old value plus or minus one: a count that is slightly off.
            const uint32_t old = static_cast<uint32_t>(out[4 * word]) | (static_cast<uint32_t>(out[4 * word + 1]) << 8) |
                                 (static_cast<uint32_t>(out[4 * word + 2]) << 16) |
                                 (static_cast<uint32_t>(out[4 * word + 3]) << 24);
            v = draw.chance(50) ? old + 1u : old - 1u;
        }
        for (int b = 0; b < 4; ++b) out[4 * word + static_cast<size_t>(b)] = static_cast<uint8_t>(v >> (8 * b));
        break;
    }
    case 4: {  // a word inserted
        const size_t at = 4 * (draw.bits() % (words + 1));
        std::vector<uint8_t> word(4);
        for (uint8_t& b : word) b = static_cast<uint8_t>(draw.bits());
        if (draw.chance(50)) word = {0, 0, 0, 0};
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), word.begin(), word.end());
        break;
    }
    case 5: {  // a word removed
        const size_t at = 4 * (draw.bits() % words);
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(at), out.begin() + static_cast<std::ptrdiff_t>(at + 4));
        break;
    }
    default:  // the first word, the only place a header could be, replaced
        for (int b = 0; b < 4; ++b) out[static_cast<size_t>(b)] = static_cast<uint8_t>(draw.bits());
        break;
    }
    return out;
}

// Decodes `bytes` with the program and the model; both must agree on refusal and, when both
// accept, on every stored value. A refused decode must leave the caller's list alone.
void expectSameVerdict(const std::vector<uint8_t>& bytes, const std::string& label) {
    std::vector<RefSet> want;
    std::string why;
    const bool modelAccepts = set_file_ref::readSets(bytes, want, why);

    GestureSetList got(1);
    got[0].gestures.resize(2);
    std::string error;
    const bool codeAccepts = decodeGestureSets(bytes.data(), bytes.size(), got, error);
    ASSERT_EQ(codeAccepts, modelAccepts) << label << ": model says " << (modelAccepts ? "valid" : why)
                                         << ", program says " << (codeAccepts ? "valid" : error);
    if (codeAccepts) {
        EXPECT_TRUE(sameContent(got, want)) << label;
    } else {
        EXPECT_EQ(got.size(), 1u) << label;
        EXPECT_EQ(got[0].gestures.size(), 2u) << label;
        EXPECT_FALSE(error.empty()) << label;
    }
}

}  // namespace

TEST(SetFileReference, EncoderWritesTheModelsBytes) {
    Draw draw(0x5e7f11e);
    // The empty list is a valid encoding even though saving refuses it.
    EXPECT_EQ(encodeGestureSets({}), set_file_ref::writeSets({}));
    for (int round = 0; round < 150; ++round) {
        const std::vector<RefSet> sets = round < 20 ? randomSets(draw, 1, 1, 8)  // one set, one gesture
                                                    : randomSets(draw, 7, 4, 20);
        const std::vector<uint8_t> want = set_file_ref::writeSets(sets);
        const std::vector<uint8_t> got = encodeGestureSets(toProgram(sets, draw));
        ASSERT_EQ(got.size(), want.size()) << "round " << round;
        ASSERT_TRUE(got == want) << "round " << round;
    }
}

TEST(SetFileReference, EncoderWritesValuesThatAreNotFiniteAsZero) {
    Draw draw(0x0A0A);
    const float notFinite[] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    for (int round = 0; round < 40; ++round) {
        std::vector<RefSet> sets = randomSets(draw, 3, 3, 6);
        for (int hits = 1 + draw.upTo(5); hits > 0; --hits) {
            RefSet& set = sets[static_cast<size_t>(draw.upTo(static_cast<int>(sets.size()) - 1))];
            RefGesture& g = set.gestures[static_cast<size_t>(draw.upTo(static_cast<int>(set.gestures.size()) - 1))];
            const float bad = notFinite[draw.upTo(3)];
            if (!g.skeletons.empty() && draw.chance(60))
                g.skeletons[static_cast<size_t>(draw.upTo(static_cast<int>(g.skeletons.size()) - 1))]
                           [static_cast<size_t>(draw.upTo(59))] = bad;
            else
                g.poses[static_cast<size_t>(draw.upTo(static_cast<int>(g.poses.size()) - 1))]
                       [static_cast<size_t>(draw.upTo(17))] = bad;
        }
        const std::vector<uint8_t> want = set_file_ref::writeSets(sets);
        const std::vector<uint8_t> got = encodeGestureSets(toProgram(sets, draw));
        ASSERT_TRUE(got == want) << "round " << round;
        // And what was written loads.
        std::vector<RefSet> back;
        std::string why;
        ASSERT_TRUE(set_file_ref::readSets(want, back, why)) << why;
        expectSameVerdict(got, "round " + std::to_string(round));
    }
}

TEST(SetFileReference, OneSixtyFourFrameGestureIs19988Bytes) {
    Draw draw(64);
    RefSet set;
    RefGesture g = randomGesture(draw, 64);
    g.poses.resize(64, g.poses.front());
    g.skeletons.assign(64, {});
    set.gestures.push_back(g);
    const std::vector<uint8_t> bytes = encodeGestureSets(toProgram({set}, draw));
    EXPECT_EQ(bytes.size(), 19988u);
    EXPECT_TRUE(bytes == set_file_ref::writeSets({set}));
}

TEST(SetFileReference, SaveWritesTheModelsBytesAndCounts) {
    Draw draw(0xA11CE);
    const std::string path = tempPath("save.bin");
    for (int round = 0; round < 12; ++round) {
        const std::vector<RefSet> sets = randomSets(draw, 5, 4, 70);
        QuietRecognizer q;
        q.recognizer.TrainedGestureSets = toProgram(sets, draw);
        ASSERT_TRUE(q.recognizer.saveGestureSets(path));
        EXPECT_TRUE(fileBytes(path) == set_file_ref::writeSets(sets)) << "round " << round;
        EXPECT_EQ(q.console.str(), "Saved " + std::to_string(set_file_ref::gestureTotal(sets)) +
                                       " gestures in " + std::to_string(sets.size()) + " sets to disk!\n");
    }
    std::remove(path.c_str());
}

TEST(SetFileReference, SavingNothingWritesNoFile) {
    const std::string path = tempPath("nothing.bin");
    std::remove(path.c_str());
    QuietRecognizer q;
    EXPECT_FALSE(q.recognizer.saveGestureSets(path));
    EXPECT_EQ(q.console.str(), "Nothing to save!\n");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SetFileReference, ModelFilesDecodeToTheSameSets) {
    Draw draw(0xDEC0DE);
    for (int round = 0; round < 150; ++round) {
        const std::vector<RefSet> sets = randomSets(draw, 7, 4, 20);
        const std::vector<uint8_t> bytes = set_file_ref::writeSets(sets);
        GestureSetList got;
        std::string error;
        ASSERT_TRUE(decodeGestureSets(bytes.data(), bytes.size(), got, error)) << "round " << round << ": " << error;
        ASSERT_TRUE(sameContent(got, sets)) << "round " << round;
    }
}

TEST(SetFileReference, LoadReplacesTheSetsWithTheFilesContent) {
    Draw draw(0x10AD);
    const std::string path = tempPath("load.bin");
    for (int round = 0; round < 10; ++round) {
        const std::vector<RefSet> before = randomSets(draw, 3, 2, 10);
        const std::vector<RefSet> sets = randomSets(draw, 6, 4, 70);
        writeFile(path, set_file_ref::writeSets(sets));
        QuietRecognizer q;  // DTW: poses are kept as stored
        q.recognizer.TrainedGestureSets = toProgram(before, draw);
        q.recognizer.currentSetIndex = static_cast<int>(before.size()) - 1;
        ASSERT_TRUE(q.recognizer.loadGestureSets(path)) << "round " << round;
        EXPECT_TRUE(sameContent(q.recognizer.TrainedGestureSets, sets)) << "round " << round;
        EXPECT_EQ(q.recognizer.currentSetIndex, 0);
        EXPECT_EQ(q.recognizer.currentGestureIndex, 0);
        EXPECT_EQ(q.console.str(), "Loaded " + std::to_string(set_file_ref::gestureTotal(sets)) +
                                       " gestures in " + std::to_string(sets.size()) + " sets from disk!\n");
    }
    std::remove(path.c_str());
}

TEST(SetFileReference, LoadWithAnEuclideanFamilyMeasureResamplesToSixtyFour) {
    Draw draw(0xE0C1);
    const std::string path = tempPath("resample.bin");
    for (int round = 0; round < 6; ++round) {
        // Plausible values only, so every gesture that moves has a finite path to resample along.
        std::vector<RefSet> sets(static_cast<size_t>(1 + draw.upTo(3)));
        for (RefSet& set : sets) {
            for (int k = 1 + draw.upTo(2); k > 0; --k) {
                RefGesture g;
                // Exactly 64 (kept), fewer, and more (both resampled).
                const int poses = draw.chance(30) ? 64 : (draw.chance(50) ? 2 + draw.upTo(60) : 65 + draw.upTo(40));
                for (int p = 0; p < poses; ++p) {
                    std::array<float, set_file_ref::POSE_VALUES> pose{};
                    for (float& v : pose) v = (draw.unit() - 0.5f) * 180.0f;
                    g.poses.push_back(pose);
                }
                g.type = draw.upTo(2);
                set.gestures.push_back(g);
            }
        }
        writeFile(path, set_file_ref::writeSets(sets));
        QuietRecognizer q;
        q.recognizer.setSimilarityMeasure(static_cast<SimilarityMeasure>(round % 5));
        ASSERT_TRUE(q.recognizer.loadGestureSets(path));
        ASSERT_EQ(q.recognizer.TrainedGestureSets.size(), sets.size());
        for (size_t s = 0; s < sets.size(); ++s) {
            const GestureSet& set = q.recognizer.TrainedGestureSets[s];
            ASSERT_EQ(set.gestures.size(), sets[s].gestures.size());
            // Pooled population variance of each feature, in double, from the loaded poses.
            ASSERT_EQ(set.classVariances.size(), 8u);
            static const int featurePose[8] = {0, 2, 4, 6, 1, 3, 5, 7};
            for (int f = 0; f < 8; ++f) {
                double sum = 0, squares = 0, n = 0;
                for (const Gesture& g : set.gestures)
                    for (const ArmPose& p : g.poses) {
                        sum += p[featurePose[f]];
                        squares += static_cast<double>(p[featurePose[f]]) * p[featurePose[f]];
                        n += 1;
                    }
                const double variance = squares / n - (sum / n) * (sum / n);
                EXPECT_NEAR(set.classVariances[static_cast<size_t>(f)], variance, 1e-3 * (1.0 + variance))
                    << "set " << s << " feature " << f;
            }
            for (size_t k = 0; k < set.gestures.size(); ++k) {
                const Gesture& g = set.gestures[k];
                const RefGesture& r = sets[s].gestures[k];
                ASSERT_EQ(g.poses.size(), 64u) << "set " << s << " gesture " << k;
                for (int i = 0; i < ARM_POSE_SIZE; ++i) {
                    EXPECT_EQ(g.poses.front()[i], r.poses.front()[static_cast<size_t>(i)]);
                    EXPECT_EQ(g.poses.back()[i], r.poses.back()[static_cast<size_t>(i)]);
                }
                if (r.poses.size() == 64) {
                    for (size_t p = 0; p < 64; ++p)
                        for (int i = 0; i < ARM_POSE_SIZE; ++i)
                            EXPECT_EQ(g.poses[p][i], r.poses[p][static_cast<size_t>(i)]);
                }
            }
        }
        const std::string out = q.console.str();
        EXPECT_NE(out.find("*** VARIANCES FOR ALL GESTURE CLASSES ***\n"), std::string::npos);
        // Per set one line with the first four variances (the left arm's features), tab-separated.
        for (size_t s = 0; s < sets.size(); ++s) {
            const std::string head = "Set " + std::to_string(s) + ": ";
            const size_t at = out.find(head);
            ASSERT_NE(at, std::string::npos) << head;
            const std::string line = out.substr(at + head.size(), out.find('\n', at) - at - head.size());
            std::istringstream fields(line);
            const std::vector<float>& variances = q.recognizer.TrainedGestureSets[s].classVariances;
            for (int f = 0; f < 4; ++f) {
                std::string field;
                ASSERT_TRUE(std::getline(fields, field, '\t')) << line;
                EXPECT_NEAR(std::stod(field), variances[static_cast<size_t>(f)], 1e-5 * (1.0 + variances[static_cast<size_t>(f)]))
                    << line;
            }
            std::string rest;
            EXPECT_FALSE(std::getline(fields, rest, '\t')) << "more than four values: " << line;
        }
        EXPECT_NE(out.find("Loaded " + std::to_string(set_file_ref::gestureTotal(sets)) + " gestures in " +
                           std::to_string(sets.size()) + " sets from disk!\n"),
                  std::string::npos);
    }
    std::remove(path.c_str());
}

TEST(SetFileReference, DamagedFilesAreRefusedExactlyWhenTheModelRefusesThem) {
    Draw draw(0xBADF11E);
    int refused = 0, accepted = 0;
    for (int base = 0; base < 50; ++base) {
        const std::vector<uint8_t> bytes = set_file_ref::writeSets(randomSets(draw, 4, 3, 6));
        for (int m = 0; m < 40; ++m) {
            std::vector<uint8_t> damaged = mutate(bytes, draw);
            if (draw.chance(20)) damaged = mutate(damaged.size() >= 4 ? damaged : bytes, draw);
            std::vector<RefSet> unused;
            std::string why;
            (set_file_ref::readSets(damaged, unused, why) ? accepted : refused) += 1;
            expectSameVerdict(damaged, "base " + std::to_string(base) + " mutation " + std::to_string(m));
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
    // The mix must exercise both answers, or the comparison proves little.
    EXPECT_GT(refused, 500);
    EXPECT_GT(accepted, 200);
}

TEST(SetFileReference, EveryTruncationAndEveryCountEditIsJudgedLikeTheModel) {
    Draw draw(0x7A11);
    std::vector<RefSet> sets = randomSets(draw, 2, 2, 3);
    const std::vector<uint8_t> bytes = set_file_ref::writeSets(sets);
    for (size_t n = 0; n < bytes.size(); ++n) {
        expectSameVerdict(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)),
                          "truncated to " + std::to_string(n));
        if (::testing::Test::HasFatalFailure()) return;
    }
    // Every word of the file set to each value that matters to a count or a type.
    const uint32_t values[] = {0xFFFFFFFFu, 0u, 1u, 3u, 4u, 0x7FFFFFFFu, 0x80000000u, 0x7FC00000u, 0x7F800000u};
    for (size_t word = 0; word < bytes.size() / 4; ++word)
        for (uint32_t v : values) {
            std::vector<uint8_t> edited = bytes;
            for (int b = 0; b < 4; ++b) edited[4 * word + static_cast<size_t>(b)] = static_cast<uint8_t>(v >> (8 * b));
            expectSameVerdict(edited, "word " + std::to_string(word) + " = " + std::to_string(v));
            if (::testing::Test::HasFatalFailure()) return;
        }
}

TEST(SetFileReference, FilesBrokenInOneRuleOnlyAreRefused) {
    // Well-formed files, each with a single thing no loaded set could use.
    Draw draw(0x0E1E);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int rule = 0; rule < 9; ++rule)
        for (int round = 0; round < 5; ++round) {
            std::vector<RefSet> sets = randomSets(draw, 3, 3, 5);
            RefSet& set = sets[static_cast<size_t>(draw.upTo(static_cast<int>(sets.size()) - 1))];
            RefGesture& g = set.gestures[static_cast<size_t>(draw.upTo(static_cast<int>(set.gestures.size()) - 1))];
            g.skeletons.resize(g.poses.size());
            // The writer never stores NaN or infinity, so those are put into the bytes
            // afterwards, in place of a marker value.
            const float marker = 1234.5677f;
            float replacement = 0.0f;
            const bool poke = rule >= 4 && rule <= 7;
            switch (rule) {
            case 0: set.gestures.clear(); break;
            case 1: g.poses.clear(); break;
            case 2: g.type = 4; break;
            case 3: g.type = -1; break;
            case 4: g.poses.back()[static_cast<size_t>(draw.upTo(17))] = marker, replacement = nan; break;
            case 5: g.poses.front()[static_cast<size_t>(draw.upTo(17))] = marker, replacement = -inf; break;
            case 6: g.skeletons.back()[static_cast<size_t>(draw.upTo(59))] = marker, replacement = inf; break;
            case 7: g.skeletons.front()[static_cast<size_t>(draw.upTo(59))] = marker, replacement = nan; break;
            default: g.type = 0x7FFFFFFF; break;
            }
            std::vector<uint8_t> bytes = set_file_ref::writeSets(sets);
            if (poke) {
                std::vector<uint8_t> markerBytes, replacementBytes;
                set_file_ref::putF32(markerBytes, marker);
                set_file_ref::putF32(replacementBytes, replacement);
                int found = 0;
                for (size_t at = 0; at + 4 <= bytes.size(); at += 4)
                    if (std::equal(markerBytes.begin(), markerBytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at))) {
                        std::copy(replacementBytes.begin(), replacementBytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
                        ++found;
                    }
                ASSERT_EQ(found, 1) << "rule " << rule;
            }
            std::vector<RefSet> unused;
            std::string why;
            ASSERT_FALSE(set_file_ref::readSets(bytes, unused, why)) << "rule " << rule;
            expectSameVerdict(bytes, "rule " + std::to_string(rule) + " (" + why + ")");
            if (::testing::Test::HasFatalFailure()) return;
        }
}

TEST(SetFileReference, RefusedLoadsKeepTheSetsInMemory) {
    Draw draw(0x6EE9);
    const std::string path = tempPath("damaged.bin");
    int refusals = 0;
    for (int round = 0; round < 60; ++round) {
        const std::vector<RefSet> held = randomSets(draw, 3, 2, 5);
        const std::vector<uint8_t> damaged = mutate(set_file_ref::writeSets(randomSets(draw, 3, 2, 5)), draw);
        writeFile(path, damaged);
        std::vector<RefSet> want;
        std::string why;
        const bool valid = set_file_ref::readSets(damaged, want, why);

        QuietRecognizer q;
        const GestureSetList heldSets = toProgram(held, draw);
        q.recognizer.TrainedGestureSets = heldSets;
        q.recognizer.currentSetIndex = static_cast<int>(held.size()) - 1;
        ASSERT_EQ(q.recognizer.loadGestureSets(path), valid) << "round " << round << ": " << why;
        if (valid) {
            EXPECT_TRUE(sameContent(q.recognizer.TrainedGestureSets, want)) << "round " << round;
        } else {
            ++refusals;
            // Untouched, including what the file does not keep.
            const GestureSetList& now = q.recognizer.TrainedGestureSets;
            ASSERT_EQ(now.size(), heldSets.size());
            EXPECT_TRUE(encodeGestureSets(now) == encodeGestureSets(heldSets)) << "round " << round;
            for (size_t s = 0; s < now.size(); ++s) {
                EXPECT_EQ(now[s].type, heldSets[s].type);
                EXPECT_EQ(now[s].classVariances, heldSets[s].classVariances);
            }
            EXPECT_EQ(q.recognizer.currentSetIndex, static_cast<int>(held.size()) - 1);
            // The format's only words for a failed load come first.
            EXPECT_EQ(q.console.str().rfind("Cannot load from disk!\n", 0), 0u) << q.console.str();
            EXPECT_EQ(q.console.str().find("Loaded "), std::string::npos);
        }
    }
    EXPECT_GT(refusals, 10);
    std::remove(path.c_str());
}

TEST(SetFileReference, StoredFilesLoadAsTheModelReadsThem) {
    namespace fs = std::filesystem;
    int files = 0;
    for (const char* folder : {"/tests/data/gestures", "/fuzz/corpus/gesture_sets"}) {
        const fs::path dir = fs::path(SOURCE_DIR + std::string(folder));
        if (!fs::exists(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().extension() != ".bin") continue;
            ++files;
            const std::vector<uint8_t> bytes = fileBytes(entry.path().string());
            std::vector<RefSet> want;
            std::string why;
            ASSERT_TRUE(set_file_ref::readSets(bytes, want, why)) << entry.path() << ": " << why;
            expectSameVerdict(bytes, entry.path().string());
            QuietRecognizer q;
            ASSERT_TRUE(q.recognizer.loadGestureSets(entry.path().string())) << entry.path();
            EXPECT_TRUE(sameContent(q.recognizer.TrainedGestureSets, want)) << entry.path();
            // Written back, a stored file is the same file.
            if (!want.empty()) {
                EXPECT_TRUE(encodeGestureSets(q.recognizer.TrainedGestureSets) == bytes) << entry.path();
            }
        }
    }
    EXPECT_GE(files, 3);
}

TEST(SetFileReference, PathsWithOddCharactersSaveAndLoad) {
    Draw draw(0x0DD);
    const std::vector<std::string> names = {
        "with space.bin", "quote'and\"double.bin", "#hash;semi&amp.bin", "-leading-dash.bin",
        "umlaut-\xC3\xA4\xC3\xB6\xC3\xBC-\xE2\x82\xAC.bin", "no-extension", std::string(180, 'n') + ".bin",
        "tab\tinside.bin"};
    for (const std::string& name : names) {
        const std::string path = tempPath(name);
        const std::vector<RefSet> sets = randomSets(draw, 2, 2, 5);
        QuietRecognizer q;
        q.recognizer.TrainedGestureSets = toProgram(sets, draw);
        ASSERT_TRUE(q.recognizer.saveGestureSets(path)) << name;
        EXPECT_TRUE(fileBytes(path) == set_file_ref::writeSets(sets)) << name;
        QuietRecognizer r;
        ASSERT_TRUE(r.recognizer.loadGestureSets(path)) << name;
        EXPECT_TRUE(sameContent(r.recognizer.TrainedGestureSets, sets)) << name;
        std::remove(path.c_str());
    }
}

TEST(SetFileReference, AGestureTrainedFromFramesWithAnUnreadableJointSavesAFileThatLoads) {
    // Pose extraction repairs only the joints it reads; a knee or a hand the sensor reported as
    // NaN or infinity stays in the frame's record and so in the trained gesture. Saving must
    // still give a file that loads: such a coordinate is written as 0, the sensor's own value
    // for a joint without a position.
    GestureRecognizer trainer;
    std::ostringstream console;
    trainer.console = &console;
    SkeletonRecord record;
    for (int j = 0; j < JOINT_COUNT; ++j) record.joints[j] = {0.05f * static_cast<float>(j), 0.5f, 2.0f, 1.0f};
    record.joints[JOINT_KNEE_LEFT].x = std::numeric_limits<float>::quiet_NaN();
    record.joints[JOINT_HAND_RIGHT].z = std::numeric_limits<float>::infinity();
    uint32_t nowMs = 1000;
    auto frame = [&](const ArmPose& pose) {
        trainer.processPose(record, pose, true, nowMs);
        trainer.waitForWorker();
        nowMs += 33;
    };
    for (int i = 0; i < 60; ++i) frame(gesture_test::restPose());
    trainer.requestTraining(true, false);
    for (int i = 0; i < 20; ++i) frame(gesture_test::restPose());
    for (const ArmPose& pose : gesture_test::swingGesture(35, 60.0f).poses) frame(pose);
    for (int i = 0; i < 15; ++i) frame(gesture_test::restPose());
    ASSERT_EQ(trainer.setCount(), 1);
    const Gesture& trained = trainer.TrainedGestureSets[0].gestures[0];
    ASSERT_FALSE(trained.skeletons.empty());

    const std::string path = tempPath("unreadable_joint.bin");
    ASSERT_TRUE(trainer.saveGestureSets(path));
    QuietRecognizer loader;
    ASSERT_TRUE(loader.recognizer.loadGestureSets(path)) << loader.console.str();

    // Everything else comes back as it was.
    std::vector<RefSet> want(1);
    RefGesture g;
    for (const ArmPose& pose : trained.poses) {
        std::array<float, set_file_ref::POSE_VALUES> values{};
        for (int i = 0; i < ARM_POSE_SIZE; ++i) values[static_cast<size_t>(i)] = pose[i];
        g.poses.push_back(values);
    }
    for (const SkeletonRecord& s : trained.skeletons) {
        std::array<float, set_file_ref::SKELETON_VALUES> joints{};
        for (int j = 0; j < JOINT_COUNT; ++j) {
            joints[static_cast<size_t>(3 * j)] = s.joints[j].x;
            joints[static_cast<size_t>(3 * j + 1)] = s.joints[j].y;
            joints[static_cast<size_t>(3 * j + 2)] = s.joints[j].z;
        }
        joints[3 * JOINT_KNEE_LEFT] = 0.0f;
        joints[3 * JOINT_HAND_RIGHT + 2] = 0.0f;
        g.skeletons.push_back(joints);
    }
    g.type = static_cast<int32_t>(trained.type);
    want[0].gestures.push_back(g);
    EXPECT_TRUE(sameContent(loader.recognizer.TrainedGestureSets, want));
    std::remove(path.c_str());
}
