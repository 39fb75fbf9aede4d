#pragma once
// The explorer's names as the phone and the widgets each want them: the engine speaks the
// phone's code page, the widgets show UTF-8. A name that does not convert is shown (or sent) as
// it is.
#include <QString>
#include <memory>
#include <string>

namespace zrk {

class CodePage;

class ExplorerNames {
  public:
    // A converter of its own, opened by the code page's name: the engine keeps the one given.
    explicit ExplorerNames(const CodePage& codePage);
    ~ExplorerNames();

    QString shown(const std::string& local) const;
    std::string local(const QString& shownText) const;

  private:
    std::unique_ptr<CodePage> m_Names;
};

}  // namespace zrk
