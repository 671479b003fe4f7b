// TDevInfo as JSON, read back with Qt's own JSON parser.
#include "app/DevInfoJson.h"
#include "protocols/DevInfoFields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zadari {
namespace {

QJsonObject Parsed(const TDevInfo& record) {
    const std::string text = DevInfoToJson(record);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return document.object();
}

TEST(DevInfoJson, EveryRecordFieldHasItsOwnNameInRecordOrder) {
    const std::vector<std::string> expected = {"protocolVersion",
                                               "family",
                                               "mac",
                                               "macKey",
                                               "deviceId",
                                               "name",
                                               "version",
                                               "ip",
                                               "mask",
                                               "gateway",
                                               "sdkText",
                                               "dnsAuto",
                                               "dns1",
                                               "dns2",
                                               "httpPort",
                                               "dataPort",
                                               "sdkWord",
                                               "ipMode",
                                               "ddnsEnabled",
                                               "ddnsUser",
                                               "ddnsPassword",
                                               "ddnsHost",
                                               "ddnsHost2",
                                               "ddnsPort",
                                               "uicamLow4",
                                               "ddnsOption",
                                               "uicamLow3",
                                               "uicamBit7",
                                               "uicamBits45",
                                               "uicamPairA",
                                               "uicamPairB",
                                               "userName",
                                               "userPassword",
                                               "sdkValue",
                                               "age",
                                               "rawReply",
                                               "binWord"};
    std::vector<std::string> names;
    for (const TDevInfoField& field : DevInfoFields())
        names.emplace_back(field.name);
    EXPECT_EQ(names, expected);

    // The object has them all, plus the family letters, and the keys come in that order.
    TDevInfo record;
    const std::string text = DevInfoToJson(record);
    std::size_t at = 0;
    for (const std::string& name : expected) {
        const std::size_t found = text.find("\"" + name + "\":", at);
        ASSERT_NE(found, std::string::npos) << name;
        at = found;
    }
    EXPECT_EQ(Parsed(record).size(), static_cast<qsizetype>(expected.size() + 1));
}

TEST(DevInfoJson, NumbersAreNumbersAndTextsAreTexts) {
    TDevInfo r;
    r.protocolVersion = 2;
    r.family = kFamilyPeltra;
    r.mac = "00:11:22:33:44:55";
    r.macKey = "001122334455";
    r.name = "cam \"one\"\\";
    r.ip = "10.0.0.5";
    r.dnsAuto = 1;
    r.httpPort = 65535;
    r.dataPort = 8000;
    r.ipMode = 2;
    r.ddnsPort = -808;
    r.sdkValue = -2147483647 - 1;
    r.age = 10;
    r.binWord = 0xBEEF;
    const QJsonObject o = Parsed(r);
    EXPECT_EQ(o.value(QStringLiteral("protocolVersion")).toInt(), 2);
    EXPECT_EQ(o.value(QStringLiteral("family")).toInt(), 1);
    EXPECT_EQ(o.value(QStringLiteral("letters")).toString(), QStringLiteral("M"));
    EXPECT_EQ(o.value(QStringLiteral("mac")).toString(), QStringLiteral("00:11:22:33:44:55"));
    EXPECT_EQ(o.value(QStringLiteral("name")).toString(), QStringLiteral("cam \"one\"\\"));
    EXPECT_TRUE(o.value(QStringLiteral("dnsAuto")).isDouble());
    EXPECT_EQ(o.value(QStringLiteral("dnsAuto")).toInt(), 1);
    EXPECT_EQ(o.value(QStringLiteral("httpPort")).toInt(), 65535);
    EXPECT_EQ(o.value(QStringLiteral("ipMode")).toInt(), 2);
    EXPECT_EQ(o.value(QStringLiteral("ddnsPort")).toInt(), -808);
    EXPECT_EQ(o.value(QStringLiteral("sdkValue")).toInteger(), -2147483648LL);
    EXPECT_EQ(o.value(QStringLiteral("binWord")).toInt(), 0xBEEF);
    EXPECT_TRUE(o.value(QStringLiteral("deviceId")).isString());
    EXPECT_EQ(o.value(QStringLiteral("deviceId")).toString(), QString());
}

TEST(DevInfoJson, RawReplyIsUpperCaseHexOrNull) {
    TDevInfo r;
    EXPECT_TRUE(Parsed(r).value(QStringLiteral("rawReply")).isNull());
    r.rawReply = {0x75, 0x69, 0x00, 0x0A, 0xFF};
    EXPECT_EQ(Parsed(r).value(QStringLiteral("rawReply")).toString(), QStringLiteral("7569000AFF"));
}

TEST(DevInfoJson, DeviceBytesAreDecodedAndControlCharactersEscaped) {
    TDevInfo r;
    r.name = "caf\xC3\xA9"; // UTF-8
    r.version = std::string("a\0b\x01\x1F\x7F\n\t", 8);
    r.ddnsUser = "\xE9t\xE9"; // not UTF-8: shown in the single-byte code page
    const QJsonObject o = Parsed(r);
    EXPECT_EQ(o.value(QStringLiteral("name")).toString(), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(o.value(QStringLiteral("version")).toString(),
              QString::fromLatin1("a\0b\x01\x1F\x7F\n\t", 8));
    const QString user = o.value(QStringLiteral("ddnsUser")).toString();
    EXPECT_EQ(user.size(), 3);
    EXPECT_EQ(user[1], QLatin1Char('t'));
}

TEST(DevInfoJson, UnknownFamilyHasEmptyLetters) {
    TDevInfo r;
    r.family = 42;
    EXPECT_EQ(Parsed(r).value(QStringLiteral("letters")).toString(), QString());
    r.family = kFamilyZorixNet;
    EXPECT_EQ(Parsed(r).value(QStringLiteral("letters")).toString(), QStringLiteral("NAS"));
}

TEST(DevInfoJson, AListIsAnArrayInTheGivenOrder) {
    EXPECT_EQ(DevInfoListToJson({}), "[]\n");
    TDevInfo a, b;
    a.ip = "10.0.0.2";
    b.ip = "10.0.0.10";
    const std::string text = DevInfoListToJson({&a, &b});
    const QJsonArray array = QJsonDocument::fromJson(QByteArray::fromStdString(text)).array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[0].toObject().value(QStringLiteral("ip")).toString(),
              QStringLiteral("10.0.0.2"));
    EXPECT_EQ(array[1].toObject().value(QStringLiteral("ip")).toString(),
              QStringLiteral("10.0.0.10"));
}

QJsonObject ParsedLine(const std::string& line) {
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    return document.object();
}

TEST(DeviceEventJson, AddedAndRemovedCarryTheWholeRowOnOneLine) {
    TDevInfo r;
    r.family = kFamilyCtp;
    r.mac = "02:5A:00:00:00:05";
    r.name = "gate\nway";
    for (const auto& [event, word] :
         {std::pair{TDeviceEvent::kAdded, "added"}, std::pair{TDeviceEvent::kRemoved, "removed"}}) {
        const QJsonObject o = ParsedLine(DeviceEventJson(event, r));
        EXPECT_EQ(o.value(QStringLiteral("event")).toString(), QString::fromLatin1(word));
        EXPECT_EQ(o.size(), 2);
        EXPECT_EQ(o.value(QStringLiteral("device")).toObject(), Parsed(r));
    }
}

TEST(DeviceEventJson, ChangedNamesTheFieldsThatDifferWithTheirValuesBefore) {
    struct TCase {
        const char* what;
        void (*change)(TDevInfo&);
        std::vector<std::string> changed;
    };
    const TCase cases[] = {
        {"name", [](TDevInfo& r) { r.name = "new"; }, {"name"}},
        {"address and port",
         [](TDevInfo& r) {
             r.httpPort = 8080;
             r.ip = "10.0.0.9";
         },
         {"ip", "httpPort"}},
        {"raw bytes", [](TDevInfo& r) { r.rawReply = {0x01}; }, {"rawReply"}},
        {"age only", [](TDevInfo& r) { r.age = 3; }, {}},
    };
    TDevInfo before;
    before.family = kFamilyPeltra;
    before.name = "old";
    before.ip = "10.0.0.5";
    before.httpPort = 80;
    before.age = 10;
    for (const TCase& c : cases) {
        TDevInfo after = before;
        c.change(after);
        std::vector<std::string> names;
        for (const TDevInfoField* field : ChangedFields(before, after))
            names.emplace_back(field->name);
        EXPECT_EQ(names, c.changed) << c.what;

        const QJsonObject o = ParsedLine(DeviceEventJson(TDeviceEvent::kChanged, after, &before));
        EXPECT_EQ(o.value(QStringLiteral("event")).toString(), QStringLiteral("changed")) << c.what;
        QJsonArray expected;
        for (const std::string& name : c.changed)
            expected.append(QString::fromStdString(name));
        EXPECT_EQ(o.value(QStringLiteral("changed")).toArray(), expected) << c.what;
        const QJsonObject previous = o.value(QStringLiteral("previous")).toObject();
        EXPECT_EQ(previous.size(), expected.size()) << c.what;
        for (const std::string& name : c.changed) {
            const QString key = QString::fromStdString(name);
            EXPECT_EQ(previous.value(key), Parsed(before).value(key)) << c.what << " " << name;
        }
        EXPECT_EQ(o.value(QStringLiteral("device")).toObject(), Parsed(after)) << c.what;
    }
}

} // namespace
} // namespace zadari
