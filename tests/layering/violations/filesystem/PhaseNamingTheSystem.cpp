// Deliberately wrong: a phase that converts names with iconv and asks the system about a file
// would not build for Windows; the standard headers beside them are fine.
// The order of these lines is the order the check reports them in: kept as written.
// clang-format off
#include <cerrno>
#include <iconv.h>
#include <ctime>
#include <sys/stat.h>
// clang-format on
