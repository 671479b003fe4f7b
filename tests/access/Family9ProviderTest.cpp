#include "app/Family9Provider.h"
#include "access/SR_517.h"
#include "app/DeviceList.h"
#include "app/SearchEngine.h"
#include "common/QuietEndpoints.h"

#include <gtest/gtest.h>

#include <memory>

namespace zadari {
namespace {

// Keeps the search's callback so the test can deliver replies when it likes.
class TStoringClient : public IT517Series {
public:
    void Search(int port, TOnDeviceFound onFound) override {
        ports.push_back(port);
        found = std::move(onFound);
    }
    bool SetNetParams(const std::string&, const std::string&, const TDevInfo&) override {
        return false;
    }
    bool UpgradeFirmware(const std::string&, const std::string&, const std::string&, const QString&,
                         const TUploadProgress&) override {
        return false;
    }
    bool UpgradeWebUI(const std::string&, const std::string&, const std::string&, const QString&,
                      const TUploadProgress&) override {
        return false;
    }
    std::vector<int> ports;
    TOnDeviceFound found;
};

TDevInfo Family9Record() {
    TDevInfo r;
    r.family = kFamilyDh;
    r.mac = "00:1A:2B:3C:4D:5E";
    r.macKey = "001A2B3C4D5E";
    r.name = "dh";
    r.ip = "10.0.0.9";
    return r;
}

TEST(Family9Provider, EveryCycleStartsTheClientsSearchAndItsDevicesAreMerged) {
    TDeviceList list;
    TQuietEndpoints endpoints;
    TStoringClient client;
    TFamily9Provider provider(client, 8600);
    TSearchEngine engine(list, endpoints);
    engine.AddProvider(provider, 3);
    engine.Start();
    engine.RunSearchCycle(0, false);
    engine.RunSearchCycle(1, false);
    EXPECT_EQ(client.ports, (std::vector<int>{8600, 8600}));
    ASSERT_TRUE(client.found);
    client.found(Family9Record());
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(0).record.name, "dh");
    EXPECT_EQ(list.Row(0).caption, "T");
}

TEST(Family9Provider, RepliesAfterTheEngineWentAreDropped) {
    TDeviceList list;
    TQuietEndpoints endpoints;
    TStoringClient client;
    TFamily9Provider provider(client, 8600);
    {
        TSearchEngine engine(list, endpoints);
        engine.AddProvider(provider, 3);
        engine.Start();
        engine.RunSearchCycle(0, false);
    }
    ASSERT_TRUE(client.found);
    client.found(Family9Record());
    EXPECT_EQ(list.RowCount(), 0);
}

} // namespace
} // namespace zadari
