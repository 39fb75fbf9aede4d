// Deliberately wrong: the command line may not borrow the window's code, nor start the
// simulator in-process (it runs it as a program of its own), nor use the window's toolkit
// (it builds where the toolkit is not).
#include <QSettings>
#include "app/LogPane.h"
#include "sim/Phone.h"
