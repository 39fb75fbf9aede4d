#pragma once
// An engine with an identified phone behind a scripted boot-loader, and a folder for files.
#include <gtest/gtest.h>

#include "loader/LoaderStates.h"
#include "protocol/ProtocolEngine.h"
#include "support/FakeClock.h"
#include "support/LoaderPhone.h"
#include "support/PhoneScript.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace zrk::test {

class LoaderFixture : public ::testing::Test {
  protected:
    LoaderFixture() {
        view.userChoices.speedIndex = 1;
        bringUpPhone(engine, link, view);
        view.log.clear();
        view.events.clear();
        view.progressHistory.clear();
        view.outcomes.clear();
        link.takeWritten();  // the boot-loader model reads only what follows
    }

    // Presses a button and lets the phone answer until the exchange rests.
    void press(void (ProtocolEngine::*button)(const UserChoices&)) {
        (engine.*button)(view.userChoices);
        phone.pump(engine);
    }

    bool norHolds(const Bytes& image, std::uint32_t offset) const {
        return std::equal(image.begin(), image.end(), phone.nor.begin() + offset);
    }

    FakeLink link;
    RecordingView view;
    FakeClock clock;
    ProtocolEngine engine{link, view, clock};
    LoaderPhone phone{link};
    TempDir dir;
};

}  // namespace zrk::test
