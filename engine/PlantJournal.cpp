#include "engine/PlantJournal.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace {

bool sameRecords(const std::vector<BreakpointRecord>& a, const std::vector<BreakpointRecord>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].address != b[i].address || a[i].savedOpcode != b[i].savedOpcode)
            return false;
    return true;
}

} // namespace

std::string PlantJournal::folder()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::string(state) + "/tarvik11";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/state/tarvik11";
    return {};
}

std::string PlantJournal::pathFor(const std::string& device)
{
    const std::string dir = folder();
    if (dir.empty() || device.empty())
        return {};
    std::string name = "planted-";
    for (char c : device.front() == '/' ? device.substr(1) : device)
        name += (c == '/' || c == ' ') ? '_' : c;
    return dir + "/" + name;
}

void PlantJournal::bind(const std::string& device)
{
    path_ = pathFor(device);
    written_.clear();
    known_ = false;
}

std::vector<BreakpointRecord> PlantJournal::read() const
{
    std::vector<BreakpointRecord> out;
    if (path_.empty())
        return out;
    std::ifstream in(path_);
    std::string line;
    while (std::getline(in, line)) {
        unsigned address = 0;
        unsigned byte = 0;
        char tail = 0;
        // A damaged line (a crash while writing) is skipped: its SWI cannot be trusted to be ours.
        if (std::sscanf(line.c_str(), "$%4x $%2x%c", &address, &byte, &tail) != 2 || address > 0xFFFF || byte > 0xFF)
            continue;
        out.push_back(BreakpointRecord{address, static_cast<uint8_t>(byte), true});
    }
    return out;
}

void PlantJournal::record(const std::vector<BreakpointRecord>& own)
{
    std::vector<BreakpointRecord> planted = own;
    for (const BreakpointRecord& r : inherited_) {
        bool mine = false;
        for (const BreakpointRecord& o : own)
            mine = mine || o.address == r.address;
        if (!mine)
            planted.push_back(r);
    }
    if (path_.empty() || (known_ && sameRecords(planted, written_)))
        return;
    std::error_code ec;
    if (planted.empty()) {
        std::filesystem::remove(path_, ec);
    } else {
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
        std::ostringstream text;
        for (const BreakpointRecord& r : planted) {
            char line[16];
            std::snprintf(line, sizeof line, "$%04x $%02x\n", r.address & 0xFFFFu, unsigned{r.savedOpcode});
            text << line;
        }
        // Written aside and renamed into place: a crash leaves the old list or the new one.
        const std::string aside = path_ + ".new";
        {
            std::ofstream out(aside, std::ios::trunc);
            out << text.str();
            out.flush();
            if (!out)
                return;
        }
        std::filesystem::rename(aside, path_, ec);
        if (ec)
            return;
    }
    written_ = planted;
    known_ = true;
}
