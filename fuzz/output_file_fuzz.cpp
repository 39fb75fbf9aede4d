// The output writer against a folder someone else writes into at the same time: a script of
// creates (replacing or refusing a taken name), writes, flushes, commits, kept partial files and
// discards, mixed with files, links, folders and FIFOs planted at the target, at the hidden file
// and at NAME.part. Whatever the order: nothing is written through a link or into a FIFO, a
// refusing copy never replaces a name, a committed file holds exactly the bytes written, a kept
// one the bytes so far, and nothing hidden is left behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "files/OutputFile.h"
#include "files/OutputFolder.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"

namespace {

namespace fs = std::filesystem;
using zrk::OutputFile;
using zrk::OutputFolder;
using zrk::fuzz::check;
using zrk::fuzz::trail;
using Bytes = std::vector<std::uint8_t>;

const std::string kVictimText = "the victim's own bytes\n";
constexpr int kMostActions = 40;
const std::array<const char*, 3> kNames = {"out.bin", "r", "out.bin.part"};

// One folder for every input (made once: a fresh one per input would cost more than the run),
// on a memory file system where there is one, as the commits sync.
struct Place {
    fs::path root;
    fs::path work;
    fs::path victim;
    fs::path fifoOutside;
    Place() {
        const char* base = fs::is_directory("/dev/shm") ? "/dev/shm" : nullptr;
        std::string pattern =
            ((base ? fs::path(base) : fs::temp_directory_path()) / "zrk-output-fuzz-XXXXXX")
                .string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
        work = root / "work";
        victim = root / "victim";
        fifoOutside = root / "fifo";
        std::ofstream(victim, std::ios::binary) << kVictimText;
        fs::create_directory(work);
        if (::mkfifo(fifoOutside.c_str(), 0666) != 0)
            std::abort();
    }
    ~Place() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

Place& place() {
    static Place p;
    return p;
}

Bytes readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool isRegular(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool standsAt(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

struct Slot {
    std::unique_ptr<OutputFile> file;
    std::string name;  // the target's name in the work folder
    OutputFile::Existing existing = OutputFile::Existing::Replace;
    bool device = false;  // /dev/null: nothing on disk to judge
    bool tempSwapped = false;
    Bytes written;
};

class Script {
  public:
    explicit Script(zrk::fuzz::FuzzInput& in) : m_In(in), m_Place(place()) {}
    ~Script() {
        for (int fd : m_Readers)
            ::close(fd);
    }

    void run() {
        // Every action is a few system calls; past a few dozen an input finds nothing new.
        for (int actions = 0; actions < kMostActions && !m_In.empty(); ++actions) {
            const std::uint8_t op = m_In.byte();
            Slot& slot = m_Slots[op >> 7];
            switch (op % 10) {
                case 0:
                case 1:
                    create(slot, op % 10 == 0 ? OutputFile::Existing::Replace
                                              : OutputFile::Existing::Refuse);
                    break;
                case 2:
                    write(slot);
                    break;
                case 3:
                    if (slot.file)
                        slot.file->flush();
                    break;
                case 4:
                    commit(slot);
                    break;
                case 5:
                    keep(slot);
                    break;
                case 6:
                    discard(slot);
                    break;
                case 7:
                    plant(m_Place.work / kNames[m_In.byte() % kNames.size()]);
                    break;
                case 8:
                    if (slot.file && slot.file->isPending() && !slot.device) {
                        const fs::path temp = slot.file->temporaryPath();
                        std::error_code ignored;
                        fs::remove(temp, ignored);
                        plant(temp);
                        slot.tempSwapped = true;
                    }
                    break;
                default:
                    createDevice(slot);
                    break;
            }
        }
        for (Slot& slot : m_Slots)
            discard(slot);
        finalChecks();
    }

  private:
    void create(Slot& slot, OutputFile::Existing existing) {
        discard(slot);
        slot.name = kNames[m_In.byte() % kNames.size()];
        slot.existing = existing;
        slot.file = std::make_unique<OutputFile>();
        const fs::path target = m_Place.work / slot.name;
        struct stat before {};
        const bool stood = ::lstat(target.c_str(), &before) == 0;
        bool made = false;
        const bool inFolder = m_In.byte() & 1;
        if (inFolder) {
            trail().add("create " + slot.name + " in the folder");
            if (!m_Folder)
                m_Folder = OutputFolder::openOrCreate(m_Place.work.string(), nullptr);
            made = m_Folder && slot.file->create(m_Folder, slot.name, existing);
        } else {
            trail().add("create " + slot.name);
            made = slot.file->create(target.string(), existing);
        }
        if (made) {
            // A FIFO, or a link to one or to a device, is never opened as the output (a copy
            // into a folder judges the name only when it renames onto it).
            check(inFolder || !stood || S_ISREG(before.st_mode) ||
                      (S_ISLNK(before.st_mode) && !fs::is_fifo(target) &&
                       !fs::is_character_file(target)),
                  "an output was opened over a FIFO or a device found at its name");
            check(slot.file->temporaryPath() != target.string(),
                  "the output is written under the target's own name");
        } else {
            slot.file.reset();
        }
        slot.device = false;
        slot.tempSwapped = false;
        slot.written.clear();
    }

    void createDevice(Slot& slot) {
        discard(slot);
        trail().add("create /dev/null");
        slot.file = std::make_unique<OutputFile>();
        check(slot.file->create("/dev/null"), "/dev/null named by the user was refused");
        slot.device = true;
        slot.written.clear();
    }

    void write(Slot& slot) {
        const std::size_t length = m_In.byte() * 37u;
        trail().add("write " + std::to_string(length));
        if (!slot.file)
            return;
        Bytes chunk(length);
        for (std::size_t i = 0; i < length; ++i)
            chunk[i] = static_cast<std::uint8_t>(slot.written.size() + i * 13);
        if (slot.file->write(chunk.data(), chunk.size()))
            slot.written.insert(slot.written.end(), chunk.begin(), chunk.end());
    }

    void commit(Slot& slot) {
        trail().add("commit");
        if (!slot.file)
            return;
        const fs::path target = m_Place.work / slot.name;
        struct stat before {};
        const bool stood = ::lstat(target.c_str(), &before) == 0;
        const bool pending = slot.file->isPending();
        const bool ok = slot.file->commit();
        if (slot.device || !ok) {
            if (!ok && stood)
                check(standsAt(target), "a failed commit removed what stood under the name");
            if (!ok && !slot.tempSwapped && !stood && pending)
                check(!standsAt(target), "a failed commit left something under the name");
            return;
        }
        check(pending, "a file that was not pending was committed");
        check(!slot.tempSwapped, "a swapped hidden file took the target's name");
        check(slot.existing == OutputFile::Existing::Replace || !stood,
              "a refusing copy replaced a name that was taken");
        check(isRegular(target), "the committed output is not a regular file");
        check(readAll(target) == slot.written, "the committed file differs from what was written");
        m_Allowed.insert(slot.name);
        slot.file.reset();
    }

    void keep(Slot& slot) {
        trail().add("keep partial");
        if (!slot.file)
            return;
        const bool pending = slot.file->isPending();
        const std::string kept = slot.file->keepPartial();
        if (!pending || slot.device || kept.empty())
            return;
        check(isRegular(kept), "a kept partial file is not a regular file");
        check(readAll(kept) == slot.written, "a kept partial file differs from what was written");
        m_Allowed.insert(fs::path(kept).filename().string());
    }

    void discard(Slot& slot) {
        if (!slot.file)
            return;
        trail().add("discard");
        slot.file->discard();
        slot.file.reset();
    }

    // Something of another account's under the name: a file, a link to the victim, a FIFO
    // (with a reader, so that a write into it would show), a link to it, a link to a device,
    // a folder.
    void plant(const fs::path& at) {
        if (standsAt(at))
            return;
        const std::uint8_t kind = m_In.byte() % 6;
        trail().add("plant kind " + std::to_string(kind) + " at " + at.filename().string());
        std::error_code ignored;
        switch (kind) {
            case 0:
                std::ofstream(at, std::ios::binary) << "planted";
                break;
            case 1:
                fs::create_symlink(m_Place.victim, at, ignored);
                m_VictimLinked = true;
                break;
            case 2:
                if (::mkfifo(at.c_str(), 0666) == 0) {
                    const int reader = ::open(at.c_str(), O_RDONLY | O_NONBLOCK);
                    if (reader >= 0)
                        m_Readers.push_back(reader);
                }
                break;
            case 3:
                fs::create_symlink(m_Place.fifoOutside, at, ignored);
                break;
            case 4:
                fs::create_symlink("/dev/null", at, ignored);
                break;
            default:
                fs::create_directory(at, ignored);
                break;
        }
        m_Allowed.insert(at.filename().string());
    }

    void finalChecks() {
        if (m_VictimLinked)
            check(readAll(m_Place.victim) == Bytes(kVictimText.begin(), kVictimText.end()) &&
                      isRegular(m_Place.victim),
                  "the victim behind a planted link changed");
        for (int fd : m_Readers) {
            char byte = 0;
            check(::read(fd, &byte, 1) <= 0, "bytes reached a planted FIFO");
        }
        // One pass that checks and empties the folder for the next input.
        std::error_code error;
        std::vector<fs::path> seen;
        for (const auto& entry : fs::directory_iterator(m_Place.work, error)) {
            const std::string name = entry.path().filename().string();
            check(m_Allowed.count(name) == 1, "a stray file was left behind: " + name);
            seen.push_back(entry.path());
        }
        for (const fs::path& p : seen)
            if (::unlink(p.c_str()) != 0)
                fs::remove_all(p, error);
    }

    zrk::fuzz::FuzzInput& m_In;
    Place& m_Place;
    std::array<Slot, 2> m_Slots;
    std::shared_ptr<OutputFolder> m_Folder;
    std::set<std::string> m_Allowed;
    std::vector<int> m_Readers;
    bool m_VictimLinked = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trail().clear();
    zrk::fuzz::FuzzInput in(data, size);
    Script(in).run();
    return 0;
}
