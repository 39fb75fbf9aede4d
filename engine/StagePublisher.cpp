#include "engine/StagePublisher.h"

#include "engine/OperationFrame.h"
#include "engine/ProtocolState.h"

namespace zrk {

Stage stageAt(std::int32_t state, bool loaderReady, std::int32_t operationKind,
              bool waitingForPhone) {
    if (state == INITIAL)
        return Stage::Initial;
    if (!loaderReady) {
        if (state == IDLE)
            return Stage::Idle;
        return waitingForPhone ? Stage::WaitingForPhone : Stage::BringingUp;
    }
    if (state == IDLE)
        return Stage::Ready;
    return operationKind == OP_VERIFY_FIRMWARE || operationKind == OP_VERIFY_FILE_SYSTEM
               ? Stage::Verifying
               : Stage::Working;
}

}  // namespace zrk
