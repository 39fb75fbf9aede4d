// The window's record: a bring-up begins a phone, what follows joins it, another port keeps
// phones of its own, and a long session keeps only its latest phones.
#include <gtest/gtest.h>

#include "report/SessionRecord.h"

namespace zrk::report {
namespace {

OperationOutcome ended(Operation operation, OutcomeKind kind = OutcomeKind::Completed) {
    OperationOutcome o;
    o.operation = operation;
    o.kind = kind;
    return o;
}

TEST(SessionRecord, GroupsOperationsByPhoneAndPortAndKeepsTheLatest) {
    SessionRecord session;
    const UserChoices choices;
    const SessionRecord::Where com1{"COM1", "/dev/ttyS0", "LMR20TQ55P", std::nullopt};
    const SessionRecord::Where com2{"COM2", "/dev/ttyS1", "", std::nullopt};
    auto t = std::chrono::system_clock::now();
    session.add(ended(Operation::BringUp), choices, {}, com1, t);
    session.add(ended(Operation::Erase), choices, {1, 0, 1}, com1, t);
    session.add(ended(Operation::BringUp), choices, {}, com2, t);
    session.add(ended(Operation::Dump, OutcomeKind::Stopped), choices, {}, com2, t);

    RunReport r = session.report("zrk410-gui", t);
    ASSERT_EQ(r.ports.size(), 2u);
    ASSERT_EQ(r.ports[0].phones.size(), 1u);
    const PhoneRecord& first = r.ports[0].phones[0];
    EXPECT_TRUE(first.passed);
    ASSERT_EQ(first.operations.size(), 2u);
    EXPECT_EQ(first.operations[1].sectors, (std::vector<int>{0, 2}));
    EXPECT_EQ(r.ports[1].phones[0].result, "interrupted");

    for (int i = 0; i < int(SessionRecord::kMostPhones); ++i)
        session.add(ended(Operation::BringUp), choices, {}, com1, t + std::chrono::seconds(i + 1));
    r = session.report("zrk410-gui", t);
    std::size_t phones = 0;
    for (const auto& port : r.ports)
        phones += port.phones.size();
    EXPECT_EQ(phones, SessionRecord::kMostPhones);
    // The oldest went first, and the numbers go on.
    EXPECT_TRUE(r.ports[1].phones.empty());
    EXPECT_EQ(r.ports[0].phones.back().number, int(SessionRecord::kMostPhones) + 1);
}

}  // namespace
}  // namespace zrk::report
