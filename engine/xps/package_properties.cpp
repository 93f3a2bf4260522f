#include "engine/xps/package_properties.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace engine {
namespace {

constexpr const char* kCorePropertiesTypes[] = {
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
    "http://schemas.openxps.org/oxps/v1.0/metadata/core-properties",
};

std::string CorePropertiesPart(const XpsPackage& package) {
    for (const Relationship& rel : package.RelationshipsOf("/")) {
        for (const char* type : kCorePropertiesTypes) {
            if (rel.type == type) return rel.target;
        }
    }
    return "/docProps/core.xml";
}

std::string Trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

// Reads exactly count digits at text[at]; -1 when they are not there.
int Digits(const std::string& text, size_t at, size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::optional<std::string> PdfDateFromW3c(const std::string& text) {
    // YYYY[-MM[-DD[Thh:mm[:ss[.s+]]TZD]]]
    int year = Digits(text, 0, 4), month = 1, day = 1, hour = 0, minute = 0, second = 0;
    if (year < 0) return std::nullopt;
    size_t at = 4;
    bool withTime = false;
    if (at < text.size()) {
        if (text[at] != '-' || (month = Digits(text, at + 1, 2)) < 1 || month > 12)
            return std::nullopt;
        at += 3;
    }
    if (at < text.size()) {
        if (text[at] != '-' || (day = Digits(text, at + 1, 2)) < 1 || day > 31) return std::nullopt;
        at += 3;
    }
    if (at < text.size()) {
        if (text[at] != 'T' || (hour = Digits(text, at + 1, 2)) < 0 || hour > 23 ||
            text.size() < at + 6 || text[at + 3] != ':' || (minute = Digits(text, at + 4, 2)) < 0 ||
            minute > 59) {
            return std::nullopt;
        }
        at += 6;
        withTime = true;
        if (at < text.size() && text[at] == ':') {
            if ((second = Digits(text, at + 1, 2)) < 0 || second > 60) return std::nullopt;
            at += 3;
            if (at < text.size() && text[at] == '.') {
                ++at;
                while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
            }
        }
    }
    char zone[32] = "";
    if (withTime) {
        // A time always carries its zone.
        if (at < text.size() && text[at] == 'Z' && at + 1 == text.size()) {
            std::snprintf(zone, sizeof zone, "Z");
        } else if (at + 6 == text.size() && (text[at] == '+' || text[at] == '-') &&
                   text[at + 3] == ':') {
            int zoneHours = Digits(text, at + 1, 2), zoneMinutes = Digits(text, at + 4, 2);
            if (zoneHours < 0 || zoneHours > 23 || zoneMinutes < 0 || zoneMinutes > 59)
                return std::nullopt;
            std::snprintf(zone, sizeof zone, "%c%02d'%02d'", text[at], zoneHours, zoneMinutes);
        } else {
            return std::nullopt;
        }
    } else if (at != text.size()) {
        return std::nullopt;
    }
    char date[96];
    std::snprintf(date, sizeof date, "D:%04d%02d%02d%02d%02d%02d%s", year, month, day, hour, minute,
                  second, zone);
    return std::string(date);
}

std::vector<InfoEntry> WithPackageProperties(const std::vector<InfoEntry>& given,
                                             const XpsPackage& package) {
    std::vector<InfoEntry> entries = given;
    if (!package.IsOpen()) return entries;
    XmlPart core = package.ReadXml(CorePropertiesPart(package));
    fz_xml* root = core.Root();
    if (!root || LocalName(root) != "coreProperties") return entries;
    auto has = [&](const std::string& key) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const InfoEntry& entry) { return entry.key == key; });
    };
    // Element, information key, whether it is a date.
    struct Mapping {
        const char* element;
        const char* key;
        bool date;
    };
    constexpr Mapping kMappings[] = {
        {"title", "Title", false},         {"subject", "Subject", false},
        {"creator", "Author", false},      {"keywords", "Keywords", false},
        {"created", "CreationDate", true}, {"modified", "ModDate", true},
    };
    for (const Mapping& mapping : kMappings) {
        if (has(mapping.key)) continue;
        for (fz_xml* item = fz_xml_down(root); item; item = fz_xml_next(item)) {
            if (!fz_xml_tag(item) || LocalName(item) != mapping.element) continue;
            std::string value = Trimmed(ElementText(item));
            if (mapping.date) {
                std::optional<std::string> date = PdfDateFromW3c(value);
                value = date ? *date : "";
            }
            if (!value.empty()) entries.push_back({mapping.key, value});
            break;
        }
    }
    return entries;
}

}  // namespace engine
