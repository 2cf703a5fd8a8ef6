#pragma once
#include "engine/BreakpointRecord.h"

#include <string>
#include <utility>
#include <vector>

// A small file per port that lists the bytes our SWIs displaced while they are in the target:
// written before an SWI is planted, emptied once every one is written back. A RESET, a power cut
// or a crash of the host can then never leave SWIs behind unnoticed: the next boot on that port
// finds what the last session left and can write it back.
//
// The file lives in the user's state folder ($XDG_STATE_HOME/tarvik11, else
// ~/.local/state/tarvik11), named after the device ("planted-dev_ttyUSB0"); one line per SWI,
// "$address $byte" in hexadecimal. A journal that cannot be written costs nothing else.
class PlantJournal {
public:
    // The state folder; empty when neither XDG_STATE_HOME nor HOME is set.
    static std::string folder();
    // The journal's path for a device; empty without a folder.
    static std::string pathFor(const std::string& device);

    // Keeps the journal of this device from now on (empty: none).
    void bind(const std::string& device);
    bool bound() const { return !path_.empty(); }
    // Makes the file list exactly these records (none: removes it); written only when they differ
    // from what it lists now.
    void record(const std::vector<BreakpointRecord>& planted);
    // What the file lists now (another session's, before this one records anything).
    std::vector<BreakpointRecord> read() const;
    // Records an earlier session left that stay listed with this session's own until dropped
    // (written back, or found no longer to hold an SWI).
    void inherit(std::vector<BreakpointRecord> records) { inherited_ = std::move(records); known_ = false; }
    const std::vector<BreakpointRecord>& inherited() const { return inherited_; }

private:
    std::string path_;
    std::vector<BreakpointRecord> written_;
    std::vector<BreakpointRecord> inherited_;
    bool known_ = false; // written_ is what the file lists
};
