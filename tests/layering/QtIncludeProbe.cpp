// Compiled against the composed engine's include paths only; it must not find Qt.
#include <QWidget>
#include "protocol/ProtocolEngine.h"
