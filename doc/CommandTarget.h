#pragma once

// Enabled and checked state of one command, filled in by the object that carries it.
struct CmdUI {
    bool enabled = true;
    bool checked = false;
};

// An object on the command route: view, document, child frame, main frame, application.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // True when this object carries the command; then ui holds its state.
    virtual bool updateCommand(int id, CmdUI& ui) = 0;
    // True when this object carried out the command.
    virtual bool onCommand(int id) = 0;
};
