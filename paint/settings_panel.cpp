#include "paint/settings_panel.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "paint/paint_app.h"

namespace {

struct MeasureItem {
    const char* text;
    SimilarityMeasure measure;
};

// The list offers six of the nine measures; the modified Pearson, DTW and FM are not offered.
const MeasureItem MEASURE_ITEMS[] = {
    {"Euclidean", SimilarityMeasure::EUCLIDEAN},
    {"mod. Eudlidean", SimilarityMeasure::MODIFIED_EUCLIDEAN},
    {"Pearson Corr.", SimilarityMeasure::PEARSON_CORRELATION},
    {"sqr. Pearson", SimilarityMeasure::PEARSON_CORRELATION_SQUARED},
    {"DTW", SimilarityMeasure::DTW},
    {"FMDistance", SimilarityMeasure::FM},
};
constexpr int MEASURE_ITEM_COUNT = 6;

PanelRow row(const char* label, PanelControl control, float* f) {
    PanelRow r;
    r.label = label;
    r.control = control;
    r.floatValue = f;
    return r;
}

PanelRow row(const char* label, PanelControl control, int* i) {
    PanelRow r;
    r.label = label;
    r.control = control;
    r.intValue = i;
    return r;
}

PanelRow separator() { return PanelRow(); }

// A typed "1e39" reads as infinity, which would leave the recogniser comparing against a value
// no speed or distance reaches; such an edit keeps the setting.
bool acceptable(float v) { return std::isfinite(v); }
bool acceptable(int) { return true; }

// The settings take effect as soon as they are written, and some cannot be taken back: a smaller
// moving window drops the recogniser's marks. A number being typed therefore stays in the row
// until the edit ends, so that passing through "2" on the way to "20", or an edit cancelled with
// Escape, changes nothing. The step buttons write at once.
template <typename T, typename Input>
void numberField(const PanelRow& r, T* variable, bool& typing, T& typed, Input input) {
    // The id the spinner gives its text field. (ImGui::GetID would also mark that id as seen
    // this frame, and the spinner would then no longer count its field as its own.)
    ImGui::PushID(r.label.c_str());
    const ImGuiID textField = ImGui::GetCurrentWindow()->GetIDNoKeepAlive("");
    ImGui::PopID();
    T shown = typing ? typed : *variable;
    const bool changed = input(r.label.c_str(), &shown);
    if (ImGui::GetActiveID() == textField) {
        typing = true;
        typed = shown;
    } else if (typing) {
        // The edit has ended. Escape cancels it: it has put the field's old text back, whose
        // three decimals, read again, must not round the setting.
        typing = false;
        if (!ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false) && acceptable(shown)) *variable = shown;
    } else if (changed && acceptable(shown)) {
        *variable = shown;  // a step button
    }
}

}  // namespace

const char* measureItemText(int item) {
    return item >= 0 && item < MEASURE_ITEM_COUNT ? MEASURE_ITEMS[item].text : "";
}

bool chooseMeasureItem(PaintApp& app, int item) {
    if (item < 0 || item >= MEASURE_ITEM_COUNT) return false;
    app.recognizer->setSimilarityMeasure(MEASURE_ITEMS[item].measure, -1.0f);
    return true;
}

int measureItemOf(const PaintApp& app) {
    for (int i = 0; i < MEASURE_ITEM_COUNT; ++i) {
        if (MEASURE_ITEMS[i].measure == app.recognizer->similarityMeasure) return i;
    }
    return -1;
}

std::vector<PanelRow> buildSettingsPanel(PaintApp& app) {
    GestureRecognizer& r = *app.recognizer;
    HandStateDetector& right = *app.rightDetector;
    float* pose = app.pose.data();
    using C = PanelControl;
    std::vector<PanelRow> rows = {
        row("Velocity Low Threshold:", C::FLOAT_SPINNER, &r.velocityLowThreshold),
        row("Velocity High Threshold:", C::FLOAT_SPINNER, &r.velocityHighThreshold),
        row("Max size of moving window:", C::INT_SPINNER, &r.maxMovingWindowSize),
        row("Min recognition interval length:", C::INT_SPINNER, &r.minRecognitionIntervalLength),
        row("Pose Recogn. Threshold:", C::FLOAT_SPINNER, &r.poseRecognitionThreshold),
        row("Default Gesture Threshold:", C::FLOAT_SPINNER, &r.defaultGestureThreshold),
        row("Similarity Measure:", C::MEASURE_LIST, static_cast<int*>(nullptr)),
        row("Gesture Recogn. Threshold:", C::FLOAT_SPINNER, &r.gestureRecognitionThreshold),
        row("Nr. Of. Neighbours:", C::INT_SPINNER, &r.numberOfNeighbours),
        row("Current velocity:", C::FLOAT_FIELD, &app.velocityReadout),
        row("Current size of moving window:", C::INT_FIELD, &r.currentWindowSize),
        separator(),
        row("Elbow Left:", C::FLOAT_FIELD, pose + 0),
        row("Elbow Right:", C::FLOAT_FIELD, pose + 1),
        row("Elevation Left:", C::FLOAT_FIELD, pose + 2),
        row("Elevation Right:", C::FLOAT_FIELD, pose + 3),
        row("Hor. Add. Left:", C::FLOAT_FIELD, pose + 4),
        row("Hor. Add. Right:", C::FLOAT_FIELD, pose + 5),
        row("Rotation Left:", C::FLOAT_FIELD, pose + 6),
        row("Rotation Right:", C::FLOAT_FIELD, pose + 7),
        separator(),
        row("Hand depth treshold:", C::INT_SPINNER, &right.depthThreshold),
        row("Hand contour filter size:", C::INT_SPINNER, &right.filterSize),
        row("Hand contour neighbourhood size:", C::INT_SPINNER, &right.neighbourhood),
        row("Hand contour gradient:", C::FLOAT_SPINNER, &right.gradient),
    };
    return rows;
}

void drawSettingsPanel(PaintApp& app, std::vector<PanelRow>& rows, int windowWidth, int windowHeight) {
    // A window narrower than the panel shows its left part, where the fields are, not its right.
    const int width = std::min(windowWidth, SETTINGS_PANEL_WIDTH);
    ImGui::SetNextWindowPos(ImVec2(static_cast<float>(windowWidth - width), 0.0f));
    ImGui::SetNextWindowSize(ImVec2(static_cast<float>(width), static_cast<float>(windowHeight)));
    ImGuiWindowFlags flags = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse |
                             ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoSavedSettings;
    if (!ImGui::Begin("Settings", nullptr, flags)) {
        ImGui::End();
        return;
    }
    // A window too low for every row gets a scrollbar; the fields give up its width, so that the
    // longest label keeps its last letters.
    const bool scrolls = ImGui::GetCurrentWindow()->ScrollbarY;
    ImGui::PushItemWidth(110.0f - (scrolls ? ImGui::GetStyle().ScrollbarSize : 0.0f));
    int id = 0;
    for (PanelRow& r : rows) {
        ImGui::PushID(id++);
        switch (r.control) {
            case PanelControl::SEPARATOR:
                ImGui::Separator();
                break;
            case PanelControl::FLOAT_SPINNER:
                numberField(r, r.floatValue, r.typing, r.typedFloat, [](const char* label, float* v) {
                    return ImGui::InputFloat(label, v, 0.1f, 1.0f, "%.3f");
                });
                break;
            case PanelControl::INT_SPINNER:
                numberField(r, r.intValue, r.typing, r.typedInt, [](const char* label, int* v) {
                    // Read as 64 bits and held to int's range, so that a typed number too long
                    // for an int stops at the end instead of wrapping round to a negative window
                    // size or neighbour count. (The typed text is the number: ImGui's "+5" and
                    // "*2", which its 32-bit fields apply to the old value, read as 5 and 2, as in
                    // a classic edit field.)
                    long long wide = *v;
                    const long long step = 1, fastStep = 10;
                    const bool changed = ImGui::InputScalar(label, ImGuiDataType_S64, &wide, &step, &fastStep, "%lld");
                    *v = static_cast<int>(std::clamp<long long>(wide, INT_MIN, INT_MAX));
                    return changed;
                });
                break;
            // Read-outs show what the program wrote this frame. An editable field that has the
            // keyboard shows its own text instead and writes it back every frame, so one click
            // would freeze the read-out until Enter; read-only, it keeps following the program.
            case PanelControl::FLOAT_FIELD:
                ImGui::InputFloat(r.label.c_str(), r.floatValue, 0.0f, 0.0f, "%.3f", ImGuiInputTextFlags_ReadOnly);
                break;
            case PanelControl::INT_FIELD:
                ImGui::InputInt(r.label.c_str(), r.intValue, 0, 0, ImGuiInputTextFlags_ReadOnly);
                break;
            case PanelControl::MEASURE_LIST: {
                int item = measureItemOf(app);
                if (ImGui::BeginCombo(r.label.c_str(), item >= 0 ? measureItemText(item) : "")) {
                    for (int i = 0; i < MEASURE_ITEM_COUNT; ++i) {
                        if (ImGui::Selectable(measureItemText(i), i == item)) chooseMeasureItem(app, i);
                    }
                    ImGui::EndCombo();
                }
                break;
            }
        }
        ImGui::PopID();
    }
    ImGui::PopItemWidth();
    ImGui::End();
}
