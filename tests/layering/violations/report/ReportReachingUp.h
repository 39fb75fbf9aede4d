// Deliberately wrong: the run report sits below the front ends and the composing engine.
#pragma once
#include <QJsonDocument>
#include "protocol/ProtocolEngine.h"
