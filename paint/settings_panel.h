#pragma once
// The settings panel: live controls bound to the recogniser's settings and read-outs, the pose
// values and the right hand detector's parameters, docked on the right side of the window.
// A step button or a list choice writes its variable at once; a number typed into a field is
// written when the edit ends (Enter, Tab or a click elsewhere; Escape cancels it). Every frame
// the controls show the variables again, so values typed into read-outs are overwritten by the
// program on the next frame.
#include <string>
#include <vector>

struct PaintApp;

enum class PanelControl { FLOAT_SPINNER, INT_SPINNER, FLOAT_FIELD, INT_FIELD, MEASURE_LIST, SEPARATOR };

struct PanelRow {
    std::string label;
    PanelControl control = PanelControl::SEPARATOR;
    float* floatValue = nullptr;  // the live variable (not owned)
    int* intValue = nullptr;
    // While a number is being typed into the field: the value typed so far.
    bool typing = false;
    float typedFloat = 0.0f;
    int typedInt = 0;
};

constexpr int SETTINGS_PANEL_WIDTH = 360;  // pixels taken from the right of the window

// The 25 rows, top to bottom, bound to `app`'s live variables.
std::vector<PanelRow> buildSettingsPanel(PaintApp& app);

// The similarity-measure list: six items; returns the text of `item` ("" outside 0..5).
const char* measureItemText(int item);
// Applies a list choice: setSimilarityMeasure(measure, -1) on the recogniser. An item outside
// 0..5 does nothing. Returns true when a measure was set.
bool chooseMeasureItem(PaintApp& app, int item);
// The list item that shows the recogniser's measure, or -1 for measures the list does not offer.
int measureItemOf(const PaintApp& app);

// Draws the panel with Dear ImGui at the right edge of a window `windowWidth` x `windowHeight`.
void drawSettingsPanel(PaintApp& app, std::vector<PanelRow>& rows, int windowWidth, int windowHeight);
