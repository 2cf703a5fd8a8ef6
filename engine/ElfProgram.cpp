#include "engine/ElfProgram.h"

#include <elf.h>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr uint64_t kAddressSpace = 0x10000;

struct ElfCloser {
    void operator()(Elf* e) const { elf_end(e); }
};
struct DwarfCloser {
    void operator()(Dwarf* d) const { dwarf_end(d); }
};

// A descriptor for reading path when it is a regular file, else -1 (errno set). The open does
// not block: a FIFO would otherwise wait for a writer.
int openRegular(const std::string& path, off_t& size)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
        errno = ENOENT;
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    size = st.st_size;
    return fd;
}

bool fits(uint64_t offset, uint64_t size, uint64_t total)
{
    return offset <= total && size <= total - offset;
}

} // namespace

bool ElfProgram::isElfFile(const std::string& path)
{
    off_t size = 0;
    const int fd = openRegular(path, size);
    if (fd < 0)
        return false;
    char magic[SELFMAG] = {};
    const bool elf = ::read(fd, magic, SELFMAG) == SELFMAG && std::memcmp(magic, ELFMAG, SELFMAG) == 0;
    ::close(fd);
    return elf;
}

void ElfProgram::clear()
{
    records_.clear();
    symbols_.clear();
    lines_.clear();
    entry_ = 0;
}

TalkerStatus ElfProgram::fail(const std::string& why)
{
    clear();
    error_ = why;
    return kTalkerS19Invalid;
}

TalkerStatus ElfProgram::readFile(const std::string& path)
{
    clear();
    error_.clear();
    off_t size = 0;
    const int fd = openRegular(path, size);
    if (fd < 0) {
        error_ = "cannot open " + path + ": " + std::strerror(errno);
        return kTalkerS19OpenFailed;
    }
    if (size > kMaxFileBytes) {
        ::close(fd);
        return fail(path + " is larger than a 68HC11 program can be");
    }
    std::vector<char> image;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || static_cast<long long>(image.size()) + got > kMaxFileBytes) {
            ::close(fd);
            error_ = "cannot read " + path + " whole";
            return kTalkerS19ReadFailed;
        }
        if (got == 0)
            break;
        image.insert(image.end(), chunk, chunk + got);
    }
    ::close(fd);
    return parse(image, path);
}

TalkerStatus ElfProgram::parse(const std::vector<char>& bytes, const std::string& path)
{
    clear();
    error_.clear();
    const std::string damaged = path + " is a damaged ELF file: ";
    if (bytes.size() < EI_NIDENT || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0)
        return fail(path + " is no ELF file");
    if (bytes[EI_CLASS] != ELFCLASS32)
        return fail(path + " is no 68HC11 program (not a 32-bit ELF file)");
    elf_version(EV_CURRENT);
    // libelf may keep pointers into the image while the handle lives: a private copy.
    std::vector<char> image = bytes;
    std::unique_ptr<Elf, ElfCloser> elf(elf_memory(image.data(), image.size()));
    if (!elf || elf_kind(elf.get()) != ELF_K_ELF)
        return fail(damaged + (elf ? "not an ELF object" : elf_errmsg(-1)));
    GElf_Ehdr ehdr;
    if (!gelf_getehdr(elf.get(), &ehdr))
        return fail(damaged + elf_errmsg(-1));
    if (ehdr.e_machine != EM_68HC11)
        return fail(path + " is no 68HC11 program (ELF machine " + std::to_string(ehdr.e_machine) + ")");
    if (ehdr.e_entry >= kAddressSpace)
        return fail(damaged + "the entry point lies beyond $ffff");
    entry_ = static_cast<uint16_t>(ehdr.e_entry);
    const uint64_t total = image.size();

    size_t phnum = 0;
    size_t shnum = 0;
    if (elf_getphdrnum(elf.get(), &phnum) != 0 || elf_getshdrnum(elf.get(), &shnum) != 0)
        return fail(damaged + elf_errmsg(-1));
    // Section headers the file promises must be there (libelf quietly reports none otherwise).
    if (ehdr.e_shoff != 0 && (shnum == 0 || !fits(ehdr.e_shoff, uint64_t{shnum} * ehdr.e_shentsize, total)))
        return fail(damaged + "the section headers lie past the end of the file");
    std::vector<GElf_Phdr> loads;
    for (size_t i = 0; i < phnum; ++i) {
        GElf_Phdr ph;
        if (!gelf_getphdr(elf.get(), static_cast<int>(i), &ph))
            return fail(damaged + elf_errmsg(-1));
        if (ph.p_type != PT_LOAD || ph.p_filesz == 0)
            continue;
        if (!fits(ph.p_offset, ph.p_filesz, total))
            return fail(damaged + "a segment lies past the end of the file");
        loads.push_back(ph);
    }

    // The pieces to load: (load address, file offset, size).
    struct Piece {
        uint64_t address, offset, size;
    };
    std::vector<Piece> pieces;
    bool debugSections = false;
    Elf_Scn* symtab = nullptr;
    if (shnum > 0) {
        size_t shstrndx = 0;
        if (elf_getshdrstrndx(elf.get(), &shstrndx) != 0)
            return fail(damaged + elf_errmsg(-1));
        for (Elf_Scn* scn = elf_nextscn(elf.get(), nullptr); scn; scn = elf_nextscn(elf.get(), scn)) {
            GElf_Shdr sh;
            if (!gelf_getshdr(scn, &sh))
                return fail(damaged + elf_errmsg(-1));
            const char* name = elf_strptr(elf.get(), shstrndx, sh.sh_name);
            if (name && (std::strcmp(name, ".debug_info") == 0 || std::strcmp(name, ".debug_line") == 0))
                debugSections = true;
            if (sh.sh_type == SHT_SYMTAB)
                symtab = scn;
            if (!(sh.sh_flags & SHF_ALLOC) || sh.sh_type == SHT_NOBITS || sh.sh_size == 0)
                continue;
            if (!fits(sh.sh_offset, sh.sh_size, total))
                return fail(damaged + "section " + (name ? name : "?") + " lies past the end of the file");
            // The load address: where the segment holding the section puts it.
            uint64_t address = sh.sh_addr;
            for (const GElf_Phdr& ph : loads)
                if (sh.sh_offset >= ph.p_offset && sh.sh_offset - ph.p_offset + sh.sh_size <= ph.p_filesz) {
                    address = ph.p_paddr + (sh.sh_offset - ph.p_offset);
                    break;
                }
            pieces.push_back({address, sh.sh_offset, sh.sh_size});
        }
    } else {
        for (const GElf_Phdr& ph : loads)
            pieces.push_back({ph.p_paddr, ph.p_offset, ph.p_filesz});
    }
    if (pieces.empty())
        return fail(path + " holds no code or data to load");
    for (const Piece& p : pieces) {
        if (p.address >= kAddressSpace || p.size > kAddressSpace - p.address)
            return fail(damaged + "code or data lies beyond $ffff");
        for (uint64_t done = 0; done < p.size; done += kRecordBytes) {
            S19Record r;
            r.address = static_cast<uint32_t>(p.address + done);
            r.dataLength = static_cast<uint8_t>(std::min<uint64_t>(kRecordBytes, p.size - done));
            r.data.assign(image.begin() + static_cast<std::ptrdiff_t>(p.offset + done),
                          image.begin() + static_cast<std::ptrdiff_t>(p.offset + done + r.dataLength));
            records_.push_back(r);
        }
    }

    if (symtab) {
        GElf_Shdr sh;
        Elf_Data* data = elf_getdata(symtab, nullptr);
        if (!gelf_getshdr(symtab, &sh) || !data)
            return fail(damaged + "unreadable symbol table");
        const size_t count = sh.sh_entsize ? sh.sh_size / sh.sh_entsize : 0;
        for (size_t i = 1; i < count; ++i) {
            GElf_Sym sym;
            if (!gelf_getsym(data, static_cast<int>(i), &sym))
                return fail(damaged + "unreadable symbol table");
            const int type = GELF_ST_TYPE(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || sym.st_shndx >= SHN_LORESERVE || type == STT_SECTION ||
                type == STT_FILE)
                continue;
            const char* name = elf_strptr(elf.get(), sh.sh_link, sym.st_name);
            if (!name || !*name)
                continue;
            symbols_.emplace_back(sym.st_value, name);
        }
    }

    if (!debugSections)
        return kTalkerOk;
    std::unique_ptr<Dwarf, DwarfCloser> dwarf(dwarf_begin_elf(elf.get(), DWARF_C_READ, nullptr));
    if (!dwarf)
        return fail(damaged + "debugging information: " + dwarf_errmsg(-1));
    Dwarf_Off offset = 0;
    Dwarf_Off next = 0;
    size_t headerSize = 0;
    int more = 0;
    while ((more = dwarf_nextcu(dwarf.get(), offset, &next, &headerSize, nullptr, nullptr, nullptr)) == 0) {
        Dwarf_Die cu;
        if (!dwarf_offdie(dwarf.get(), offset + headerSize, &cu))
            return fail(damaged + "debugging information: " + dwarf_errmsg(-1));
        offset = next;
        if (!dwarf_hasattr(&cu, DW_AT_stmt_list))
            continue; // a unit without a line table
        Dwarf_Lines* table = nullptr;
        size_t count = 0;
        if (dwarf_getsrclines(&cu, &table, &count) != 0)
            return fail(damaged + "line table: " + dwarf_errmsg(-1));
        for (size_t i = 0; i < count; ++i) {
            Dwarf_Line* line = dwarf_onesrcline(table, i);
            Dwarf_Addr address = 0;
            int number = 0;
            bool end = false;
            bool statement = false;
            const char* file = line ? dwarf_linesrc(line, nullptr, nullptr) : nullptr;
            if (!line || dwarf_lineaddr(line, &address) != 0 || dwarf_lineno(line, &number) != 0 ||
                dwarf_lineendsequence(line, &end) != 0 || dwarf_linebeginstatement(line, &statement) != 0 || !file)
                return fail(damaged + "line table: " + dwarf_errmsg(-1));
            if (address > kAddressSpace || (!end && address == kAddressSpace))
                return fail(damaged + "the line table names addresses beyond $ffff");
            if (number <= 0 && !end)
                continue;
            SourceLines::Row row;
            row.address = static_cast<uint32_t>(address);
            row.file = lines_.addFile(file);
            row.line = static_cast<uint32_t>(std::max(number, 0));
            row.statement = statement;
            row.endSequence = end;
            lines_.addRow(row);
        }
    }
    if (more < 0)
        return fail(damaged + "debugging information: " + dwarf_errmsg(-1));
    return kTalkerOk;
}
