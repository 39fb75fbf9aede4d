#include "app/SerialScanner.h"

namespace zrk {
namespace {
SerialScanner& current() {
    static SerialScanner scanner;
    return scanner;
}
}  // namespace

std::vector<SerialDevice> scanSerialDevices() {
    return current() ? current()() : listSerialDevices();
}

void setSerialScanner(SerialScanner scanner) {
    current() = std::move(scanner);
}

}  // namespace zrk
