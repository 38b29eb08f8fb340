#pragma once
// An independent model of the gesture training screen: the ten training buttons and the training
// button of the recognition screen, the two labels, the capture countdown, the armed flag, the
// current tool and the recogniser's sets as the screen sees them (a type and an example count per
// set). Written from the screen's described behaviour, not from its code, so that random runs can
// compare the two after every frame.
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "widgets/reference_widgets.h"

namespace reftraining {

enum Mode { Recognition = 0, Training = 1, Painting = 2 };
enum Type { LEFT = 0, RIGHT = 1, BOTH = 2, UNDEFINED = 3 };

// The training buttons by index.
inline const std::array<const char*, 10>& trainingNames() {
    static const std::array<const char*, 10> names = {
        "BUTTON_EXIT_GEST", "BUTTON_NEXT_GEST", "BUTTON_PREV_GEST", "BUTTON_REPLACE_GEST",
        "BUTTON_REMOVE_GEST", "BUTTON_NEW_GEST", "BUTTON_NEW_SET", "BUTTON_REMOVE_SET",
        "BUTTON_PREV_SET", "BUTTON_NEXT_SET"};
    return names;
}

struct Label {
    std::string text;
    uint32_t height = 0;
    uint32_t spacing = 0;
    std::array<uint8_t, 4> colour{{0, 0, 0, 0}};
    bool withBox = false;
    int32_t duration = 0;
    uint32_t fade = 0;
    uint32_t start = 0;
};

struct Set {
    int type = UNDEFINED;
    int examples = 0;
};

struct Screen {
    int mode = Recognition;
    bool armed = true;
    int tool = 0;  // index into the tool list
    refwidgets::Countdown countdown;
    std::vector<refwidgets::Button> training;
    refwidgets::Button recognition;
    Label gestureLabel;
    Label messageLabel;
    std::deque<std::string> events;

    // The recogniser's training state.
    std::vector<Set> sets;
    int setIndex = 0;
    int gestureIndex = 0;
    bool pending = false;
    bool requestNewSet = false;
    bool requestReplace = false;

    uint32_t now = 0;

    Screen() {
        for (const char* name : trainingNames()) {
            refwidgets::Button b;
            b.name = name;
            b.size = 32.0f;
            training.push_back(b);
        }
        recognition.name = "BUTTON_TRAINING";
        recognition.size = 64.0f;
        refwidgets::enable(recognition);
        messageLabel.duration = 1500;
        messageLabel.fade = 500;
        messageLabel.colour = {{0, 0, 0, 255}};
    }

    refwidgets::Button& button(const std::string& name) {
        for (refwidgets::Button& b : training)
            if (b.name == name) return b;
        return recognition;
    }

    // ---- the recogniser's set editing ----
    int removeCurrentSet() {
        if (sets.empty()) return -1;
        sets.erase(sets.begin() + setIndex);
        if (sets.empty()) return -1;
        const int count = static_cast<int>(sets.size());
        gestureIndex = 0;
        setIndex = (count + setIndex - 1) % count;
        return setIndex;
    }
    int removeCurrentGesture() {
        if (sets.empty() || sets[setIndex].examples == 0) return -1;
        Set& set = sets[setIndex];
        --set.examples;
        if (set.examples > 0) {
            gestureIndex = (gestureIndex + set.examples - 1) % set.examples;
            return gestureIndex;
        }
        gestureIndex = 0;
        return removeCurrentSet();
    }
    int examples() const { return sets.empty() ? 0 : sets[setIndex].examples; }

    // ---- the screen ----
    static const char* typeName(int type) {
        switch (type) {
            case LEFT: return "LEFT";
            case RIGHT: return "RIGHT";
            case BOTH: return "BOTH";
            case UNDEFINED: return "UNDEFINED";
            default: return "NO GESTURE TYPE";
        }
    }

    void rebuild(Label& label) { label.start = now; }

    void showMessage(const std::string& text) {
        messageLabel.text = text;
        messageLabel.height = 30;
        messageLabel.spacing = 5;
        messageLabel.withBox = true;
    }

    void refreshTrainingButtons() {
        for (refwidgets::Button& b : training) {
            refwidgets::update(b, 0.0f, 0.0f, now, events);
            b.visible = true;
            refwidgets::switchOff(b);
        }
        refwidgets::enable(button("BUTTON_NEW_SET"));
        if (!sets.empty()) {
            for (const char* name : {"BUTTON_REMOVE_SET", "BUTTON_PREV_SET", "BUTTON_NEXT_SET",
                                     "BUTTON_NEW_GEST", "BUTTON_REMOVE_GEST", "BUTTON_REPLACE_GEST",
                                     "BUTTON_PREV_GEST", "BUTTON_NEXT_GEST"})
                refwidgets::enable(button(name));
        }
        refwidgets::enable(button("BUTTON_EXIT_GEST"));
    }

    void updateGestureLabel() {
        if (sets.empty()) return;
        gestureLabel.text = "Gesture Set: " + std::to_string(setIndex + 1) + " / " +
                            std::to_string(sets.size()) + " - Gesture: " +
                            std::to_string(gestureIndex + 1) + " / " +
                            std::to_string(sets[setIndex].examples) + " - " +
                            typeName(sets[setIndex].type);
        gestureLabel.height = 24;
        gestureLabel.withBox = false;
        gestureLabel.spacing = 0;
        gestureLabel.colour = {{0, 0, 0, 255}};
        gestureLabel.duration = -1;
        gestureLabel.fade = 500;
        rebuild(gestureLabel);
    }

    void requestTraining(bool newSet, bool replace) {
        pending = true;
        requestNewSet = newSet;
        requestReplace = replace;
    }

    void handleButton(const std::string& name) {
        if (name == "BUTTON_TRAINING") {
            mode = Training;
            recognition.visible = false;
            refwidgets::switchOff(recognition);
            refreshTrainingButtons();
            updateGestureLabel();
        }
        if (name == "BUTTON_NEW_SET" || name == "BUTTON_NEW_GEST" || name == "BUTTON_REPLACE_GEST") {
            requestTraining(name == "BUTTON_NEW_SET", name == "BUTTON_REPLACE_GEST");
            for (refwidgets::Button& b : training) refwidgets::switchOff(b);
            countdown = {now, 4000};
            armed = true;
        }
        if (name == "BUTTON_REMOVE_SET") {
            if (removeCurrentSet() == -1) refreshTrainingButtons();
            updateGestureLabel();
            showMessage("Gesture Set removed!");
            rebuild(messageLabel);
        }
        if (name == "BUTTON_PREV_SET" || name == "BUTTON_NEXT_SET") {
            if (!sets.empty()) {
                const int count = static_cast<int>(sets.size());
                gestureIndex = 0;
                setIndex = name == "BUTTON_PREV_SET" ? (count + setIndex - 1) % count : (setIndex + 1) % count;
            }
            updateGestureLabel();
        }
        if (name == "BUTTON_PREV_GEST" || name == "BUTTON_NEXT_GEST") {
            const int count = examples();
            if (count >= 1)
                gestureIndex = name == "BUTTON_PREV_GEST" ? (count + gestureIndex - 1) % count
                                                          : (gestureIndex + 1) % count;
            updateGestureLabel();
        }
        if (name == "BUTTON_REMOVE_GEST") {
            if (removeCurrentGesture() == -1) refreshTrainingButtons();
            updateGestureLabel();
            showMessage("Gesture removed!");
            rebuild(messageLabel);
        }
        if (name == "BUTTON_EXIT_GEST") {
            mode = Recognition;
            for (refwidgets::Button& b : training) {
                b.visible = false;
                refwidgets::switchOff(b);
            }
            refwidgets::enable(recognition);
        }
    }

    // "Gesture " n + 1 " recognized", n the leading decimal digits of the text (0 without any).
    static std::string resultMessage(const std::string& text) {
        if (text == "DEFAULT_GESTURE") return "Default Gesture recognized";
        long long n = 0;
        for (char c : text) {
            if (c < '0' || c > '9') break;
            n = n * 10 + (c - '0');
        }
        return "Gesture " + std::to_string(n + 1) + " recognized";
    }

    void handleResult(const std::string& text) {
        if (!armed) {
            if (text == "DEFAULT_GESTURE") {
                tool = 0;
                armed = true;
            }
            return;
        }
        messageLabel.text = resultMessage(text);
        messageLabel.withBox = true;
        messageLabel.height = 30;
        messageLabel.spacing = 5;
        if (text == "GESTURE_NOT_TRAINED") {
            refreshTrainingButtons();
            showMessage("Error! Gesture not trained!");
            updateGestureLabel();
        }
        if (text == "GESTURE_TRAINED") {
            refreshTrainingButtons();
            showMessage("Success! Gesture trained!");
            updateGestureLabel();
        }
        rebuild(messageLabel);
        if (text.size() == 1 && text[0] >= '0' && text[0] <= '6') {
            tool = text[0] - '0' + 1;
            if (mode == Painting) armed = false;
        }
    }

    // What the recogniser stores and queues when a capture of an example of `type` succeeds.
    std::vector<std::string> capture(int type) {
        std::vector<std::string> texts;
        if (requestNewSet) {
            sets.push_back({type, 1});
            setIndex = static_cast<int>(sets.size()) - 1;
            gestureIndex = 0;
            texts = {"NEW_GESTURE_SET", "GESTURE_TRAINED"};
        } else if (sets[setIndex].type != type) {
            texts = {"GESTURE_NOT_TRAINED"};
        } else {
            if (!requestReplace) {
                ++sets[setIndex].examples;
                gestureIndex = sets[setIndex].examples - 1;
            }
            texts = {"GESTURE_TRAINED"};
        }
        pending = false;
        return texts;
    }

    bool recognitionEnabled() const { return armed && !refwidgets::running(countdown, now); }
};

}  // namespace reftraining
