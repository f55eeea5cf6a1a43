// The platform layer itself: the one-at-a-time batch receive that socket
// layers without recvmmsg (Windows among them) rely on, and the tables.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "Network/DatagramBatch.h"
#include "Network/Platform.h"

using BRIVO::AddressV4;
using BRIVO::DatagramSlot;
using BRIVO::Handle;
using testing::ElementsAre;

namespace {

// A scripted socket for receiveWaitingOneByOne: each entry is what one
// receive answers; a wait says readable while entries are left.
struct Script {
    std::deque<long> lengths;
    std::vector<std::string> calls;
    bool waitFails = false;
};
Script* script = nullptr;

int scriptedWait(Handle, BRIVO::WaitTime limit) {
    script->calls.push_back("wait " + std::to_string(limit.seconds) + "s " + std::to_string(limit.microseconds) + "us");
    if (script->waitFails) return -1;
    return script->lengths.empty() ? 0 : 1;
}

long scriptedReceive(Handle, void* data, size_t capacity, AddressV4& from) {
    script->calls.push_back("receive " + std::to_string(capacity));
    long length = script->lengths.front();
    script->lengths.pop_front();
    if (length > 0) static_cast<uint8_t*>(data)[0] = static_cast<uint8_t>(length);
    from = addressV4(10, 0, 0, static_cast<uint8_t>(length & 0xFF), 99);
    return length;
}

class OneByOneReceive : public testing::Test {
protected:
    OneByOneReceive() { script = &scripted; }
    ~OneByOneReceive() override { script = nullptr; }
    long take(size_t count) {
        return BRIVO::receiveWaitingOneByOne(scriptedWait, scriptedReceive, 7, slots.data(), count);
    }
    Script scripted;
    std::vector<uint8_t> storage = std::vector<uint8_t>(4 * 1500);
    std::vector<DatagramSlot> slots{{storage.data(), 1500, 0, {}},
                                    {storage.data() + 1500, 1500, 0, {}},
                                    {storage.data() + 3000, 1500, 0, {}},
                                    {storage.data() + 4500, 1500, 0, {}}};
};

}  // namespace

TEST_F(OneByOneReceive, TakesWhatIsWaitingWithZeroTimeWaitsAndStopsWhenNothingIs) {
    scripted.lengths = {5, 0, 1501};
    EXPECT_EQ(take(4), 3);
    EXPECT_THAT(scripted.calls, ElementsAre("wait 0s 0us", "receive 1500", "wait 0s 0us", "receive 1500", "wait 0s 0us",
                                            "receive 1500", "wait 0s 0us"));
    EXPECT_EQ(slots[0].length, 5);
    EXPECT_EQ(storage[0], 5);
    EXPECT_EQ(slots[0].from.address[3], 5);
    // Empty and oversized are delivered as such, for the caller to discard.
    EXPECT_EQ(slots[1].length, 0);
    EXPECT_EQ(slots[2].length, 1501);
}

TEST_F(OneByOneReceive, NeverTakesMoreThanTheSlots) {
    scripted.lengths = {1, 2, 3, 4, 5};
    EXPECT_EQ(take(2), 2);
    EXPECT_EQ(scripted.lengths.size(), 3u) << "the rest stays queued for the next call";
}

TEST_F(OneByOneReceive, AFailureEndsTheBatchAndIsReportedWhenNothingCameBefore) {
    scripted.lengths = {4, -1, 6};
    EXPECT_EQ(take(4), 1) << "what came before the failure is kept";
    EXPECT_EQ(take(4), 1) << "the datagram after the failure is still taken";

    scripted.lengths = {-1};
    EXPECT_EQ(take(4), -1);

    scripted.waitFails = true;
    scripted.lengths = {4};
    EXPECT_EQ(take(4), 0) << "a failed zero-time wait takes nothing and never blocks in a receive";
}

TEST(PlatformTables, EveryEntryIsFilled) {
    EXPECT_TRUE(BRIVO::complete(BRIVO::systemPlatform()));
    FakePlatform fake;
    EXPECT_TRUE(BRIVO::complete(fake.table()));
    BRIVO::Platform missing = BRIVO::systemPlatform();
    missing.close = nullptr;
    EXPECT_FALSE(BRIVO::complete(missing));
}
