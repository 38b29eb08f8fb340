#include "common/sensor/csv_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/gesture/arm_pose.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/stream_source.h"
#include "support/unwritten_fifo.h"

namespace {

std::string joints(float value) {
    std::ostringstream out;
    for (int j = 0; j < JOINT_COUNT * 4; ++j) {
        out << ' ' << (j % 4 == 3 ? 1.0f : value + 0.01f * j);
    }
    return out.str();
}

// joints(value) with one joint written 0 0 0, as exporters write a lost joint.
std::string jointsWithOneLost(float value, int lost) {
    std::ostringstream out;
    for (int j = 0; j < JOINT_COUNT * 4; ++j) {
        if (j / 4 == lost && j % 4 != 3) {
            out << " 0";
        } else {
            out << ' ' << (j % 4 == 3 ? 1.0f : value + 0.01f * j);
        }
    }
    return out.str();
}

std::string zeroJoints() {
    std::string text;
    for (int j = 0; j < JOINT_COUNT * 4; ++j) {
        text += " 0";
    }
    return text;
}

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = std::string(BINARY_DIR) + "/" + name;
    std::ofstream(path) << text;
    return path;
}

// Everything written to a temporary file; closes it.
std::string readAndClose(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, file)) {
        text += buffer;
    }
    std::fclose(file);
    return text;
}

// Runs `open` with stderr redirected to a temporary file and returns what was printed.
std::string openCapturingWarnings(CsvSource& source, const std::string& path, bool& ok, std::string& error) {
    std::FILE* warnings = std::tmpfile();
    ok = source.open(path, error, warnings);
    return readAndClose(warnings);
}

}  // namespace

TEST(CsvParse, SpacesCommasAndSkeletonFrame) {
    CsvFrame frame;
    std::string reason;
    std::string commas = "1000";
    for (int j = 0; j < JOINT_COUNT * 4; ++j) {
        commas += (j % 2 ? ", " : ",") + std::to_string(j + 1) + ".5";
    }
    ASSERT_TRUE(parseCsvFrame(commas + "\r", frame, reason)) << reason;
    EXPECT_EQ(frame.timeUs, 1000u);
    EXPECT_TRUE(frame.tracked);
    EXPECT_FLOAT_EQ(frame.joints[0].x, 1.5f);
    EXPECT_FLOAT_EQ(frame.joints[JOINT_HAND_RIGHT].w, 48.5f);
    EXPECT_FLOAT_EQ(frame.joints[JOINT_FOOT_RIGHT].w, 80.5f);

    ASSERT_TRUE(parseCsvFrame("  2000\t" + joints(-0.25f) + "  ", frame, reason)) << reason;
    EXPECT_EQ(frame.timeUs, 2000u);
    EXPECT_FLOAT_EQ(frame.joints[1].x, -0.25f + 0.04f);

    SkeletonFrame skeleton;
    csvSkeletonFrame(frame, skeleton);
    EXPECT_EQ(skeleton.slots[0].trackingState, SKELETON_TRACKED);
    EXPECT_EQ(skeleton.slots[0].jointTrackingStates[JOINT_WRIST_LEFT], 2u);
    EXPECT_FLOAT_EQ(skeleton.slots[0].joints[JOINT_SPINE].x, frame.joints[JOINT_SPINE].x);
    for (int slot = 1; slot < SKELETON_SLOT_COUNT; ++slot) {
        EXPECT_EQ(skeleton.slots[slot].trackingState, SKELETON_NOT_TRACKED);
    }

    // All joints zero: nobody is tracked in any slot, whatever the time.
    ASSERT_TRUE(parseCsvFrame("3000" + zeroJoints(), frame, reason)) << reason;
    EXPECT_FALSE(frame.tracked);
    csvSkeletonFrame(frame, skeleton);
    for (const SkeletonRecord& record : skeleton.slots) {
        EXPECT_EQ(record.trackingState, SKELETON_NOT_TRACKED);
    }

    // Exporters that write w = 1 for every joint write nobody as twenty 0 0 0 1 joints.
    std::string homogeneousNobody = "4000";
    for (int j = 0; j < JOINT_COUNT; ++j) homogeneousNobody += " 0 0 0 1";
    ASSERT_TRUE(parseCsvFrame(homogeneousNobody, frame, reason)) << reason;
    EXPECT_FALSE(frame.tracked);
    csvSkeletonFrame(frame, skeleton);
    EXPECT_EQ(skeleton.slots[0].trackingState, SKELETON_NOT_TRACKED);

    // One joint with a position is a person, however many others were lost.
    const std::string oneJoint = "5000 0 0 2.5 1" + homogeneousNobody.substr(4 + 8);
    ASSERT_TRUE(parseCsvFrame(oneJoint, frame, reason)) << reason;
    EXPECT_TRUE(frame.tracked);
}

TEST(CsvParse, RejectsMalformedLines) {
    CsvFrame frame;
    std::string reason;
    const std::string good = joints(0.5f);
    const char* badTimes[] = {"-5", "abc", "", "1.5.2", "1e99999", "2e19", "12,5"};
    for (const char* time : badTimes) {
        EXPECT_FALSE(parseCsvFrame(time + good, frame, reason)) << time;
    }
    EXPECT_FALSE(parseCsvFrame("-5" + good, frame, reason));
    EXPECT_NE(reason.find("negative"), std::string::npos) << reason;
    EXPECT_FALSE(parseCsvFrame("1000" + good.substr(0, good.rfind(' ')), frame, reason));
    EXPECT_NE(reason.find("found 80"), std::string::npos) << reason;
    EXPECT_FALSE(parseCsvFrame("1000" + good + " 1", frame, reason));
    EXPECT_FALSE(parseCsvFrame("1000,," + good.substr(1), frame, reason)) << "an empty value between commas";
    EXPECT_FALSE(parseCsvFrame("1000" + good + ",,", frame, reason)) << "an empty last value";
    EXPECT_FALSE(parseCsvFrame("1000" + good + "x", frame, reason));
    // A semicolon-separated export is told by its separator, not by a first value "not a number".
    std::string semicolons = "1000" + good;
    std::replace(semicolons.begin(), semicolons.end(), ' ', ';');
    EXPECT_FALSE(parseCsvFrame(semicolons, frame, reason));
    EXPECT_EQ(reason, "values are separated by spaces, tabs or commas, not ';'");
    for (const char* bad : {"nan", "inf", "-inf", "NaN", "1e99"}) {
        std::string line = "1000 " + std::string(bad) + good.substr(good.find(' ', 1));
        EXPECT_FALSE(parseCsvFrame(line, frame, reason)) << bad;
        if (std::string(bad) != "1e99") {
            EXPECT_NE(reason.find("not finite"), std::string::npos) << bad << ": " << reason;
        }
    }
}

TEST(CsvParse, AcceptsWhatExportersWrite) {
    CsvFrame frame;
    std::string reason;
    const std::string good = joints(0.5f);
    // Time stamps in floating point are rounded to the microsecond.
    const std::pair<const char*, uint64_t> times[] = {
        {"33333.3", 33333}, {"33333.5", 33334}, {"3.333330e+04", 33333}, {"+7", 7}, {"18446744073709551615", UINT64_MAX}};
    for (const auto& [text, expected] : times) {
        ASSERT_TRUE(parseCsvFrame(text + good, frame, reason)) << text << ": " << reason;
        EXPECT_EQ(frame.timeUs, expected) << text;
    }
    // Every value followed by a comma, the last one too; Windows line ends.
    std::string commas = "1000";
    for (int j = 0; j < JOINT_COUNT * 4; ++j) {
        commas += ", 0.25";
    }
    ASSERT_TRUE(parseCsvFrame(commas + ",\r", frame, reason)) << reason;
    EXPECT_FLOAT_EQ(frame.joints[JOINT_COUNT - 1].w, 0.25f);
}

// A jump forward of hours (an exporter switching to another clock) is kept as written, which
// leaves the person frozen until then, and the load says so; an ordinary pause is not named.
TEST(CsvSourceOpen, AClockJumpingForwardByHoursIsSaid) {
    const std::string path = writeFile("csv_source_test_jump.csv",
                                       "0" + joints(0.1f) + "\n"
                                       "33333" + joints(0.2f) + "\n"
                                       "5033333" + joints(0.3f) + "\n"
                                       "7205033333" + joints(0.4f) + "\n");
    CsvSource source;
    bool ok = false;
    std::string error;
    const std::string warnings = openCapturingWarnings(source, path, ok, error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(source.frameCount(), 4u);
    EXPECT_EQ(source.allFrames()[3].timeUs, 7205033333u);
    EXPECT_NE(warnings.find("csv_source_test_jump.csv': line 4: the time stamp jumps forward by 2.0 hours"),
              std::string::npos)
        << warnings;
    EXPECT_EQ(warnings.find("line 3:"), std::string::npos) << "a pause of 5 s is no clock change: " << warnings;
}

TEST(CsvSourceOpen, ByteOrderMarkClockStepsBackAndLostJoints) {
    // Joint 11 (the right hand) is lost, written as 0 0 0, in the third frame; the clock
    // restarts at line 5. A byte-order mark opens the file.
    const std::string lost = jointsWithOneLost(0.3f, JOINT_HAND_RIGHT);
    const std::string path = writeFile("csv_source_test_exporter.csv",
                                       "\xEF\xBB\xBF" "1000000" + joints(0.1f) + "\n"
                                       "1033333" + joints(0.2f) + "\n"
                                       "1066666" + lost + "\n"
                                       "# the tracker restarts\n"
                                       "0" + joints(0.4f) + "\n"
                                       "33333" + joints(0.5f) + "\n");
    CsvSource source;
    bool ok = false;
    std::string error;
    std::string warnings = openCapturingWarnings(source, path, ok, error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(source.frameCount(), 5u) << warnings;
    const std::vector<CsvFrame>& frames = source.allFrames();
    EXPECT_EQ(frames[0].timeUs, 1000000u) << "the byte-order mark is not part of the first stamp";
    EXPECT_EQ(frames[3].timeUs, 1066666u + 33333u) << "after the step back the stream goes on one frame later";
    EXPECT_EQ(frames[4].timeUs, 1066666u + 2 * 33333u);
    EXPECT_NE(warnings.find("line 5: the time stamp goes back by 1066666 microseconds"), std::string::npos)
        << warnings;

    // The lost hand keeps its place on the body from the frame before, so it moves with the
    // hip centre (the whole body moved by 0.1 m), and is marked inferred.
    for (float Vector4::*axis : {&Vector4::x, &Vector4::y, &Vector4::z}) {
        EXPECT_NEAR(frames[2].joints[JOINT_HAND_RIGHT].*axis,
                    frames[1].joints[JOINT_HAND_RIGHT].*axis + 0.1f, 1e-5f);
    }
    EXPECT_TRUE(frames[2].inferred[JOINT_HAND_RIGHT]);
    EXPECT_FALSE(frames[2].inferred[JOINT_WRIST_RIGHT]);
    SkeletonFrame skeleton;
    csvSkeletonFrame(frames[2], skeleton);
    EXPECT_EQ(skeleton.slots[0].jointTrackingStates[JOINT_HAND_RIGHT], 1u);
    EXPECT_EQ(skeleton.slots[0].jointTrackingStates[JOINT_WRIST_RIGHT], 2u);
    EXPECT_NE(warnings.find("1 frames have joints at 0 0 0"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("not been tracked yet"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("line 1:"), std::string::npos) << warnings;

    // Lost from the first frame on, a joint has no last place to keep: said so. It sits on the
    // joint it hangs from (the hand on the wrist), not at the camera.
    const std::string lostFirst = writeFile("csv_source_test_lost_first.csv", "0" + lost + "\n33333" + joints(0.2f) + "\n");
    warnings = openCapturingWarnings(source, lostFirst, ok, error);
    ASSERT_TRUE(ok) << error;
    EXPECT_NE(warnings.find("in 1 of them a joint had not been tracked yet; until it is, it sits on the joint it "
                            "hangs from"),
              std::string::npos)
        << warnings;
    const CsvFrame& first = source.allFrames()[0];
    EXPECT_EQ(first.joints[JOINT_HAND_RIGHT].x, first.joints[JOINT_WRIST_RIGHT].x);
    EXPECT_EQ(first.joints[JOINT_HAND_RIGHT].y, first.joints[JOINT_WRIST_RIGHT].y);
    EXPECT_EQ(first.joints[JOINT_HAND_RIGHT].z, first.joints[JOINT_WRIST_RIGHT].z);
    EXPECT_TRUE(first.inferred[JOINT_HAND_RIGHT]);

    // Stamps in milliseconds would play a thousand times too fast: said once.
    const std::string millis = writeFile("csv_source_test_millis.csv", "0" + joints(0.1f) + "\n33" + joints(0.1f) +
                                                                          "\n67" + joints(0.1f) + "\n100" +
                                                                          joints(0.1f) + "\n");
    warnings = openCapturingWarnings(source, millis, ok, error);
    ASSERT_TRUE(ok) << error;
    EXPECT_NE(warnings.find("a median of 33 microseconds apart"), std::string::npos) << warnings;
}

TEST(CsvSourceOpen, NobodyLendsALostJointToWhoeverComesNext) {
    // One person, then nobody for a while, then someone else whose right wrist was never
    // tracked: that wrist must not be the first person's, however far away it was.
    const std::string second = jointsWithOneLost(-1.0f, JOINT_WRIST_RIGHT);
    const std::string path = writeFile("csv_source_test_next_person.csv",
                                       "0" + joints(0.3f) + "\n"
                                       "33333" + zeroJoints() + "\n"
                                       "66666" + second + "\n");
    CsvSource source;
    bool ok = false;
    std::string error;
    std::string warnings = openCapturingWarnings(source, path, ok, error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(source.frameCount(), 3u) << warnings;
    const CsvFrame& next = source.allFrames()[2];
    // Not the first person's wrist, nor one at the camera: the second person's own elbow.
    EXPECT_EQ(next.joints[JOINT_WRIST_RIGHT].x, next.joints[JOINT_ELBOW_RIGHT].x);
    EXPECT_EQ(next.joints[JOINT_WRIST_RIGHT].z, next.joints[JOINT_ELBOW_RIGHT].z);
    EXPECT_LT(next.joints[JOINT_WRIST_RIGHT].z, 0.0f);
    SkeletonFrame skeleton;
    csvSkeletonFrame(next, skeleton);
    EXPECT_EQ(skeleton.slots[0].jointTrackingStates[JOINT_WRIST_RIGHT], 1u);
    EXPECT_NE(warnings.find("not been tracked yet"), std::string::npos) << warnings;
    // Someone new to the tracker as well, so that nothing of the first person is smoothed into
    // them either.
    SkeletonFrame first;
    csvSkeletonFrame(source.allFrames()[0], first);
    EXPECT_NE(skeleton.slots[0].trackingId, first.slots[0].trackingId);

    // The same with the empty stretch left out of the file: a gap of two seconds in the stamps.
    // Within a second, the joint is still held.
    const std::string gapPath = writeFile("csv_source_test_next_person_gap.csv",
                                          "0" + joints(0.3f) + "\n"
                                          "900000" + second + "\n"
                                          "3000000" + second + "\n");
    CsvSource gapped;
    openCapturingWarnings(gapped, gapPath, ok, error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(gapped.frameCount(), 3u);
    EXPECT_TRUE(gapped.allFrames()[1].inferred[JOINT_WRIST_RIGHT]);
    EXPECT_NE(gapped.allFrames()[1].joints[JOINT_WRIST_RIGHT].x, gapped.allFrames()[1].joints[JOINT_ELBOW_RIGHT].x)
        << "held where the first person had it";
    EXPECT_EQ(gapped.allFrames()[2].joints[JOINT_WRIST_RIGHT].x, gapped.allFrames()[2].joints[JOINT_ELBOW_RIGHT].x);
    EXPECT_EQ(gapped.allFrames()[1].person, gapped.allFrames()[0].person);
    EXPECT_NE(gapped.allFrames()[2].person, gapped.allFrames()[1].person);
}

TEST(CsvSourceOpen, AJointSeenBeforeTheHipCentreIsHeldWhereItWas) {
    // The hip centre is lost in the first frame and found in the second, where the right wrist
    // is lost: the wrist stays where it was seen, not offset from a hip it was never measured from.
    const std::string path = writeFile("csv_source_test_hip_later.csv",
                                       "0" + jointsWithOneLost(0.3f, JOINT_HIP_CENTER) + "\n"
                                       "33333" + jointsWithOneLost(0.5f, JOINT_WRIST_RIGHT) + "\n");
    CsvSource source;
    bool ok = false;
    std::string error;
    openCapturingWarnings(source, path, ok, error);
    ASSERT_TRUE(ok) << error;
    const CsvFrame& first = source.allFrames()[0];
    const CsvFrame& second = source.allFrames()[1];
    EXPECT_TRUE(second.inferred[JOINT_WRIST_RIGHT]);
    for (float Vector4::*axis : {&Vector4::x, &Vector4::y, &Vector4::z}) {
        EXPECT_EQ(second.joints[JOINT_WRIST_RIGHT].*axis, first.joints[JOINT_WRIST_RIGHT].*axis);
    }
}

TEST(CsvSourceOpen, WarnsOnceWhenJointsAreNotInMetresFacingAway) {
    CsvSource source;
    bool ok = false;
    std::string error;
    // A tracker in millimetres: the person stands at about 2,000 units. The hip sits at
    // joints(v)'s first z, v + 0.02, so v sets the depth.
    const std::string millimetres = writeFile("csv_source_test_mm.csv", "0" + joints(2200.0f) + "\n33333" +
                                                                           joints(2201.0f) + "\n66666" +
                                                                           joints(2202.0f) + "\n");
    std::string warnings = openCapturingWarnings(source, millimetres, ok, error);
    ASSERT_TRUE(ok) << error;
    EXPECT_NE(warnings.find("the hip centre is a median z of 2201"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("z of", warnings.find("z of") + 1), std::string::npos) << "said once: " << warnings;
    EXPECT_EQ(source.frameCount(), 3u) << "the frames still load";

    // z toward the camera.
    const std::string flipped = writeFile("csv_source_test_flipped.csv", "0" + joints(-2.2f) + "\n33333" +
                                                                           joints(-2.2f) + "\n");
    warnings = openCapturingWarnings(source, flipped, ok, error);
    ASSERT_TRUE(ok) << error;
    EXPECT_NE(warnings.find("z growing away from the camera"), std::string::npos) << warnings;

    // A person in metres, 2.2 m away, with untracked frames between: nothing to say.
    const std::string metres = writeFile("csv_source_test_metres.csv", "0" + joints(2.2f) + "\n33333" +
                                                                         zeroJoints() + "\n66666" + joints(2.2f) +
                                                                         "\n");
    warnings = openCapturingWarnings(source, metres, ok, error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(warnings.find("median z"), std::string::npos) << warnings;
}

TEST(CsvSourceOpen, SkipsMalformedLinesWithTheirLineNumbers) {
    const std::string path = writeFile("csv_source_test_mixed.csv",
                                       "# a comment\n"
                                       "\n"
                                       "1000" + joints(0.1f) + "\n"
                                       "2000 nan" + joints(0.1f).substr(4) + "\n"
                                       "   # indented comment\n"
                                       "3000" + joints(0.2f) + " 9\n"
                                       "4000" + joints(0.4f) + "\n"
                                       "5000 3.5e38" + joints(0.1f).substr(4) + "\n"
                                       "6000 -1e-400" + joints(0.1f).substr(4) + "\n"
                                       "7000 1e-46" + joints(0.1f).substr(4) + "\n"
                                       "8000 1e-99999" + joints(0.1f).substr(4) + "\n"
                                       "9000 1e99999" + joints(0.1f).substr(4) + "\n"
                                       "10000 +-1" + joints(0.1f).substr(4) + "\n"
                                       "11000 0." + std::string(5000, '0') + "1" + joints(0.1f).substr(4) + "\n"
                                       "12000 1" + std::string(5000, '0') + "e-10" + joints(0.1f).substr(4) + "\n");
    CsvSource source;
    bool ok = false;
    std::string error;
    std::string warnings = openCapturingWarnings(source, path, ok, error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(source.frameCount(), 6u);
    EXPECT_EQ(source.allFrames()[1].timeUs, 4000u);
    // Too small for a float is 0, as a double-precision exporter means it; too large is refused.
    EXPECT_NE(warnings.find("line 8: value 2 is out of range for a float"), std::string::npos) << warnings;
    for (size_t i : {2u, 3u, 4u}) {
        EXPECT_EQ(source.allFrames()[i].timeUs, 4000u + 1000u * i);
        EXPECT_EQ(source.allFrames()[i].joints[0].x, 0.0f);
        EXPECT_FLOAT_EQ(source.allFrames()[i].joints[0].y, 0.11f);
    }
    EXPECT_EQ(warnings.find("line 9:"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("line 10:"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("line 11:"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("line 12: value 2 is out of range for a float"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("line 13: value 2 is not a number"), std::string::npos) << warnings;
    // Judged by the value, not by how it is written.
    EXPECT_EQ(source.allFrames()[5].timeUs, 11000u);
    EXPECT_EQ(source.allFrames()[5].joints[0].x, 0.0f);
    EXPECT_NE(warnings.find("line 15: value 2 is out of range for a float"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("csv_source_test_mixed.csv': line 4: value 2 is not finite"), std::string::npos)
        << warnings;
    EXPECT_NE(warnings.find("line 6:"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("line 3:"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("line 7:"), std::string::npos) << warnings;

    const std::string empty = writeFile("csv_source_test_empty.csv", "# nothing\nnot numbers\n");
    warnings = openCapturingWarnings(source, empty, ok, error);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("no valid frame"), std::string::npos) << error;
    EXPECT_FALSE(source.open(std::string(BINARY_DIR) + "/no_such_file.csv", error, nullptr));
    EXPECT_NE(error.find("no_such_file.csv': cannot open"), std::string::npos) << error;
    EXPECT_FALSE(source.open(std::string(BINARY_DIR), error, nullptr));
    EXPECT_NE(error.find("is a folder, not a file"), std::string::npos) << error;

    // A file of another kind: ten lines are named, the rest counted in one line.
    std::string text = "1000" + joints(0.1f) + "\n";
    for (int i = 0; i < 25; ++i) text += "name,x,y,z\n";
    warnings = openCapturingWarnings(source, writeFile("csv_source_test_other.csv", text), ok, error);
    ASSERT_TRUE(ok) << error;
    EXPECT_NE(warnings.find("line 11:"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("line 12:"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("15 more lines like those above"), std::string::npos) << warnings;
}

// A stream is read once to its end, so it may come through a pipe from another program. A FIFO
// nobody writes to would block the open (and the program's start) for ever, and a device reads
// as nothing or without end: the one is refused after a short wait, the other at once.
TEST(CsvSource, APipeIsReadWhenWrittenAndRefusedWhenSilentADeviceAtOnce) {
    const UnwrittenFifo fifo(std::string(BINARY_DIR) + "/csv_source_test.fifo");
    ASSERT_TRUE(fifo.made) << std::strerror(errno);
    const std::pair<std::string, std::string> refused[] = {
        {fifo.path, "is a pipe that no program writes to"},
        {"/dev/null", "is not a regular file (a pipe, socket or device)"}};
    for (const auto& [path, reason] : refused) {
        CsvSource source;
        std::string error;
        bool opened = true;
        ASSERT_TRUE(returnsWithoutBlocking(fifo, [&] { return source.open(path, error, nullptr); }, opened)) << path;
        EXPECT_FALSE(opened) << path;
        EXPECT_EQ(error, "csv '" + path + "': " + reason);
    }

    // A writer that comes a moment after the open, as a program started beside it would.
    std::thread writer([&fifo] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::FILE* out = std::fopen(fifo.path.c_str(), "wb");
        if (out == nullptr) return;
        const std::string text = "1000" + joints(0.1f) + "\n34333" + joints(0.2f) + "\n";
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    });
    CsvSource source;
    std::string error;
    bool opened = false;
    const bool returned = returnsWithoutBlocking(fifo, [&] { return source.open(fifo.path, error, nullptr); }, opened);
    writer.join();
    ASSERT_TRUE(returned);
    ASSERT_TRUE(opened) << error;
    ASSERT_EQ(source.frameCount(), 2u);
    EXPECT_EQ(source.allFrames()[1].timeUs, 34333u);
}

// A line far longer than any frame's is skipped as malformed, keeping only its start in memory,
// and the lines after it are read as usual.
TEST(CsvSourceOpen, AnOverlongLineIsSkipped) {
    const std::string path = writeFile("csv_source_test_long_line.csv", "1000" + joints(0.1f) + "\n" +
                                                                            std::string(200000, '7') + "\n"
                                                                            "34333" + joints(0.2f));
    CsvSource source;
    bool ok = false;
    std::string error;
    const std::string warnings = openCapturingWarnings(source, path, ok, error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(source.frameCount(), 2u) << "the last line has no line end and still counts";
    EXPECT_EQ(source.allFrames()[1].timeUs, 34333u);
    EXPECT_NE(warnings.find("line 2: the line is longer than 65536 bytes (line skipped)"), std::string::npos)
        << warnings;
}

// A recording or any binary file given as csv: is refused in one line, not one per "line".
TEST(CsvSourceOpen, ABinaryFileIsRefusedOnce) {
    const struct {
        const char* name;
        std::string bytes;
        const char* expected;
    } cases[] = {
        {"csv_source_test_recording.csv", std::string("SNSRREC\n\x01\0\0\0", 12) + "1000" + joints(0.1f),
         "a recording, not a text skeleton stream (a recording plays with replay:FILE)"},
        {"csv_source_test_other_binary.csv", std::string("SQLite format 3\0", 16), "a binary file, not a text skeleton stream"},
        {"csv_source_test_binary.csv", std::string("1000 \0\x7f", 7) + joints(0.1f),
         "a binary file, not a text skeleton stream"},
    };
    for (const auto& c : cases) {
        CsvSource source;
        bool ok = true;
        std::string error;
        const std::string warnings = openCapturingWarnings(source, writeFile(c.name, c.bytes), ok, error);
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(warnings, "");
    }
}

TEST(CsvSourcePlayback, FramesFollowTheirTimeStamps) {
    // Frames at 0, 33.333, 66.666 and 200 ms of the stream's clock (which starts at 10 s).
    const std::string path = writeFile("csv_source_test_timed.csv",
                                       "10000000" + joints(0.0f) + "\n"
                                       "10033333" + joints(1.0f) + "\n"
                                       "10066666" + joints(2.0f) + "\n"
                                       "10200000" + joints(3.0f) + "\n");
    std::string error;
    std::unique_ptr<CsvSource> source = openCsvSource(path, error);
    ASSERT_TRUE(source) << error;
    SkeletonFrame frame;
    std::vector<uint16_t> depth(FRAME_PIXELS, 1);
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES, 1);

    EXPECT_FALSE(source->nextSkeletonFrame(frame)) << "nothing before the first advance";
    auto hipX = [&] { return frame.slots[0].joints[0].x; };

    source->advance(5000);  // the program's clock: the stream starts here
    ASSERT_TRUE(source->nextSkeletonFrame(frame));
    EXPECT_FLOAT_EQ(hipX(), 0.0f);
    EXPECT_FALSE(source->nextSkeletonFrame(frame)) << "a frame is delivered once";
    ASSERT_TRUE(source->nextDepthFrame(depth.data()));
    ASSERT_TRUE(source->nextColourFrame(colour.data()));
    EXPECT_EQ(depth[100], 0) << "blank without a renderer";
    EXPECT_EQ(colour[100], 0);

    source->advance(5033);  // 33 ms < 33.333 ms: still frame 0
    EXPECT_FALSE(source->nextSkeletonFrame(frame));
    EXPECT_FALSE(source->nextDepthFrame(depth.data()));
    source->advance(5070);  // frame 1's time has passed too: a slow program skips it
    ASSERT_TRUE(source->nextSkeletonFrame(frame));
    EXPECT_FLOAT_EQ(hipX(), 2.0f);
    EXPECT_EQ(source->frameTimeMs(), 66u);
    source->advance(4000);  // a clock stepping back moves nothing
    EXPECT_FALSE(source->nextSkeletonFrame(frame));
    source->advance(9000);  // far past the end: the last frame, once, and no looping
    ASSERT_TRUE(source->nextSkeletonFrame(frame));
    EXPECT_FLOAT_EQ(hipX(), 3.0f);
    EXPECT_EQ(source->frameTimeMs(), 200u);
    EXPECT_TRUE(source->nextColourFrame(colour.data()));
    source->advance(9500);
    EXPECT_FALSE(source->nextSkeletonFrame(frame));
    EXPECT_FALSE(source->nextColourFrame(colour.data()));
    EXPECT_FALSE(source->stepFrame());
}

TEST(CsvSourcePlayback, TheEndOfTheStreamIsSaidOnceNotEveryFrame) {
    // A gap of 200 ms inside the stream is a real absence of frames and is reported as such;
    // after the last frame nothing will ever come, which is said once.
    const std::string path = writeFile("csv_source_test_end.csv",
                                       "0" + joints(0.0f) + "\n"
                                       "200000" + joints(1.0f) + "\n");
    std::string error;
    std::unique_ptr<CsvSource> csv = openCsvSource(path, error);
    ASSERT_TRUE(csv) << error;
    SensorInput sensor(std::move(csv));
    sensor.diagnostics = std::tmpfile();
    for (uint32_t now = 0; now <= 600; now += 50) {
        sensor.advance(now);
        sensor.fetchSkeleton();
        sensor.fetchColour();
        sensor.fetchDepth();
    }
    const std::string text = readAndClose(sensor.diagnostics);
    sensor.diagnostics = nullptr;
    auto count = [&](const std::string& line) {
        size_t n = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("Something went wrong for Video Frame..."), 3u) << text;  // at 50, 100 and 150 ms
    EXPECT_EQ(count("Something went wrong for Depth Frame..."), 3u) << text;
    EXPECT_EQ(count("The sensor stream has ended; its last frame stays."), 1u) << text;
    EXPECT_NEAR(sensor.skeleton.joints[JOINT_HIP_CENTER].x, 1.0f, 0.05f) << "the last frame stays";
}

TEST(CsvSourcePlayback, GivenAWaitAFetchWaitsUpTo100MsForTheNextFrame) {
    // A 30 Hz stream played by a program stepping 33 ms: without waiting, about one step in a
    // hundred would find frame n + 1 0.3 ms short of due and fail. Waiting on the program's
    // clock delivers every frame, and the clock keeps the stream's pace.
    std::string text;
    for (int i = 0; i <= 300; ++i) text += std::to_string(i * 1000000LL / 30) + joints(float(i)) + "\n";
    std::string error;
    std::unique_ptr<CsvSource> source = openCsvSource(writeFile("csv_source_test_30hz.csv", text), error);
    ASSERT_TRUE(source) << error;
    uint32_t now = 1000;
    uint32_t waited = 0;
    source->setFrameWait([&](uint32_t ms) {
        waited += ms;
        now += ms;
    });
    SkeletonFrame frame;
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES, 1);
    for (int i = 0; i <= 300; ++i, now += 33) {
        source->advance(now);
        ASSERT_TRUE(source->nextSkeletonFrame(frame)) << "step " << i;
        ASSERT_FLOAT_EQ(frame.slots[0].joints[0].x, float(i)) << "step " << i;
        ASSERT_TRUE(source->nextColourFrame(colour.data())) << "step " << i;
    }
    EXPECT_NEAR(double(waited), 100.0, 2.0);  // 300 frames x 1/3 ms

    // A frame due in 100 ms is waited for; one due later is a real gap and fails.
    std::unique_ptr<CsvSource> gap =
        openCsvSource(writeFile("csv_source_test_gap.csv", "0" + joints(0.0f) + "\n200000" + joints(1.0f) + "\n"), error);
    ASSERT_TRUE(gap) << error;
    std::vector<uint32_t> waits;
    gap->setFrameWait([&](uint32_t ms) { waits.push_back(ms); });
    gap->advance(0);
    ASSERT_TRUE(gap->nextSkeletonFrame(frame));
    gap->advance(99);
    EXPECT_FALSE(gap->nextSkeletonFrame(frame));
    EXPECT_TRUE(waits.empty());
    gap->advance(100);
    ASSERT_TRUE(gap->nextSkeletonFrame(frame));
    EXPECT_FLOAT_EQ(frame.slots[0].joints[0].x, 1.0f);
    EXPECT_EQ(waits, std::vector<uint32_t>{100});
    gap->advance(300);  // the end: nothing left to wait for
    EXPECT_FALSE(gap->nextSkeletonFrame(frame));
    EXPECT_EQ(waits.size(), 1u);
}

TEST(CsvSourcePlayback, TimeStampsNearTheTopOfTheRangeStillPlayInOrder) {
    // 2^64 - 1 is 18446744073709551615 us; the last frame sits at its very top.
    const std::string path = writeFile("csv_source_test_huge_times.csv",
                                       "18446744073709451615" + joints(0.0f) + "\n"
                                       "18446744073709501615" + joints(1.0f) + "\n"
                                       "18446744073709551615" + joints(2.0f) + "\n");
    std::string error;
    std::unique_ptr<CsvSource> source = openCsvSource(path, error);
    ASSERT_TRUE(source) << error;
    SkeletonFrame frame;
    auto hipX = [&] { return frame.slots[0].joints[0].x; };
    source->advance(1000);
    ASSERT_TRUE(source->nextSkeletonFrame(frame));
    EXPECT_FLOAT_EQ(hipX(), 0.0f);
    source->advance(1049);  // 49 ms: frame 1 (at 50 ms) is not due yet
    EXPECT_FALSE(source->nextSkeletonFrame(frame));
    source->advance(1050);
    ASSERT_TRUE(source->nextSkeletonFrame(frame));
    EXPECT_FLOAT_EQ(hipX(), 1.0f);
    EXPECT_EQ(source->frameTimeMs(), 50u);
    source->advance(1300);  // past the end of the range: the last frame, not a stall
    ASSERT_TRUE(source->nextSkeletonFrame(frame));
    EXPECT_FLOAT_EQ(hipX(), 2.0f);
    EXPECT_EQ(source->frameTimeMs(), 100u);
}

TEST(CsvSourcePlayback, StepFrameVisitsEveryFrameAndRendersImagesWithTheHook) {
    const std::string path = writeFile("csv_source_test_step.csv",
                                       "0" + joints(0.5f) + "\n"
                                       "100" + zeroJoints() + "\n"
                                       "40000" + joints(0.7f) + "\n");
    std::string error;
    std::unique_ptr<CsvSource> source = openCsvSource(path, error);
    ASSERT_TRUE(source) << error;
    static int renders = 0;
    renders = 0;
    setSkeletonImageRenderer([](const SkeletonRecord& person, uint16_t* depth, uint8_t* colour) {
        ++renders;
        uint16_t value = person.trackingState == SKELETON_TRACKED ? uint16_t(2000 << 3 | 1) : uint16_t(3500 << 3);
        std::fill(depth, depth + FRAME_PIXELS, value);
        std::fill(colour, colour + COLOUR_FRAME_BYTES, uint8_t(person.trackingState == SKELETON_TRACKED ? 200 : 50));
    });
    std::vector<uint16_t> depth(FRAME_PIXELS);
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    SkeletonFrame frame;
    const uint32_t expectedMs[] = {0, 0, 40};
    const uint16_t expectedDepth[] = {2000 << 3 | 1, 3500 << 3, 2000 << 3 | 1};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(source->stepFrame()) << i;
        EXPECT_EQ(source->frameTimeMs(), expectedMs[i]);
        ASSERT_TRUE(source->nextSkeletonFrame(frame));
        ASSERT_TRUE(source->nextColourFrame(colour.data()));
        ASSERT_TRUE(source->nextDepthFrame(depth.data()));
        EXPECT_EQ(depth[5], expectedDepth[i]) << i;
        EXPECT_EQ(colour[5], i == 1 ? 50 : 200) << i;
    }
    EXPECT_EQ(renders, 3) << "one render per frame serves both images";
    EXPECT_FALSE(source->stepFrame());
    setSkeletonImageRenderer(nullptr);
}

// The poses command's per-frame path: stream -> SensorInput -> arm-pose extractor.
namespace {

struct StreamPoses {
    std::vector<ArmPose> poses;
    std::vector<uint32_t> timesMs;
};

StreamPoses posesOf(const std::string& name) {
    StreamPoses result;
    std::string error;
    std::unique_ptr<StreamSource> owned =
        openStream("csv:" + std::string(SOURCE_DIR) + "/tests/data/streams/" + name, error);
    EXPECT_TRUE(owned) << error;
    if (!owned) {
        return result;
    }
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));
    ArmPoseExtractor extractor;
    ArmPose pose{};
    while (stepSensorFrame(sensor, stream)) {
        SkeletonRecord record = sensor.skeleton;
        extractArmPose(extractor, record, pose);
        result.poses.push_back(pose);
        result.timesMs.push_back(stream.frameTimeMs());
    }
    return result;
}

}  // namespace

TEST(StreamPoses, ArmPositionsGiveTheirAngles) {
    StreamPoses down = posesOf("arms_down.csv");
    StreamPoses forward = posesOf("right_arm_forward.csv");
    StreamPoses sideways = posesOf("right_arm_sideways.csv");
    ASSERT_EQ(down.poses.size(), 90u);
    ASSERT_EQ(forward.poses.size(), 90u);
    ASSERT_EQ(sideways.poses.size(), 90u);
    EXPECT_EQ(down.timesMs[1], 33u);
    EXPECT_EQ(down.timesMs[89], 2966u);

    // After three seconds the extractor's smoothing has settled.
    const ArmPose& d = down.poses.back();
    const ArmPose& f = forward.poses.back();
    const ArmPose& s = sideways.poses.back();
    EXPECT_LT(d[POSE_ELEVATION_LEFT], 15.0f);
    EXPECT_LT(d[POSE_ELEVATION_RIGHT], 15.0f);
    EXPECT_GT(d[POSE_ELBOW_LEFT], 170.0f);
    EXPECT_GT(d[POSE_ELBOW_RIGHT], 170.0f);
    EXPECT_NEAR(d[POSE_WRIST_DISTANCE], 0.42f, 1e-3f);

    EXPECT_NEAR(f[POSE_ELEVATION_RIGHT], 90.0f, 10.0f);
    EXPECT_LT(f[POSE_ELEVATION_LEFT], 15.0f);
    EXPECT_GT(f[POSE_ELBOW_RIGHT], 170.0f);
    EXPECT_NEAR(f[POSE_RIGHT_REACH], 0.53f, 0.05f) << "the wrist is 53 cm in front of the body";
    EXPECT_NEAR(f[POSE_RIGHT_WRIST_X], 0.18f, 1e-4f);

    EXPECT_NEAR(s[POSE_ELEVATION_RIGHT], 90.0f, 10.0f);
    EXPECT_NEAR(s[POSE_RIGHT_REACH], 0.0f, 0.05f);
    EXPECT_NEAR(s[POSE_WRIST_DISTANCE], std::hypot(0.92f, 0.53f), 1e-3f);
    EXPECT_GT(std::fabs(f[POSE_ADDUCTION_RIGHT] - s[POSE_ADDUCTION_RIGHT]), 60.0f)
        << "forward and sideways differ in horizontal adduction";
}

TEST(StreamPoses, UntrackedFrameRepeatsThePreviousRecord) {
    const std::string path = writeFile("csv_source_test_untracked.csv",
                                       "0" + joints(0.5f) + "\n"
                                       "33333" + zeroJoints() + "\n");
    std::string error;
    std::unique_ptr<StreamSource> owned = openStream("csv:" + path, error);
    ASSERT_TRUE(owned) << error;
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));
    ASSERT_TRUE(stepSensorFrame(sensor, stream));
    SkeletonRecord first = sensor.skeleton;
    ASSERT_TRUE(stepSensorFrame(sensor, stream));
    EXPECT_EQ(sensor.skeleton.trackingState, SKELETON_TRACKED);
    EXPECT_EQ(std::memcmp(&first, &sensor.skeleton, sizeof first), 0);
    EXPECT_FALSE(stepSensorFrame(sensor, stream));
}

// Skeleton-only stepping (gesturetool's poses, training and recognition) gives the same
// skeletons and leaves the images as they were: nothing is rendered or coded for them.
TEST(StreamPoses, SkeletonOnlySteppingGivesTheSameSkeletonsAndLeavesTheImages) {
    const std::string path = std::string(SOURCE_DIR) + "/tests/data/streams/right_arm_forward.csv";
    std::string error;
    std::unique_ptr<StreamSource> ownedFull = openStream("csv:" + path, error);
    std::unique_ptr<StreamSource> ownedBare = openStream("csv:" + path, error);
    ASSERT_TRUE(ownedFull && ownedBare) << error;
    StreamSource& full = *ownedFull;
    StreamSource& bare = *ownedBare;
    SensorInput withImages(std::move(ownedFull));
    SensorInput skeletonOnly(std::move(ownedBare));
    const std::vector<uint16_t> depthBefore = skeletonOnly.depthMillimetres;
    const std::vector<uint8_t> viewBefore = skeletonOnly.depthView;
    static int renders = 0;
    renders = 0;
    setSkeletonImageRenderer([](const SkeletonRecord&, uint16_t* depth, uint8_t* colour) {
        ++renders;
        std::fill(depth, depth + FRAME_PIXELS, uint16_t(2000 << 3 | 1));
        std::fill(colour, colour + COLOUR_FRAME_BYTES, uint8_t(200));
    });
    int frames = 0;
    while (stepSensorFrame(withImages, full)) {
        ASSERT_TRUE(stepSensorFrame(skeletonOnly, bare, false));
        ASSERT_EQ(std::memcmp(&withImages.skeleton, &skeletonOnly.skeleton, sizeof(SkeletonRecord)), 0)
            << "frame " << frames;
        ++frames;
    }
    EXPECT_FALSE(stepSensorFrame(skeletonOnly, bare, false));
    setSkeletonImageRenderer(nullptr);
    EXPECT_EQ(frames, 90);
    EXPECT_EQ(renders, 90) << "only the full stepping renders";
    EXPECT_NE(withImages.depthMillimetres, depthBefore);
    EXPECT_EQ(skeletonOnly.depthMillimetres, depthBefore);
    EXPECT_EQ(skeletonOnly.depthView, viewBefore);
}
