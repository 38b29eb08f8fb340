// gesturetool poses must print the poses the painting program's frame loop computes from the
// same stream, so that a stream studied offline means what it meant in the program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/gesture/arm_pose.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/stream_source.h"
#include "support/shell_quote.h"

namespace {

std::vector<std::string> dataRows(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        rows.push_back(line.substr(line.find(' ') + 1));  // the joints, without the time stamp
    }
    return rows;
}

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The frame loop's way: the extractor works on the sensor's own record.
std::vector<std::string> programPoses(const std::string& streamPath) {
    std::string error;
    std::unique_ptr<StreamSource> owned = openStream("csv:" + streamPath, error);
    EXPECT_TRUE(owned) << error;
    if (!owned) return {};
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));
    ArmPoseExtractor extractor;
    ArmPose pose{};
    std::vector<std::string> lines;
    for (long index = 0; stepSensorFrame(sensor, stream, false); ++index) {
        extractArmPose(extractor, sensor.skeleton, pose);
        std::string line = std::to_string(index) + "," + std::to_string(stream.frameTimeMs());
        for (float value : pose) {
            char text[32];
            std::snprintf(text, sizeof text, ",%.6g", value);
            line += text;
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

// Right after the start the torso smoothing is far from settled; a user lost for a few frames
// then leaves the record in place, and the smoothing goes on from the smoothed joints.
TEST(GesturetoolPoses, AreThePaintingProgramsPosesAlsoWhileNobodyIsTracked) {
    const std::vector<std::string> rows = dataRows(std::string(SOURCE_DIR) + "/tests/data/streams/right_arm_forward.csv");
    ASSERT_GE(rows.size(), 12u);
    const std::string base = "/tmp/gesturetool_poses_" + std::to_string(getpid());
    const std::string streamPath = base + ".csv";
    {
        std::ofstream out(streamPath);
        std::string nobody;
        for (int i = 0; i < JOINT_COUNT * 4; ++i) nobody += " 0";
        for (int frame = 0; frame < 12; ++frame) {
            const bool lost = frame >= 2 && frame < 6;
            out << 33333 * frame << (lost ? nobody : " " + rows[static_cast<size_t>(frame)]) << "\n";
        }
    }
    const std::string outPath = base + ".out";
    const std::string command =
        shellQuoted(GESTURETOOL) + " poses " + shellQuoted("csv:" + streamPath) + " > " + shellQuoted(outPath) + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::vector<std::string> printed = linesOf(outPath);
    ASSERT_FALSE(printed.empty());
    printed.erase(printed.begin());  // the column names
    const std::vector<std::string> expected = programPoses(streamPath);
    ASSERT_EQ(expected.size(), 12u);
    ASSERT_EQ(printed.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(printed[i], expected[i]) << "frame " << i;
    std::remove(streamPath.c_str());
    std::remove(outPath.c_str());
}

// --unsmoothed measures each frame's joints exactly as the stream gives them: the poses are
// those of the rows themselves, which the runtime's smoothing would have changed.
TEST(GesturetoolPoses, UnsmoothedMeasuresTheJointsAsGiven) {
    const std::string streamPath = std::string(SOURCE_DIR) + "/tests/data/gestures/both_swings_noisy.csv";
    const std::vector<std::string> rows = dataRows(streamPath);
    ASSERT_GE(rows.size(), 12u);
    const std::string outPath = "/tmp/gesturetool_poses_unsmoothed_" + std::to_string(getpid()) + ".out";
    const std::string command =
        shellQuoted(GESTURETOOL) + " poses --unsmoothed " + shellQuoted("csv:" + streamPath) + " > " + shellQuoted(outPath) +
        " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<std::string> printed = linesOf(outPath);
    std::remove(outPath.c_str());
    ASSERT_EQ(printed.size(), rows.size() + 1);
    printed.erase(printed.begin());  // the column names

    ArmPoseExtractor extractor;
    ArmPose pose{};
    const std::vector<std::string> smoothed = programPoses(streamPath);
    ASSERT_EQ(smoothed.size(), rows.size());
    size_t differing = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        SkeletonRecord record;
        record.trackingState = SKELETON_TRACKED;
        std::istringstream values(rows[i]);
        for (Vector4& joint : record.joints) values >> joint.x >> joint.y >> joint.z >> joint.w;
        ASSERT_TRUE(values) << "row " << i;
        extractArmPose(extractor, record, pose);
        // The same pose, printed as the tool prints it; the time column is the tool's own.
        const std::string& line = printed[i];
        std::string expected = line.substr(0, line.find(',', line.find(',') + 1));
        for (float value : pose) {
            char text[32];
            std::snprintf(text, sizeof text, ",%.6g", value);
            expected += text;
        }
        EXPECT_EQ(line, expected) << "frame " << i;
        if (line != smoothed[i]) ++differing;
    }
    EXPECT_GT(differing, rows.size() / 2) << "the smoothing changes the poses of this stream";
}
