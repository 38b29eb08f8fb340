// Gesture-set files: exact layout, round trip, replacing on load, and rejecting damaged files
// without touching the sets in memory.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "common/gesture/gesture_set_file.h"
#include "recognizer_test_helpers.h"

using namespace gesture_test;

namespace {

std::string tempPath(const std::string& name) {
    return std::string(BINARY_DIR) + "/gesture_file_test_" + name;
}

// Entries of the test folder whose names start with `path`'s name and a dot (temporaries).
int leftoversOf(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string prefix = fs::path(path).filename().string() + ".";
    int count = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path()))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) ++count;
    return count;
}

// A gesture of `poses` poses cut from as many skeletons with distinct joint positions.
Gesture recordedGesture(int poses, GestureType type, float seed) {
    Gesture g = swingGesture(poses, 40.0f + seed);
    g.type = type;
    for (int i = 0; i < poses; ++i) {
        SkeletonRecord s;
        for (int j = 0; j < JOINT_COUNT; ++j) {
            s.joints[j] = {seed + 0.01f * i, 0.1f * j, 2.0f + 0.001f * i, 1.0f};
        }
        g.skeletons.push_back(s);
    }
    return g;
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readFileBytes(path, bytes, error)) << error;
    return bytes;
}

void writeAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(GestureSetFile, OneSetOfOne64PoseGestureIs19988Bytes) {
    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    r.TrainedGestureSets.push_back(setOf(recordedGesture(64, GestureType::LEFT, 0.5f), 1));
    const std::string path = tempPath("one.bin");
    ASSERT_TRUE(r.saveGestureSets(path));
    const std::vector<uint8_t> bytes = readAll(path);
    ASSERT_EQ(bytes.size(), 19988u);
    // Little-endian counts: 1 set, 1 gesture, 64 poses; type LEFT (0) at the very end.
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[4], 1);
    EXPECT_EQ(bytes[8], 64);
    EXPECT_EQ(bytes[12 + 64 * 72], 64);  // skeleton count after the poses
    EXPECT_EQ(bytes[19984], 0);
    EXPECT_EQ(console.str(), "Saved 1 gestures in 1 sets to disk!\n");
    std::remove(path.c_str());
}

TEST(GestureSetFile, RoundTripKeepsTypesPosesAndJoints) {
    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    r.TrainedGestureSets.push_back(setOf(recordedGesture(40, GestureType::RIGHT, 1.0f), 2));
    GestureSet both = setOf(recordedGesture(25, GestureType::BOTH, 2.0f), 1);
    both.gestures.push_back(recordedGesture(1, GestureType::BOTH, 3.0f));  // a held pose
    both.gestures.back().skeletons.clear();                                // hand-made: no records
    r.TrainedGestureSets.push_back(both);
    const GestureSetList original = r.TrainedGestureSets;
    const std::string path = tempPath("roundtrip.bin");
    ASSERT_TRUE(r.saveGestureSets(path));

    GestureRecognizer loaded;
    loaded.console = &console;
    // Trained before the load, gone after it: loading replaces, never merges.
    loaded.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 5));
    loaded.currentSetIndex = 0;
    loaded.currentGestureIndex = 4;
    ASSERT_TRUE(loaded.loadGestureSets(path)) << console.str();
    EXPECT_NE(console.str().find("Loaded 4 gestures in 2 sets from disk!\n"), std::string::npos);
    EXPECT_EQ(loaded.currentGestureIndex, 0);
    ASSERT_EQ(loaded.setCount(), 2);
    for (size_t s = 0; s < original.size(); ++s) {
        EXPECT_EQ(loaded.TrainedGestureSets[s].type, original[s].type);
        ASSERT_EQ(loaded.TrainedGestureSets[s].gestures.size(), original[s].gestures.size());
        for (size_t g = 0; g < original[s].gestures.size(); ++g) {
            const Gesture& a = original[s].gestures[g];
            const Gesture& b = loaded.TrainedGestureSets[s].gestures[g];
            EXPECT_EQ(a.type, b.type);
            EXPECT_EQ(a.poses, b.poses);  // DTW: stored lengths are kept
            ASSERT_EQ(a.skeletons.size(), b.skeletons.size());
            for (size_t k = 0; k < a.skeletons.size(); ++k) {
                for (int j = 0; j < JOINT_COUNT; ++j) {
                    EXPECT_EQ(a.skeletons[k].joints[j].x, b.skeletons[k].joints[j].x);
                    EXPECT_EQ(a.skeletons[k].joints[j].z, b.skeletons[k].joints[j].z);
                }
            }
        }
    }
    // The loaded sets classify like the originals, a record-less example included.
    loaded.numberOfNeighbours = 1;
    EXPECT_EQ(loaded.classifyGesture(original[1].gestures[1]).classIndex, 1);

    // Under an equal-length measure 40-pose gestures come back resampled to 64, with the
    // class variances printed; the held pose stays one pose, so it can still be matched.
    GestureRecognizer euclidean;
    std::ostringstream text;
    euclidean.console = &text;
    euclidean.setSimilarityMeasure(SimilarityMeasure::EUCLIDEAN);
    ASSERT_TRUE(euclidean.loadGestureSets(path));
    EXPECT_EQ(euclidean.TrainedGestureSets[0].gestures[0].poses.size(), 64u);
    EXPECT_EQ(euclidean.TrainedGestureSets[1].gestures[1].poses.size(), 1u);
    euclidean.numberOfNeighbours = 1;
    EXPECT_EQ(euclidean.classifyGesture(original[1].gestures[1]).classIndex, 1);
    EXPECT_EQ(euclidean.TrainedGestureSets[0].classVariances.size(), 8u);
    EXPECT_EQ(text.str().rfind("*** VARIANCES FOR ALL GESTURE CLASSES ***\nSet 0: ", 0), 0u);
    EXPECT_NE(text.str().find("\nSet 1: "), std::string::npos);
    std::remove(path.c_str());
}

TEST(GestureSetFile, NothingToSaveAndUnwritableTargets) {
    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    const std::string path = tempPath("nothing.bin");
    std::remove(path.c_str());
    EXPECT_FALSE(r.saveGestureSets(path));
    EXPECT_EQ(console.str(), "Nothing to save!\n");
    struct stat info;
    EXPECT_NE(stat(path.c_str(), &info), 0);  // no file written

    r.TrainedGestureSets.push_back(setOf(recordedGesture(10, GestureType::LEFT, 1.0f), 1));
    console.str("");
    EXPECT_FALSE(r.saveGestureSets(tempPath("missing_dir/sets.bin")));
    EXPECT_EQ(console.str().rfind("Cannot write to disk!\ngesture file '", 0), 0u) << console.str();
    EXPECT_NE(console.str().find("missing_dir/sets.bin': "), std::string::npos) << console.str();
    // A target that cannot be replaced (a directory) fails and leaves no temporary file behind.
    const std::string dir = tempPath("a_dir");
    ::mkdir(dir.c_str(), 0755);
    console.str("");
    EXPECT_FALSE(r.saveGestureSets(dir));
    EXPECT_EQ(console.str().rfind("Cannot write to disk!\ngesture file '", 0), 0u) << console.str();
    EXPECT_EQ(leftoversOf(dir), 0);
    // Loading the folder says so, instead of a size that means nothing, and keeps the sets.
    console.str("");
    EXPECT_FALSE(r.loadGestureSets(dir));
    EXPECT_EQ(console.str(), "Cannot load from disk!\ngesture file '" + dir + "': is a folder, not a file\n");
    EXPECT_EQ(r.setCount(), 1);
    ::rmdir(dir.c_str());
    console.str("");
    EXPECT_FALSE(r.loadGestureSets(tempPath("does_not_exist.bin")));
    EXPECT_EQ(console.str().rfind("Cannot load from disk!\ngesture file '", 0), 0u) << console.str();
    EXPECT_NE(console.str().find("does_not_exist.bin': cannot open: No such file or directory\n"), std::string::npos)
        << console.str();
    // A cancelled dialog gives the empty path: the known line alone.
    console.str("");
    EXPECT_FALSE(r.loadGestureSets(""));
    EXPECT_EQ(console.str(), "Cannot load from disk!\n");
    EXPECT_EQ(r.setCount(), 1);
}

TEST(GestureSetFile, DamagedFilesAreRejectedAndTheSetsInMemoryStay) {
    GestureSetList sets;
    sets.push_back(setOf(recordedGesture(12, GestureType::RIGHT, 1.0f), 2));
    sets.push_back(setOf(recordedGesture(7, GestureType::LEFT, 2.0f), 1));
    const std::vector<uint8_t> good = encodeGestureSets(sets);

    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    r.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 3));
    const GestureSetList before = r.TrainedGestureSets;
    const std::string path = tempPath("damaged.bin");
    auto expectRejected = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        writeAll(path, bytes);
        console.str("");
        EXPECT_FALSE(r.loadGestureSets(path)) << what;
        EXPECT_EQ(console.str().rfind("Cannot load from disk!\ngesture file '", 0), 0u) << what;
        const std::string lines = console.str();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << what;
        ASSERT_EQ(r.setCount(), 1) << what;
        EXPECT_EQ(r.TrainedGestureSets[0].gestures.size(), 3u) << what;
        EXPECT_EQ(r.TrainedGestureSets[0].gestures[0].poses, before[0].gestures[0].poses) << what;
    };

    // Truncations: every one through the parser, a sample through the recogniser's load.
    for (size_t n = 0; n < good.size(); ++n) {
        GestureSetList parsed;
        std::string error;
        EXPECT_FALSE(decodeGestureSets(good.data(), n, parsed, error)) << n;
        EXPECT_TRUE(parsed.empty());
    }
    for (size_t n = 0; n < good.size(); n += (n < 16 ? 1 : 397)) {
        expectRejected(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)),
                       "truncated to " + std::to_string(n));
    }
    // A file cut short says so, not that a sound count is impossible.
    {
        GestureSetList parsed;
        std::string error;
        EXPECT_FALSE(decodeGestureSets(good.data(), 100, parsed, error));
        EXPECT_EQ(error, "gesture 0 in set 0 (of 2, numbered from 0): pose count 12 needs at least 864 more bytes but 88 remain: the "
                         "file is cut short or damaged");
    }
    auto withInt = [&](size_t offset, int32_t value) {
        std::vector<uint8_t> bytes = good;
        for (int i = 0; i < 4; ++i) bytes[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
        return bytes;
    };
    expectRejected(withInt(0, -1), "negative set count");
    expectRejected(withInt(0, 0x7fffffff), "absurd set count");
    expectRejected(withInt(4, 0), "set without gestures");
    expectRejected(withInt(4, 1 << 30), "absurd gesture count");
    expectRejected(withInt(8, -5), "negative pose count");
    expectRejected(withInt(8, 0), "gesture without poses");
    expectRejected(withInt(8, 1 << 28), "absurd pose count");
    expectRejected(withInt(12 + 12 * 72, 1 << 28), "absurd skeleton count");
    const size_t firstType = 12 + 12 * 72 + 4 + 12 * 240;
    expectRejected(withInt(firstType, 4), "type out of range");
    expectRejected(withInt(firstType, -1), "negative type");
    expectRejected(withInt(12, 0x7fc00000), "NaN pose value");
    expectRejected(withInt(12 + 12 * 72 + 4, 0x7f800000), "infinite joint");
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    expectRejected(longer, "trailing byte");

    // Mutations from a fixed seed: never a crash; whatever loads is well-formed.
    uint32_t state = 99u;
    int loaded = 0, refused = 0;  // both kinds must occur, or one branch's checks never ran
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> bytes = good;
        for (int k = 0; k < 3; ++k) {
            state = state * 1664525u + 1013904223u;
            bytes[(state >> 8) % bytes.size()] ^= static_cast<uint8_t>(1u << ((state >> 4) % 8));
        }
        GestureSetList parsed;
        std::string error;
        if (decodeGestureSets(bytes.data(), bytes.size(), parsed, error)) {
            ++loaded;
            for (const GestureSet& set : parsed) {
                ASSERT_FALSE(set.gestures.empty());
                for (const Gesture& g : set.gestures) {
                    ASSERT_FALSE(g.poses.empty());
                    ASSERT_LE(static_cast<int>(g.type), 3);
                }
            }
        } else {
            ++refused;
            EXPECT_FALSE(error.empty());
            EXPECT_TRUE(parsed.empty());
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
    writeAll(path, good);
    EXPECT_TRUE(r.loadGestureSets(path));
    EXPECT_EQ(r.setCount(), 2);
    std::remove(path.c_str());
}
TEST(GestureSetFile, SetsTheReaderWouldRefuseAreNotSavedOverTheFile) {
    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    const std::string path = tempPath("unloadable.bin");
    r.TrainedGestureSets.push_back(setOf(recordedGesture(10, GestureType::LEFT, 1.0f), 1));
    ASSERT_TRUE(r.saveGestureSets(path));
    const std::vector<uint8_t> saved = readAll(path);

    auto expectRefused = [&](const std::string& reason) {
        console.str("");
        EXPECT_FALSE(r.saveGestureSets(path)) << reason;
        EXPECT_EQ(console.str(), "Cannot write to disk!\ngesture file '" + path + "': " + reason + "\n");
        EXPECT_EQ(readAll(path), saved) << reason;
    };
    r.TrainedGestureSets.emplace_back();
    expectRefused("set 1 (of 2, numbered from 0) has no gestures");
    r.TrainedGestureSets.back().gestures.emplace_back();
    expectRefused("gesture 0 in set 1 (of 2, numbered from 0) has no poses");
    r.TrainedGestureSets.back().gestures.back() = recordedGesture(4, GestureType::RIGHT, 2.0f);
    r.TrainedGestureSets.back().gestures.back().type = static_cast<GestureType>(7);
    expectRefused("gesture 0 in set 1 (of 2, numbered from 0): gesture type 7 is not 0..3");
    // A file over the reader's 256 MiB is refused by the size these sets would be written as,
    // which must be the size written.
    r.TrainedGestureSets.back().gestures.push_back(recordedGesture(9, GestureType::BOTH, 3.0f));
    r.TrainedGestureSets.back().gestures.back().skeletons.resize(5);
    const uint64_t fileBytes = encodeGestureSets(r.TrainedGestureSets).size();
    EXPECT_EQ(gestureSetFileBytes(r.TrainedGestureSets), fileBytes);
    EXPECT_EQ(gestureSetFileBytes({}), encodeGestureSets({}).size());
    r.TrainedGestureSets.back().gestures.front().type = GestureType::RIGHT;
    EXPECT_EQ(unloadableGestureSets(r.TrainedGestureSets, fileBytes), "");
    EXPECT_EQ(unloadableGestureSets(r.TrainedGestureSets, fileBytes - 1),
              "the file would be " + std::to_string(fileBytes) + " bytes, larger than the " + std::to_string(fileBytes - 1) +
                  " bytes a gesture-set file may hold");

    // Read back, a gesture without poses is named as such, not as an impossible set count.
    GestureSetList sets;
    sets.push_back(setOf(recordedGesture(3, GestureType::RIGHT, 1.0f), 1));
    sets[0].gestures[0].poses.clear();
    sets[0].gestures[0].skeletons.clear();
    const std::vector<uint8_t> bytes = encodeGestureSets(sets);
    GestureSetList parsed;
    std::string error;
    EXPECT_FALSE(decodeGestureSets(bytes.data(), bytes.size(), parsed, error));
    EXPECT_EQ(error, "gesture 0 in set 0 (of 1, numbered from 0) has no poses");
    std::remove(path.c_str());
}

TEST(GestureSetFile, SavingThroughALinkReplacesTheFileItNames) {
    namespace fs = std::filesystem;
    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    r.TrainedGestureSets.push_back(setOf(recordedGesture(10, GestureType::LEFT, 1.0f), 1));
    const std::string real = tempPath("linked_real.bin");
    const std::string link = tempPath("linked.bin");
    fs::remove(real);
    fs::remove(link);
    std::ofstream(real) << "old";
    fs::create_symlink(fs::path(real).filename(), link);
    ASSERT_TRUE(r.saveGestureSets(link)) << console.str();
    EXPECT_TRUE(fs::is_symlink(link));
    GestureRecognizer loaded;
    loaded.console = &console;
    ASSERT_TRUE(loaded.loadGestureSets(real));
    EXPECT_EQ(loaded.setCount(), 1);
    EXPECT_EQ(leftoversOf(real), 0);
    fs::remove(link);
    fs::remove(real);
}

// The file dialog offers every entry whose name matches *.bin, a FIFO named x.bin among them.
// Loading one must not wait for a writer (for ever, on the GUI thread) nor read a device: it is
// refused at once with one line, and the sets in memory stay.
TEST(GestureSetFile, APipeSocketOrDeviceIsRefusedAtOnceAndTheSetsStay) {
    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    r.TrainedGestureSets.push_back(setOf(recordedGesture(10, GestureType::LEFT, 1.0f), 2));
    const std::string fifo = tempPath("fifo.bin");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    auto loading = std::async(std::launch::async, [&] { return r.loadGestureSets(fifo); });
    if (loading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // The old code waits in open(): give it a writer so the test ends, and fail.
        std::FILE* writer = std::fopen(fifo.c_str(), "wb");
        if (writer != nullptr) std::fclose(writer);
        loading.wait();
        std::remove(fifo.c_str());
        FAIL() << "loading a FIFO blocked";
    }
    EXPECT_FALSE(loading.get());
    EXPECT_EQ(console.str(), "Cannot load from disk!\ngesture file '" + fifo +
                                 "': is not a regular file (a pipe, socket or device)\n");
    EXPECT_EQ(r.setCount(), 1);
    std::remove(fifo.c_str());

    // A character device (and a link to one) reads as endless zeros or as nothing: refused too.
    const std::string link = tempPath("zero_link.bin");
    std::remove(link.c_str());
    ASSERT_EQ(::symlink("/dev/zero", link.c_str()), 0);
    console.str("");
    EXPECT_FALSE(r.loadGestureSets(link));
    EXPECT_EQ(console.str(), "Cannot load from disk!\ngesture file '" + link +
                                 "': is not a regular file (a pipe, socket or device)\n");
    EXPECT_EQ(r.setCount(), 1);
    std::remove(link.c_str());
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(readFileBytes("/dev/null", bytes, error));
    EXPECT_EQ(error, "is not a regular file (a pipe, socket or device)");
}
