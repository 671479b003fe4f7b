// The apply flow over recording endpoints: validation of the panel's values, the branch of every
// family (endpoint, port, account presets, stored account, wait cursor), the cases that send
// nothing, and what happens to the list afterwards.
#include "app/ApplyFlow.h"
#include "app/DeviceList.h"
#include "app/SearchEngine.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "net/SearchEndpoints.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zadari {
namespace {

using TLog = std::vector<std::string>;

std::string Text(TByteView bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class TRecordingSender : public TDatagramSender {
public:
    TRecordingSender(std::string name, TLog& log) : name_(std::move(name)), log_(log) {}
    bool SendTo(TByteView bytes, const std::string& address, std::uint16_t port) override {
        log_.push_back(name_ + " " + address + ":" + std::to_string(port));
        datagrams.push_back(Text(bytes));
        if (throwing)
            throw std::runtime_error("socket error");
        return !failing;
    }
    void Pause(int milliseconds) override {
        log_.push_back(name_ + " pause " + std::to_string(milliseconds));
    }
    bool failing = false;
    bool throwing = false;
    std::vector<std::string> datagrams;

private:
    std::string name_;
    TLog& log_;
};

class TRecordingEndpoints : public TSearchEndpoints {
public:
    explicit TRecordingEndpoints(TLog& log)
        : udp_{TRecordingSender("udp1", log), TRecordingSender("udp2", log),
               TRecordingSender("udp3", log), TRecordingSender("udp4", log),
               TRecordingSender("udp5", log)},
          multicast_("mcast", log) {}
    bool Open(TReceiveHandler) override { return true; }
    void Close() override {}
    TDatagramSender& Udp(int n) override { return udp_[n - 1]; }
    TDatagramSender& MulticastSender() override { return multicast_; }
    TRecordingSender& Sender(int n) { return n == 0 ? multicast_ : udp_[n - 1]; }

private:
    TRecordingSender udp_[5];
    TRecordingSender multicast_;
};

class TRecordingPresenter : public TMessagePresenter {
public:
    explicit TRecordingPresenter(TLog& log) : log_(log) {}
    int ShowMessage(const QString& caption, const QString& text, int style) override {
        log_.push_back("box " + caption.toStdString() + "|" + text.toStdString() + "|" +
                       std::to_string(style));
        return MsgResult::kOk;
    }

private:
    TLog& log_;
};

/// Answers the flow's questions as a user at the dialog would; can act on the list meanwhile
/// (replies keep arriving while the dialog is open).
class TScriptedCredentials : public ICredentialsProvider {
public:
    explicit TScriptedCredentials(TLog& log) : log_(log) {}
    std::optional<TCredentials> AskCredentials(std::int32_t family,
                                               const TCredentials& presets) override {
        log_.push_back("ask " + std::to_string(family) + " " + presets.user + "/" +
                       presets.password);
        if (whileOpen)
            whileOpen();
        if (cancel)
            return std::nullopt;
        return answer.value_or(presets);
    }
    bool cancel = false;
    std::optional<TCredentials> answer;
    std::function<void()> whileOpen;

private:
    TLog& log_;
};

/// A carrier that hands the settings to the test.
class TFunctionCarrier : public ISettingsCarrier {
public:
    bool SendSettings(const TCredentials& account, const TDevInfo& listed,
                      const TDevInfo& edited) override {
        return send(account, listed, edited);
    }
    const char* CarrierName() const override { return "the test's carrier"; }
    std::function<bool(const TCredentials&, const TDevInfo&, const TDevInfo&)> send;
};

/// Notes the vendor library's search of the Find button's cycle.
class TSdkSearchNote : public IDiscoveryProvider {
public:
    explicit TSdkSearchNote(TLog& log) : log_(log) {}
    const char* Name() const override { return "sdk"; }
    bool Start(IDeviceSink&) override { return true; }
    void Stop() override {}
    bool Search(const TSearchCycle& cycle) override {
        if (cycle.find)
            log_.push_back("sdk search");
        return true;
    }

private:
    TLog& log_;
};

TBytes UicamReply() {
    TBytes reply(520, 0);
    const std::string magic = "uiv2";
    std::copy(magic.begin(), magic.end(), reply.begin());
    reply[52] = 54; // the strings start at byte 62, all empty
    return reply;
}

TDevInfo Record(std::int32_t family, const std::string& mac = "001A2B3C4D5E") {
    TDevInfo record;
    record.family = family;
    record.mac = mac;
    record.macKey = mac;
    record.name = "cam1";
    record.ip = "10.0.0.5";
    record.mask = "255.255.255.0";
    record.gateway = "10.0.0.1";
    record.dns1 = "10.0.0.1";
    record.dns2 = "0.0.0.0";
    record.httpPort = 80;
    record.ipMode = 2;
    record.deviceId = "0102030405060708";
    if (family == kFamilyPeltra)
        record.protocolVersion = 2;
    if (family == kFamily6801)
        record.deviceId = "01020304050607";
    if (family == kFamilyUicam)
        record.rawReply = UicamReply();
    return record;
}

TEditedValues NewAddress(const TDevInfo& record) {
    TEditedValues values = TEditedValues::FromRecord(record);
    values.ip = "10.0.0.77";
    return values;
}

struct ApplyFlowTest : ::testing::Test {
    QTemporaryDir languageBase;
    std::unique_ptr<TLanguageStore> languages;
    TLog log;
    TRecordingEndpoints endpoints{log};
    TDeviceList list;
    std::unique_ptr<TSearchEngine> engine;
    TRecordingPresenter presenter{log};
    std::unique_ptr<TScopedMessagePresenter> scopedPresenter;
    TScriptedCredentials credentials{log};
    TSdkSearchNote sdkSearch{log};
    TFunctionCarrier vendorLibrary;
    TFunctionCarrier family9Client;
    std::unique_ptr<TApplyFlow> flow;

    void SetUp() override {
        languages = std::make_unique<TLanguageStore>(languageBase.path());
        scopedPresenter = std::make_unique<TScopedMessagePresenter>(&presenter);
        TSearchEngine::TSetup setup;
        setup.clientId = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
        engine = std::make_unique<TSearchEngine>(list, endpoints, setup);
        engine->AddProvider(sdkSearch, 10);
        flow = std::make_unique<TApplyFlow>(*engine, credentials);
        flow->pause = [this](int ms) { log.push_back("wait " + std::to_string(ms)); };
        flow->waitCursor = [this](bool busy) { log.push_back(busy ? "busy on" : "busy off"); };
        QObject::connect(&list, &QAbstractItemModel::rowsAboutToBeRemoved, &list,
                         [this](const QModelIndex&, int first, int last) {
                             if (first == last)
                                 log.push_back("remove " + list.Row(first).record.mac);
                             else
                                 log.push_back("remove " + std::to_string(last - first + 1));
                         });
    }
    void TearDown() override {
        flow.reset();
        engine.reset();
        scopedPresenter.reset();
    }

    /// The Apply button as the window runs it: the flow, then its message in a box.
    TApplyResult Apply(const TDevInfo& listed, const TEditedValues& values) {
        TApplyResult result = flow->Apply(listed, values);
        if (!result.message.Empty())
            StrResMessageBox(result.message.key.c_str(), result.message.captionKey.c_str(),
                             result.message.style);
        return result;
    }

    /// The log up to the flow's own wait: what the apply did before searching again.
    TLog BeforeWait() const {
        TLog out;
        for (const std::string& line : log) {
            if (line == "wait 10")
                break;
            out.push_back(line);
        }
        return out;
    }
    bool Searched() const { return std::find(log.begin(), log.end(), "sdk search") != log.end(); }
    bool Logged(const std::string& line) const {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
};

// --- validation -------------------------------------------------------------------------------

TEST_F(ApplyFlowTest, EmptyPortWarnsAndStopsBeforeAnything) {
    const TDevInfo listed = Record(kFamilyPeltra);
    list.MergeDevice(listed);
    TEditedValues values = NewAddress(listed);
    values.portText = "  \t";
    const TApplyResult result = Apply(listed, values);
    EXPECT_EQ(result.outcome, TApplyOutcome::kValidationError);
    EXPECT_EQ(result.messageKey, "IDS_INPUTPORT");
    EXPECT_FALSE(result.askedCredentials);
    EXPECT_TRUE(result.sent.empty());
    EXPECT_EQ(log, (TLog{"box Warning|Please input HTTP port.|48"}));
    EXPECT_EQ(list.RowCount(), 1);
}

TEST_F(ApplyFlowTest, MissingOrNotOfferedConnectionTypeStopsWithAnError) {
    struct Case {
        std::int32_t family;
        std::optional<int> mode;
    };
    const Case cases[] = {{kFamilyPeltra, std::nullopt},
                          {kFamilyUicam, 0},
                          {kFamilyHds, 0},
                          {kFamily6801, 0},
                          {kFamilyDh, 0},
                          {kFamilyKt352, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        log.clear();
        const TDevInfo listed = Record(c.family);
        TEditedValues values = NewAddress(listed);
        values.ipMode = c.mode;
        const TApplyResult result = Apply(listed, values);
        EXPECT_EQ(result.outcome, TApplyOutcome::kValidationError);
        EXPECT_EQ(result.messageKey, "IDS_ERRIPCAM");
        EXPECT_EQ(log, (TLog{"box Error|The selected IP Camera mode is not correct.|16"}));
    }
}

TEST_F(ApplyFlowTest, Kt352RefusesAChangeToAFiveDigitPortBeforeSending) {
    // The command writes at most four port characters: 10080 would arrive as 1008.
    struct Case {
        std::int32_t family;
        std::uint16_t listedPort;
        const char* newPort;
        bool refused;
    };
    const Case cases[] = {{kFamilyKt352, 80, "10080", true},
                          {kFamilyKt352, 80, "9999", false},
                          {kFamilyKt352, 10080, "10080", false}, // unchanged: not sent
                          {kFamilyPeltra, 80, "10080", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.newPort);
        log.clear();
        TDevInfo listed = Record(c.family);
        listed.httpPort = c.listedPort;
        TEditedValues values = NewAddress(listed);
        values.portText = c.newPort;
        const TApplyResult result = Apply(listed, values);
        EXPECT_EQ(result.outcome == TApplyOutcome::kValidationError, c.refused);
        if (!c.refused)
            continue;
        EXPECT_EQ(result.messageKey, "IDS_PORTDIGITS");
        EXPECT_NE(result.detail.find("10080"), std::string::npos) << result.detail;
        EXPECT_TRUE(result.sent.empty());
        EXPECT_EQ(log, (TLog{"box Error|This camera takes an HTTP port of at most four digits "
                             "(1 to 9999).|16"}));
    }
}

TEST_F(ApplyFlowTest, FamilyThreeListedInPppoeOffersNoConnectionType) {
    TDevInfo listed = Record(kFamilyUicam);
    listed.ipMode = 0;
    const TEditedValues values = TEditedValues::FromRecord(listed);
    EXPECT_FALSE(values.ipMode.has_value());
    EXPECT_EQ(Apply(listed, values).messageKey, "IDS_ERRIPCAM");
    EXPECT_TRUE(endpoints.Sender(3).datagrams.empty());
}

TEST_F(ApplyFlowTest, AddressesThatAreNotDottedQuadsAreRefusedWithoutABox) {
    for (const char* bad : {"10.0.0", "10.0.0.256", "10,0.0.1", "", "10.0.0.1.2", "a.b.c.d"}) {
        SCOPED_TRACE(bad);
        log.clear();
        const TDevInfo listed = Record(kFamilyPeltra);
        TEditedValues values = NewAddress(listed);
        values.mask = bad;
        const TApplyResult result = Apply(listed, values);
        EXPECT_EQ(result.outcome, TApplyOutcome::kValidationError);
        EXPECT_EQ(result.messageKey, "");
        EXPECT_TRUE(log.empty());
    }
}

TEST_F(ApplyFlowTest, ReadDetailsIntoCopiesTheTrimmedValues) {
    struct Case {
        const char* port;
        std::uint16_t expected;
    };
    const Case cases[] = {{" 8080 ", 8080}, {"abc", 1}, {"0", 1},  {"65535", 65535},
                          {"70000", 65535}, {"-5", 1},  {"81x", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        // Family 1: the KT352 command refuses five-digit ports (see below).
        TDevInfo record = Record(kFamilyPeltra);
        const TDevInfo before = record;
        TEditedValues values;
        values.name = "  Hall cam \t";
        values.portText = c.port;
        values.ipMode = 1;
        values.ip = "192.168.1.9";
        values.mask = "255.255.0.0";
        values.gateway = "192.168.1.1";
        ASSERT_TRUE(TApplyFlow::ReadDetailsInto(values, record, nullptr, nullptr));
        EXPECT_EQ(record.name, "Hall cam");
        EXPECT_EQ(record.httpPort, c.expected);
        EXPECT_EQ(record.ipMode, 1);
        EXPECT_EQ(record.ip, "192.168.1.9");
        EXPECT_EQ(record.mask, "255.255.0.0");
        EXPECT_EQ(record.gateway, "192.168.1.1");
        // Nothing else of the record changes.
        TDevInfo rest = record;
        rest.name = before.name;
        rest.httpPort = before.httpPort;
        rest.ipMode = before.ipMode;
        rest.ip = before.ip;
        rest.mask = before.mask;
        rest.gateway = before.gateway;
        EXPECT_EQ(rest, before);
    }
}

// --- the family table -------------------------------------------------------------------------

struct BranchCase {
    std::int32_t family;
    int endpoint; ///< 1..5 the UDP endpoints, 0 the multicast sender
    std::string to;
    std::string starts;               ///< the first bytes of the command
    std::optional<std::string> asked; ///< "user/password" presets, nothing when not asked
    bool stored;
    bool busy;
};

TEST_F(ApplyFlowTest, EveryBroadcastFamilySendsItsCommandThroughItsEndpoint) {
    const BranchCase cases[] = {
        {kFamilyKt352, 1, "255.255.255.255:4000", "KT352", std::nullopt, false, false},
        {kFamilyPeltra, 1, "255.255.255.255:10000", "PELTRAQUERY,1,", "admin/", false, false},
        {kFamilyZorixNet, 1, "255.255.255.255:10000", "ZORIXNETQUERY,1,", "admin/", false, false},
        {kFamilyMoi, 2, "255.255.255.255:10000", "MO_I", "admin/", false, false},
        {kFamilyUicam, 3, "255.255.255.255:10139", "uisp", std::nullopt, false, false},
        {kFamilyCtp, 4, "255.255.255.255:7999", "CMD setip CTP/1.0\r\n", "admin/zeqit", true, true},
        {kFamilyHds, 0, "239.255.255.250:8002", "CMD * HDS/1.0\r\n", "admin/zeqit", true, true},
        {kFamily6801, 5, "255.255.255.255:6801", std::string("\x10\x10\x02\x0F", 4), "admin/", true,
         true},
    };
    for (const BranchCase& c : cases) {
        SCOPED_TRACE(c.family);
        log.clear();
        for (int n = 0; n <= 5; ++n)
            endpoints.Sender(n).datagrams.clear();
        list.ClearDeviceList();
        const TDevInfo listed = Record(c.family);
        list.MergeDevice(listed);
        list.MergeDevice(Record(kFamilyKt352, "AABBCCDDEEFF"));
        log.clear();

        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.outcome, TApplyOutcome::kApplied) << result.detail;
        EXPECT_EQ(result.askedCredentials, c.asked.has_value());
        ASSERT_FALSE(result.sent.empty());
        EXPECT_EQ(result.sent.front().address + ":" + std::to_string(result.sent.front().port),
                  c.to);

        const TLog before = BeforeWait();
        TLog expected;
        if (c.asked)
            expected.push_back("ask " + std::to_string(c.family) + " " + *c.asked);
        if (c.busy)
            expected.push_back("busy on");
        if (c.family == kFamilyKt352 || c.family == kFamilyPeltra || c.family == kFamilyZorixNet)
            expected.push_back("udp1 pause 10");
        const std::string via = c.endpoint == 0 ? "mcast" : "udp" + std::to_string(c.endpoint);
        expected.push_back(via + " " + c.to);
        if (c.busy)
            expected.push_back("busy off");
        EXPECT_EQ(before, expected);

        ASSERT_FALSE(endpoints.Sender(c.endpoint).datagrams.empty());
        const std::string& command = endpoints.Sender(c.endpoint).datagrams.front();
        EXPECT_EQ(command.substr(0, c.starts.size()), c.starts);
        if (c.stored) {
            EXPECT_EQ(result.edited.userName, "admin");
            EXPECT_EQ(result.edited.userPassword, c.asked->substr(6));
        } else {
            EXPECT_EQ(result.edited.userName, listed.userName);
            EXPECT_EQ(result.edited.userPassword, listed.userPassword);
        }
        EXPECT_EQ(result.edited.ip, "10.0.0.77");

        // After the wait: the applied row goes, then Find clears the list and searches with the
        // SDK search.
        const auto wait = std::find(log.begin(), log.end(), "wait 10");
        ASSERT_NE(wait, log.end());
        ASSERT_NE(wait + 1, log.end());
        EXPECT_EQ(*(wait + 1), "remove " + listed.mac);
        EXPECT_TRUE(Searched());
        EXPECT_EQ(list.RowCount(), 0);
    }
}

TEST_F(ApplyFlowTest, TheHdsCommandCarriesTheRunsClientIdAndTheEnteredAccount) {
    const TDevInfo listed = Record(kFamilyHds);
    credentials.answer = TCredentials{"  root ", " secret  "};
    ASSERT_TRUE(Apply(listed, NewAddress(listed)).Applied());
    const std::string& command = endpoints.Sender(0).datagrams.front();
    EXPECT_NE(command.find("Client-ID:0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0\r\n"),
              std::string::npos);
    EXPECT_NE(command.find("Authorization:Basic root:secret\r\n"), std::string::npos);
}

TEST_F(ApplyFlowTest, PeltraCommandEndsWithTheTrimmedAccount) {
    const TDevInfo listed = Record(kFamilyPeltra);
    credentials.answer = TCredentials{" admin ", "  pw1 "};
    ASSERT_TRUE(Apply(listed, NewAddress(listed)).Applied());
    const std::string& command = endpoints.Sender(1).datagrams.front();
    EXPECT_EQ(command.substr(command.size() - 10), ",admin,pw1");
    EXPECT_NE(command.find(",10.0.0.77,80,"), std::string::npos);
}

TEST_F(ApplyFlowTest, SdkFamilyConfiguresThroughItsHookWithTheAccountStored) {
    const TDevInfo listed = Record(kFamilySdk);
    list.MergeDevice(listed);
    std::optional<TDevInfo> configured;
    vendorLibrary.send = [&](const TCredentials&, const TDevInfo&, const TDevInfo& edited) {
        configured = edited;
        log.push_back("config");
        return true;
    };
    flow->SetCarrier(TCommandCarrier::kVendorLibrary, &vendorLibrary);
    const TApplyResult result = Apply(listed, NewAddress(listed));
    EXPECT_TRUE(result.Applied());
    ASSERT_TRUE(configured);
    EXPECT_EQ(configured->userName, "admin");
    EXPECT_EQ(configured->userPassword, "zeqit");
    EXPECT_EQ(configured->ip, "10.0.0.77");
    EXPECT_EQ(BeforeWait(), (TLog{"ask 4 admin/zeqit", "config"}));
    EXPECT_TRUE(Searched());
}

TEST_F(ApplyFlowTest, FamilyNineCallsItsClientWithTheAccountAndBothRecords) {
    const TDevInfo listed = Record(kFamilyDh);
    list.MergeDevice(listed);
    family9Client.send = [&](const TCredentials& account, const TDevInfo& current,
                             const TDevInfo& edited) {
        log.push_back("set " + account.user + "/" + account.password + " " + current.ip + " -> " +
                      edited.ip);
        return true;
    };
    flow->SetCarrier(TCommandCarrier::kFamily9Client, &family9Client);
    const TApplyResult result = Apply(listed, NewAddress(listed));
    EXPECT_TRUE(result.Applied());
    EXPECT_EQ(BeforeWait(), (TLog{"ask 9 admin/", "set admin/ 10.0.0.5 -> 10.0.0.77"}));
    EXPECT_TRUE(result.edited.userName.empty()); // family 9 does not store the account
    EXPECT_TRUE(Searched());
}

TEST_F(ApplyFlowTest, HookFamiliesWithoutAClientAreNotAppliedAndAskNothing) {
    for (const std::int32_t family : {kFamilySdk, kFamilyDh}) {
        SCOPED_TRACE(family);
        log.clear();
        const TDevInfo listed = Record(family);
        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_EQ(result.reason, TNotAppliedReason::kNoHandler);
        EXPECT_EQ(log, (TLog{"wait 10"}));
    }
}

// --- nothing sent -----------------------------------------------------------------------------

TEST_F(ApplyFlowTest, ZorixAndUnknownFamiliesAreNotAppliedAndSendNothing) {
    for (const std::int32_t family : {std::int32_t(kFamilyZorix), 42, -1, 10, 1000}) {
        SCOPED_TRACE(family);
        log.clear();
        list.ClearDeviceList();
        const TDevInfo listed = Record(family);
        list.MergeDevice(listed);
        log.clear();
        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_EQ(result.reason, TNotAppliedReason::kNoCommand);
        EXPECT_TRUE(result.sent.empty());
        EXPECT_EQ(log, (TLog{"wait 10"})); // no question, no send, no search
        EXPECT_EQ(list.RowCount(), family == -1 ? 0 : 1);
    }
}

TEST_F(ApplyFlowTest, PeltraWithAnotherProtocolVersionAsksAndSendsNothing) {
    for (const std::int32_t version : {0, 1, 3, -2}) {
        SCOPED_TRACE(version);
        log.clear();
        TDevInfo listed = Record(kFamilyPeltra);
        listed.protocolVersion = version;
        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_EQ(result.reason, TNotAppliedReason::kProtocolVersion);
        EXPECT_FALSE(result.askedCredentials);
        EXPECT_EQ(log, (TLog{"wait 10"}));
    }
}

TEST_F(ApplyFlowTest, HdsWithGatewayZeroStopsBeforeTheAccountIsAsked) {
    const TDevInfo listed = Record(kFamilyHds);
    list.MergeDevice(listed);
    log.clear();
    TEditedValues values = NewAddress(listed);
    values.gateway = "0.0.0.0";
    const TApplyResult result = Apply(listed, values);
    EXPECT_EQ(result.outcome, TApplyOutcome::kValidationError);
    EXPECT_EQ(result.messageKey, "IDS_NOGAGEWAY");
    EXPECT_FALSE(result.askedCredentials);
    // The error box and nothing else: no question, no send, no wait, no search.
    EXPECT_EQ(log, (TLog{"box Error|Please fill Gateway.|16"}));
    EXPECT_EQ(list.RowCount(), 1);
}

TEST_F(ApplyFlowTest, OtherFamiliesMayKeepGatewayZero) {
    const TDevInfo listed = Record(kFamilyCtp);
    TEditedValues values = NewAddress(listed);
    values.gateway = "0.0.0.0";
    EXPECT_TRUE(Apply(listed, values).Applied());
}

TEST_F(ApplyFlowTest, CancelledDialogSendsNothingAndKeepsTheRow) {
    for (const std::int32_t family : {kFamilyPeltra, kFamilyZorixNet, kFamilyMoi, kFamilySdk,
                                      kFamilyCtp, kFamilyHds, kFamily6801, kFamilyDh}) {
        SCOPED_TRACE(family);
        list.ClearDeviceList();
        const TDevInfo listed = Record(family);
        list.MergeDevice(listed);
        log.clear();
        bool hookCalled = false;
        vendorLibrary.send =
            family9Client.send = [&](const TCredentials&, const TDevInfo&, const TDevInfo&) {
                return hookCalled = true;
            };
        flow->SetCarrier(TCommandCarrier::kVendorLibrary, &vendorLibrary);
        flow->SetCarrier(TCommandCarrier::kFamily9Client, &family9Client);
        credentials.cancel = true;
        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_EQ(result.reason, TNotAppliedReason::kCancelled);
        EXPECT_TRUE(result.sent.empty());
        EXPECT_FALSE(hookCalled);
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].substr(0, 4), "ask ");
        EXPECT_EQ(log[1], "wait 10");
        EXPECT_EQ(list.RowCount(), 1);
    }
}

TEST_F(ApplyFlowTest, CommandThatReportsFailureLeavesTheRowAndStartsNoSearch) {
    {
        // KT352 with nothing changed: no datagram at all.
        const TDevInfo listed = Record(kFamilyKt352);
        list.MergeDevice(listed);
        log.clear();
        TEditedValues values = TEditedValues::FromRecord(listed);
        values.name = "CAM1"; // a case-only change is no change
        const TApplyResult result = Apply(listed, values);
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_EQ(result.reason, TNotAppliedReason::kCommandFailed);
        EXPECT_EQ(result.detail, "nothing differs from the listed settings");
        EXPECT_TRUE(endpoints.Sender(1).datagrams.empty());
        EXPECT_EQ(log, (TLog{"wait 10"}));
    }
    {
        // uicam without its stored reply.
        TDevInfo listed = Record(kFamilyUicam);
        listed.rawReply.clear();
        log.clear();
        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.reason, TNotAppliedReason::kCommandFailed);
        EXPECT_TRUE(endpoints.Sender(3).datagrams.empty());
        EXPECT_FALSE(Searched());
    }
    {
        // A send that fails.
        endpoints.Sender(4).failing = true;
        const TDevInfo listed = Record(kFamilyCtp);
        log.clear();
        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_TRUE(result.sent.empty());
        EXPECT_TRUE(Logged("busy off"));
        EXPECT_FALSE(Searched());
        endpoints.Sender(4).failing = false;
    }
    {
        // A send that throws is caught; the wait cursor goes away all the same.
        endpoints.Sender(0).throwing = true;
        const TDevInfo listed = Record(kFamilyHds);
        log.clear();
        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_TRUE(Logged("busy off"));
        EXPECT_FALSE(Searched());
        endpoints.Sender(0).throwing = false;
    }
    {
        // A client that throws ends the command as a failure.
        family9Client.send = [](const TCredentials&, const TDevInfo&, const TDevInfo&) -> bool {
            throw std::runtime_error("socket error");
        };
        flow->SetCarrier(TCommandCarrier::kFamily9Client, &family9Client);
        const TDevInfo listed = Record(kFamilyDh);
        log.clear();
        const TApplyResult result = Apply(listed, NewAddress(listed));
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_EQ(result.reason, TNotAppliedReason::kCommandFailed);
        EXPECT_NE(result.detail.find("socket error"), std::string::npos);
        EXPECT_FALSE(Searched());
    }
}

// --- the list while the dialog is open ----------------------------------------------------------

TEST_F(ApplyFlowTest, SuccessDeletesTheAppliedDevicesRowFoundAgainByMac) {
    const TDevInfo listed = Record(kFamilyMoi, "00-1A-2B-3C-4D-5E");
    list.MergeDevice(Record(kFamilyKt352, "AABBCCDDEEFF"));
    list.MergeDevice(listed);
    credentials.whileOpen = [&] {
        // Replies arrive meanwhile: the device's row is replaced and moves to another place,
        // and rows are added before it.
        TDevInfo refreshed = listed;
        refreshed.ip = "10.0.0.200";
        list.MergeDevice(refreshed);
        TDevInfo other = Record(kFamilyKt352, "112233445566");
        other.ip = "10.0.0.2";
        list.MergeDevice(other);
    };
    log.clear();
    const TApplyResult result = Apply(listed, NewAddress(listed));
    ASSERT_TRUE(result.Applied());
    const auto wait = std::find(log.begin(), log.end(), "wait 10");
    ASSERT_NE(wait, log.end());
    EXPECT_EQ(*(wait + 1), "remove 00-1A-2B-3C-4D-5E");
    EXPECT_EQ(*(wait + 2), "remove 2"); // Find clears the two others
    EXPECT_TRUE(Searched());
}

TEST_F(ApplyFlowTest, RowReleasedWhileTheDialogIsOpenIsNotTouched) {
    const TDevInfo listed = Record(kFamilyCtp, "0A0B0C0D0E0F");
    list.MergeDevice(listed);
    list.MergeDevice(Record(kFamilyKt352, "AABBCCDDEEFF"));
    credentials.whileOpen = [&] {
        list.DeleteRow(list.RowOfMac("0A0B0C0D0E0F")); // aged out
    };
    log.clear();
    const TApplyResult result =
        Apply(list.Row(list.RowOfMac("0A0B0C0D0E0F")).record, NewAddress(listed));
    // The command still goes out from the copy taken when Apply was pressed.
    ASSERT_TRUE(result.Applied());
    ASSERT_FALSE(endpoints.Sender(4).datagrams.empty());
    EXPECT_NE(endpoints.Sender(4).datagrams[0].find("-interface 10.0.0.5\r\n"), std::string::npos);
    const auto wait = std::find(log.begin(), log.end(), "wait 10");
    ASSERT_NE(wait, log.end());
    // No other row was deleted on its behalf: the next removal is Find's clearing of the rest.
    EXPECT_EQ(*(wait + 1), "remove AABBCCDDEEFF");
    EXPECT_TRUE(Searched());
}

// --- Ctrl+Alt+Shift+D ---------------------------------------------------------------------------

TEST_F(ApplyFlowTest, CommandThreeForPeltraSendsDeletesAndSearches) {
    const TDevInfo listed = Record(kFamilyPeltra, "00:1a:2b:3c:4d:5e");
    list.MergeDevice(listed);
    log.clear();
    const TApplyResult result = flow->SendCommand3(listed);
    EXPECT_TRUE(result.Applied());
    ASSERT_EQ(endpoints.Sender(1).datagrams.size() >= 1, true);
    EXPECT_EQ(endpoints.Sender(1).datagrams[0], "PELTRAQUERY,3,00:1a:2b:3c:4d:5e");
    const TLog expected{"udp1 pause 10", "udp1 255.255.255.255:10000", "wait 10",
                        "remove 00:1a:2b:3c:4d:5e"};
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(TLog(log.begin(), log.begin() + 4), expected);
    EXPECT_TRUE(Searched());
}

TEST_F(ApplyFlowTest, CommandThreeForAnyOtherFamilyOnlyWaits) {
    for (const std::int32_t family : {kFamilyKt352, kFamilyZorix, kFamilyZorixNet, kFamilyHds}) {
        SCOPED_TRACE(family);
        list.ClearDeviceList();
        const TDevInfo listed = Record(family);
        list.MergeDevice(listed);
        log.clear();
        const TApplyResult result = flow->SendCommand3(listed);
        EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
        EXPECT_EQ(log, (TLog{"wait 10"}));
        EXPECT_EQ(list.RowCount(), 1);
    }
}

TEST_F(ApplyFlowTest, CommandThreeThatCouldNotBeSentKeepsTheRow) {
    endpoints.Sender(1).failing = true;
    const TDevInfo listed = Record(kFamilyPeltra);
    list.MergeDevice(listed);
    const TApplyResult result = flow->SendCommand3(listed);
    EXPECT_EQ(result.outcome, TApplyOutcome::kNotApplied);
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_FALSE(Searched());
}

// --- what the panel offers ----------------------------------------------------------------------

TEST(ApplyPanelRules, PresetsAndOfferedModesFollowTheFamilyTable) {
    struct Case {
        std::int32_t family;
        std::optional<std::string> presets;
        bool pppoe;
        bool nameEditable;
        bool modeShown;
    };
    const Case cases[] = {
        {kFamilyKt352, std::nullopt, true, true, true},
        {kFamilyPeltra, "admin/", true, true, true},
        {kFamilyMoi, "admin/", true, false, false},
        {kFamilyUicam, std::nullopt, false, false, true},
        {kFamilySdk, "admin/zeqit", true, true, true},
        {kFamilyCtp, "admin/zeqit", true, true, true},
        {kFamilyHds, "admin/zeqit", false, true, true},
        {kFamilyZorix, std::nullopt, true, true, true},
        {kFamily6801, "admin/", false, true, true},
        {kFamilyDh, "admin/", false, true, true},
        {kFamilyZorixNet, "admin/", true, true, true},
        {77, std::nullopt, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        const auto presets = CredentialPresets(c.family);
        EXPECT_EQ(presets.has_value(), c.presets.has_value());
        if (presets && c.presets) {
            EXPECT_EQ(presets->user + "/" + presets->password, *c.presets);
        }
        EXPECT_EQ(IpModeOffered(c.family, 0), c.pppoe);
        EXPECT_TRUE(IpModeOffered(c.family, 1));
        EXPECT_TRUE(IpModeOffered(c.family, 2));
        EXPECT_FALSE(IpModeOffered(c.family, 3));
        EXPECT_EQ(NameEditable(c.family), c.nameEditable);
        EXPECT_EQ(IpModeShown(c.family), c.modeShown);
    }
}

TEST(ApplyPanelRules, TheShownPortIsKeptWithinTheFieldsRange) {
    TDevInfo record;
    record.family = kFamilyKt352;
    record.httpPort = 0;
    EXPECT_EQ(TEditedValues::FromRecord(record).portText, "1");
    record.httpPort = 8080;
    EXPECT_EQ(TEditedValues::FromRecord(record).portText, "8080");
}

TEST(ApplyPanelRules, PresetCredentialsAnswerWithOptionsOrPresets) {
    TPresetCredentials none;
    EXPECT_EQ(none.AskCredentials(5, {"admin", "zeqit"}), (TCredentials{"admin", "zeqit"}));
    TPresetCredentials both(std::string("root"), std::string(""));
    EXPECT_EQ(both.AskCredentials(5, {"admin", "zeqit"}), (TCredentials{"root", ""}));
    TPresetCredentials user(std::string("u"), std::nullopt);
    EXPECT_EQ(user.AskCredentials(1, {"admin", ""}), (TCredentials{"u", ""}));
    EXPECT_EQ(user.Asked(), 1);
}

} // namespace
} // namespace zadari
