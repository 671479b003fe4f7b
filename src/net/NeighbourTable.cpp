#include "net/NeighbourTable.h"

#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace zadari {

namespace {

std::vector<std::string_view> Columns(std::string_view line) {
    std::vector<std::string_view> columns;
    std::size_t at = 0;
    while (at < line.size() && columns.size() < 8) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t')
            ++at;
        if (at > start)
            columns.push_back(line.substr(start, at - start));
    }
    return columns;
}

} // namespace

std::unordered_map<std::string, std::string> ParseArpTable(std::string_view text,
                                                           std::size_t maxEntries) {
    // IP address  HW type  Flags  HW address  Mask  Device
    std::unordered_map<std::string, std::string> entries;
    bool header = true;
    while (!text.empty() && entries.size() < maxEntries) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (header) {
            header = false;
            continue;
        }
        const auto columns = Columns(line);
        if (columns.size() < 6 || columns[0].size() > 15 || columns[3].size() != 17)
            continue;
        // ATF_COM: the entry is complete (an incomplete one holds zeros).
        unsigned flags = 0;
        try {
            flags = static_cast<unsigned>(std::stoul(std::string(columns[2]), nullptr, 16));
        } catch (const std::exception&) {
            continue;
        }
        if ((flags & 0x2U) == 0)
            continue;
        entries.emplace(std::string(columns[0]), std::string(columns[3]));
    }
    return entries;
}

TNeighbourTable::TNeighbourTable(std::string path, qint64 maxAgeMs)
    : path_(std::move(path)), maxAgeMs_(maxAgeMs) {}

void TNeighbourTable::Read() {
    std::ifstream file(path_);
    std::stringstream text;
    text << file.rdbuf();
    entries_ = ParseArpTable(text.str());
    age_.start();
}

std::string TNeighbourTable::MacOf(const std::string& ip) {
    if (!age_.isValid() || age_.elapsed() > maxAgeMs_)
        Read();
    auto found = entries_.find(ip);
    if (found == entries_.end() && age_.elapsed() > maxAgeMs_ / 10) {
        Read();
        found = entries_.find(ip);
    }
    return found == entries_.end() ? std::string() : found->second;
}

} // namespace zadari
