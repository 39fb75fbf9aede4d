#include "cli/LogFileCopy.h"

namespace zrk::cli {

bool LogFileCopy::open(const std::string& path) {
    m_Failed = false;
    m_AtLineStart = true;
    return m_File.create(path);
}

bool LogFileCopy::close() {
    if (!m_File.isPending())
        return !m_Failed;
    if (!m_File.commit()) {
        m_Failed = true;
        m_File.keepPartial();
    }
    m_File.discard();
    return !m_Failed;
}

void LogFileCopy::write(const std::string& text) {
    if (!m_File.isPending() || text.empty())
        return;
    if (!m_File.write(text.data(), text.size()) || !m_File.flush())
        m_Failed = true;
    m_AtLineStart = text.back() == '\n';
}

}  // namespace zrk::cli
