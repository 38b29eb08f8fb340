#pragma once
// EditHistory: the order of edits across tools. Each tool keeps its own undo and redo stacks of
// records; the history only remembers which tool made each edit, so that undo and redo walk all
// tools in the order the edits were made. Main thread only.
#include <vector>

class Tool;

struct EditHistory {
    std::vector<Tool*> done;    // oldest first; not owned
    std::vector<Tool*> undone;  // most recently undone last; not owned

    // Called by a tool each time it pushes a record on its own undo stack. Empties the undone
    // list: a new edit makes the undone edits of every tool unreachable.
    void recordEdit(Tool* tool);

    // Undoes the newest done edit through its tool; nothing when the done list is empty.
    void undoLast();

    // Re-applies the newest undone edit through its tool; nothing when the undone list is empty.
    void redoLast();
};
