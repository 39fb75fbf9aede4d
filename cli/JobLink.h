#pragma once
// The link a phone job runs over, set up once for phone after phone: openJobLink starts the
// trace and the simulator (or maps the device) and sets choices from the job; closeJobLink
// ends them and folds what they reported into the exit code.
namespace zrk {
class LinkSetup;
struct UserChoices;
}  // namespace zrk

namespace zrk::cli {

struct PhoneJob;
class TerminalOutput;

int openJobLink(const PhoneJob& job, LinkSetup& link, UserChoices& choices, TerminalOutput& output);
int closeJobLink(const PhoneJob& job, LinkSetup& link, TerminalOutput& output, int result);

}  // namespace zrk::cli
