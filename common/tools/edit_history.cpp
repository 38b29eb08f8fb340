#include "common/tools/edit_history.h"

#include "common/tools/tool.h"

void EditHistory::recordEdit(Tool* tool) {
    if (tool == nullptr) {
        return;
    }
    done.push_back(tool);
    undone.clear();
}

void EditHistory::undoLast() {
    if (done.empty()) {
        return;
    }
    Tool* tool = done.back();
    done.pop_back();
    undone.push_back(tool);
    tool->undo();
}

void EditHistory::redoLast() {
    if (undone.empty()) {
        return;
    }
    Tool* tool = undone.back();
    undone.pop_back();
    done.push_back(tool);
    tool->redo();
}
