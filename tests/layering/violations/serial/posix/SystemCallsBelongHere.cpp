// Right as it is: the platform folder is where the system headers live.
#include <termios.h>
#include <unistd.h>
