// Compiled against the engine's include paths only; it must not find Qt.
#include <QWidget>
#include "engine/ProtocolEngine.h"
