// Cost of reading one message of each standard discovery protocol: an ONVIF ProbeMatch, an SSDP
// search answer, a UPnP device description and a DNS-SD answer. Goal: 20 us or less each.
#include "app/DeviceList.h"
#include "standards/DnsSd.h"
#include "standards/Ssdp.h"
#include "standards/UpnpDescription.h"
#include "standards/WsDiscovery.h"

#include <QXmlStreamReader>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kProbeMatch =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope" xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns:tds="http://www.onvif.org/ver10/device/wsdl">
<SOAP-ENV:Header><wsa:MessageID>urn:uuid:7b1c1e64-2f7a-4f2e-9a52-7d1c0a3e5b11</wsa:MessageID><wsa:RelatesTo>urn:uuid:6a2b1c3d-0000-4000-8000-000000000001</wsa:RelatesTo><wsa:To SOAP-ENV:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To><wsa:Action SOAP-ENV:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action></SOAP-ENV:Header>
<SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:a1f48ac2-dc8b-11df-b255-00408c1836b2</wsa:Address></wsa:EndpointReference>
<d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>
<d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/type/audio_encoder onvif://www.onvif.org/type/ptz onvif://www.onvif.org/Profile/Streaming onvif://www.onvif.org/Profile/T onvif://www.onvif.org/hardware/D1-566 onvif://www.onvif.org/location/country/china onvif://www.onvif.org/location/city/bejing onvif://www.onvif.org/name/Front%20Door onvif://www.onvif.org/MAC/00:40:8c:18:36:b2</d:Scopes>
<d:XAddrs>http://192.168.1.20/onvif/device_service http://[fe80::240:8cff:fe18:36b2]/onvif/device_service</d:XAddrs>
<d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>)";

const std::string kSsdpAnswer =
    "HTTP/1.1 200 OK\r\n"
    "CACHE-CONTROL: max-age = 1800\r\n"
    "DATE: Sat, 01 Jan 2022 00:00:00 GMT\r\n"
    "EXT:\r\n"
    "LOCATION: http://192.168.1.20:49152/description.xml\r\n"
    "SERVER: Linux/4.9 UPnP/1.1 IPCam/2.0\r\n"
    "ST: upnp:rootdevice\r\n"
    "USN: uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice\r\n"
    "BOOTID.UPNP.ORG: 1\r\n"
    "CONFIGID.UPNP.ORG: 1\r\n"
    "\r\n";

const std::string kDescription = R"(<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0" configId="1">
<specVersion><major>1</major><minor>1</minor></specVersion>
<device>
<deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>
<friendlyName>Lobby camera</friendlyName>
<manufacturer>Example Vision</manufacturer>
<manufacturerURL>http://www.example.com</manufacturerURL>
<modelDescription>Fixed dome network camera</modelDescription>
<modelName>EV-D200</modelName>
<modelNumber>D200-2</modelNumber>
<modelURL>http://www.example.com/d200</modelURL>
<serialNumber>EV12345678</serialNumber>
<UDN>uuid:2fac1234-31f8-11b4-a222-08002b34c003</UDN>
<iconList><icon><mimetype>image/png</mimetype><width>48</width><height>48</height><depth>24</depth><url>/icon.png</url></icon></iconList>
<serviceList><service><serviceType>urn:schemas-upnp-org:service:Dummy:1</serviceType><serviceId>urn:upnp-org:serviceId:Dummy1</serviceId><SCPDURL>/scpd.xml</SCPDURL><controlURL>/control</controlURL><eventSubURL>/event</eventSubURL></service></serviceList>
<presentationURL>/index.html</presentationURL>
</device>
</root>)";

const zadari::TBytes kMdnsAnswer = {
    0x12, 0x34, 0x84, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x05, '_',  'h',  't',
    't',  'p',  0x04, '_',  't',  'c',  'p',  0x05, 'l',  'o',  'c',  'a',  'l',  0x00, 0x00, 0x0C,
    0x00, 0x01, 0xC0, 0x0C, 0x00, 0x0C, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x08, 0x05, 'C',
    'a',  'm',  ' ',  '1',  0xC0, 0x0C, 0xC0, 0x2E, 0x00, 0x21, 0x80, 0x01, 0x00, 0x00, 0x00, 0x0A,
    0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50, 0x04, 'c',  'a',  'm',  '1',  0xC0, 0x17, 0xC0,
    0x2E, 0x00, 0x10, 0x80, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x24, 0x06, 'p',  'a',  't',  'h',
    '=',  '/',  0x1C, 'm',  'a',  'c',  'a',  'd',  'd',  'r',  'e',  's',  's',  '=',  '0',  '0',
    ':',  '1',  'a',  ':',  '2',  'b',  ':',  '3',  'c',  ':',  '4',  'd',  ':',  '5',  'e',  0xC0,
    0x48, 0x00, 0x01, 0x80, 0x01, 0x00, 0x00, 0x00, 0x78, 0x00, 0x04, 0xC0, 0xA8, 0x01, 0x14,
};

void BM_ParseProbeMatch(benchmark::State& state) {
    for (auto _ : state) {
        zadari::TWsdMessage message;
        benchmark::DoNotOptimize(zadari::ParseWsdMessage(kProbeMatch, message));
        benchmark::DoNotOptimize(zadari::IsOnvifDevice(message.endpoints.at(0)));
    }
}
BENCHMARK(BM_ParseProbeMatch);

// What Qt's reader alone takes for the same ProbeMatch, for comparison.
void BM_QXmlStreamReaderOnlyProbeMatch(benchmark::State& state) {
    const QByteArray bytes =
        QByteArray::fromRawData(kProbeMatch.data(), static_cast<qsizetype>(kProbeMatch.size()));
    for (auto _ : state) {
        QXmlStreamReader reader(bytes);
        reader.setNamespaceProcessing(true);
        while (!reader.atEnd())
            benchmark::DoNotOptimize(reader.readNext());
    }
}
BENCHMARK(BM_QXmlStreamReaderOnlyProbeMatch);

void BM_ParseSsdpAnswer(benchmark::State& state) {
    for (auto _ : state) {
        zadari::TSsdpMessage message;
        benchmark::DoNotOptimize(zadari::ParseSsdpMessage(kSsdpAnswer, message));
    }
}
BENCHMARK(BM_ParseSsdpAnswer);

void BM_ParseUpnpDescription(benchmark::State& state) {
    for (auto _ : state) {
        zadari::TUpnpInfo info;
        benchmark::DoNotOptimize(zadari::ParseUpnpDescription(
            kDescription, "http://192.168.1.20:49152/description.xml", info));
    }
}
BENCHMARK(BM_ParseUpnpDescription);

void BM_ParseMdnsAnswer(benchmark::State& state) {
    for (auto _ : state) {
        zadari::TMdnsAnswer answer;
        benchmark::DoNotOptimize(zadari::ParseMdnsAnswer(kMdnsAnswer, answer));
    }
}
BENCHMARK(BM_ParseMdnsAnswer);

std::string MacText(int n, char separator) {
    char text[18];
    std::snprintf(text, sizeof text, "02%c5B%c%02X%c%02X%c%02X%c%02X", separator, separator,
                  (n >> 24) & 0xFF, separator, (n >> 16) & 0xFF, separator, (n >> 8) & 0xFF,
                  separator, n & 0xFF);
    return text;
}

// A ProbeMatch's record merged into a list of 5,000 proprietary rows and 1,000 ONVIF rows: the
// steady state, where the device is listed already (half of them ride on a proprietary row).
void BM_MergeStandardsRecord(benchmark::State& state) {
    zadari::TDeviceList list;
    zadari::TWsdMessage message;
    zadari::ParseWsdMessage(kProbeMatch, message);
    std::vector<zadari::TDevInfo> onvif;
    for (int i = 0; i < 6000; ++i) {
        zadari::TDevInfo record;
        record.ip = "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
        record.httpPort = 80;
        if (i < 5000) {
            record.family = zadari::kFamilyPeltra;
            record.mac = MacText(i, '-');
            record.name = "cam" + std::to_string(i);
        } else {
            // ONVIF devices: 500 of their own, 500 that are proprietary rows too.
            const int n = i < 5500 ? i : i - 5500;
            record.family = zadari::kFamilyOnvif;
            record.mac = MacText(n, ':');
            record.name = "onvif" + std::to_string(i);
            zadari::TStandardsInfo info;
            info.onvif = message.endpoints.at(0);
            record.standards = zadari::TStandardsRef(info);
            onvif.push_back(record);
        }
        list.MergeDevice(record);
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.MergeDevice(onvif[next]));
        next = (next + 1) % onvif.size();
    }
}
BENCHMARK(BM_MergeStandardsRecord);

} // namespace
