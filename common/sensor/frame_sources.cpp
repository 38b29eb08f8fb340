#include "common/sensor/frame_sources.h"

#include "common/files/same_file.h"
#include "common/sensor/csv_source.h"
#include "common/sensor/replay_source.h"
#include "common/sensor/stream_source.h"

namespace {

SyntheticSourceFactory& syntheticFactory() {
    static SyntheticSourceFactory factory;  // function-local: safe to register from anywhere
    return factory;
}

bool startsWith(const std::string& text, const char* head, std::string& rest) {
    size_t n = std::char_traits<char>::length(head);
    if (text.compare(0, n, head) != 0) {
        return false;
    }
    rest = text.substr(n);
    return true;
}

}  // namespace

void registerSyntheticSource(SyntheticSourceFactory factory) { syntheticFactory() = std::move(factory); }

std::unique_ptr<StreamSource> openStream(const std::string& sourceName, std::string& error) {
    std::string path;
    if (startsWith(sourceName, "csv:", path) || startsWith(sourceName, "replay:", path)) {
        if (path.empty()) {
            error = "stream '" + sourceName + "': no file named after the colon";
            return nullptr;
        }
        if (sourceName[0] == 'c') {
            return openCsvSource(path, error);
        }
        return openReplaySource(path, error);
    }
    error = "stream '" + sourceName + "': expected csv:FILE or replay:FILE";
    return nullptr;
}

bool streamPlaysFile(const std::string& sourceName, const std::string& path) {
    std::string streamFile;
    if (!startsWith(sourceName, "csv:", streamFile) && !startsWith(sourceName, "replay:", streamFile)) return false;
    return namesSameFile(streamFile, path);
}

std::unique_ptr<FrameSource> openFrameSource(const std::string& sourceName, std::string& error) {
    if (sourceName == "synthetic") {
        SyntheticSourceFactory& factory = syntheticFactory();
        std::unique_ptr<FrameSource> source = factory ? factory() : nullptr;
        if (!source) {
            error = "no sensor found: the synthetic performer is not available in this program";
        }
        return source;
    }
    std::string path;
    if (startsWith(sourceName, "csv:", path) || startsWith(sourceName, "replay:", path)) {
        return openStream(sourceName, error);
    }
    error = "unknown sensor '" + sourceName + "' (expected synthetic, replay:FILE or csv:FILE)";
    return nullptr;
}
