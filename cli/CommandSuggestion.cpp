#include "cli/CommandSuggestion.h"

#include <algorithm>
#include <cctype>

#include "engine/SafeText.h"

namespace zrk::cli {

std::size_t typingDistance(const std::string& a, const std::string& b) {
    // Optimal string alignment: a swapped pair of letters is one slip of the fingers, not two.
    const std::size_t n = a.size();
    const std::size_t m = b.size();
    std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
    for (std::size_t i = 0; i <= n; ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= m; ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

std::optional<std::string> nearestCommand(const std::string& word,
                                          const std::vector<std::string>& commands) {
    std::optional<std::string> best;
    std::size_t bestDistance = 0;
    bool tie = false;
    for (const std::string& command : commands) {
        std::string lower = word;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::size_t distance = typingDistance(lower, command);
        if (!best || distance < bestDistance) {
            best = command;
            bestDistance = distance;
            tie = false;
        } else if (distance == bestDistance) {
            tie = true;
        }
    }
    // Two slips in a long word, one in a short one; beyond that the word was another thing.
    const std::size_t allowed = word.size() >= 5 ? 2 : 1;
    if (!best || tie || bestDistance == 0 || bestDistance > allowed)
        return std::nullopt;
    return best;
}

std::string unknownCommandText(const std::string& word, const std::string& group,
                               const std::vector<std::string>& commands) {
    const std::string prefix = group.empty() ? std::string() : group + " ";
    std::string text = "unknown command '" + prefix + printableName(word) + "'";
    if (const auto nearest = nearestCommand(word, commands)) {
        text += "; did you mean '" + prefix + *nearest + "'?";
        return text;
    }
    text += "; the commands are:";
    for (std::size_t i = 0; i < commands.size(); ++i)
        text += (i ? ", " : " ") + prefix + commands[i];
    return text;
}

}  // namespace zrk::cli
