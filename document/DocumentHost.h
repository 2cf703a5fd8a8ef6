#pragma once
#include "document/TargetServices.h"
#include <QString>

class CTarvik11Doc;
class QDialog;
class QStatusBar;
class QWidget;
struct TalkerSettings;

// What the debugger document needs from the application around it.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;
    // Records the document as the application's current document.
    virtual void setCurrentDoc(CTarvik11Doc* doc) = 0;
    // The main frame's status bar (pane 0 is the message pane), or nullptr.
    virtual QStatusBar* mainStatusBar() = 0;
    // The window that owns the document's dialogs and tool windows.
    virtual QWidget* dialogOwner() = 0;
    // A modal box captioned with the application title, an OK button and the warning icon.
    virtual void messageBox(const QString& text) = 0;
    // A modal question captioned with the application title, Yes and No buttons; true for Yes.
    virtual bool askYesNo(const QString& text) = 0;
    // Opens an Assembly View on the active document ("Command failed." when it cannot); true when
    // doc has an Assembly View afterwards.
    virtual bool openAsmView(CTarvik11Doc* doc) = 0;
    // Runs the talker setup dialog; true (settings filled and saved) after OK.
    virtual bool editTalkerSettings(TalkerSettings& settings) = 0;
    // Closes every window of the document and destroys it.
    virtual void closeDocument(CTarvik11Doc* doc) = 0;
    // Gives a hidden tool window its place in the application under a name that stays the same
    // across runs (the main frame docks it at its side); by default it stays a window of its own.
    virtual void placeToolWindow(QDialog* window, const QString& name) { (void)window; (void)name; }
    // A program was loaded from path: it heads the recent-file list.
    virtual void noteProgramLoaded(const QString& path) { (void)path; }
    // The objects the commands talk to the target through (none by default).
    virtual TargetServices targetServices() { return {}; }
};
