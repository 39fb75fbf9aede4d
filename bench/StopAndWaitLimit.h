#pragma once
// The fastest a stop-and-wait exchange can go over a pseudo-terminal on this machine: one side
// sends a block, the other answers when it has all of it, and nothing else runs. Every figure
// of the real programs is read as a share of this, measured in the same run. The two ends can
// be threads of one process or two processes, as zrk410 and the simulator are: a wake-up that
// crosses into another process costs more than one within it.
#include <cstddef>

namespace zrk::bench {

struct LimitFigure {
    double seconds = 0;
    std::size_t exchanges = 0;
    double payloadBytesPerSecond = 0;
};

// The host writes hostBytes, the phone answers with phoneBytes once it has them, for about
// the given time. payloadBytes of each exchange count as moved (the block, not its
// checksum or request byte).
enum class LimitEnds { Threads, Processes };
LimitFigure measureStopAndWait(std::size_t hostBytes, std::size_t phoneBytes,
                               std::size_t payloadBytes, double seconds,
                               LimitEnds ends = LimitEnds::Threads);
// The same for a given number of exchanges, from a standing start as a transfer has it: the
// first few thousand exchanges after a pause are slower than the rest on this kind of machine,
// so a short transfer is compared with a limit of its own length.
LimitFigure measureStopAndWaitExchanges(std::size_t hostBytes, std::size_t phoneBytes,
                                        std::size_t payloadBytes, std::size_t exchanges,
                                        LimitEnds ends);

}  // namespace zrk::bench
