// A phase that includes another phase and Qt: the layering check must refuse both.
#include <QString>
#include "bringup/BringUpStates.h"
