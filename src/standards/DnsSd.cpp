#include "standards/DnsSd.h"

#include "protocols/ByteWriter.h"

#include <ldns/ldns.h>

#include <algorithm>
#include <map>
#include <memory>

namespace zadari {

namespace {

constexpr std::uint16_t kTypePtr = 12;
constexpr std::uint16_t kClassInUnicastResponse = 0x8001;
constexpr std::size_t kAddressesMax = 8;
constexpr std::size_t kTxtMax = 64;

using TLabels = std::vector<std::string>;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameLabel(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

// The labels of a name as ldns hands it over: uncompressed wire form, ending in the root label.
bool LabelsOf(const ldns_rdf* rdf, TLabels& labels) {
    labels.clear();
    if (rdf == nullptr || ldns_rdf_get_type(rdf) != LDNS_RDF_TYPE_DNAME)
        return false;
    const std::uint8_t* data = ldns_rdf_data(rdf);
    const std::size_t size = ldns_rdf_size(rdf);
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = data[at];
        if (length == 0)
            return true;
        if (length > size - at - 1)
            return false;
        labels.emplace_back(reinterpret_cast<const char*>(data + at + 1), length);
        at += 1 + length;
    }
    return false;
}

// Case-insensitive key of a name: each label lower-cased behind its length.
std::string KeyOf(const TLabels& labels, std::size_t from = 0) {
    std::string key;
    for (std::size_t i = from; i < labels.size(); ++i) {
        key.push_back(static_cast<char>(labels[i].size()));
        for (const char c : labels[i])
            key.push_back(Lower(c));
    }
    return key;
}

std::string Dotted(const TLabels& labels, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to && i < labels.size(); ++i) {
        if (!text.empty())
            text.push_back('.');
        text += labels[i];
    }
    return text;
}

bool IsProtocolLabel(std::string_view label) {
    return SameLabel(label, "_tcp") || SameLabel(label, "_udp");
}

// "_service._tcp.<domain>" starting at `from`.
bool IsServiceType(const TLabels& labels, std::size_t from) {
    return labels.size() >= from + 3 && labels[from].size() > 1 && labels[from][0] == '_' &&
           IsProtocolLabel(labels[from + 1]);
}

// "<Instance>._service._tcp.<domain>".
bool IsInstanceName(const TLabels& labels) {
    return !labels.empty() && IsServiceType(labels, 1);
}

bool IsEnumeration(const TLabels& labels) {
    return labels.size() >= 4 && SameLabel(labels[0], "_services") &&
           SameLabel(labels[1], "_dns-sd") && SameLabel(labels[2], "_udp");
}

class TAssembly {
public:
    explicit TAssembly(TMdnsAnswer& answer) : answer_(answer) {}

    void Ptr(const TLabels& owner, const TLabels& target) {
        if (IsEnumeration(owner)) {
            if (target.size() == 3 && IsServiceType(target, 0)) {
                const std::string type = Dotted(target, 0, target.size());
                if (std::find(answer_.serviceTypes.begin(), answer_.serviceTypes.end(), type) ==
                    answer_.serviceTypes.end())
                    answer_.serviceTypes.push_back(type);
            }
            return;
        }
        if (IsInstanceName(target))
            Instance(target);
    }

    void Srv(const TLabels& owner, std::uint16_t port, const TLabels& target) {
        if (TMdnsInfo* info = IsInstanceName(owner) ? Instance(owner) : nullptr) {
            info->host = Dotted(target, 0, target.size());
            info->port = port;
            hostKeys_[Index(*info)] = KeyOf(target);
        }
    }

    void Txt(const TLabels& owner, const ldns_rr* rr) {
        TMdnsInfo* info = IsInstanceName(owner) ? Instance(owner) : nullptr;
        if (info == nullptr)
            return;
        info->txt.clear();
        for (std::size_t i = 0; i < ldns_rr_rd_count(rr) && info->txt.size() < kTxtMax; ++i) {
            const ldns_rdf* rdf = ldns_rr_rdf(rr, i);
            if (rdf == nullptr || ldns_rdf_get_type(rdf) != LDNS_RDF_TYPE_STR)
                continue;
            const std::uint8_t* data = ldns_rdf_data(rdf);
            const std::size_t size = ldns_rdf_size(rdf);
            if (size < 1 || data[0] > size - 1 || data[0] == 0)
                continue; // an empty string stands for "no TXT data"
            info->txt.emplace_back(reinterpret_cast<const char*>(data + 1), data[0]);
        }
    }

    void A(const TLabels& owner, const ldns_rdf* rdf) {
        if (rdf == nullptr || ldns_rdf_get_type(rdf) != LDNS_RDF_TYPE_A || ldns_rdf_size(rdf) != 4)
            return;
        const std::uint8_t* b = ldns_rdf_data(rdf);
        auto& list = addresses_[KeyOf(owner)];
        const std::string text = std::to_string(b[0]) + '.' + std::to_string(b[1]) + '.' +
                                 std::to_string(b[2]) + '.' + std::to_string(b[3]);
        if (list.size() < kAddressesMax && std::find(list.begin(), list.end(), text) == list.end())
            list.push_back(text);
    }

    // Hands each instance the addresses of its host.
    void Finish() {
        for (std::size_t i = 0; i < answer_.instances.size(); ++i) {
            const auto host = hostKeys_.find(i);
            if (host == hostKeys_.end())
                continue;
            const auto found = addresses_.find(host->second);
            if (found != addresses_.end())
                answer_.instances[i].addresses = found->second;
        }
    }

private:
    std::size_t Index(const TMdnsInfo& info) const {
        return static_cast<std::size_t>(&info - answer_.instances.data());
    }

    TMdnsInfo* Instance(const TLabels& name) {
        const std::string key = KeyOf(name);
        const auto found = instanceIndex_.find(key);
        if (found != instanceIndex_.end())
            return &answer_.instances[found->second];
        if (answer_.instances.size() >= kMdnsInstancesMax)
            return nullptr;
        TMdnsInfo info;
        info.instance = name[0];
        info.serviceTypes.push_back(Dotted(name, 1, 3));
        instanceIndex_.emplace(key, answer_.instances.size());
        answer_.instances.push_back(std::move(info));
        return &answer_.instances.back();
    }

    TMdnsAnswer& answer_;
    std::map<std::string, std::size_t> instanceIndex_;
    std::map<std::size_t, std::string> hostKeys_;
    std::map<std::string, std::vector<std::string>> addresses_;
};

struct TPacketFree {
    void operator()(ldns_pkt* packet) const { ldns_pkt_free(packet); }
};

void ReadSection(const ldns_rr_list* list, TAssembly& assembly) {
    if (list == nullptr)
        return;
    TLabels owner;
    TLabels target;
    for (std::size_t i = 0; i < ldns_rr_list_rr_count(list); ++i) {
        const ldns_rr* rr = ldns_rr_list_rr(list, i);
        if (rr == nullptr || !LabelsOf(ldns_rr_owner(rr), owner))
            continue;
        switch (ldns_rr_get_type(rr)) {
        case LDNS_RR_TYPE_PTR:
            if (ldns_rr_rd_count(rr) >= 1 && LabelsOf(ldns_rr_rdf(rr, 0), target))
                assembly.Ptr(owner, target);
            break;
        case LDNS_RR_TYPE_SRV:
            if (ldns_rr_rd_count(rr) >= 4 && LabelsOf(ldns_rr_rdf(rr, 3), target) &&
                ldns_rdf_get_type(ldns_rr_rdf(rr, 2)) == LDNS_RDF_TYPE_INT16)
                assembly.Srv(owner, ldns_rdf2native_int16(ldns_rr_rdf(rr, 2)), target);
            break;
        case LDNS_RR_TYPE_TXT:
            assembly.Txt(owner, rr);
            break;
        case LDNS_RR_TYPE_A:
            if (ldns_rr_rd_count(rr) >= 1)
                assembly.A(owner, ldns_rr_rdf(rr, 0));
            break;
        default:
            break;
        }
    }
}

} // namespace

TBytes BuildMdnsQuery(std::uint16_t id, const std::vector<std::string_view>& names) {
    TByteWriter questions;
    std::uint16_t count = 0;
    for (const auto name : names) {
        TByteWriter encoded;
        bool valid = !name.empty() && name.size() <= 253;
        std::string_view rest = name;
        while (valid && !rest.empty()) {
            const auto dot = rest.find('.');
            const std::string_view label = rest.substr(0, dot);
            rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
            valid = !label.empty() && label.size() <= 63;
            encoded.U8(static_cast<std::uint8_t>(label.size())).Raw(label);
        }
        if (!valid)
            continue;
        questions.Raw(encoded.Bytes()).U8(0).U16Be(kTypePtr).U16Be(kClassInUnicastResponse);
        ++count;
    }
    if (count == 0)
        return {};
    TByteWriter message;
    message.U16Be(id).U16Be(0).U16Be(count).U16Be(0).U16Be(0).U16Be(0).Raw(questions.Bytes());
    return message.Take();
}

bool ParseMdnsAnswer(TByteView datagram, TMdnsAnswer& answer) {
    answer = {};
    if (datagram.size() < 12 || datagram.size() > kMdnsDatagramMax)
        return false;
    ldns_pkt* raw = nullptr;
    if (ldns_wire2pkt(&raw, datagram.data(), datagram.size()) != LDNS_STATUS_OK || raw == nullptr)
        return false;
    const std::unique_ptr<ldns_pkt, TPacketFree> packet(raw);
    if (!ldns_pkt_qr(raw) || ldns_pkt_get_opcode(raw) != LDNS_PACKET_QUERY ||
        ldns_pkt_get_rcode(raw) != LDNS_RCODE_NOERROR)
        return false;
    answer.id = ldns_pkt_id(raw);
    TAssembly assembly(answer);
    ReadSection(ldns_pkt_answer(raw), assembly);
    ReadSection(ldns_pkt_authority(raw), assembly);
    ReadSection(ldns_pkt_additional(raw), assembly);
    assembly.Finish();
    if (answer.serviceTypes.empty() && answer.instances.empty()) {
        answer = {};
        return false;
    }
    return true;
}

} // namespace zadari
