#include "files/OutputFile.h"

#include "files/OutputFolder.h"
#include "files/OutputTarget.h"

// What the writer does alike on every system; opening, syncing, renaming and removing are the
// system's (files/<platform>/OutputFile.cpp).
namespace zrk {

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::create(const std::string& path, Existing existing, std::string* whyNot) {
    discard();
    const OutputTarget target = judgeOutputTarget(path);
    switch (target.kind) {
        case OutputTarget::Kind::Refused:
            if (whyNot)
                *whyNot = target.refusal;
            return false;
        case OutputTarget::Kind::Device:
            return openDevice(path, target.throughLink, whyNot);
        case OutputTarget::Kind::Descriptor:
            return openDescriptor(path, target.descriptor, whyNot);
        case OutputTarget::Kind::File:
            break;
    }
    std::string name;
    auto folder = OutputFolder::openParentOf(path, &name, whyNot);
    if (!folder)
        return false;
    m_Folder = std::move(folder);
    m_Name = std::move(name);
    m_TargetPath = path;
    m_Existing = existing;
    return open(whyNot);
}

bool OutputFile::create(std::shared_ptr<OutputFolder> folder, const std::string& name,
                        Existing existing, std::string* whyNot) {
    discard();
    if (!folder || !isPlainFileName(name)) {
        if (whyNot)
            *whyNot = "'" + name + "' cannot be a file's name";
        return false;
    }
    m_TargetPath = folder->pathOf(name);
    if (existing == Existing::Refuse && !folder->claim(name)) {
        if (whyNot)
            *whyNot = "another name of this copy already became " + m_TargetPath;
        return false;
    }
    m_Folder = std::move(folder);
    m_Name = name;
    m_Existing = existing;
    return open(whyNot);
}

void OutputFile::begin(NativeFile file) {
    m_File = file;
    m_Buffer.reserve(kBufferBytes);
    m_Written = 0;
    m_WriteError.clear();
    m_WriteErrorCode.clear();
    m_KeptPath.clear();
}

bool OutputFile::open(std::string* whyNot) {
    const NativeFile file = createTemporary(whyNot);
    if (file == kNoFile) {
        m_Folder.reset();
        return false;
    }
    begin(file);
    return true;
}

std::string OutputFile::temporaryPath() const {
    if (m_Stream)
        return m_TargetPath;
    return m_Folder && !m_TempName.empty() ? m_Folder->pathOf(m_TempName) : std::string();
}

bool OutputFile::write(const void* data, std::size_t length) {
    if (m_File == kNoFile || !m_WriteError.empty())
        return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        const std::size_t room = kBufferBytes - m_Buffer.size();
        const std::size_t take = length < room ? length : room;
        m_Buffer.insert(m_Buffer.end(), bytes, bytes + take);
        bytes += take;
        length -= take;
        m_Written += take;
        if (m_Buffer.size() == kBufferBytes && !flush())
            return false;
    }
    return true;
}

}  // namespace zrk
