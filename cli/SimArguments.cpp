#include "cli/SimArguments.h"

#include <cctype>

namespace zrk::cli {

std::vector<std::string> splitSimOptions(const std::string& options) {
    std::vector<std::string> words;
    std::string word;
    for (char c : options) {
        if (c == ',' || std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);

    std::vector<std::string> args;
    bool valueMayFollow = false;
    for (const auto& w : words) {
        if (w[0] == '-') {
            args.push_back(w);
            valueMayFollow = w.rfind("--", 0) == 0 && w.find('=') == std::string::npos;
        } else if (valueMayFollow) {
            args.push_back(w);
            valueMayFollow = false;
        } else {
            args.push_back("--" + w);
            valueMayFollow = false;
        }
    }
    return args;
}

}  // namespace zrk::cli
