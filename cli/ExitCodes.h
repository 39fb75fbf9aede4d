#pragma once
// The exit status of zrk410, one value per class of outcome, so that a production script can
// tell a phone that needs another try from a cable that needs looking at.
namespace zrk::cli {

enum ExitCode : int {
    EXIT_OK = 0,             // the operation completed
    EXIT_UNAVAILABLE = 1,    // the command is not available in this build, or an internal error
    EXIT_USAGE = 2,          // bad usage: unknown option, missing argument, malformed value
    EXIT_PORT_OR_FILE = 3,   // the port cannot be opened or went away; a file cannot be read
                             // or written; the phone simulator cannot be started
    EXIT_PHONE_FAILED = 4,   // the phone replied wrongly (or the simulator saw a violation)
    EXIT_TIMEOUT = 5,        // the phone stayed silent for the --timeout
    EXIT_NOT_ON_PHONE = 6,   // the phone is well but holds no file or folder of the name given
    EXIT_INTERRUPTED = 130,  // Ctrl-C (or SIGTERM); the link was ended cleanly
};

}  // namespace zrk::cli
