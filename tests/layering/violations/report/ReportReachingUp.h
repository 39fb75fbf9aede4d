// Deliberately wrong: the run report sits below the front ends and the composing engine.
#pragma once
// The order of these lines is the order the check reports them in: kept as written.
// clang-format off
#include "protocol/ProtocolEngine.h"
#include <QJsonDocument>
// clang-format on
