#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "FuzzPty.h"
#include "FuzzScratch.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr size_t kTalkerSize = 257;

// What the talker file name points at.
enum class FileKind {
    Regular,
    Folder,
    Missing,
    LinkToRegular,
    DanglingLink,
    Fifo,
    CharacterDevice,
    Unreadable,
    NameWithNul,
    EmptyName,
    Count
};

// A talker file of the given kind; the name the start-up gets and whether the check must pass.
struct PreparedFile {
    std::string name;
    bool acceptable = false;
    bool fifo = false;
};

PreparedFile prepare(FileKind kind, const uint8_t* content, size_t size) {
    const std::string regular = FuzzScratch::path("talker.boo");
    const std::string other = FuzzScratch::path("other");
    ::unlink(other.c_str());
    ::rmdir(other.c_str());
    PreparedFile file;
    switch (kind) {
    case FileKind::Regular:
    case FileKind::Unreadable:
    case FileKind::LinkToRegular:
        if (!FuzzScratch::writeFile(regular, content, size))
            return {};
        file.name = regular;
        if (kind == FileKind::Unreadable)
            ::chmod(regular.c_str(), 0);
        if (kind == FileKind::LinkToRegular) {
            if (::symlink(regular.c_str(), other.c_str()) != 0)
                return {};
            file.name = other;
        }
        // A privileged process reads the file whatever its mode says.
        file.acceptable = ::access(regular.c_str(), R_OK) == 0;
        return file;
    case FileKind::Folder:
        ::mkdir(other.c_str(), 0700);
        file.name = other;
        return file;
    case FileKind::Missing:
        file.name = other;
        return file;
    case FileKind::DanglingLink:
        ::symlink(FuzzScratch::path("nowhere").c_str(), other.c_str());
        file.name = other;
        return file;
    case FileKind::Fifo:
        ::mkfifo(other.c_str(), 0600);
        file.name = other;
        file.fifo = true;
        return file;
    case FileKind::CharacterDevice:
        file.name = "/dev/null";
        return file;
    case FileKind::NameWithNul:
        FuzzScratch::writeFile(regular, content, size);
        file.name = regular + std::string(1, '\0') + "x";
        return file;
    case FileKind::EmptyName:
    case FileKind::Count:
        return file;
    }
    return file;
}

// Opens a FIFO's writing end once a reader is blocked on it, so a check that opens the FIFO
// for reading cannot hang the run; records whether that was needed.
class FifoRescue {
public:
    FifoRescue(const std::string& path, bool armed) {
        if (armed)
            thread_ = std::thread([this, path] { run(path); });
    }
    ~FifoRescue() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool rescued() const { return rescued_; }
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

private:
    void run(const std::string& path) {
        // Opening the writing end without blocking succeeds only while a reader has it open.
        for (int waited = 0; waited < 2000 && !stop_; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (waited < 300)
                continue; // the check has a good while to decide without opening
            fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd_ >= 0) {
                rescued_ = true;
                return;
            }
        }
    }
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> rescued_{false};
    int fd_ = -1;
};

struct Rig {
    FuzzPty pty;
    SerialPort port;
    TalkerLink link{port};
    // Nothing answers, so a read gives up at once; the download needs no pacing.
    Rig() {
        port.readWaitMs = 0;
        port.paceOnPseudoTerminal = false;
    }
};

} // namespace

int fuzzTalkerFile(const uint8_t* data, size_t size) {
    static Rig rig;
    if (size < 2 || !rig.pty.valid())
        return 0;
    const auto kind = static_cast<FileKind>(data[0] % static_cast<int>(FileKind::Count));
    const bool rom = (data[1] & 1) != 0;
    const size_t contentSize = size - 2;
    const PreparedFile file = prepare(kind, data + 2, contentSize);
    if (kind != FileKind::EmptyName && file.name.empty())
        return 0;

    rig.pty.discard();
    TalkerStatus status = kTalkerOk;
    {
        FifoRescue rescue(file.name, file.fifo);
        status = rom ? rig.link.bootRomTalker(rig.pty.slavePath(), file.name)
                     : rig.link.bootRamTalker(rig.pty.slavePath(), file.name);
        rescue.stop();
        fuzzExpect(!rescue.rescued(), "the talker file check blocked opening a FIFO");
    }
    rig.link.closePort();
    ::chmod(FuzzScratch::path("talker.boo").c_str(), 0600);

    // A RAM talker file must be a readable regular file of exactly 257 bytes; a ROM start-up only
    // needs the file to open, then sends its start byte and gets no echo, as nothing answers.
    TalkerStatus expected = kTalkerNoResponse;
    if (!file.acceptable)
        expected = rom ? kTalkerMapFileFailed : kTalkerFileOpenFailed;
    else if (!rom && contentSize != kTalkerSize)
        expected = kTalkerFileInvalid;
    fuzzExpect(status == expected, "talker start-up with a file of kind " +
                                       std::to_string(static_cast<int>(kind)) + " gave status " +
                                       std::to_string(status) + ", expected " + std::to_string(expected));
    rig.pty.discard();
    return 0;
}
